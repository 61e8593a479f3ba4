#!/usr/bin/env bash
# The marrowfold command as a shell user meets it: the three log lines of
# each drawing, exit statuses, reasons on standard error, no overwriting.
set -u
bin="$1"
t=$(mktemp -d)
trap 'rm -rf "$t"' EXIT
fails=0
check() {  # description, condition...
  local what="$1"
  shift
  if "$@"; then echo "ok: $what"; else echo "FAILED: $what"; fails=$((fails + 1)); fi
}

mkdir -p "$t/home" "$t/out"
"$bin/marrowfold-sample" "$t/dwg" >/dev/null || { echo "FAILED: sample"; exit 1; }

cd "$t"
"$bin/marrowfold" --home home --dest-dir out dwg/sample.jww >stdout 2>stderr
status=$?
check "a good drawing exits 0" test $status -eq 0
check "three lines" test "$(wc -l <stdout)" -eq 3
check "source line is absolute" test "$(sed -n 1p stdout)" = "$t/dwg/sample.jww"
check "arrow line names the output" test "$(sed -n 2p stdout)" = "→ $t/out/sample.jww"
check "result line" test "$(sed -n 3p stdout)" = "　…… 変換ＯＫ(同梱ファイル数:2 画像文字数:1 blk内:1 不明画像文字:1 blk内:0)"
check "nothing on standard error" test ! -s stderr
check "work folder removed" test ! -e home/TEMP

"$bin/marrowfold" --home home --dest-dir out dwg/sample.jww missing.jww >stdout 2>stderr
status=$?
check "a failed drawing exits 1" test $status -eq 1
check "second run takes a branch number" test "$(sed -n 2p stdout)" = "→ $t/out/sample~1.jww"
check "failure line" test "$(sed -n 6p stdout)" = "　…… 変換失敗"
check "the reason names the file" grep -q "^marrowfold: $t/missing.jww: " stderr
check "nothing written for the failure" test ! -e out/missing.jww

mkdir -p "dwg/caf$(printf '\xc3\xa9')"
cp dwg/sample.jww "dwg/caf$(printf '\xc3\xa9')/x.jww"
"$bin/marrowfold" --home home --dest-dir out "dwg/caf$(printf '\xc3\xa9')/x.jww" >stdout 2>stderr
check "a path Shift-JIS cannot hold fails" test $? -eq 1
check "and says why" grep -q "caf" stderr

mkdir -p blocked && touch blocked/TEMP
"$bin/marrowfold" --home blocked --dest-dir out dwg/sample.jww >stdout 2>stderr
check "a work folder that cannot be made stops the run" test $? -eq 2
check "and says so" grep -q "cannot create the work folder" stderr
check "before converting anything" test ! -s stdout

"$bin/marrowfold" --dest-dir >/dev/null 2>&1
check "usage error exits 2" test $? -eq 2
"$bin/marrowfold" --home home --dest-dir nowhere dwg/sample.jww >/dev/null 2>&1
check "a missing destination exits 2" test $? -eq 2

[ $fails -eq 0 ]
