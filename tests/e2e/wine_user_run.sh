#!/usr/bin/env bash
# The runs of tundrel.scr under Wine that the user starts. Without arguments: its caption shows
# the statistics, mouse and keys other than Escape steer it without ending it, Escape ends it.
# The live wallpaper (/w), in the probe's stand-in for Explorer's desktop: where it lies in the
# layouts of Windows 10 and of 11 24H2, one per session, attached again after Explorer ends and
# comes back, given up after a second restart within 30 s, and refused without a desktop.
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

# The saver's one line on stderr and its status.
saver_says() { (set -o pipefail; timeout 60 wine "$SAVER" "$@" 2>&1 >/dev/null | tr -d '\r'); }
errors=$(saver_says /w)
status=$?
check "without a desktop /w ends with status 1 and one line: $errors" \
  test "$status" = 1 -a "$errors" = "tundrel: no desktop shell (Explorer) to lie under"

start_desktop old
errors_file=$(mktemp)
timeout 120 wine "$SAVER" /w >/dev/null 2>"$errors_file" &
SAVER_PID=$!
place=$(probe wallpaper-place 30)
check "in the layout of Windows 10 it lies disabled over the screen in the WorkerW after the icons': $place" \
  test "$place" = "parent=WorkerW above=none icons_above=1 disabled=1 rect=0,0,1280,720"
errors=$(saver_says -w)
status=$?
check "a second one says the first runs and ends with status 0: $errors" \
  test "$status" = 0 -a "$errors" = "tundrel: the live wallpaper already runs in this session"
end_desktop
check "its window goes with the desktop, and it waits" \
  eval '! probe wallpaper-place 0 && kill -0 "$SAVER_PID"'
start_desktop new
place=$(probe wallpaper-place 30)
check "with the next desktop, of 24H2's layout, it lies in Progman right below the icons: $place" \
  test "$place" = "parent=Progman above=SHELLDLL_DefView icons_above=0 disabled=1 rect=0,0,1280,720"
end_desktop
start_desktop new
saver_exit 20
said=$(tr -d '\r' <"$errors_file")
rm -f "$errors_file"
check "a second restart within 30 s ends it with status 1 and says why: $STATUS $said" \
  test "$STATUS/$said" = "1/tundrel: the desktop shell (Explorer) restarted twice within 30 seconds"
end_desktop

finish
