#!/bin/bash
# How light the saver is, measured side by side with the floor under any full-screen GL program
# (floor_glx: clear, one point, present, paced to 60 frames a second) at the same size, on a
# private Xvfb: the share of one core each takes, with Mesa's software rasteriser and with its
# no-op driver (GALLIUM_NOOP=1: everything but drawing, what a machine with a GPU pays on its
# CPU), the saver's frames per second and, with the software rasteriser, both programs' resident
# memory at the end and at its peak; one monitor, two side by side, and the preview.
# Runs alternate between the programs, so a busy machine weighs on both; medians are printed.
# usage: bench/light_load.sh <build folder> [runs=3] [seconds=15] [WxH=1920x1080]
set -u
build="${1:?usage: $0 <build folder> [runs] [seconds] [WxH]}"
runs="${2:-3}" seconds="${3:-15}" size="${4:-1920x1080}"
saver="$build/src/shell/tundrel" floor="$build/bench/floor_glx" probe="$build/tests/x_probe"
for program in "$saver" "$floor" "$probe"; do
  [ -x "$program" ] || { echo "$program is not built" >&2; exit 2; }
done
for tool in Xvfb xrandr xdotool xprop; do
  command -v "$tool" >/dev/null || { echo "$tool is not installed" >&2; exit 2; }
done
# Mesa's no-op driver keeps what it is sent (about 10 MB a second): its runs stay short.
noop_seconds=$((seconds < 20 ? seconds : 20))
# The floor settles in a few seconds; the saver after the snow's first 20-second cycle, in which
# flakes that start at every height have not yet met those that land with them.
floor_settle=4 saver_settle=25

work="$(mktemp -d "${TMPDIR:-/tmp}/tundrel-light-XXXXXX")"
xvfb_pid="" pid="" probe_pid=""
stop() { [ -n "$1" ] && kill "$1" 2>/dev/null && wait "$1" 2>/dev/null; }
cleanup() { stop "$pid"; stop "$probe_pid"; stop "$xvfb_pid"; rm -rf "$work"; }
trap cleanup EXIT

# screen <monitors>: a new Xvfb holding that many monitors of WxH side by side.
screen() {
  stop "$xvfb_pid"
  local width="${size%x*}" height="${size#*x}" count="$1" i output
  Xvfb -displayfd 3 -noreset -screen 0 "$((width * count))x${height}x24" -nolisten tcp \
    3>"$work/display" 2>/dev/null &
  xvfb_pid=$!
  for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
  export DISPLAY=":$(head -n1 "$work/display")"
  : >"$work/display"
  for ((i = 0; count > 1 && i < count; ++i)); do
    output=none
    [ "$i" -eq 0 ] && output=screen
    xrandr --setmonitor "bench$i" "$width/500x$height/280+$((i * width))+0" "$output" >/dev/null
  done
}

# fps_now: the frames per second of the saver's caption.
source "$(dirname "$0")/caption_fps.sh"
source "$(dirname "$0")/load_common.sh"

# measure <settle seconds> <seconds> <command...>: the share of one core the command takes once
# settled, in percent, the median of the frame rates its caption showed (or -), then its resident
# memory at the end and its peak since the start (VmRSS, VmHWM), in kB.
measure() {
  local settle="$1" span="$2" start_ticks start_ns end_ticks end_ns fps
  shift 2
  env XDG_CONFIG_HOME="$work" LIBGL_ALWAYS_SOFTWARE=1 "$@" 2>"$work/err" &
  pid=$!
  sleep "$settle"
  if ! kill -0 "$pid" 2>/dev/null; then
    echo "$* ended early:" >&2
    cat "$work/err" >&2
    exit 1
  fi
  start_ticks=$(awk '{print $14 + $15}' "/proc/$pid/stat")
  start_ns=$(date +%s%N)
  : >"$work/fps"
  for _ in $(seq "$span"); do
    sleep 1
    fps=$(fps_now)
    [ -n "$fps" ] && echo "$fps" >>"$work/fps"
  done
  end_ticks=$(awk '{print $14 + $15}' "/proc/$pid/stat")
  end_ns=$(date +%s%N)
  memory=$(awk '/^(VmRSS|VmHWM):/ {v[$1] = $2} END {print v["VmRSS:"], v["VmHWM:"]}' \
    "/proc/$pid/status")
  stop "$pid"
  pid=""
  awk -v t=$((end_ticks - start_ticks)) -v hz="$(getconf CLK_TCK)" -v ns=$((end_ns - start_ns)) \
    'BEGIN {printf "%.1f ", 100 * t / hz / (ns / 1e9)}'
  echo "$(median <"$work/fps") $memory"
}


# compare <label> <monitors> <saver arguments...>: runs of the floor and the saver, alternating,
# with both drivers, then their medians and ratios.
compare() {
  local label="$1" monitors="$2" r kind
  shift 2
  screen "$monitors"
  : >"$work/floor" ; : >"$work/saver"; : >"$work/floor_noop"; : >"$work/saver_noop"
  for ((r = 1; r <= runs; ++r)); do
    measure "$floor_settle" "$seconds" "$floor" >>"$work/floor"
    measure "$saver_settle" "$seconds" "$saver" "$@" >>"$work/saver"
    GALLIUM_NOOP=1 measure "$floor_settle" "$noop_seconds" "$floor" >>"$work/floor_noop"
    GALLIUM_NOOP=1 measure "$saver_settle" "$noop_seconds" "$saver" "$@" >>"$work/saver_noop"
  done
  for kind in floor saver floor_noop saver_noop; do
    cut -d' ' -f1 "$work/$kind" | median >"$work/$kind.cpu"
  done
  echo "== $label ($runs runs)"
  printf '%-28s %s\n' "software rasteriser, floor:" "$(cat "$work/floor.cpu") % of a core (runs: $(cut -d' ' -f1 "$work/floor" | xargs))"
  printf '%-28s %s\n' "software rasteriser, saver:" "$(cat "$work/saver.cpu") % at $(cut -d' ' -f2 "$work/saver" | median) FPS (runs: $(cut -d' ' -f1 "$work/saver" | xargs))"
  printf '%-28s %s\n' "no-op driver, floor:" "$(cat "$work/floor_noop.cpu") % (runs: $(cut -d' ' -f1 "$work/floor_noop" | xargs))"
  printf '%-28s %s\n' "no-op driver, saver:" "$(cat "$work/saver_noop.cpu") % at $(cut -d' ' -f2 "$work/saver_noop" | median) FPS (runs: $(cut -d' ' -f1 "$work/saver_noop" | xargs))"
  awk -v s="$(cat "$work/saver.cpu")" -v f="$(cat "$work/floor.cpu")" \
    'BEGIN {printf "%-28s %.2f x the floor\n", "saver / floor:", s / f}'
  # Resident memory with the software rasteriser, at the end of the measured seconds and at its
  # peak since the start, in MB (1000 kB).
  for kind in floor saver; do
    printf '%-28s %s MB, peak %s MB (runs, kB: %s)\n' "resident memory, $kind:" \
      "$(cut -d' ' -f3 "$work/$kind" | median | awk '{printf "%.1f", $1 / 1000}')" \
      "$(cut -d' ' -f4 "$work/$kind" | median | awk '{printf "%.1f", $1 / 1000}')" \
      "$(cut -d' ' -f3,4 "$work/$kind" | tr ' \n' '/ ' | sed 's/ $//')"
  done
}

compare "/s, one ${size} monitor" 1 /s
compare "/s, two ${size} monitors" 2 /s

# The preview: the saver draws into a 152x112 window of a stand-in host.
screen 1
coproc PROBE { "$probe" window 152 112 2>/dev/null; }
probe_pid=$PROBE_PID
read -r preview_id _ <&"${PROBE[0]}"
echo map >&"${PROBE[1]}"
: >"$work/preview"
for ((r = 1; r <= runs; ++r)); do
  measure "$saver_settle" "$seconds" "$saver" /p "$preview_id" >>"$work/preview"
done
echo "== /p, the preview in 152x112 ($runs runs)"
printf '%-28s %s\n' "software rasteriser, saver:" "$(cut -d' ' -f1 "$work/preview" | median) % at $(cut -d' ' -f2 "$work/preview" | median) FPS (runs: $(cut -d' ' -f1 "$work/preview" | xargs))"
