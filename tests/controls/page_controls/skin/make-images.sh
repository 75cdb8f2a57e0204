#!/usr/bin/env bash
# Draws the page-control tests' images with ImageMagick into this folder (or the folder given): solid,
# opaque colours, so a test can tell from one pixel which image was drawn where. The PNGs are committed;
# run this again after changing a colour.
set -euo pipefail
out=${1:-$(cd "$(dirname "$0")" && pwd)}
im=${CONVERT:-/usr/bin/convert}
[ -x "$im" ] || im=convert

solid() {  # name size colour
    "$im" -size "$2" "xc:$3" -alpha set -channel A -evaluate set 100% +channel "PNG32:$out/$1"
}
solid grey.png 8x8 '#808080'
solid yellow.png 8x8 '#FFFF00'
solid orange.png 8x8 '#FF8000'
solid purple.png 8x8 '#800080'
solid red.png 8x8 '#FF0000'
solid blue.png 8x8 '#0000FF'
solid cyan.png 8x8 '#00FFFF'
solid green.png 8x8 '#00FF00'
solid magenta.png 8x8 '#FF00FF'
# Slider: a 20 x 12 thumb in three states over a blue track and a grey bar.
solid thumb.png 20x12 '#FF0000'
solid thumb_over.png 20x12 '#FFFF00'
solid thumb_down.png 20x12 '#FF8000'
solid track.png 4x4 '#0000FF'
solid bar.png 4x4 '#808080'
# Slideshow pictures: three of one size and one of another.
solid slide0.png 40x20 '#FF0000'
solid slide1.png 40x20 '#00FF00'
solid slide2.png 40x20 '#0000FF'
solid slide_small.png 20x10 '#00FFFF'
