#!/usr/bin/env bash
# The full-screen run (/s): the mouse tolerance of 5 pixels from the start position, Space that
# passes, other keys (of the us, de, fr and ru layouts too), clicks and SIGTERM that close, a new
# start that closes the running one, and a clock that every screenshot shows under a compositor.
# Usage: saver_full_screen.sh <tundrel> <x_probe>
set -u
saver="$1" probe="$2"
source "$(dirname "$0")/saver_common.sh"

start_xvfb 1024x768x24

# start_at <x> <y> <args...>: the saver started with the cursor at (x, y), its window shown.
start_at() {
  local x="$1" y="$2"; shift 2
  xdotool mousemove "$x" "$y"
  launch "$@"
  win=$(main_window "$saver_pid" 10)
  # The first frames are drawn before the test moves anything.
  await_lit "$win" 5
}

start_at 300 300 /s
check "/s shows its window" test -n "$win"
check "the application window is titled ScreenSaver" test -n "$(xdotool search --name '^ScreenSaver$')"
for step in "302 301" "304 303" "305 305" "295 295" "305 295"; do
  xdotool mousemove $step; sleep 0.15
done
sleep 0.5
check "a drift of 5 pixels on each axis keeps it" running "$saver_pid"
xdotool mousemove 306 300
await_exit "$saver_pid" 3
check "6 pixels to the right close it with status 0" test "$exit_status" = 0

start_at 300 300 /S
xdotool mousemove 300 294
await_exit "$saver_pid" 3
check "6 pixels up close it with status 0" test "$exit_status" = 0

start_at 300 300 /s
xdotool key space; sleep 0.6
check "Space does not close it" running "$saver_pid"
xdotool key b
await_exit "$saver_pid" 3
check "another key closes it with status 0" test "$exit_status" = 0

# key_closes <layout> <key>: under that layout the key ends /s with status 0.
key_closes() {
  setxkbmap "$1" || return 1
  start_at 300 300 /s
  xdotool key "$2"
  await_exit "$saver_pid" 3 || { kill -9 "$saver_pid"; wait "$saver_pid"; } 2>/dev/null
  test "$exit_status" = 0
}
for case in "us Num_Lock" "us Print" "us Scroll_Lock" "us XF86AudioPlay" "us udiaeresis" \
  "de ISO_Level3_Shift" "de dead_acute" "de udiaeresis" "fr eacute" "ru Cyrillic_a" "ru Cyrillic_ya"; do
  check "a key without a code of its own closes it: $case" key_closes $case
done
start_at 300 300 /s
xdotool key space; sleep 0.6
check "Space does not close it on the ru layout either" running "$saver_pid"
xdotool key Escape
await_exit "$saver_pid" 3
setxkbmap us

start_at 300 300 /a
xdotool click 3
await_exit "$saver_pid" 3
check "a click closes it with status 0" test "$exit_status" = 0

start_at 300 300 /s
kill -TERM "$saver_pid"
await_exit "$saver_pid" 3
check "SIGTERM ends it with status 0" test "$exit_status" = 0

start_at 300 300 x
first=$saver_pid
launch /s
second=$saver_pid
await_exit "$first" 5
check "a new start closes the running ScreenSaver" test "$exit_status" = 0
check "the new start runs on" running "$second"
win=$(main_window "$second" 10)
xdotool key Escape
await_exit "$second" 3
check "Escape closes it with status 0" test "$exit_status" = 0
check "nothing was written on stderr" test ! -s "$work/err"

# The clock is part of every presented frame: 60 shots of the composited screen's top-left
# corner each hold its yellow (a 25-point clock at 768 pixels high).
if command -v picom >/dev/null; then
  picom --config /dev/null --backend xrender >"$work/picom.log" 2>&1 &
  started+=("$!")
  sleep 1
  start_at 300 300 /s
  sleep 1
  root=$(xwininfo -root | sed -n 's/.*Window id: \(0x[0-9a-f]*\).*/\1/p')
  shown=0
  for _ in $(seq 60); do
    [ "$("$probe" yellow "$root" 0 0 400 120)" -ge 100 ] && shown=$((shown + 1))
  done
  check "the clock is in all 60 screenshots under a compositor ($shown)" test "$shown" = 60
  kill -TERM "$saver_pid"
  await_exit "$saver_pid" 3
else
  check "picom is installed for the compositor case" false
fi

finish
