#!/usr/bin/env bash
# Draws the launcher's application icon and writes launcher.ico beside this script: one master
# image at 256 x 256 (a dark rounded square with a gold "V" chevron, ImageMagick primitives only,
# no fonts) scaled down to the six sizes Windows asks for. The output is byte-for-byte the same
# on every run; the build uses the committed launcher.ico and does not need ImageMagick.
set -euo pipefail
cd "$(dirname "$0")"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# +set date:* and the PNG chunk exclusion keep time stamps out of the files.
common=(-define png:exclude-chunks=date,time +set date:create +set date:modify)

convert -size 256x256 xc:none \
  -fill '#1b1f2a' -draw 'roundrectangle 8,8 247,247 44,44' \
  -fill none -stroke '#c9a227' -strokewidth 10 -draw 'roundrectangle 20,20 235,235 34,34' \
  -stroke none -fill '#e0b53a' -draw 'polygon 50,62 102,62 128,146 154,62 206,62 150,200 106,200' \
  "${common[@]}" "$work/master.png"

sizes=(256 64 48 32 24 16)
frames=()
for size in "${sizes[@]}"; do
  convert "$work/master.png" -filter Lanczos -resize "${size}x${size}" "${common[@]}" \
    "PNG32:$work/icon-$size.png"
  frames+=("$work/icon-$size.png")
done
convert "${frames[@]}" "${common[@]}" launcher.ico
echo "wrote $(pwd)/launcher.ico (${#sizes[@]} images: ${sizes[*]})"
