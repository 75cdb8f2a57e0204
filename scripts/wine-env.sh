# Sourced by scripts/test and scripts/run: a private Xvfb display and a private Wine prefix.
# Starts only what it needs and stops only what it started (see wine_env_stop).
wine_env_start() {
  local root=$1
  export WINEPREFIX="${TARVO_WINEPREFIX:-$root/build/wineprefix}"
  export WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml="
  export WINEARCH=win64
  TARVO_XVFB_PID=""
  if [ -z "${TARVO_USE_DISPLAY:-}" ]; then
    local n=$((90 + RANDOM % 400))
    while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
    Xvfb ":$n" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
    TARVO_XVFB_PID=$!
    export DISPLAY=":$n"
    for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
  fi
  if [ ! -f "$WINEPREFIX/.tarvo-ready" ]; then
    mkdir -p "$WINEPREFIX"
    wineboot -i >/dev/null 2>&1 || true
    wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes' \
      /v 'Microsoft YaHei' /d 'WenQuanYi Micro Hei' /f >/dev/null 2>&1
    wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes' \
      /v '微软雅黑' /d 'WenQuanYi Micro Hei' /f >/dev/null 2>&1
    wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes' \
      /v 'SimSun' /d 'WenQuanYi Micro Hei' /f >/dev/null 2>&1
    wineserver -w
    touch "$WINEPREFIX/.tarvo-ready"
  fi
}

wine_env_stop() {
  wineserver -k >/dev/null 2>&1 || true
  if [ -n "${TARVO_XVFB_PID:-}" ]; then
    kill "$TARVO_XVFB_PID" 2>/dev/null || true
    wait "$TARVO_XVFB_PID" 2>/dev/null || true
  fi
}
