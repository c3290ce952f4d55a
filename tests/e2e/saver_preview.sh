#!/usr/bin/env bash
# The preview (/p ID): frames drawn into the host's window, the end within a second of that
# window being unmapped or destroyed, /p alone ending at its first tick, and ids that are refused.
# Usage: saver_preview.sh <tundrel> <x_probe>
set -u
saver="$1" probe="$2"
source "$(dirname "$0")/saver_common.sh"

start_xvfb 1024x768x24

host_window A 320 240
check "the stand-in window starts black" test "$(lit "$A_id")" -eq 0
launch /p "$A_id"
check "frames are drawn into the host's window" await_lit "$A_id" 10
check "the preview shows no window of its own" test -z "$(xdotool search --onlyvisible --pid "$saver_pid")"
check "the application window is titled ScreenSaver" test -n "$(xdotool search --name '^ScreenSaver$')"
tell A unmap
await_exit_ms "$saver_pid" 1000
check "unmapping the host's window ends it within 1 s (${exit_ms} ms)" test "$exit_status" = 0

tell A map
launch /P "$A_id"
await_lit "$A_id" 10
tell A destroy
await_exit_ms "$saver_pid" 1000
check "destroying the host's window ends it within 1 s (${exit_ms} ms)" test "$exit_status" = 0
check "nothing was written on stderr" test ! -s "$work/err"

launch /p
await_exit "$saver_pid" 10
check "/p alone ends by itself with status 0" test "$exit_status" = 0

for id in xyz -5 0x10 "" 99999999999; do
  launch /p "$id"
  await_exit "$saver_pid" 10
  check "/p '$id' exits with status 2" test "$exit_status" = 2
  check "/p '$id' explains itself in one line" one_line "$work/err"
done

launch /p "$A_id"
await_exit "$saver_pid" 10
check "/p with a window that is gone ends quietly" test "$exit_status" = 0 -a ! -s "$work/err"

finish
