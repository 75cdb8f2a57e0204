#!/usr/bin/env bash
# sample_memory.sh EXE [ARGS...]: runs EXE under Wine (environment from scripts/wine-env.sh already set
# up) and samples the resident memory of its Wine process from outside every 20 ms, since under Wine
# the process's own peak counters report current usage. Prints the program's output, then the peaks
# of VmRSS and its anonymous and file-backed parts (RssAnon, RssFile) and the kernel's VmHWM, in MiB.
set -u
exe=$1
shift
wine "$exe" "$@" &
pid=$!  # the wine launcher execs the Wine process in place
peak_rss=0 peak_anon=0 peak_file=0 hwm=0
while kill -0 "$pid" 2>/dev/null; do
  if [ -r "/proc/$pid/status" ]; then
    read -r rss anon file h < <(awk '/^VmRSS/{r=$2} /^RssAnon/{a=$2} /^RssFile/{f=$2} /^VmHWM/{h=$2}
                                      END{print r+0, a+0, f+0, h+0}' "/proc/$pid/status" 2>/dev/null)
    [ "${rss:-0}" -gt "$peak_rss" ] && peak_rss=$rss
    [ "${anon:-0}" -gt "$peak_anon" ] && peak_anon=$anon
    [ "${file:-0}" -gt "$peak_file" ] && peak_file=$file
    [ "${h:-0}" -gt "$hwm" ] && hwm=$h
  fi
  sleep 0.02
done
wait "$pid"
awk -v r="$peak_rss" -v a="$peak_anon" -v f="$peak_file" -v h="$hwm" 'BEGIN{
  printf "sampled_peak_rss_MiB=%.1f\nsampled_peak_rss_anon_MiB=%.1f\nsampled_peak_rss_file_MiB=%.1f\nvm_hwm_MiB=%.1f\n",
         r/1024, a/1024, f/1024, h/1024}'
