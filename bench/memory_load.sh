#!/bin/bash
# The saver's resident memory beside the floor's (floor_glx: clear, one point, present, paced to
# 60 frames a second) at the same size, on a private Xvfb with Mesa's software rasteriser: the
# resident set after the given seconds (VmRSS, with its anonymous and file-backed parts) and the
# peak since the start (VmHWM, which takes in the start-up). Runs alternate between the programs,
# so a busy machine weighs on both; medians are printed, in MB (1000 kB).
# usage: bench/memory_load.sh <build folder> [runs=3] [seconds=15] [WxH=1920x1080]
# Pages of shared libraries that other processes map too count for each of them, and the saver
# hands back its start-up pages of such libraries only where no other process holds them: other
# programs that use Mesa while this runs move the figures.
set -u
build="${1:?usage: $0 <build folder> [runs] [seconds] [WxH]}"
runs="${2:-3}" seconds="${3:-15}" size="${4:-1920x1080}"
saver="$build/src/shell/tundrel" floor="$build/bench/floor_glx"
for program in "$saver" "$floor"; do
  [ -x "$program" ] || { echo "$program is not built" >&2; exit 2; }
done
command -v Xvfb >/dev/null || { echo "Xvfb is not installed" >&2; exit 2; }

work="$(mktemp -d "${TMPDIR:-/tmp}/tundrel-memory-XXXXXX")"
xvfb_pid="" pid=""
stop() { [ -n "$1" ] && kill "$1" 2>/dev/null && wait "$1" 2>/dev/null; }
cleanup() { stop "$pid"; stop "$xvfb_pid"; rm -rf "$work"; }
trap cleanup EXIT

Xvfb -displayfd 3 -noreset -screen 0 "${size}x24" -nolisten tcp 3>"$work/display" 2>/dev/null &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || { echo "Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$(head -n1 "$work/display")"

# measure <command...>: after the given seconds, the command's VmRSS, RssAnon, RssFile and VmHWM
# in kB on one line.
measure() {
  env XDG_CONFIG_HOME="$work" LIBGL_ALWAYS_SOFTWARE=1 "$@" 2>"$work/err" &
  pid=$!
  sleep "$seconds"
  if ! kill -0 "$pid" 2>/dev/null; then
    echo "$* ended early:" >&2
    cat "$work/err" >&2
    exit 1
  fi
  awk '/^(VmRSS|RssAnon|RssFile|VmHWM):/ {v[$1] = $2}
       END {print v["VmRSS:"], v["RssAnon:"], v["RssFile:"], v["VmHWM:"]}' "/proc/$pid/status"
  stop "$pid"
  pid=""
}

# median <column>: the median of that column of the lines read, in MB.
median() {
  cut -d' ' -f"$1" | sort -g |
    awk '{v[NR] = $1} END {printf "%.1f", (NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2) / 1000}'
}

: >"$work/floor"
: >"$work/saver"
for ((r = 1; r <= runs; ++r)); do
  measure "$floor" >>"$work/floor"
  measure "$saver" /s >>"$work/saver"
done

echo "== resident memory after ${seconds} s, ${size}, software rasteriser ($runs runs, MB)"
for kind in floor saver; do
  printf '%-6s steady %6s (anonymous %s, files %s), peak %6s  (runs, kB: %s)\n' "$kind:" \
    "$(median 1 <"$work/$kind")" "$(median 2 <"$work/$kind")" "$(median 3 <"$work/$kind")" \
    "$(median 4 <"$work/$kind")" "$(cut -d' ' -f1,4 "$work/$kind" | tr ' \n' '/ ' | sed 's/ $//')"
done
awk -v ss="$(median 1 <"$work/saver")" -v fs="$(median 1 <"$work/floor")" \
  -v sp="$(median 4 <"$work/saver")" -v fp="$(median 4 <"$work/floor")" \
  'BEGIN {printf "saver - floor: steady %+.1f, peak %+.1f\n", ss - fs, sp - fp}'
