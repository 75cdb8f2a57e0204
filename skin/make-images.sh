#!/usr/bin/env bash
# Draws the test skin's images with ImageMagick into this folder (or the folder given). The PNGs are
# committed; run this again after changing a picture. All art here is drawn by this script.
set -euo pipefail
out=${1:-$(cd "$(dirname "$0")" && pwd)}
im=${CONVERT:-/usr/bin/convert}
[ -x "$im" ] || im=convert

# Rounded button face: size fill border
face() {
    "$im" -size "$1" xc:none -fill "$3" -stroke "$4" -strokewidth 1 \
        -draw "roundrectangle 0.5,0.5 $(( ${1%x*} - 1 )).5,$(( ${1#*x} - 1 )).5 5,5" "PNG32:$out/$2"
}
face 40x24 btn_up.png '#3A7BD5' '#24559E'
face 40x24 btn_over.png '#5A97E8' '#2F66B5'
face 40x24 btn_down.png '#275EAD' '#1B4380'
face 40x24 btn_disabled.png '#B4B9C0' '#9097A0'
face 30x24 edit.png '#FFFFFF' '#A9B2BE'
face 30x24 edit_over.png '#FFFFFF' '#3A7BD5'

# Page background: light panel with a darker rim, 8-pixel nine-grid.
"$im" -size 32x32 xc:none -fill '#F3F5F8' -stroke '#C5CCD6' -strokewidth 1 \
    -draw "roundrectangle 0.5,0.5 31.5,31.5 6,6" "PNG32:$out/panel.png"
# A title band: vertical gradient.
"$im" -size 16x32 gradient:'#2D6CC0-#1C4A8A' "PNG32:$out/title.png"

# Check boxes: 16 x 16 frames. box fill border [tick colour]
box() {
    local args=(-size 16x16 xc:none -fill "$2" -stroke "$3" -strokewidth 1
        -draw "roundrectangle 1.5,1.5 14.5,14.5 3,3")
    if [ -n "${4:-}" ]; then
        args+=(-fill none -stroke "$4" -strokewidth 2 -draw "polyline 4,8 7,11 12,5")
    fi
    "$im" "${args[@]}" "PNG32:$1"
}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
box "$tmp/0.png" '#FFFFFF' '#8A94A3'
box "$tmp/1.png" '#EEF4FD' '#3A7BD5'
box "$tmp/2.png" '#D6E4F8' '#275EAD'
box "$tmp/3.png" '#E4E6E9' '#B4B9C0'
box "$tmp/4.png" '#3A7BD5' '#24559E' '#FFFFFF'
box "$tmp/5.png" '#5A97E8' '#2F66B5' '#FFFFFF'
box "$tmp/6.png" '#275EAD' '#1B4380' '#FFFFFF'
box "$tmp/7.png" '#B4B9C0' '#9097A0' '#FFFFFF'
"$im" "$tmp"/{0,1,2,3,4,5,6,7}.png -append +repage "PNG32:$out/check_strip.png"
cp "$tmp/0.png" "$out/check_off.png"
cp "$tmp/4.png" "$out/check_on.png"
cp "$tmp/1.png" "$out/check_off_over.png"
cp "$tmp/5.png" "$out/check_on_over.png"

# Icon: a small disc with a ring.
"$im" -size 16x16 xc:none -fill '#F2A03D' -stroke '#B86E12' -strokewidth 1 \
    -draw "circle 7.5,7.5 7.5,1.5" "PNG32:$out/icon.png"

# The window's drop shadow: a blurred dark frame, fully transparent where the window sits. Its
# nine-grid margins equal the shadow margins (20, 14, 16, 21).
"$im" -size 76x75 xc:none -fill 'rgba(0,0,0,0.55)' -draw "roundrectangle 16,11 59,52 6,6" -blur 0x6 \
    -region 40x40+20+14 -alpha transparent +region "PNG32:$out/shadow.png"
# The close button's hover face.
"$im" -size 16x32 gradient:'#E0504A-#B83430' "PNG32:$out/close_over.png"
