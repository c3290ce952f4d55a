#!/usr/bin/env bash
# The full-screen run of tundrel.scr under Wine: it draws over the screen, tolerates 5 pixels
# of mouse drift and Space, ends on a 6-pixel drift, another key or a click, gives way to a run
# started without arguments, and its clock is in every screenshot, under a compositor too, and
# takes the same share of the screen's height at 144 pixels per inch as at 96, also after a
# WM_DPICHANGED.
# Usage: wine_full_screen.sh TUNDREL_SCR PROBE_EXE
source "$(dirname "$0")/wine_common.sh"

# Starts a full-screen run and waits until it is on screen with its first frames: a second
# after the screen stops being black, which on a busy machine may take many seconds.
start_full_screen() {
  start_saver "$@"
  probe wait-title ScreenSaver 20 >/dev/null
  local lit
  for _ in $(seq 20); do
    lit=$(probe lit 0 0 1280 720)
    [ "${lit:-0}" -gt 1000 ] && break
    sleep 0.5
  done
  sleep 1
}

# Whether the saver is still running after a moment.
still_running() {
  sleep 1.5
  kill -0 "$SAVER_PID" 2>/dev/null
}

start_full_screen /s
lit=$(probe lit 0 0 1280 720)
check "/s draws: the screen stops being black" test "${lit:-0}" -gt 1000

# clock_shots: how many of 40 screenshots of the top-left corner 50 ms apart hold the clock's
# yellow (a 24-point clock at 720 pixels high has some 800 such pixels).
clock_shots() { probe yellow 0 0 400 120 40 | tr ' ' '\n' | awk '$1 >= 100' | wc -l; }
shown=$(clock_shots)
check "the clock is in all 40 screenshots ($shown)" test "$shown" = 40
# clock_rows: the rows the clock's digits span, the middle of five readings: a yellow animal
# passing beside the clock lengthens one or two of them.
clock_rows() {
  for _ in $(seq 5); do probe yellow-rows 0 0 400 120; sleep 0.2; done | sort -n | sed -n 3p
}
rows_at_96=$(clock_rows)
if command -v picom >/dev/null; then
  picom --config /dev/null --backend xrender >/dev/null 2>&1 &
  picom_pid=$!
  sleep 1
  shown=$(clock_shots)
  check "... and in all 40 under a compositor ($shown)" test "$shown" = 40
  kill "$picom_pid"
  wait "$picom_pid" 2>/dev/null
else
  check "picom is installed for the compositor case" false
fi
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

# At 144 pixels per inch (a screen scaled to 150 %) the DPI-aware saver draws in the screen's own
# pixels with its clock at that density: the share of the height it has at 96, its digits' rows
# within a tenth of those, where a clock sized twice over would span half as many again.
# near <rows> <rows before>: within a tenth of the rows before, which were some.
near() {
  [ "${2:-0}" -gt 0 ] && [ $((10 * ${1:-0})) -ge $((9 * $2)) ] && [ $((10 * ${1:-0})) -le $((11 * $2)) ]
}
set_dpi 144
start_full_screen /s
rows_at_144=$(clock_rows)
check "at 144 pixels per inch the clock spans the rows it spans at 96 (${rows_at_96:-0} -> ${rows_at_144:-0})" \
  near "$rows_at_144" "$rows_at_96"
# A monitor's new scale: the window stays over the whole screen instead of taking the half of
# it the message suggests, and the clock is drawn at the monitor's density as before.
window=$(probe dpi-changed TundrelForm 192)
sleep 1
rows_after=$(clock_rows)
check "after WM_DPICHANGED the window still covers the screen ($window) and its clock the same rows (${rows_after:-0})" \
  test "$window" = "window=0,0,1280,720" -a -n "$(near "$rows_after" "$rows_at_144" && echo near)"
probe key 65 >/dev/null
saver_exit 5
stop_saver
set_dpi -

finish
