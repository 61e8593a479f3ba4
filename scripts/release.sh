#!/usr/bin/env bash
# Builds the 32-bit Windows programs and packs what a user needs into
# out/release/marrowfold-win32.zip: the window program, the command-line
# program, the batch file for Jw_cad's external transformation and a short
# README in Japanese (Shift-JIS, CR LF, as Notepad on any Japanese Windows
# reads it).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

if ! command -v zip >/dev/null; then
  source scripts/apt_install.sh
  apt_install zip unzip
fi
bash scripts/windows_build.sh i686 >/dev/null
build=build-win32
for exe in marrowfold.exe marrowfold-cli.exe; do
  [ -f "$build/$exe" ] || { echo "release: $build/$exe was not built" >&2; exit 1; }
done

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
pack="$stage/Marrowfold"
mkdir -p "$pack"
cp "$build/marrowfold.exe" "$build/marrowfold-cli.exe" "$pack/"
i686-w64-mingw32-strip "$pack/marrowfold.exe" "$pack/marrowfold-cli.exe"
cp dist/Marrowfold.bat "$pack/"
iconv -f UTF-8 -t CP932 dist/README-ja.txt | sed 's/$/\r/' >"$pack/README.txt"

mkdir -p out/release
rm -f out/release/marrowfold-win32.zip
(cd "$stage" && TZ=UTC zip -q -X -r "$root/out/release/marrowfold-win32.zip" Marrowfold)
echo "out/release/marrowfold-win32.zip"
unzip -l out/release/marrowfold-win32.zip | sed -n '4,$p'
