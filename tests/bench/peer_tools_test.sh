#!/usr/bin/env bash
# peer_tools_test.sh SOURCE_DIR WORK_DIR: bench/peer/make-nsis builds solid and non-solid installers of a
# folder with awkward names that install, silently under Wine, exactly what program.lz would pack (all
# but the top README.txt), empty folders included; bench_run times such an installer and finds its Wine
# process for the peak memory and the CPU time. Exit 77 (skipped) without makensis.
set -euo pipefail
source_dir=$1
work=$2
command -v makensis >/dev/null || { echo "makensis is not installed"; exit 77; }
. "$source_dir/bench/common.sh"
passed=0
failures=0
check() {  # check DESCRIPTION COMMAND...
  if "${@:2}"; then
    echo "ok: $1"
    passed=$((passed + 1))
  else
    echo "FAILED: $1"
    failures=$((failures + 1))
  fi
}

rm -rf "$work"
payload="$work/payload"
mkdir -p "$payload/sub dir/nested" "$payload/empty" "$payload/数据"
printf 'top\n' >"$payload/a.txt"
printf 'left out\n' >"$payload/README.txt"
printf 'dollar\n' >"$payload/sub dir/b\$x.bin"
head -c 300000 /dev/urandom >"$payload/sub dir/nested/c.dat"
printf 'kept below the top\n' >"$payload/数据/README.txt"
printf '中文\n' >"$payload/数据/说明.txt"
expected="$work/expected"
cp -r "$payload" "$expected"
rm "$expected/README.txt"

temp=$(winepath -u 'C:\users\root\Temp')
bench_out="$work"
for kind in nonsolid solid; do
  check "makensis builds the $kind installer" "$source_dir/bench/peer/make-nsis" "$payload" "$kind" \
    "$work/tool-$kind.exe"
  rm -rf "$temp/tool-$kind"
  out=$(bench_run "tool_$kind" "tool-$kind\\.exe" wine "$work/tool-$kind.exe" /S "/D=C:\\users\\root\\Temp\\tool-$kind")
  echo "$out"
  check "the $kind installer installs every file and folder, the top README.txt left out" \
    diff -r "$expected" "$temp/tool-$kind"
  check "the $kind run is timed" grep -qE "^tool_${kind}_s=[0-9]+\.[0-9]{2}$" <<<"$out"
  peak=$(sed -n "s/^tool_${kind}_peak_rss_MB=//p" <<<"$out")
  # A Wine process holds several MB resident; 0 would mean its process was never found.
  check "the $kind run's peak memory is read from its Wine process ($peak MB)" \
    awk -v p="$peak" 'BEGIN { exit !(p >= 4) }'
  cpu=$(sed -n "s/^tool_${kind}_cpu_s=//p" <<<"$out")
  check "the $kind run's CPU time is read from its Wine process ($cpu s)" \
    awk -v c="$cpu" 'BEGIN { exit !(c > 0) }'
  rm -rf "$temp/tool-$kind"
done
echo "$passed passed, $failures failed"
[ "$failures" = 0 ]
