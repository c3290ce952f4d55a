#!/usr/bin/env bash
# The run without arguments of tundrel.scr under Wine: its caption shows the statistics, mouse
# and keys other than Escape steer it without ending it, Escape ends it.
# Usage: wine_user_run.sh TUNDREL_SCR PROBE_EXE
source "$(dirname "$0")/wine_common.sh"

start_saver
check "the application window is titled Kelvarra" probe wait-title Kelvarra 20
# On a busy machine the first refresh may come before any frame and show no rates yet
# ("FPS: 0   Units: 323   -мс/юнит   Draw: -%   Calc: -%"); the next one has them.
for _ in 1 2 3 4 5; do
  caption=$(probe wait-caption "FPS: " 10)
  [[ "$caption" == *" -мс/юнит "* ]] || break
  sleep 1
done
# "FPS: 62.5   Units: 323   0.049мс/юнит   Draw: 97%   Calc: 3%"
pattern='^FPS: [0-9]+([.,][0-9]+)?   Units: [0-9]+   [0-9]+([.,][0-9]+)?мс/юнит   Draw: [0-9]+%   Calc: [0-9]+%$'
check "the caption shows the statistics: $caption" grep -Eq "$pattern" <<<"$caption"

probe move 40 0 >/dev/null
probe click >/dev/null
probe key 65 >/dev/null
probe key 32 >/dev/null
sleep 1.5
check "moves, clicks and keys other than Escape leave it running" kill -0 "$SAVER_PID"
probe key 27 >/dev/null
saver_exit 5
# Wine under load now and then drops a synthesized key; the saver still running gets it again.
if [ "$STATUS" = running ]; then
  probe key 27 >/dev/null
  saver_exit 5
fi
check "Escape ends it with status 0" test "$STATUS" = 0
stop_saver

finish
