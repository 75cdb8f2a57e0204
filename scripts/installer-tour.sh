# Sourced by scripts/run and scripts/screenshots: walks the real installer through its four pages from
# outside, with acctool, and saves a picture of each (and, with tour_uninstaller below, the installed
# uninstaller through its three). Needs a running Wine environment (wine-env.sh)
# on an X display of our own, where `import` can read the screen.
#
#   tour_installer SETUP_EXE ACCTOOL_EXE OUT_DIR [--stop-before-install]
#
# Pictures: OUT_DIR/installer-agreement.png, installer-focus.png (the focus ring after one Tab),
# installer-path.png, installer-progress.png and installer-finish.png, each the window with the margin its drop shadow covers. The product is
# installed into the prefix's default folder; that folder and the product's per-user entry are
# removed first, so the custom-path link shows and nothing asks about an earlier install. Returns
# non-zero when a page does not appear in time.

TOUR_TITLE="veze安装程序"
TOUR_CLASS="WINDOW:234:000"

# tour_acc ARGS...: acctool on the installer's main window.
tour_acc() {
  local verb=$1
  shift
  wine "$TOUR_ACCTOOL" "$verb" --title "$TOUR_TITLE" --class "$TOUR_CLASS" "$@"
}

# tour_rect [ID]: "left top right bottom" on the screen of the main window, or of the control with
# that layout id (hidden controls report where they would be).
tour_rect() {
  local out="$TOUR_TMP/tree.txt" match='^client '
  [ -n "${1:-}" ] && match=" id=$1 "
  rm -f "$out"
  tour_acc list --out "Z:$out" >/dev/null 2>&1 || return 1
  grep -m 1 -- "$match" "$out" |
    sed -n 's/.* rect=\(-\{0,1\}[0-9]*\),\(-\{0,1\}[0-9]*\),\(-\{0,1\}[0-9]*\),\(-\{0,1\}[0-9]*\).*/\1 \2 \3 \4/p'
}

# tour_capture NAME: the window and its shadow margin into OUT_DIR/NAME. Waits (up to 10 s) until two
# captures in a row agree, so the page has finished painting.
tour_capture() {
  local name=$1 rect l t r b geometry previous="" current shot="$TOUR_TMP/screen.png"
  rect=$(tour_rect) || { echo "tour: no installer window for $name" >&2; return 1; }
  read -r l t r b <<<"$rect"
  [ -n "$b" ] || { echo "tour: unreadable window rectangle for $name" >&2; return 1; }
  geometry="$((r - l + 36))x$((b - t + 35))+$((l - 20))+$((t - 14))"
  # The pointer rests on an empty spot of the window, so no control shows its hover look.
  python3 "$TOUR_SCRIPTS/xdesk.py" pointer "$((l + 400))" "$((b - 16))" 2>/dev/null || true
  local deadline=$((SECONDS + 10))
  while :; do
    import -window root "$shot"
    convert "$shot" -crop "$geometry" +repage -strip "PNG24:$TOUR_TMP/crop.png"
    current=$(convert "$TOUR_TMP/crop.png" rgb:- | md5sum)
    if [ "$current" = "$previous" ] || [ "$SECONDS" -ge "$deadline" ]; then
      break
    fi
    previous=$current
  done
  cp "$TOUR_TMP/crop.png" "$TOUR_OUT/$name"
  echo "tour: $TOUR_OUT/$name"
}

# tour_capture_progress [NAME]: presses the install (or uninstall) button, id 1003, and takes the
# window into OUT_DIR/NAME (default installer-progress.png) while its progress page shows, by watching
# the screen (a small payload installs in a second or two, quicker than acctool can ask). The bar's
# left end marks the page: on the first page it is plain (part of a line of text), on the finish page
# it is the page's background, which also shows just left of the bar. Of the pictures taken until the
# bar is half full or the finish page shows, the one nearest half full is kept. The end is learnt from
# the accessible tree (an acctool waiting for the finish page, id 4000), so an install that ends
# between two pictures is noticed at once.
tour_capture_progress() {
  local name=${1:-installer-progress.png} rect l t r b bl bt br bb geometry probe="$TOUR_TMP/progress.png"
  rect=$(tour_rect) || return 1
  read -r l t r b <<<"$rect"
  rect=$(tour_rect 3001) || return 1
  read -r bl bt br bb <<<"$rect"
  [ -n "$bb" ] || { echo "tour: no progress bar in the window" >&2; return 1; }
  geometry="$((r - l + 36))x$((b - t + 35))+$((l - 20))+$((t - 14))"
  # The bar's middle row in the picture, which adds the shadow margin (20, 14).
  local y=$(((bt + bb) / 2 - t + 14)) x=$((bl - l + 20 + 4)) width=$((br - bl - 8))
  import -window root -crop "$geometry" +repage "$probe"
  local plain background pixel best="" distance fill finished
  plain=$(convert "$probe" -crop "1x1+$x+$y" -format '%[hex:p{0,0}]' info:)
  background=$(convert "$probe" -crop "1x1+$((x - 8))+$y" -format '%[hex:p{0,0}]' info:)
  tour_acc do --id 1003 >/dev/null || return 1
  tour_acc wait --id 4000 --state '!invisible' --timeout 600000 >/dev/null 2>&1 &
  finished=$!
  while kill -0 "$finished" 2>/dev/null; do
    import -window root -crop "$geometry" +repage "$probe" 2>/dev/null || continue
    pixel=$(convert "$probe" -crop "1x1+$x+$y" -format '%[hex:p{0,0}]' info:)
    [ "$pixel" = "$plain" ] || [ "$pixel" = "$background" ] && continue  # not the progress page
    # The filled share of the row: the fill is a saturated blue, the groove a light grey.
    fill=$(convert "$probe" -crop "${width}x1+$x+$y" +repage -channel R -separate -threshold 80% \
      -format '%[fx:1-mean]' info:)
    distance=$(awk -v f="$fill" 'BEGIN { d = f - 0.5; printf "%d", (d < 0 ? -d : d) * 1000 }')
    if [ -z "$best" ] || [ "$distance" -lt "$best" ]; then
      best=$distance
      convert "$probe" -strip "PNG24:$TOUR_TMP/progress-kept.png"
    fi
    awk -v f="$fill" 'BEGIN { exit !(f >= 0.5) }' && break
  done
  wait "$finished" || { echo "tour: the finish page did not show" >&2; return 1; }
  if [ -z "$best" ]; then
    echo "tour: the page ended before a picture of its progress; $TOUR_OUT/$name is left as it was" >&2
    return 0
  fi
  cp "$TOUR_TMP/progress-kept.png" "$TOUR_OUT/$name"
  echo "tour: $TOUR_OUT/$name"
}

# tour_shown ID [TIMEOUT_MS]: waits until the control with that layout id is visible.
tour_shown() {
  tour_acc wait --id "$1" --state '!invisible' --timeout "${2:-30000}" >/dev/null
}

TOUR_SCRIPTS=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

# tour_desk_start / tour_desk_stop: a light desk under the window and, when xcompmgr is installed, a
# compositing manager, so the drop shadow is blended as on a desktop. Only on a display of our own.
tour_desk_start() {
  TOUR_COMPOSITOR=""
  python3 "$TOUR_SCRIPTS/xdesk.py" backdrop E4E8EE 2>/dev/null || true
  if command -v xcompmgr >/dev/null; then
    xcompmgr >/dev/null 2>&1 &
    TOUR_COMPOSITOR=$!
  else
    echo "tour: xcompmgr is not installed (scripts/bootstrap installs it): the shadow shows as a dark band" >&2
  fi
}
tour_desk_stop() {
  if [ -n "${TOUR_COMPOSITOR:-}" ]; then
    kill "$TOUR_COMPOSITOR" 2>/dev/null || true
    wait "$TOUR_COMPOSITOR" 2>/dev/null || true
  fi
}

tour_installer() {
  local setup=$1 stop=""
  TOUR_TITLE="veze安装程序"
  TOUR_ACCTOOL=$2
  TOUR_OUT=$3
  [ "${4:-}" = --stop-before-install ] && stop=1
  mkdir -p "$TOUR_OUT"
  TOUR_TMP=$(mktemp -d)
  wine reg delete 'HKCU\Software\DuvureVEdadiz' /f >/dev/null 2>&1 || true
  rm -rf "$WINEPREFIX/drive_c/Program Files/DuvureVEdadiz" "$WINEPREFIX/drive_c/Program Files (x86)/DuvureVEdadiz"
  wine "$setup" >/dev/null 2>&1 &
  local pid=$! status=0
  tour_steps "$stop" || status=$?
  if [ "$status" -ne 0 ]; then
    echo "tour: the installer's window as it stands:" >&2
    tour_acc list 2>&1 | grep -v 'state=invisible' | sed 's/^/  /' >&2 || true
  fi
  if [ "$status" -ne 0 ] || [ -n "$stop" ]; then
    kill "$pid" 2>/dev/null || true
  fi
  wait "$pid" 2>/dev/null || true
  rm -rf "$TOUR_TMP"
  return "$status"
}

tour_steps() {
  local stop=$1
  # Agreement page: ticking the box enables the install button.
  tour_shown 1000 60000 || { echo "tour: the agreement page did not appear" >&2; return 1; }
  tour_acc do --id 1001 >/dev/null
  tour_acc wait --id 1003 --state '!unavailable' >/dev/null || return 1
  tour_capture installer-agreement.png || return 1
  # One Tab from the keyboard: the focus ring shows on the install button, the first stop.
  python3 "$TOUR_SCRIPTS/xdesk.py" key Tab || return 1
  tour_acc wait --id 1003 --state focused >/dev/null || { echo "tour: Tab did not reach 1003" >&2; return 1; }
  tour_capture installer-focus.png || return 1
  # Custom-path page, through its link.
  tour_acc do --id 1004 >/dev/null
  tour_shown 2000 || { echo "tour: the custom-path page did not appear" >&2; return 1; }
  tour_capture installer-path.png || return 1
  [ -n "$stop" ] && return 0
  # Back, and install into the suggested folder from the agreement page (the path page's own button
  # may first ask whether to use a folder that is not empty). The progress page is taken while the
  # payload arrives.
  tour_acc do --id 2005 >/dev/null
  tour_shown 1000 || { echo "tour: the agreement page did not come back" >&2; return 1; }
  tour_capture_progress || return 1
  tour_shown 4000 600000 || { echo "tour: the install did not finish" >&2; return 1; }
  tour_capture installer-finish.png || return 1
  tour_acc do --id 4002 >/dev/null
  tour_acc wait --id 4002 --gone --timeout 30000 >/dev/null 2>&1 || true
}

# tour_uninstaller ACCTOOL_EXE OUT_DIR: the installed product's unins000.exe, started as its
# "UninstallString" names it, through its three pages: uninstaller-confirm.png,
# uninstaller-progress.png and uninstaller-finish.png. The first process hands over to its copy in
# the temporary folder, whose window is the one taken.
tour_uninstaller() {
  TOUR_ACCTOOL=$1
  TOUR_OUT=$2
  TOUR_TITLE="veze卸载程序"
  mkdir -p "$TOUR_OUT"
  TOUR_TMP=$(mktemp -d)
  local status=0
  wine "$WINEPREFIX/drive_c/Program Files/DuvureVEdadiz/unins000.exe" >/dev/null 2>&1 || status=$?
  if [ "$status" -eq 0 ]; then
    tour_shown 1000 60000 || { echo "tour: the uninstaller's confirmation page did not appear" >&2; status=1; }
  fi
  [ "$status" -eq 0 ] && { tour_capture uninstaller-confirm.png || status=1; }
  [ "$status" -eq 0 ] && { tour_capture_progress uninstaller-progress.png || status=1; }
  if [ "$status" -eq 0 ]; then
    tour_shown 4000 600000 || { echo "tour: the uninstall did not finish" >&2; status=1; }
  fi
  [ "$status" -eq 0 ] && { tour_capture uninstaller-finish.png || status=1; }
  tour_acc do --id 4002 >/dev/null 2>&1 || true
  tour_acc wait --id 4002 --gone --timeout 30000 >/dev/null 2>&1 || true
  rm -rf "$TOUR_TMP"
  return "$status"
}
