# Sourced by bench/peer/run and bench/installer/run: building the benchmark's targets, the Wine session,
# and timing a Wine process while sampling its peak resident memory from outside.

# bench_build DIR TARGET...: builds the targets in a configured build folder (-j2; quick when current).
bench_build() {
  local dir=$1
  shift
  if [ ! -f "$dir/CMakeCache.txt" ]; then
    echo "bench: $dir is not a configured build folder (configure it with the windows preset)" >&2
    return 1
  fi
  if grep -q '^TARVO_CHECKED:BOOL=ON' "$dir/CMakeCache.txt"; then
    echo "bench: $dir is a checked build; benchmark figures are taken with TARVO_CHECKED=OFF" >&2
    return 1
  fi
  cmake --build "$dir" -j2 --target "$@" >"$dir/bench-build.log" 2>&1 || {
    tail -30 "$dir/bench-build.log" >&2
    return 1
  }
}

# bench_wine_start ROOT BUILD: a private display and the benchmark's own Wine prefix beside the build.
bench_wine_start() {
  local root=$1 build=$2
  . "$root/scripts/wine-env.sh"
  wine_env_session "$root" "${TARVO_WINEPREFIX:-$build-bench-prefix}" "$build"
}

# bench_pid EXE: the newest Wine process of the executable whose file name matches the extended regular
# expression EXE. Its command line starts with the executable's path (Unix when started by "wine PATH",
# Windows when started by another Windows process), after the loader's path while that still runs; a
# program that names EXE only among its arguments does not match.
bench_pid() {
  pgrep -n -f -- "^([^ ]*/wine64(-preloader)? )?[^ ]*[\\/]$1( |\$)" || true
}

# bench_run NAME EXE CMD...: runs CMD (output into $bench_out/NAME.out), and prints NAME_s (wall time
# from start to exit) and NAME_peak_rss_MB: the kernel's high-water mark of resident memory (VmHWM) of
# the Wine process of EXE (see bench_pid), read until it ends, and NAME_cpu_s, that process's user and
# kernel time as last read (at most 20 ms before its end; less sensitive to a loaded machine than the
# wall time). Wine's own "peak" counters report the current figure, so the peak is taken from outside.
# Returns CMD's exit code.
bench_run() {
  local name=$1 pattern=$2
  shift 2
  local t0 t1 pid="" peak=0 key value unit rc=0 stat ticks=0 fields
  t0=$(date +%s%N)
  "$@" >"$bench_out/$name.out" 2>"$bench_out/$name.err" &
  local cmd=$!
  while kill -0 "$cmd" 2>/dev/null; do
    [ -n "$pid" ] && [ -d "/proc/$pid" ] || pid=$(bench_pid "$pattern")
    if [ -n "$pid" ]; then
      while read -r key value unit; do
        if [ "$key" = "VmHWM:" ] && [ "$value" -gt "$peak" ]; then peak=$value; fi
      done 2>/dev/null <"/proc/$pid/status" || true
      # Fields after the command name: state is the first, utime the 12th and stime the 13th.
      if read -r stat 2>/dev/null <"/proc/$pid/stat"; then
        read -r -a fields <<<"${stat##*) }"
        ticks=$((fields[11] + fields[12]))
      fi
    fi
    sleep 0.02
  done
  wait "$cmd" || rc=$?
  t1=$(date +%s%N)
  echo "${name}_s=$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.2f", (b - a) / 1e9 }')"
  echo "${name}_peak_rss_MB=$(awk -v k="$peak" 'BEGIN { printf "%.1f", k / 1024 }')"
  echo "${name}_cpu_s=$(awk -v t="$ticks" -v hz="$(getconf CLK_TCK)" 'BEGIN { printf "%.2f", t / hz }')"
  return "$rc"
}

# bench_machine: the figures that tell how loaded the machine was.
bench_machine() {
  echo "date=$(date -u +%Y-%m-%dT%H:%M:%SZ)"
  echo "cpus=$(nproc)"
  echo "loadavg=$(cut -d' ' -f1-3 /proc/loadavg)"
}
