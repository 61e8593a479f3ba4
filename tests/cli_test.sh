#!/usr/bin/env bash
# The marrowfold command as a shell user meets it: what it prints, byte for
# byte; exit statuses; the files it writes and never overwrites; the stored
# settings; --info writing nothing; two batches at once into one folder.
set -u
bin="$1"
t=$(mktemp -d)
trap 'rm -rf "$t"' EXIT
. "$(dirname "${BASH_SOURCE[0]}")/check.sh"
mf() { "$bin/marrowfold" "$@" >stdout 2>stderr; }
# Every entry of the tree with its size and time, but the files the test
# itself writes.
tree() { (cd "$t" && find . \( -path ./snapshot -o -path ./stdout -o -path ./stderr \) -prune -o -printf '%p %s %T@\n' | sort); }

# The user's home is ours: the desktop default must not write into the real one.
export HOME="$t/user"
unset XDG_CONFIG_HOME XDG_STATE_HOME
cd "$t"
mkdir -p "$HOME/Desktop" home out
"$bin/marrowfold-sample" "$t/dwg" >/dev/null || { echo "FAILED: sample"; exit 1; }
ok_line="　…… 変換ＯＫ(同梱ファイル数:2 画像文字数:1 blk内:1 不明画像文字:1 blk内:0)"

# -- a plain run: three lines, absolute paths, the default destination
mf --home home dwg/sample.jww
status=$?
check "a good drawing exits 0" test $status -eq 0
printf '%s\n' "$t/dwg/sample.jww" "→ $HOME/Desktop/sample.jww" "$ok_line" >expected
check "three lines, byte for byte, into the desktop" cmp -s stdout expected
check "nothing on standard error" test ! -s stderr
check "work folder removed" test ! -e home/TEMP
check "settings written" test -f home/marrowfold.dat
check "settings are fourteen CR LF lines" test "$(grep -c $'\r$' home/marrowfold.dat)" -eq 14

# -- never overwriting: a second run takes a branch number
cp out/../dwg/sample.jww /dev/null
mf --home home --dest-dir out dwg/sample.jww && mf --home home --dest-dir=out dwg/sample.jww
check "--opt=VALUE works, second run exits 0" test $? -eq 0
check "second run takes a branch number" test "$(sed -n 2p stdout)" = "→ $t/out/sample~1.jww"
first=$(md5sum <out/sample.jww)
mf --home home --dest-dir out dwg/sample.jww
check "the first output is untouched" test "$(md5sum <out/sample.jww)" = "$first"

# -- options hold for one run only
before=$(cat home/marrowfold.dat)
mf --home home --dest source --names plain --disable-missing dwg/sample.jww
check "beside the source" test "$(sed -n 2p stdout)" = "→ $t/dwg/sample~1.jww"
check "options are not stored" test "$(cat home/marrowfold.dat)" = "$before"
rm -f dwg/sample~1.jww

# -- --save-settings alone stores the choices
mf --home home --save-settings --dest-dir out --names plain
check "--save-settings alone exits 0" test $? -eq 0
check "and prints nothing" test ! -s stdout
check "nor warns" test ! -s stderr
check "the given folder is stored" test "$(sed -n 6p home/marrowfold.dat | tr -d '\r')" = 1
check "its text too" test "$(sed -n 7p home/marrowfold.dat | tr -d '\r')" = "$(printf '%s' "$t/out" | tr / '\\')"
check "plain names are stored" test "$(sed -n 12p home/marrowfold.dat | tr -d '\r')" = 1
mf --home home dwg/sample.jww
check "the stored folder is used" test "$(sed -n 2p stdout)" = "→ $t/out/sample~3.jww"
stored=$(cat home/marrowfold.dat)
mf --home home --save-settings --drive Z=/ --look-beside --drive Y=/tmp
check "options the settings have no line for: still exit 0" test $? -eq 0
check "but say which are not stored, once each" test "$(cat stderr)" = \
  "marrowfold: not stored in the settings (they hold for this run only): --drive, --look-beside"
check "and the settings stay as they were" test "$(cat home/marrowfold.dat)" = "$stored"

# -- skipped and failed drawings
mkdir -p dwg/folder.jww && echo x >dwg/notes.txt && echo "not a drawing" >dwg/bad.jww
mf --home home --dest-dir out dwg/missing.jww dwg/folder.jww dwg/notes.txt dwg/bad.jww dwg/sample.jww
check "skipped or failed drawings exit 1" test $? -eq 1
check "one warning per skipped name" test "$(grep -c -e "$t/dwg/missing.jww: no such file" -e "$t/dwg/folder.jww: is a folder" -e "$t/dwg/notes.txt: not a .jww" stderr)" -eq 3
check "the one that is no drawing fails, saying so" grep -q "^marrowfold: $t/dwg/bad.jww: not a Jw_cad drawing" stderr
check "six log lines" test "$(wc -l <stdout)" -eq 6
check "failure line" test "$(sed -n 3p stdout)" = "　…… 変換失敗"
check "the good one still converts" test "$(sed -n 6p stdout)" = "$ok_line"
check "nothing written for the failure" test ! -e out/bad.jww

mkdir -p "dwg/caf$(printf '\xc3\xa9')"
cp dwg/sample.jww "dwg/caf$(printf '\xc3\xa9')/x.jww"
mf --home home --dest-dir out "dwg/caf$(printf '\xc3\xa9')/x.jww"
check "a path Shift-JIS cannot hold converts" test $? -eq 0
check "named as it is" grep -qF "$t/dwg/caf$(printf '\xc3\xa9')/x.jww" stdout

# -- destinations that end the batch
mf --home home --dest-dir nowhere dwg/sample.jww
check "a missing given folder exits 1" test $? -eq 1
printf '%s\n' "指定したフォルダが見つかりません。" "$t/nowhere/" >expected
check "and shows the message on standard error" cmp -s stderr expected
check "leaving standard output to the log" test ! -s stdout
HOME="$t/nobody" mf --home home --dest desktop dwg/sample.jww
check "a desktop that is not there exits 1" test $? -eq 1
printf '%s\n' "指定したフォルダが見つかりません。" "$t/nobody/Desktop/" >expected
check "and says so once, on standard error" cmp -s stderr expected
mf --home home --dest ask dwg/sample.jww </dev/null
check "asking without a terminal cancels: exit 1" test $? -eq 1
check "quietly" test ! -s stdout

# -- usage
"$bin/marrowfold" >stdout 2>stderr
check "no arguments exits 2" test $? -eq 2
check "with a usage on standard error" grep -q "^usage: marrowfold" stderr
mf --dest-dir
check "a missing value exits 2" test $? -eq 2
mf --dest=bogus x.jww
check "a bad choice exits 2" test $? -eq 2
mf --frobnicate x.jww
check "an unknown option exits 2" test $? -eq 2
mf --json x.jww
check "--json without --info exits 2" test $? -eq 2
mf --help
check "--help exits 0 and prints on standard output" test $? -eq 0 -a -s stdout
check "--help gives -G with --drive" grep -q -- '^       marrowfold \[--home DIR\] \[--drive X=DIR\]' stdout
check "--help tells --json's output is JSON Lines" grep -q 'JSON Lines' stdout
mf --version
check "--version" test "$(cat stdout)" = "Marrowfold Ver.1.3"
cp dwg/sample.jww ./-x.jww
mf --home home --dest-dir out -- -x.jww
check "-- ends the options" test "$(sed -n 2p stdout)" = "→ $t/out/-x.jww"

mkdir -p blocked && touch blocked/TEMP
mf --home blocked --dest-dir out dwg/sample.jww
check "a work folder that cannot be made stops the run: exit 1, no usage error" test $? -eq 1
check "and says so" grep -q "cannot create the work folder" stderr
check "before converting anything" test ! -s stdout
# A --home the user may not write to (root writes anywhere: run as nobody).
if command -v setpriv >/dev/null; then
  mkdir -p shared/home shared/dwg && cp dwg/sample.jww shared/dwg/
  chmod 755 "$t" shared shared/dwg && chmod 555 shared/home && chmod 644 shared/dwg/sample.jww
  setpriv --reuid=65534 --regid=65534 --clear-groups \
    "$bin/marrowfold" --home shared/home --dest-dir shared/dwg shared/dwg/sample.jww >stdout 2>stderr
  check "a read-only --home exits 1" test $? -eq 1
  check "saying why" grep -q "work folder" stderr
  setpriv --reuid=65534 --regid=65534 --clear-groups \
    "$bin/marrowfold" --home shared/home/sub --dest-dir shared/dwg shared/dwg/sample.jww >stdout 2>stderr
  check "a --home that cannot be made exits 1" test $? -eq 1
  check "naming the program folder" grep -q "the program folder cannot be used" stderr
  chmod 700 "$t"
fi

# -- --info reads and writes nothing
tree >snapshot
mf --home home --info dwg/sample.jww out/sample.jww
status=$?
check "--info exits 0" test $status -eq 0
check "--info names the drawing" grep -q "$t/dwg/sample.jww" stdout
check "--info writes nothing" test "$(tree)" = "$(cat snapshot)"
mf --info --json dwg/sample.jww dwg/bad.jww dwg/sample.jww
check "--json of a damaged drawing exits 1" test $? -eq 1
check "--json gives one line per drawing" test "$(wc -l <stdout)" -eq 3
if command -v python3 >/dev/null; then
  check "each line is a JSON document" python3 -c 'import json; [json.loads(l) for l in open("stdout")]'
fi
mf --info dwg/bad.jww dwg/sample.jww
check "--info of a damaged drawing exits 1" test $? -eq 1
check "--info still writes nothing" test "$(tree)" = "$(cat snapshot)"

# -- two batches at once into one folder lose nothing
mkdir -p a b both
for i in 0 1 2 3 4 5 6 7 8 9; do cp dwg/sample.jww "a/plan$i.jww"; cp dwg/sample.jww "b/plan$i.jww"; done
cp -r dwg/images a/ && cp -r dwg/images b/
"$bin/marrowfold" --home home --dest-dir both a/*.jww >a.out 2>a.err &
pa=$!
"$bin/marrowfold" --home home --dest-dir both b/*.jww >b.out 2>b.err &
pb=$!
wait $pa
sa=$?
wait $pb
sb=$?
check "both batches exit 0" test $sa -eq 0 -a $sb -eq 0
check "twenty drawings written" test "$(ls both | wc -l)" -eq 20
check "no temporary file left" test -z "$(ls both | grep -v '\.jww$')"
check "every result is OK" test "$(cat a.out b.out | grep -c '変換ＯＫ')" -eq 20
outs=$(cat a.out b.out | sed -n 's/^→ //p' | sort -u | wc -l)
check "every output name is its own" test "$outs" -eq 20
"$bin/marrowfold" --info both/*.jww >/dev/null 2>&1
check "every output reads fully" test $? -eq 0
check "work folder gone after both" test ! -e home/TEMP

# -- Jw_cad's external transformation: -G in the folder of JWC_TEMP.TXT
mkdir -p ext
jwc() { printf 'hq\r\nfile=%s\r\nhk 0\r\nlg0\r\n' "$1" >ext/JWC_TEMP.TXT; }
temp_is_whole() {  # TEMP.JWW reads fully and every embedded reference finds its image
  "$bin/marrowfold" --info ext/TEMP.JWW >info 2>&1 && grep -q 'embedded ' info && ! grep -q -- '-> none' info
}
jwc "$t/dwg/sample.jww"
mf --home ext --no-open -G
check "-G with a native path exits 0" test $? -eq 0
check "and shows the result" test "$(cat stdout)" = "変換ＯＫ(同梱ファイル数:2 画像文字数:1 blk内:1 不明画像文字:1 blk内:0)"
check "TEMP.JWW is whole" temp_is_whole
check "with plain embedded names" grep -q 'embedded  photo.bmp -> photo.bmp.gz' info
check "the settings are kept" test -f ext/marrowfold.dat
check "the work folder is gone" test ! -e ext/TEMP
jwc "Z:$(printf '%s' "$t/dwg/sample.jww" | tr / '\\')"
mf --home ext --drive Z=/ --no-open /g
check "-G with a Z: path as Wine writes it exits 0" test $? -eq 0
check "TEMP.JWW is whole again" temp_is_whole
jwc "$t/dwg/bad.jww"
mf --home ext --no-open -G
check "a file that is no drawing exits 1" test $? -eq 1
check "and says on standard error it could not convert" test "$(head -1 stderr)" = "変換できませんでした。"
check "with the reason" grep -q "not a Jw_cad drawing" stderr
check "printing nothing on standard output" test ! -s stdout
check "leaving no TEMP.JWW" test ! -e ext/TEMP.JWW
rm ext/JWC_TEMP.TXT
mf --home ext -G
check "no data file exits 1" test $? -eq 1
check "asking on standard error to save as JWW first" test "$(cat stderr)" = "外部変形実行前に図面をJWW形式で保存して下さい。"
check "with nothing on standard output" test ! -s stdout
jwc "$t/dwg/gone.jww"
mf --home ext --no-open -G
check "a drawing that is not there exits 1" test $? -eq 1
check "naming it, as this system writes it, on standard error" test "$(cat stderr)" = "図面ファイル「$t/dwg/gone.jww」は存在しませんので変換できませんでした。"
check "with nothing on standard output" test ! -s stdout
mf --home ext --dest source -G
check "-G refuses the batch's options" test $? -eq 2
check "naming those it takes, --drive among them" grep -q "^marrowfold: -G takes only --home, --drive," stderr
# Opening TEMP.JWW goes through the desktop's opener, never waited for.
mkdir -p fakebin
printf '#!/bin/sh\necho "$@" >"%s/opened"\n' "$t" >fakebin/xdg-open && chmod +x fakebin/xdg-open
jwc "$t/dwg/sample.jww"
PATH="$t/fakebin:$PATH" mf --home ext -G
for _ in $(seq 50); do [ -s opened ] && break; sleep 0.1; done
check "TEMP.JWW is opened" test "$(cat opened 2>/dev/null)" = "$t/ext/TEMP.JWW"

[ $fails -eq 0 ]
