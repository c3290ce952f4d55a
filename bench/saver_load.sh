#!/bin/bash
# The real saver's load: `tundrel /s` full screen on a private Xvfb for a while; after it has
# settled, the share of one core it used, its frames per second (the median of its caption's
# readings) and its resident memory, peak and steady, with the mappings that hold most of it.
# Mesa's software rasteriser draws, as on a machine without GPU. The run at the display's pace
# is measured beside one that does not wait for the display (vblank_mode=0).
# usage: bench/saver_load.sh <path of tundrel> [seconds=20] [WxH=1920x1080] [settle seconds=5]
#                            [monitors=1 | preview <path of x_probe>]
# With N monitors, the X screen holds N of WxH side by side, each a RandR monitor; "preview"
# measures `tundrel /p` drawing into a 152x112 window instead.
set -u
saver="${1:?usage: $0 <path of tundrel> [seconds] [WxH] [settle seconds] [monitors | preview probe]}"
seconds="${2:-20}"
size="${3:-1920x1080}"
settle="${4:-5}"
monitors="${5:-1}"
probe="${6:-}"
for tool in Xvfb xdotool xprop xrandr; do
  command -v "$tool" >/dev/null || { echo "$tool is not installed" >&2; exit 2; }
done

work="$(mktemp -d "${TMPDIR:-/tmp}/tundrel-load-XXXXXX")"
xvfb_pid="" saver_pid="" probe_pid=""
cleanup() {
  [ -n "$saver_pid" ] && kill "$saver_pid" 2>/dev/null && wait "$saver_pid" 2>/dev/null
  [ -n "$probe_pid" ] && kill "$probe_pid" 2>/dev/null && wait "$probe_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

width="${size%x*}" height="${size#*x}"
count=1
[ "$monitors" != preview ] && count="$monitors"
Xvfb -displayfd 3 -noreset -screen 0 "$((width * count))x${height}x24" -nolisten tcp \
  3>"$work/display" 2>/dev/null &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || { echo "Xvfb did not start" >&2; exit 1; }

export DISPLAY=":$(head -n1 "$work/display")"
if [ "$count" -gt 1 ]; then
  for i in $(seq 0 $((count - 1))); do
    output=none
    [ "$i" -eq 0 ] && output=screen
    xrandr --setmonitor "bench$i" "$width/500x$height/280+$((i * width))+0" "$output" >/dev/null
  done
fi
args=(/s)
if [ "$monitors" = preview ]; then
  [ -x "$probe" ] || { echo "preview needs the path of x_probe" >&2; exit 2; }
  coproc PROBE { "$probe" window 152 112; }
  probe_pid=$PROBE_PID
  read -r preview_id _ <&"${PROBE[0]}"
  echo map >&"${PROBE[1]}"
  args=(/p "$preview_id")
fi

# fps_now: the frames per second of the saver's caption.
source "$(dirname "$0")/caption_fps.sh"

# measure <label> [environment...]: one run of the saver, then its figures.
measure() {
  local label="$1"
  shift
  # A settings folder of its own, so the user's settings are neither read nor written.
  env XDG_CONFIG_HOME="$work" LIBGL_ALWAYS_SOFTWARE=1 "$@" "$saver" "${args[@]}" 2>"$work/err" &
  saver_pid=$!
  sleep "$settle"
  kill -0 "$saver_pid" 2>/dev/null || { echo "the saver ended early:" >&2; cat "$work/err" >&2; exit 1; }

  local ticks_per_second start_ticks start_ns end_ticks end_ns steady_max=0 rss fps
  ticks_per_second=$(getconf CLK_TCK)
  cpu_ticks() { awk '{print $14 + $15}' "/proc/$saver_pid/stat"; }
  rss_kb() { awk '/^VmRSS:/ {print $2}' "/proc/$saver_pid/status"; }
  : >"$work/fps"
  start_ticks=$(cpu_ticks)
  start_ns=$(date +%s%N)
  for i in $(seq $((seconds * 2))); do
    rss=$(rss_kb)
    [ "${rss:-0}" -gt "$steady_max" ] && steady_max=$rss
    fps=$(fps_now)
    [ -n "$fps" ] && echo "$fps" >>"$work/fps"
    sleep 0.5
  done
  end_ticks=$(cpu_ticks)
  end_ns=$(date +%s%N)

  echo "== $label"
  awk -v t=$((end_ticks - start_ticks)) -v hz="$ticks_per_second" -v ns=$((end_ns - start_ns)) \
    'BEGIN {printf "cpu: %.1f%% of one core over %.1f s\n", 100 * t / hz / (ns / 1e9), ns / 1e9}'
  sort -n "$work/fps" | awk '{v[NR] = $1} END {if (NR) printf "fps: median %.1f of %d readings (%.1f to %.1f)\n", (NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2), NR, v[1], v[NR]; else print "fps: no caption read"}'
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
  kill "$saver_pid" 2>/dev/null
  wait "$saver_pid" 2>/dev/null
  saver_pid=""
}

measure "at the display's pace"
measure "unpaced (vblank_mode=0)" vblank_mode=0
