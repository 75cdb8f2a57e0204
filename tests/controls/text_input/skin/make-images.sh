#!/usr/bin/env bash
# Draws the text-input tests' skin images with ImageMagick into this folder. The PNGs are committed;
# run this again after changing a picture.
set -euo pipefail
out=$(cd "$(dirname "$0")" && pwd)
# The field background: plain white, so the selection brush and the text stand out in pixel reads.
convert -size 8x8 xc:'#FFFFFF' "PNG32:$out/field.png"
