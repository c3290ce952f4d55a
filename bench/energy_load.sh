#!/bin/bash
# What the saver spends when it should spend little: while no one can see it (the window without
# arguments minimised under openbox, /s covered by a full-screen override-redirect window as a
# lock screen maps it, the window on a hidden workspace of a headless sway), the share of one
# core it takes and how often its threads wake, then how soon its first frame comes once it can
# be seen again; on a 144 Hz output its frames a second and its CPU beside the same run at 60 Hz;
# on battery (a stand-in power-supply folder, in a mount namespace of its own) its frame rate.
# Medians of several runs. Needs root for the battery case (and runs sway as uid 65534 then).
# usage: bench/energy_load.sh <build folder> [runs=3] [seconds=10]
set -u
build="${1:?usage: $0 <build folder> [runs] [seconds]}"
runs="${2:-3}" seconds="${3:-10}"
saver="$build/src/shell/tundrel" probe="$build/tests/x_probe"
for program in "$saver" "$probe"; do
  [ -x "$program" ] || { echo "$program is not built" >&2; exit 2; }
done
for tool in Xvfb openbox xdotool xprop sway swaymsg python3 setpriv; do
  command -v "$tool" >/dev/null || { echo "$tool is not installed" >&2; exit 2; }
done
# The world's first 20 s of snow cost several times what later ones do.
settle=25

work="$(mktemp -d "${TMPDIR:-/tmp}/tundrel-energy-XXXXXX")"
chmod 755 "$work"
source "$(dirname "$0")/load_common.sh"
trap stop_started EXIT

report() {  # report <label> <file of "cpu wakes ms" lines>
  printf '%-46s %s %% of a core, %s wake-ups a second, first frame after %s ms (runs: %s)\n' "$1" \
    "$(cut -d' ' -f1 "$2" | median)" "$(cut -d' ' -f2 "$2" | median)" \
    "$(cut -d' ' -f3 "$2" | median)" "$(cut -d' ' -f1 "$2" | xargs)"
}

# ---- X11 ----
saver_env=(env XDG_CONFIG_HOME="$work" LIBGL_ALWAYS_SOFTWARE=1)

xvfb 1280x720
HOME="$work" openbox >/dev/null 2>&1 &
pids+=("$!")
sleep 1
: >"$work/minimised"
for ((r = 1; r <= runs; ++r)); do
  "${saver_env[@]}" "$saver" 2>/dev/null &
  pid=$!
  win=$(window_of "$pid")
  sleep "$settle"
  xdotool windowminimize "$win"
  sleep 2
  figures=$(load "$pid" "$seconds")
  echo "$figures $(first_lit "$win" xdotool windowactivate "$win")" >>"$work/minimised"
  kill "$pid"; wait "$pid" 2>/dev/null
done

xvfb 1280x720
: >"$work/covered"
for ((r = 1; r <= runs; ++r)); do
  xdotool mousemove 100 100
  "${saver_env[@]}" "$saver" /s 2>/dev/null &
  pid=$!
  win=$(window_of "$pid")
  sleep "$settle"
  coproc COVER { "$probe" cover 1280 720 0 0; }
  read -r _ _ <&"${COVER[0]}"
  sleep 2
  figures=$(load "$pid" "$seconds")
  echo "$figures $(first_lit "$win" eval 'echo quit >&"${COVER[1]}"')" >>"$work/covered"
  wait "$COVER_PID" 2>/dev/null
  kill "$pid"; wait "$pid" 2>/dev/null
done

# On battery: the window's caption over the measured seconds.
: >"$work/battery"
if [ "$(id -u)" -eq 0 ] && unshare -m true 2>/dev/null; then
  mkdir -p "$work/power/BAT0" "$work/power/AC"
  echo Battery >"$work/power/BAT0/type"; echo 1 >"$work/power/BAT0/present"
  echo Mains >"$work/power/AC/type"; echo 0 >"$work/power/AC/online"
  source "$(dirname "$0")/caption_fps.sh"
  for ((r = 1; r <= runs; ++r)); do
    "${saver_env[@]}" unshare -m sh -c 'mount --bind "$1" /sys/class/power_supply && exec "$2"' \
      sh "$work/power" "$saver" 2>/dev/null &
    pid=$!
    window_of "$pid" >/dev/null
    sleep 5
    for _ in $(seq "$seconds"); do sleep 1; fps_now; done | median >>"$work/battery"
    kill "$pid"; wait "$pid" 2>/dev/null
  done
fi
kill "${pids[@]}" 2>/dev/null
wait 2>/dev/null
pids=()

# ---- Wayland: a headless sway as in the tests (as uid 65534 when root) ----
as_nobody=()
[ "$(id -u)" -eq 0 ] && as_nobody=(setpriv --reuid=65534 --regid=65534 --clear-groups)
install -m 755 "$saver" "$work/tundrel"
mkdir -m 700 "$work/runtime" "$work/home"
[ "${#as_nobody[@]}" -eq 0 ] || chown 65534:65534 "$work/runtime" "$work/home"
printf 'xwayland disable\noutput HEADLESS-1 mode --custom 1280x720@60Hz\n' >"$work/sway.conf"
chmod 644 "$work/sway.conf"
unset DISPLAY
as_user() {
  env -i PATH=/usr/bin:/bin LANG=C.UTF-8 HOME="$work/home" XDG_CONFIG_HOME="$work/home" \
    XDG_RUNTIME_DIR="$work/runtime" LIBGL_ALWAYS_SOFTWARE=1 ${display:+WAYLAND_DISPLAY=$display} \
    ${swaysock:+SWAYSOCK=$swaysock} "${as_nobody[@]}" "$@"
}
display="" swaysock=""
as_user env WLR_BACKENDS=headless WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1 \
  sway -c "$work/sway.conf" >"$work/sway.log" 2>&1 &
pids+=("$!")
for _ in $(seq 100); do
  swaysock=$(find "$work/runtime" -name 'sway-ipc.*.sock' | head -n1)
  display=$(find "$work/runtime" -name 'wayland-*' -type s -printf '%f\n' | head -n1)
  [ -n "$swaysock" ] && [ -n "$display" ] && as_user swaymsg -t get_outputs >/dev/null 2>&1 && break
  sleep 0.1
done
# The pid above is the subshell that runs as_user; sway's own is in its socket's name
# (sway-ipc.<uid>.<pid>.sock), and the cleanup ends it by that.
sway_pid=${swaysock%.sock}
pids+=("${sway_pid##*.}")
wl_fps() {
  as_user swaymsg -t get_tree 2>/dev/null | sed -n 's/.*"name": "FPS: \([0-9.]*\) .*/\1/p' | head -n1
}
monotonic_ms() { python3 -c 'import time; print(int(time.monotonic() * 1000))'; }
# The saver's commits, each stamped with the monotonic clock as it is read; and a stamp of now.
stamp_commits() {
  python3 -u -c '
import sys, time
for line in sys.stdin:
    if "wl_surface@" in line and ".commit(" in line:
        print(int(time.monotonic() * 1000), flush=True)'
}

: >"$work/hidden"
for ((r = 1; r <= runs; ++r)); do
  as_user swaymsg workspace 1 >/dev/null
  : >"$work/commits"
  as_user env WAYLAND_DEBUG=client "$work/tundrel" 2>&1 >/dev/null | stamp_commits >"$work/commits" &
  sleep "$settle"
  pid=$(pgrep -f "^$work/tundrel$" | head -n1)
  as_user swaymsg workspace hidden >/dev/null
  sleep 2
  figures=$(load "$pid" "$seconds")
  # The command's own start (about 20 ms for swaymsg) counts against the saver.
  start=$(monotonic_ms)
  as_user swaymsg workspace back_and_forth >/dev/null
  sleep 1
  first=$(awk -v s="$start" '$1 >= s {print $1 - s; exit}' "$work/commits")
  echo "$figures ${first:-9999}" >>"$work/hidden"
  kill "$pid"; wait "$!" 2>/dev/null
done

# 60 Hz against 144 Hz: the window's frames a second and its share of a core, on an output small
# enough that the software rasteriser does not cap the rate. (Mesa's no-op driver hands the
# compositor no buffers, so no frame callbacks come back and the saver rightly draws nothing.)
: >"$work/hz60"; : >"$work/hz144"
for ((r = 1; r <= runs; ++r)); do
  for hz in 60 144; do
    as_user swaymsg "output HEADLESS-1 mode --custom 800x450@${hz}Hz" >/dev/null
    as_user "$work/tundrel" 2>/dev/null &
    sleep "$settle"
    pid=$(pgrep -f "^$work/tundrel$" | head -n1)
    cpu=$(load "$pid" "$seconds" | cut -d' ' -f1)
    echo "$cpu $(for _ in 1 2 3; do wl_fps; sleep 0.6; done | median)" >>"$work/hz$hz"
    kill "$pid"; wait "$pid" 2>/dev/null
  done
done

echo "== nobody watching ($runs runs of ${seconds} s, medians)"
report "X11 window minimised under openbox:" "$work/minimised"
report "X11 /s under an override-redirect cover:" "$work/covered"
report "Wayland window on a hidden workspace:" "$work/hidden"
echo "== frame budget"
for hz in 60 144; do
  printf '%-46s %s frames a second, %s %% of a core (runs: %s)\n' "Wayland window, 800x450 at ${hz} Hz:" \
    "$(cut -d' ' -f2 "$work/hz$hz" | median)" "$(cut -d' ' -f1 "$work/hz$hz" | median)" \
    "$(cut -d' ' -f1 "$work/hz$hz" | xargs)"
done
awk -v a="$(cut -d' ' -f1 "$work/hz144" | median)" -v b="$(cut -d' ' -f1 "$work/hz60" | median)" \
  'BEGIN {printf "%-46s %.2f x\n", "CPU at 144 Hz / at 60 Hz:", a / b}'
if [ -s "$work/battery" ]; then
  printf '%-46s %s frames a second (runs: %s)\n' "X11 window on battery, 60 Hz:" \
    "$(median <"$work/battery")" "$(xargs <"$work/battery")"
else
  echo "on battery: not measured (needs root for a mount namespace)"
fi
