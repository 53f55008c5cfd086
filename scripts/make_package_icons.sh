#!/usr/bin/env bash
# Derives the package icons from the window icon (src/ui/resources/icon.xpm, 32 x 32 pixel art):
# a PNG for the desktop entry and a multi-size .ico for the Windows resource (16, 32, 48 and 256
# pixels in true colour, and 32 pixels in 16 colours). Sizes that are multiples of 32 are scaled
# without smoothing, so the pixels stay sharp.
# Run from anywhere after the window icon changed; tests/package checks that they still match.
set -euo pipefail
cd "$(dirname "$0")/.."
src=src/ui/resources/icon.xpm
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

convert "$src" -filter point -resize 400% -strip "PNG32:packaging/linux/quentra-module-upgrade.png"
convert "$src" -filter point -resize 50% -strip "PNG32:$tmp/16.png"
convert "$src" -strip "PNG32:$tmp/32.png"
convert "$src" -resize 150% -strip "PNG32:$tmp/48.png"
convert "$src" -filter point -resize 800% -strip "PNG32:$tmp/256.png"
convert "$tmp/16.png" "$tmp/32.png" "$tmp/48.png" "$tmp/256.png" packaging/windows/QuentraModuleUpgrade.ico
# ImageMagick writes true-colour images only; the 16-colour one is added as a 4-bit bitmap.
python3 scripts/add_16_colour_icon.py "$src" packaging/windows/QuentraModuleUpgrade.ico
