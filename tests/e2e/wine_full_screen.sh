#!/usr/bin/env bash
# The full-screen run of tundrel.scr under Wine: it draws over the screen, tolerates 5 pixels
# of mouse drift and Space, ends on a 6-pixel drift, another key or a click, and gives way to a
# run started without arguments. Usage: wine_full_screen.sh TUNDREL_SCR PROBE_EXE
source "$(dirname "$0")/wine_common.sh"

# Starts a full-screen run and waits until it is on screen with its first frames.
start_full_screen() {
  start_saver "$@"
  probe wait-title ScreenSaver 20 >/dev/null
  sleep 3
}

# Whether the saver is still running after a moment.
still_running() {
  sleep 1.5
  kill -0 "$SAVER_PID" 2>/dev/null
}

start_full_screen /s
lit=$(probe lit 0 0 1280 720)
check "/s draws: the screen stops being black" test "${lit:-0}" -gt 1000
probe move 5 5 >/dev/null
check "a drift of 5 pixels on each axis leaves it running" still_running
probe move 1 0 >/dev/null
saver_exit 5
check "one more pixel to the right (6 from the start) ends it with status 0" test "$STATUS" = 0
stop_saver

start_full_screen /S
probe move -3 4 >/dev/null
probe move -3 2 >/dev/null # 6 to the left in two steps, 6 down in total
saver_exit 5
check "a drift that adds up to 6 pixels ends it" test "$STATUS" = 0
stop_saver

start_full_screen /s
probe key 32 >/dev/null
check "Space leaves it running" still_running
probe key 65 >/dev/null
saver_exit 5
check "another key (A) ends it with status 0" test "$STATUS" = 0
stop_saver

start_full_screen x
probe click >/dev/null
saver_exit 5
check "a click ends it (first argument x)" test "$STATUS" = 0
stop_saver

# A user's run (no arguments) is under way: a full-screen start gives way at once.
start_saver
probe wait-title Kelvarra 20 >/dev/null
user_pid=$SAVER_PID
started=$SECONDS
timeout 30 wine "$SAVER" /s >/dev/null 2>&1
status=$?
check "a full-screen start beside a user's run exits with status 0" test "$status" = 0
check "... within 5 seconds" test $((SECONDS - started)) -le 5
SAVER_PID=$user_pid
check "... and leaves the user's run going" still_running
probe key 27 >/dev/null
saver_exit 5
check "Escape ends the user's run" test "$STATUS" = 0
stop_saver

finish
