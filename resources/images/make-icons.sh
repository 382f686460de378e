#!/usr/bin/env bash
# Draws the program's icons with ImageMagick: a "V" on a dark rounded square. Run it after
# changing the drawing; the PNG files are committed.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
draw() {
    convert -size 64x64 xc:none -fill '#222529' -draw 'roundrectangle 2,2 61,61 12,12' \
        -fill none -stroke '#3fc1a5' -strokewidth 7 -draw 'polyline 16,18 32,48 48,18' \
        -resize "$1x$1" -depth 8 -strip "$2"
}
draw 64 "$here/desk_icon.png"
draw 32 "$here/tray_icon.png"
