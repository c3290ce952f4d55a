#!/usr/bin/env bash
# The saver started without arguments: its window and statistics caption, mouse and keys that
# steer instead of closing (characters of the de and ru layouts too), Escape that ends it (on the
# ru layout), a full-screen start that gives way to it, and its frame rate on battery.
# Usage: saver_user_run.sh <tundrel> <x_probe>
set -u
saver="$1" probe="$2"
source "$(dirname "$0")/saver_common.sh"

start_xvfb 1280x720x24
xdotool mousemove 400 300

launch
user_pid=$saver_pid
win=$(main_window "$user_pid" 10)
check "the main window appears" test -n "$win"
check "it covers the screen" test "$(xdotool getwindowgeometry "$win" | grep -c 'Geometry: 1280x720')" -eq 1
check "it carries WM_CLASS tundrel/Tundrel" grep -q '"tundrel", "Tundrel"' <(xprop -id "$win" WM_CLASS)
check "the application window is titled Kelvarra" test -n "$(xdotool search --name '^Kelvarra$')"

caption=""
for _ in $(seq 20); do
  caption=$(title "$win")
  [[ "$caption" == FPS:* ]] && break
  sleep 0.1
done
check "the caption becomes the statistics within 2 s" \
  grep -Eq '^FPS: [0-9]+(\.[0-9]+)?   Units: [0-9]+   [0-9]+(\.[0-9]+)?мс/юнит   Draw: [0-9]+%   Calc: [0-9]+%$' <<<"$caption"
check "the scene is drawn" await_lit "$win" 5

xdotool mousemove 700 500; sleep 0.2
xdotool mousemove 100 100; sleep 0.2
xdotool click 1; sleep 0.2
xdotool click 3; sleep 0.2
xdotool key a space Return Left F1; sleep 0.5
check "mouse moves, clicks and other keys leave it running" running "$user_pid"

# A full-screen start while a user's run is on makes no window and ends at once.
start_ms=$(date +%s%N)
timeout 10 "$saver" /s 2>"$work/err_s" &
second=$!
started+=("$second")
await_exit "$second" 10
elapsed=$(( ($(date +%s%N) - start_ms) / 1000000 ))
check "/s beside a user's run exits with status 0" test "$exit_status" = 0
check "/s beside a user's run ends at once (${elapsed} ms)" test "$elapsed" -lt 3000
check "/s beside a user's run prints nothing" test ! -s "$work/err_s"
check "the user's run keeps its one window" test "$(xdotool search --onlyvisible --classname tundrel | wc -l)" -eq 1
check "the user's run goes on" running "$user_pid"

setxkbmap de
xdotool key udiaeresis dead_acute e ssharp ISO_Level3_Shift Num_Lock Num_Lock; sleep 0.3
setxkbmap ru
xdotool key Cyrillic_a Cyrillic_ya Cyrillic_IO XF86AudioPlay; sleep 0.5
check "characters of the de and ru layouts leave it running" running "$user_pid"
xdotool key Escape
await_exit "$user_pid" 5
check "Escape on the ru layout ends it with status 0" test "$exit_status" = 0
check "it wrote nothing on stderr" test ! -s "$work/err"

# On battery at most 30 frames a second, and the display's rate again once the mains is back: a
# stand-in for the power-supply folder over the real one, in a mount namespace of the saver's own.
if [ "$(id -u)" -eq 0 ] && unshare -m true 2>/dev/null; then
  mkdir -p "$work/power/BAT0" "$work/power/AC"
  echo Battery >"$work/power/BAT0/type"; echo 1 >"$work/power/BAT0/present"
  echo Mains >"$work/power/AC/type"; echo 0 >"$work/power/AC/online"
  unshare -m sh -c 'mount --bind "$1" /sys/class/power_supply && exec "$2"' sh "$work/power" \
    "$saver" 2>"$work/err" &
  saver_pid=$!
  started+=("$saver_pid")
  win=$(main_window "$saver_pid" 10)
  rates() {  # rates <n>: the caption's frame rate every half second, n times
    for _ in $(seq "$1"); do
      sleep 0.5; title "$win" | sed -n 's/^FPS: \([0-9.]*\) .*/\1/p'
    done
  }
  # The caption counts frames over half a second or so, where one frame early reads as 32: the
  # middle of eight readings is held to the cap.
  middle=$(rates 8 | sort -g | sed -n 5p)
  check "on battery, at most 30 frames a second (middle reading ${middle:-none})" \
    awk -v f="${middle:-0}" 'BEGIN {exit !(f > 0 && f <= 30.5)}'
  echo 1 >"$work/power/AC/online"
  top=$(rates 16 | sort -g | tail -n1)
  check "on mains again within 8 s, more than 30 (top ${top:-none})" \
    awk -v f="${top:-0}" 'BEGIN {exit !(f > 31)}'
  xdotool key Escape
  await_exit "$saver_pid" 5
else
  echo "skipped: the battery case needs root for a mount namespace"
fi

finish
