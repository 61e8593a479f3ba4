#!/usr/bin/env bash
# Names Shift-JIS cannot hold, everywhere a path goes, through the command:
# a drawing "plan é.jww" in a folder "Café 𠮷田" whose images lie there,
# in byte form and in UTF-16, converted with a program folder and a
# destination named so too; the desktop of a user "Jürgen"; a destination
# stored in the settings and used by the next run.
set -u
bin="$1"
t=$(mktemp -d)
trap 'rm -rf "$t"' EXIT
. "$(dirname "${BASH_SOURCE[0]}")/check.sh"
export HOME="$t/user"
cd "$t"
mkdir -p "$HOME"
ok_line="　…… 変換ＯＫ(同梱ファイル数:2 画像文字数:1 blk内:1 不明画像文字:1 blk内:0)"

folder="Café 𠮷田"
"$bin/marrowfold-sample" "$folder" >/dev/null || { echo "FAILED: sample"; exit 1; }
mv "$folder/sample.jww" "$folder/plan é.jww"
"$bin/marrowfold-sample" --utf16 u16 >/dev/null || { echo "FAILED: UTF-16 sample"; exit 1; }
mv u16/sample.jww "$folder/plan é u16.jww"
home="home 𠮷"
out="out Jürgen 𠮷"
mkdir -p "$out"

"$bin/marrowfold" --home "$home" --dest-dir "$out" "$folder/plan é.jww" \
  "$folder/plan é u16.jww" >stdout 2>stderr
check "both drawings convert" test $? -eq 0
check "nothing on standard error" test ! -s stderr
check "the log names the source as it is" test "$(sed -n 1p stdout)" = "$t/$folder/plan é.jww"
check "and the output" test "$(sed -n 2p stdout)" = "→ $t/$out/plan é.jww"
check "its images found beside it" test "$(sed -n 3p stdout)" = "$ok_line"
check "the UTF-16 drawing too" test "$(sed -n 6p stdout)" = "$ok_line"
check "the settings lie in the program folder" test -f "$home/marrowfold.dat"

"$bin/marrowfold" --info "$out/plan é.jww" >info
# A text of Shift-JIS bytes cannot hold é or 𠮷: each unit becomes "_" in
# the name made from the path.
check "byte form: the names hold \"_\" for what Shift-JIS lacks" \
  grep -q "embedded  _tmp_.*_Caf_ __田_images_photo.bmp -> .*Caf_ __田_images_photo.bmp.gz" info
"$bin/marrowfold" --info "$out/plan é u16.jww" >info16
check "UTF-16: the names keep é and 𠮷" \
  grep -q "embedded  _tmp_.*_Café 𠮷田_images_photo.bmp -> .*_Café 𠮷田_images_photo.bmp.gz" info16
check "no reference is left live but the missing one" \
  test "$(grep -c '^    live ' info16)" -eq 1

# -- the desktop of a user whose home folder Shift-JIS cannot name
mkdir -p "$t/Jürgen/Desktop"
HOME="$t/Jürgen" "$bin/marrowfold" --home "$home" --dest desktop "$folder/plan é.jww" \
  >stdout 2>stderr
check "the default desktop under HOME=…/Jürgen" test -f "$t/Jürgen/Desktop/plan é.jww"
check "is the one named in the log" test "$(sed -n 2p stdout)" = "→ $t/Jürgen/Desktop/plan é.jww"

# -- a stored destination beyond CP932, used by the next run
mkdir -p "stored 𠮷"
"$bin/marrowfold" --home "$home" --dest-dir "stored 𠮷" --save-settings >/dev/null 2>&1
check "storing it succeeds" test $? -eq 0
check "its line of the fourteen stays empty" test "$(sed -n 7p "$home/marrowfold.dat" | tr -d '\r')" = ""
check "the fifteenth line holds it in UTF-8" \
  test "$(sed -n 15p "$home/marrowfold.dat" | tr -d '\r' | cut -f1,2)" = \
  "UTF-8	$(printf '%s' "$t/stored 𠮷" | tr / '\\')"
"$bin/marrowfold" --home "$home" "$folder/plan é.jww" >stdout 2>stderr
check "the next run converts into it" test -f "stored 𠮷/plan é.jww"

# -- a drawing and its image named on disk in CP932 bytes
mkdir -p sj/images
drawing=$(printf 'sj/\x90\x7d\x96\xca.jww') # 図面.jww
LC_ALL=C perl -0777 -pe 's/photo\.bmp/\x95\x5c\x8e\xa61.bmp/' "$folder/plan é.jww" >"$drawing"
cp "$folder/images/photo.bmp" "$(printf 'sj/images/\x95\x5c\x8e\xa61.bmp')" # 表示1.bmp
cp "$folder/images/logo.bmp" sj/images/
"$bin/marrowfold" --home "$home" --dest-dir "$out" "$drawing" >stdout 2>stderr
check "a drawing named in CP932 bytes, its image too, convert" test "$(sed -n 3p stdout)" = "$ok_line"
check "into a name in UTF-8" test -f "$out/図面.jww"

[ $fails -eq 0 ]
