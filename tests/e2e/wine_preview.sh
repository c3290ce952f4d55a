#!/usr/bin/env bash
# The preview of tundrel.scr under Wine: a host window of the probe's gets the saver's drawing
# window over its client area and the saver draws (its hidden window's caption counts frames);
# destroying the host window ends the saver within a second. The single argument /p, without
# a window, ends by itself at the first frame. Usage: wine_preview.sh TUNDREL_SCR PROBE_EXE
#
# Wine shows no OpenGL drawing in child windows, so the host's pixels are reported, not
# required; on Windows they are lit.
source "$(dirname "$0")/wine_common.sh"

report=$(probe host "$SAVER" 20)
echo "# $report"
field() { sed -n "s/.*\<$1=\([0-9]*\).*/\1/p" <<<"$report"; }
check "the drawing window covers the host's client area" test "$(field covers)" = 1
check "the saver draws frames into it" test "$(field caption)" = 1
check "the saver ends within 1 s of the host window's destruction" \
  test "$(field exited)" = 1 -a "$(field after_ms)" -le 1000
check "... with status 0" test "$(field status)" = 0

start_saver /p
saver_exit 10
check "/p without a window ends by itself with status 0" test "$STATUS" = 0
stop_saver

finish
