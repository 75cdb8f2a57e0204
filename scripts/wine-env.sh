# Sourced by scripts/test, scripts/dev-test, scripts/wine-run, scripts/run and bench/common.sh: a private
# Xvfb display and a private Wine prefix. Starts only what it needs and stops only what it started (see
# wine_env_stop).

# wine_env_session ROOT PREFIX BUILD: the whole session for a test or benchmark run in one call: the
# display and the prefix PREFIX (made ready on first use), stopped when the calling shell exits, and the
# session keeper of the Windows build folder BUILD started.
wine_env_session() {
  local root=$1 prefix=$2 build=$3
  export TARVO_WINEPREFIX="$prefix"
  wine_env_start "$root"
  trap wine_env_stop EXIT
  wine_env_keep "$build/tests/support/tarvo_wine_keeper.exe"
}

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
    local log
    log=$(mktemp -t tarvo-xvfb.XXXXXX)
    Xvfb ":$n" -screen 0 1280x800x24 -nolisten tcp >"$log" 2>&1 &
    TARVO_XVFB_PID=$!
    export DISPLAY=":$n"
    for _ in $(seq 50); do
      [ -e "/tmp/.X11-unix/X$n" ] && break
      kill -0 "$TARVO_XVFB_PID" 2>/dev/null || break
      sleep 0.1
    done
    # Wine started without a display cannot make a single window: stop here rather than fail every test.
    if [ ! -e "/tmp/.X11-unix/X$n" ] || ! kill -0 "$TARVO_XVFB_PID" 2>/dev/null; then
      echo "wine-env: Xvfb did not start on display :$n; its output:" >&2
      sed 's/^/  /' "$log" >&2
      rm -f "$log"
      kill "$TARVO_XVFB_PID" 2>/dev/null || true
      TARVO_XVFB_PID=""
      return 1
    fi
    rm -f "$log"
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

# Holds the Wine session open for a test run: the wineserver and Wine's own service processes start
# once, from a process whose output goes nowhere, so a test executable that happens to be the first Wine
# process cannot leave them holding its output pipe (ctest would wait for that pipe to close).
wine_env_keep() {
  local keeper=$1
  [ -f "$keeper" ] || return 0
  wine "$keeper" </dev/null >/dev/null 2>&1 &
  TARVO_KEEPER_PID=$!
  # Its start brings up the services (no wine command may run meanwhile: it could be the one that
  # starts them). Wait until the services run, at most 10 s.
  for _ in $(seq 100); do
    pgrep -f 'system32.services\.exe' >/dev/null && pgrep -f 'system32.explorer\.exe' >/dev/null && break
    sleep 0.1
  done
  sleep 0.5
}

wine_env_stop() {
  wineserver -k >/dev/null 2>&1 || true
  if [ -n "${TARVO_KEEPER_PID:-}" ]; then
    wait "$TARVO_KEEPER_PID" 2>/dev/null || true
  fi
  if [ -n "${TARVO_XVFB_PID:-}" ]; then
    kill "$TARVO_XVFB_PID" 2>/dev/null || true
    wait "$TARVO_XVFB_PID" 2>/dev/null || true
  fi
}
