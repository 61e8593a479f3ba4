#!/usr/bin/env bash
# What a user's disk holds beside their drawings, met through the command:
# an image they may not read, a pipe where an image was, a dangling link
# where the output would go, a file named .jww that is no drawing, names
# that lie on disk in CP932 bytes.
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

# -- names on disk in CP932 bytes, as unzip leaves a zip made on a Japanese
# Windows: the drawing 図面.jww, and its image 表示1.bmp (0x95 0x5C: the
# second byte of 表 is the byte of "\")
mkdir sj
drawing=$(printf 'sj/\x90\x7d\x96\xca.jww')
LC_ALL=C perl -0777 -pe 's/photo\.bmp/\x95\x5c\x8e\xa61.bmp/' dwg/sample.jww >"$drawing"
mkdir sj/images
cp dwg/images/logo.bmp sj/images/
cp dwg/images/photo.bmp "$(printf 'sj/images/\x95\x5c\x8e\xa61.bmp')"
mf "$drawing"
check "a drawing named in CP932 bytes converts, its image found by its CP932 name" \
  test "$(sed -n 3p stdout)" = "　…… 変換ＯＫ(同梱ファイル数:2 画像文字数:1 blk内:1 不明画像文字:1 blk内:0)"
check "its source is shown decoded" test "$(sed -n 1p stdout)" = "$t/sj/図面.jww"
check "the output takes the system's own encoding" test -f "out/図面.jww"
"$bin/marrowfold" --info "$drawing" >info
check "--info says the drawing's name is CP932 bytes" grep -q "sj/図面.jww  (named on disk in CP932 bytes)" info
check "and the image's" grep -q "images/表示1.bmp (found, named on disk in CP932 bytes)" info
"$bin/marrowfold" --info --json "$drawing" >info
check "--info --json says so too" grep -q '"cp932Name":true' info
rm -rf out/* sj

[ $fails -eq 0 ]
