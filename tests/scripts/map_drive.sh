#!/bin/sh
# map_drive.sh map|unmap LETTER FOLDER: maps drive LETTER of the Wine prefix ($WINEPREFIX) to FOLDER the
# way Wine's own drive configuration does (a dosdevices link), or removes that mapping again. A letter
# that already names something else is left alone and reported.
set -eu
action=$1 letter=$2 folder=$3
link="${WINEPREFIX:?WINEPREFIX is not set}/dosdevices/$letter:"
case "$action" in
  map)
    if [ -e "$link" ] || [ -L "$link" ]; then
      [ "$(readlink "$link")" = "$folder" ] || { echo "map_drive: $link exists and points elsewhere" >&2; exit 1; }
    fi
    mkdir -p "$folder"
    ln -sfn "$folder" "$link"
    ;;
  unmap)
    if [ -L "$link" ] && [ "$(readlink "$link")" = "$folder" ]; then rm -f "$link"; fi
    rm -rf "$folder"
    ;;
  *) echo "usage: map_drive.sh map|unmap LETTER FOLDER" >&2; exit 1 ;;
esac
