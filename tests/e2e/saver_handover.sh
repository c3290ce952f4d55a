#!/usr/bin/env bash
# The XScreenSaver hand-over: --root draws into the window named by XSCREENSAVER_WINDOW,
# --window-id names another that wins; a resized window is drawn in full, its clock in its corner;
# the saver outlives an unmapped window, ends when its window is destroyed, and ends in order on
# SIGTERM and SIGINT.
# Copies in handed-over windows (one per monitor) neither close other instances nor are closed.
# Usage: saver_handover.sh <tundrel> <x_probe>
set -u
saver="$1" probe="$2"
source "$(dirname "$0")/saver_common.sh"

start_xvfb 1024x768x24

host_window A 200 150
host_window B 200 150 700 500

XSCREENSAVER_WINDOW="$A_hex" launch --root
check "--root draws into XSCREENSAVER_WINDOW" await_lit "$A_id" 10
check "the other window stays black" test "$(lit "$B_id")" -eq 0
check "the hand-over shows no window of its own" test -z "$(xdotool search --onlyvisible --pid "$saver_pid")"
# A larger window: the projection follows, so its new lower right part is drawn too.
tell A "resize 600 400"
# A loaded machine may take a while for the next frames: wait up to 10 s.
lower_right=0
for _ in $(seq 50); do
  lower_right=$("$probe" lit "$A_id" 300 200 300 200)
  [ "${lower_right:-0}" -gt 500 ] && break
  sleep 0.2
done
check "after a resize the whole window is drawn" test "${lower_right:-0}" -gt 500
check "after a resize the clock keeps to the top-left corner" \
  test "$("$probe" yellow "$A_id" 0 0 300 40)" -gt 10
tell A unmap
sleep 0.5
check "an unmapped window does not end it" running "$saver_pid"
tell A map
kill -TERM "$saver_pid"
await_exit "$saver_pid" 5
check "SIGTERM ends it with status 0" test "$exit_status" = 0

tell A unmap; tell A map
XSCREENSAVER_WINDOW="$A_hex" launch --root --window-id "$B_hex"
check "--window-id wins over --root" await_lit "$B_id" 10
check "the daemon's window stays black" test "$(lit "$A_id")" -eq 0
kill -INT "$saver_pid"
await_exit "$saver_pid" 5
check "SIGINT ends it with status 0" test "$exit_status" = 0

# runs_and_draws <pid> <window>: the process runs, and two readings a second apart differ.
runs_and_draws() {
  running "$1" && "$probe" ppm "$2" "$work/one.ppm" && sleep 1 &&
    "$probe" ppm "$2" "$work/two.ppm" && ! cmp -s "$work/one.ppm" "$work/two.ppm"
}
all_running() { for p in "$@"; do running "$p" || return 1; done; }
tell A unmap; tell A map; tell B unmap; tell B map
XSCREENSAVER_WINDOW="$A_hex" launch --root
first=$saver_pid
await_lit "$A_id" 10
sleep 2
XSCREENSAVER_WINDOW="$B_hex" launch --root
second=$saver_pid
check "a second copy on another window draws" await_lit "$B_id" 10
sleep 2
check "  ... the first copy runs on and draws" runs_and_draws "$first" "$A_id"
check "  ... and the second too" runs_and_draws "$second" "$B_id"
launch /s
full=$saver_pid
main_window "$full" 10 >/dev/null
sleep 1
check "a full-screen start closes neither copy" all_running "$first" "$second"
XSCREENSAVER_WINDOW="$A_hex" launch --root
sleep 3
check "a hand-over start leaves the full-screen run on" running "$full"
for p in "$first" "$second" "$full" "$saver_pid"; do kill -TERM "$p" 2>/dev/null; done
statuses=""
for p in "$first" "$second" "$full" "$saver_pid"; do await_exit "$p" 5; statuses+="$exit_status "; done
check "all four end in order on SIGTERM (statuses $statuses)" test "$statuses" = "0 0 0 0 "

launch -root -window-id "$B_id"
await_lit "$B_id" 10
tell B destroy
await_exit "$saver_pid" 3
check "a destroyed window ends it with status 0" test "$exit_status" = 0
check "nothing was written on stderr" test ! -s "$work/err"

XSCREENSAVER_WINDOW="0xnothex" launch --root
await_exit "$saver_pid" 10
check "a bad XSCREENSAVER_WINDOW exits with status 2 and one line" test "$exit_status" = 2
check "  ... and one line" one_line "$work/err"
launch --root --window-id
await_exit "$saver_pid" 10
check "--window-id without an id exits with status 2" test "$exit_status" = 2

finish
