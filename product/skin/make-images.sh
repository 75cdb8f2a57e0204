#!/usr/bin/env bash
# Draws the installer skin's images with ImageMagick into this folder (or the folder given). The PNGs
# are committed; run this again after changing a picture. All art here is drawn by this script.
# Palette: brand blue #3A7BD5 (primary buttons, focus rims, checked boxes, progress), text greys
# #333333 / #666666 / #999999 on a white page, rims #C5CCD6.
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
# Secondary buttons (every action but the page's main one): a white face with a grey rim that turns
# blue under the pointer.
face 40x24 btn2_up.png '#FFFFFF' '#C5CCD6'
face 40x24 btn2_over.png '#EEF4FD' '#3A7BD5'
face 40x24 btn2_down.png '#DCE8F8' '#275EAD'
face 40x24 btn2_disabled.png '#F3F5F8' '#DDE2E8'
face 30x24 edit.png '#FFFFFF' '#A9B2BE'
face 30x24 edit_over.png '#FFFFFF' '#3A7BD5'

# Page background: a white page with a grey rim, 8-pixel nine-grid.
"$im" -size 32x32 xc:none -fill '#FFFFFF' -stroke '#B9C2CE' -strokewidth 1 \
    -draw "roundrectangle 0.5,0.5 31.5,31.5 6,6" "PNG32:$out/panel.png"
# The title band: a gentle vertical gradient of the brand blue.
"$im" -size 16x44 gradient:'#3C7FDA-#2C66BD' "PNG32:$out/title.png"

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

# Radio buttons: 16 x 16 rings, the checked ones with a dot. name fill border [dot colour]
ring() {
    local args=(-size 16x16 xc:none -fill "$2" -stroke "$3" -strokewidth 1 -draw "circle 7.5,7.5 7.5,1.5")
    if [ -n "${4:-}" ]; then
        args+=(-fill "$4" -stroke none -draw "circle 7.5,7.5 7.5,4.5")
    fi
    "$im" "${args[@]}" "PNG32:$out/$1"
}
ring radio_off.png '#FFFFFF' '#8A94A3'
ring radio_off_over.png '#EEF4FD' '#3A7BD5'
ring radio_on.png '#FFFFFF' '#3A7BD5' '#3A7BD5'
ring radio_on_over.png '#EEF4FD' '#275EAD' '#275EAD'

# Slider: a 6-pixel track (filled part blue, rest grey) and a 14 x 14 round thumb in three states.
bar() {
    "$im" -size 12x6 xc:none -fill "$2" -stroke none -draw "roundrectangle 0,0 11,5 3,3" "PNG32:$out/$1"
}
bar slider_track.png '#3A7BD5'
bar slider_bar.png '#D3D8DF'
knob() {
    "$im" -size 14x14 xc:none -fill "$2" -stroke "$3" -strokewidth 1.5 -draw "circle 6.5,6.5 6.5,1" \
        "PNG32:$out/$1"
}
knob slider_thumb.png '#FFFFFF' '#3A7BD5'
knob slider_thumb_over.png '#EEF4FD' '#275EAD'
knob slider_thumb_down.png '#D6E4F8' '#1B4380'

# Progress bar: a light groove and a blue fill, both 16 x 10 with 4-pixel rounded ends.
"$im" -size 16x10 xc:none -fill '#E1E6ED' -stroke '#C5CCD6' -strokewidth 1 \
    -draw "roundrectangle 0.5,0.5 15.5,9.5 4,4" "PNG32:$out/progress_bk.png"
"$im" -size 16x10 gradient:'#5A97E8-#275EAD' \( +clone -alpha extract -fill black -colorize 100 -fill white \
    -draw "roundrectangle 0,0 15,9 4,4" \) -alpha off -compose copy_opacity -composite \
    "PNG32:$out/progress_fill.png"

# Tabs: a flat face, a lighter hover and the selected face with a blue underline.
tab() {
    "$im" -size 24x28 "xc:$2" -fill "$3" -draw "rectangle 0,25 23,27" "PNG32:$out/$1"
}
tab tab_up.png '#E9EDF2' '#E9EDF2'
tab tab_over.png '#F4F7FA' '#C5CCD6'
tab tab_down.png '#FFFFFF' '#3A7BD5'
# A one-pixel divider.
"$im" -size 4x1 xc:'#C5CCD6' "PNG32:$out/separator.png"

# Slideshow pictures, 240 x 120: a gradient each with a disc.
slide() {
    "$im" -size 240x120 "gradient:$2" -fill "$3" -stroke none -draw "circle $4" "PNG32:$out/$1"
}
slide slide1.png '#2D6CC0-#8EC5FF' '#FFFFFFAA' '60,60 60,25'
slide slide2.png '#1E8C5A-#B5F2C9' '#FFFFFFAA' '120,60 120,25'
slide slide3.png '#C0672D-#FFD39A' '#FFFFFFAA' '180,60 180,25'
# The window's drop shadow: a blurred dark frame, fully transparent where the window sits. Its
# nine-grid margins equal the shadow margins (20, 14, 16, 21).
"$im" -size 76x75 xc:none -fill 'rgba(0,0,0,0.55)' -draw "roundrectangle 16,11 59,52 6,6" -blur 0x6 \
    -region 40x40+20+14 -alpha transparent +region "PNG32:$out/shadow.png"
# The close button: nothing until the pointer is over it (the title band shows through), then a red
# rounded face, darker while pressed.
"$im" -size 16x16 xc:none "PNG32:$out/close_up.png"
"$im" -size 16x16 xc:none -fill '#E5484D' -draw "roundrectangle 0,0 15,15 4,4" "PNG32:$out/close_over.png"
"$im" -size 16x16 xc:none -fill '#BF3A3F' -draw "roundrectangle 0,0 15,15 4,4" "PNG32:$out/close_down.png"
