#!/bin/bash
# The real saver's load: `tundrel /s` full screen on a private Xvfb for a while; after it has
# settled, the share of one core it used and its resident memory, peak and steady, with the
# mappings that hold most of it. Mesa's software rasteriser draws, as on a machine without GPU.
# usage: bench/saver_load.sh <path of tundrel> [seconds=20] [WxH=1920x1080] [settle seconds=5]
set -u
saver="${1:?usage: $0 <path of tundrel> [seconds] [WxH] [settle seconds]}"
seconds="${2:-20}"
size="${3:-1920x1080}"
settle="${4:-5}"
command -v Xvfb >/dev/null || { echo "Xvfb is not installed" >&2; exit 2; }

work="$(mktemp -d "${TMPDIR:-/tmp}/tundrel-load-XXXXXX")"
xvfb_pid="" saver_pid=""
cleanup() {
  [ -n "$saver_pid" ] && kill "$saver_pid" 2>/dev/null && wait "$saver_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

Xvfb -displayfd 3 -noreset -screen 0 "${size}x24" -nolisten tcp 3>"$work/display" 2>/dev/null &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || { echo "Xvfb did not start" >&2; exit 1; }

# A settings folder of its own, so the user's settings are neither read nor written.
XDG_CONFIG_HOME="$work" DISPLAY=":$(head -n1 "$work/display")" LIBGL_ALWAYS_SOFTWARE=1 \
  "$saver" /s 2>"$work/err" &
saver_pid=$!
sleep "$settle"
kill -0 "$saver_pid" 2>/dev/null || { echo "the saver ended early:" >&2; cat "$work/err" >&2; exit 1; }

ticks_per_second=$(getconf CLK_TCK)
cpu_ticks() { awk '{print $14 + $15}' "/proc/$saver_pid/stat"; }
rss_kb() { awk '/^VmRSS:/ {print $2}' "/proc/$saver_pid/status"; }
start_ticks=$(cpu_ticks)
start_ns=$(date +%s%N)
steady_max=0
for _ in $(seq $((seconds * 4))); do
  rss=$(rss_kb)
  [ "${rss:-0}" -gt "$steady_max" ] && steady_max=$rss
  sleep 0.25
done
end_ticks=$(cpu_ticks)
end_ns=$(date +%s%N)

awk -v t=$((end_ticks - start_ticks)) -v hz="$ticks_per_second" -v ns=$((end_ns - start_ns)) \
  'BEGIN {printf "cpu: %.1f%% of one core over %.1f s\n", 100 * t / hz / (ns / 1e9), ns / 1e9}'
echo "rss: peak $(awk '/^VmHWM:/ {print $2}' "/proc/$saver_pid/status") kB since start," \
     "at most $steady_max kB once settled"
awk '/^(Pss|Private_Clean|Private_Dirty|Shared_Clean|Shared_Dirty):/ {printf "%s %s kB  ", $1, $2}
     END {print ""}' "/proc/$saver_pid/smaps_rollup"
echo "largest resident mappings (kB, shared with other processes in brackets):"
awk '/^[0-9a-f]+-[0-9a-f]+ / {name = ($6 == "" ? "[anonymous]" : $6)}
     /^Rss:/ {rss[name] += $2}
     /^Shared_(Clean|Dirty):/ {shared[name] += $2}
     END {for (n in rss) if (rss[n] >= 1024) printf "%8d [%d] %s\n", rss[n], shared[n], n}' \
  "/proc/$saver_pid/smaps" | sort -rn | head -8
