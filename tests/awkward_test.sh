#!/usr/bin/env bash
# What a user's disk holds beside their drawings, met through the command:
# an image they may not read, a pipe where an image was, a dangling link
# where the output would go, a file named .jww that is no drawing.
set -u
bin="$1"
t=$(mktemp -d)
trap 'rm -rf "$t"' EXIT
. "$(dirname "${BASH_SOURCE[0]}")/check.sh"
export HOME="$t/user"
cd "$t"
mkdir -p "$HOME" home out
"$bin/marrowfold-sample" "$t/dwg" >/dev/null || { echo "FAILED: sample"; exit 1; }
mf() { "$bin/marrowfold" --home home --dest-dir out "$@" >stdout 2>stderr; }
ok_one_missing="　…… 変換ＯＫ(同梱ファイル数:1 画像文字数:0 blk内:1 不明画像文字:2 blk内:0)"

# -- an image the user may not read: missing, named in a warning
if command -v setpriv >/dev/null; then
  chmod -R a+rwX "$t"
  chmod 600 dwg/images/photo.bmp
  setpriv --reuid=65534 --regid=65534 --clear-groups "$bin/marrowfold" --home home --dest-dir out \
    dwg/sample.jww >stdout 2>stderr
  check "an unreadable image does not fail the drawing" test $? -eq 0
  check "it is counted missing" test "$(sed -n 3p stdout)" = "$ok_one_missing"
  check "and named on standard error" grep -q "photo.bmp.*counted as missing" stderr
  check "nothing of it is left staged" test ! -e home/TEMP
  setpriv --reuid=65534 --regid=65534 --clear-groups "$bin/marrowfold" --info dwg/sample.jww >info
  check "--info foretells it" grep -q "photo.bmp (found, but counted as missing: it cannot be read)" info
  chmod 644 dwg/images/photo.bmp
  rm -rf out/* home/*
else
  echo "not run: setpriv is missing (the unreadable-image case needs another user)"
fi

# -- a pipe where the image was: never read, so the run never hangs
mv dwg/images/photo.bmp photo.bytes
mkfifo dwg/images/photo.bmp
timeout 20 "$bin/marrowfold" --home home --dest-dir out dwg/sample.jww >stdout 2>stderr
check "a FIFO as an image does not hang the run" test $? -eq 0
check "it is counted missing" test "$(sed -n 3p stdout)" = "$ok_one_missing"
check "as no regular file" grep -q "photo.bmp.*not a regular file" stderr
"$bin/marrowfold" --info --json dwg/sample.jww >info
check "--info --json says why it will be missing" grep -q '"unusable":"it is not a regular file"' info
rm dwg/images/photo.bmp
ln -s /dev/zero dwg/images/photo.bmp
rm -f out/*
timeout 20 "$bin/marrowfold" --home home --dest-dir out dwg/sample.jww >stdout 2>stderr
check "a link to /dev/zero is no image either" test "$(sed -n 3p stdout)" = "$ok_one_missing"
# An image larger than a drawing's size field holds (sparse: nothing is
# really written, nor read).
rm dwg/images/photo.bmp
truncate -s 3G dwg/images/photo.bmp
rm -f out/*
timeout 20 "$bin/marrowfold" --home home --dest-dir out dwg/sample.jww >stdout 2>stderr
check "an image too large to store is missing" test "$(sed -n 3p stdout)" = "$ok_one_missing"
check "and said to be too large" grep -q "photo.bmp.*too large to embed" stderr
rm dwg/images/photo.bmp
mv photo.bytes dwg/images/photo.bmp
rm -f out/*

# -- a dangling link at the output name takes that name
ln -s "$t/nowhere/sample.jww" out/sample.jww
mf dwg/sample.jww
check "a dangling link at the output name: the next free name" \
  test "$(sed -n 2p stdout)" = "→ $t/out/sample~1.jww"
check "converted" grep -q "変換ＯＫ" stdout
check "nothing written through the link" test ! -e nowhere
check "the link is left as it was" test -L out/sample.jww
rm -f out/*

# -- a file named .jww that is no drawing
echo "just a note" >dwg/note.jww
mf dwg/note.jww
check "a random .jww fails" test "$(sed -n 3p stdout)" = "　…… 変換失敗"
check "saying it is no drawing" grep -q 'not a Jw_cad drawing (it does not begin with "JwwData.")' stderr

[ $fails -eq 0 ]
