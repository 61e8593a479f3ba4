#!/usr/bin/env bash
# Draws marrowfold.ico (16, 32 and 48 pixels): a drawing sheet with its
# folded corner, carrying a picture of its own. Needs ImageMagick.
set -euo pipefail
cd "$(dirname "$0")"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
convert -size 192x192 xc:none \
  -fill white -stroke '#1f3f7f' -strokewidth 8 \
  -draw 'polygon 28,12 132,12 168,48 168,180 28,180' \
  -fill '#c8d8f0' -draw 'polygon 132,12 132,48 168,48' \
  -stroke none -fill '#1f3f7f' \
  -draw 'rectangle 48,40 112,48' -draw 'rectangle 48,60 100,66' \
  -fill '#7fc0ff' -stroke '#1f3f7f' -strokewidth 6 -draw 'rectangle 46,86 150,162' \
  -stroke none -fill '#2f8f3f' -draw 'polygon 49,159 86,112 112,140 126,124 147,159' \
  -fill '#ffc020' -draw 'circle 128,104 128,94' \
  "$work/sheet.png"
for size in 16 32 48; do
  convert "$work/sheet.png" -filter Lanczos -resize ${size}x${size} "$work/icon-$size.png"
done
convert "$work/icon-16.png" "$work/icon-32.png" "$work/icon-48.png" marrowfold.ico
