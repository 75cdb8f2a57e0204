#!/usr/bin/env bash
# Draws the list tests' skin images with ImageMagick into this folder. The PNGs are committed; run this
# again after changing a picture. Solid faces keep the sizes exact and the states readable in pixels.
set -euo pipefail
out=$(cd "$(dirname "$0")" && pwd)
im=convert
solid() { "$im" -size "$2" "xc:$3" "PNG32:$out/$1"; }
# Vertical bar 16 wide with 16 x 16 arrows; horizontal bar 15 high with 15 x 15 arrows.
solid vbar.png 16x16 '#D0D0D0'
solid hbar.png 16x15 '#D0D0D0'
solid up.png 16x16 '#2050C0'
solid down.png 16x16 '#2050C0'
solid left.png 15x15 '#2050C0'
solid right.png 15x15 '#2050C0'
solid thumb.png 16x20 '#404040'
solid item.png 8x8 '#FFFFFF'
solid item_on.png 8x8 '#C03020'
solid field.png 8x8 '#F0F0E8'
solid drop.png 12x12 '#606060'
solid dropdown.png 8x8 '#20A040'
