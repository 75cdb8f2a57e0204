#!/usr/bin/env bash
# Draws the window tests' skin images with ImageMagick into this folder. The PNGs are committed; run
# this again after changing a picture.
set -euo pipefail
out=$(cd "$(dirname "$0")" && pwd)
im=convert

# Solid faces whose colours tell the control states apart in pixel reads.
solid() { "$im" -size 8x8 "xc:$2" "PNG32:$out/$1"; }
solid up.png '#2050C0'
solid over.png '#20A040'
solid down.png '#C03020'
solid off.png '#909090'
solid page.png '#F0F0E8'
solid half.png 'rgba(255,0,0,0.5)'

# A button face with a rim, 6-pixel nine-grid.
"$im" -size 40x24 xc:none -fill '#3A7BD5' -stroke '#24559E' -strokewidth 1 \
    -draw "roundrectangle 0.5,0.5 39.5,23.5 5,5" "PNG32:$out/button.png"
# A progress track and its bar.
"$im" -size 16x12 xc:none -fill '#DDE3EA' -stroke '#B8C2CE' -draw "roundrectangle 0.5,0.5 15.5,11.5 4,4" \
    "PNG32:$out/track.png"
"$im" -size 16x12 gradient:'#5FB0FF-#2F7FE0' "PNG32:$out/bar.png"

# The drop shadow: a blurred dark frame around the window's place, fully transparent where the window
# sits. Its nine-grid margins equal the shadow margins (20, 14, 16, 21), so the window covers exactly
# the transparent centre.
"$im" -size 76x75 xc:none -fill 'rgba(0,0,0,0.8)' -draw "roundrectangle 16,11 59,52 6,6" -blur 0x6 \
    -region 40x40+20+14 -alpha transparent +region "PNG32:$out/shadow.png"
