#!/bin/bash
# The live wallpaper beside the full-screen saver, in one run on a private 1920x1080 Xvfb under
# openbox. Seen: the share of one core (all threads) and the frames a second (the caption's) of
# `tundrel /w` and of `tundrel /s`, measured in turn, with Mesa's software rasteriser and with its
# no-op driver (GALLIUM_NOOP=1: what a machine with a GPU pays on its CPU), and their ratio.
# Unseen (/w under a full-screen window, /s under an override-redirect cover as a lock screen
# maps it): the share of a core and the wake-ups a second, then the milliseconds from the window
# leaving full screen, or the cover's unmapping, to the first lit frame (x_probe await reads the
# pixels about once a millisecond). And the anonymous memory (RssAnon) of both beside the floor
# program's. Medians of several runs.
# usage: bench/wallpaper_load.sh <build folder> [runs=3] [seconds=10] [unseen seconds=20]
set -u
build="${1:?usage: $0 <build folder> [runs] [seconds] [unseen seconds]}"
runs="${2:-3}" seconds="${3:-10}" unseen="${4:-20}"
saver="$build/src/shell/tundrel" floor="$build/bench/floor_glx" probe="$build/tests/x_probe"
for program in "$saver" "$floor" "$probe"; do
  [ -x "$program" ] || { echo "$program is not built" >&2; exit 2; }
done
for tool in Xvfb openbox xdotool xprop; do
  command -v "$tool" >/dev/null || { echo "$tool is not installed" >&2; exit 2; }
done
# The world's first 20 s of snow cost several times what later ones do.
settle=25

work="$(mktemp -d "${TMPDIR:-/tmp}/tundrel-wallpaper-XXXXXX")"
source "$(dirname "$0")/caption_fps.sh"
source "$(dirname "$0")/load_common.sh"
trap stop_started EXIT

xvfb 1920x1080
HOME="$work" openbox >/dev/null 2>&1 &
pids+=("$!")
for _ in $(seq 100); do
  xprop -root _NET_SUPPORTING_WM_CHECK | grep -q 'window id' && break
  sleep 0.1
done
xdotool mousemove 100 100

rss_anon() { awk '/^RssAnon:/ {print $2}' "/proc/$1/status"; }

# one <label> <arguments...>: one run of the saver, settled, then seen for the given seconds:
# "<% of a core> <median FPS> <RssAnon kB>" goes to $work/<label>; with the software rasteriser,
# then unseen: "<% of a core> <wake-ups a second> <ms to the first frame>" to $work/<label>.unseen.
one() {
  local label="$1" pid win cpu
  shift
  env XDG_CONFIG_HOME="$work" LIBGL_ALWAYS_SOFTWARE=1 "$saver" "$@" 2>"$work/err" &
  pid=$!
  pids+=("$pid")
  win=$(window_of "$pid")
  sleep "$settle"
  if ! kill -0 "$pid" 2>/dev/null; then
    echo "$saver $* ended early:" >&2
    cat "$work/err" >&2
    exit 1
  fi
  for _ in $(seq "$seconds"); do sleep 1; fps_now; done >"$work/fps" &
  cpu=$(load "$pid" "$seconds" | cut -d' ' -f1)
  wait "$!"
  echo "$cpu $(median <"$work/fps") $(rss_anon "$pid")" >>"$work/$label"
  [ -n "${GALLIUM_NOOP:-}" ] || unseen_run "$label" "$pid" "$win" "$1"
  kill "$pid"
  wait "$pid" 2>/dev/null
}

# unseen_run <label> <pid> <window> /w|/s: the saver unseen (/w under a window made full screen,
# /s under a lock's cover), then how soon it draws once that window leaves full screen (its
# frame, back at 300,300, stays clear of the rectangle watched) or the cover is unmapped.
unseen_run() {
  local label="$1" pid="$2" area="$3" seen_again="unmap"
  if [ "$4" = /w ]; then
    coproc COVER { "$probe" window 600 400; }
    read -r _ _ <&"${COVER[0]}"
    echo "move 300 300" >&"${COVER[1]}"
    echo "state add FULLSCREEN" >&"${COVER[1]}"
    area="$3 0 0 250 250" seen_again="state remove FULLSCREEN"
  else
    coproc COVER { "$probe" cover 1920 1080 0 0; }
    read -r _ _ <&"${COVER[0]}"
  fi
  sleep 2
  echo "$(load "$pid" "$unseen") $(first_lit "$area" eval 'echo "$seen_again" >&"${COVER[1]}"')" \
    >>"$work/$label.unseen"
  echo quit >&"${COVER[1]}"
  wait "$COVER_PID" 2>/dev/null
}

for ((r = 1; r <= runs; ++r)); do
  one w /w
  one s /s
  GALLIUM_NOOP=1 one w_noop /w
  GALLIUM_NOOP=1 one s_noop /s
  "$floor" &
  pids+=("$!")
  sleep 4
  echo "- - $(rss_anon "$!")" >>"$work/floor"
  kill "$!"
  wait "$!" 2>/dev/null
done

column() { cut -d' ' -f"$2" "$work/$1" | median "${3:-1}"; }
runs_of() { cut -d' ' -f"$2" "$work/$1" | xargs; }
seen() {  # seen <driver> <label suffix>
  local mode
  for mode in w s; do
    printf '%-28s %s %% of a core at %s FPS (runs: %s)\n' "$1, /$mode:" "$(column "$mode$2" 1)" \
      "$(column "$mode$2" 2)" "$(runs_of "$mode$2" 1)"
  done
  awk -v w="$(column "w$2" 1)" -v s="$(column "s$2" 1)" \
    'BEGIN {printf "%-28s %.2f x the CPU of /s (goal: at most 0.60)\n", "/w / /s:", w / s}'
}
unseen() {  # unseen <label> <text>
  printf '%-32s %s %% of a core, %s wake-ups a second, first frame %s ms after %s\n' "$2" \
    "$(column "$1" 1 3)" "$(column "$1" 2 2)" "$(column "$1" 3 0)" \
    "(runs: $(runs_of "$1" 1); $(runs_of "$1" 2); $(runs_of "$1" 3))"
}
echo "== seen, one 1920x1080 monitor ($runs runs of $seconds s, medians; goal: /w at most 31 FPS)"
seen "software rasteriser" ""
seen "no-op driver" _noop
echo "== unseen ($runs runs of $unseen s, then seen again; goals: 0.05 %, 0.2 a second, 100 ms)"
unseen w.unseen "/w under a full-screen window:"
unseen s.unseen "/s under a lock's cover:"
echo "== anonymous memory, software rasteriser (RssAnon; goal: the floor's + 15 MB)"
for kind in floor:floor w:/w s:/s; do
  printf '%-28s %s MB (runs, kB: %s)\n' "${kind#*:}:" \
    "$(column "${kind%:*}" 3 0 | awk '{printf "%.1f", $1 / 1000}')" "$(runs_of "${kind%:*}" 3)"
done
awk -v w="$(column w 3 0)" -v f="$(column floor 3 0)" \
  'BEGIN {printf "%-28s %+.1f MB (goal: at most +15)\n", "/w beside the floor:", (w - f) / 1000}'
