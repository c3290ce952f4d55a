#!/usr/bin/env bash
# The settings dialog of tundrel.scr under Wine: what /c shows for each state of the registry
# key, what Enter (OK) and Escape (Cancel) leave there, the error box of a failed save, a
# second start closing the first, the live wallpaper's line, and its layout at 96, 144 and 192
# pixels per inch.
# Usage: wine_settings.sh TUNDREL_SCR PROBE_EXE
source "$(dirname "$0")/wine_common.sh"

# Opens the dialog with the given first argument; BOXES holds its boxes once it is up.
open_dialog() {
  start_saver "${1:-/c}"
  probe wait-title Settings 20 >/dev/null
  sleep 0.5
  BOXES=$(probe boxes)
}

# Presses a key in the dialog and waits for it to close; STATUS is the exit status.
close_with() {
  probe key "$1" >/dev/null
  saver_exit 10
  # Wine under load now and then drops a synthesized key; the dialog still open gets it again.
  if [ "$STATUS" = running ]; then
    probe key "$1" >/dev/null
    saver_exit 10
  fi
}

reg_clear
open_dialog
layout_96=$(probe layout)
check "no key: both boxes checked" test "$BOXES" = "time=1 trails=1"
close_with 13
check "Enter closes the dialog with status 0" test "$STATUS" = 0
check "Enter writes ShowTrail as 1" test "$(reg_value ShowTrail)" = "REG_DWORD 0x1"
check "Enter writes ShowTime as 1" test "$(reg_value ShowTime)" = "REG_DWORD 0x1"

reg_clear
open_dialog /C
probe key 32 >/dev/null # Space toggles the focused box, cbShowTime
sleep 0.3
toggled=$(probe boxes)
close_with 27
check "/C opens the dialog; Space toggles Show time" test "$BOXES/$toggled" = "time=1 trails=1/time=0 trails=1"
check "Escape closes the dialog with status 0" test "$STATUS" = 0
check "Escape after a toggle writes nothing" test "$(reg_value ShowTime)/$(reg_value ShowTrail)" = "missing/missing"

reg_clear
reg_set ShowTrail REG_SZ 0
reg_set ShowTime REG_DWORD 0
open_dialog -c
close_with 27
check "ShowTrail stored as a string: both boxes checked" test "$BOXES" = "time=1 trails=1"
check "the string stays after Escape" test "$(reg_value ShowTrail)" = "REG_SZ 0"

reg_clear
reg_set ShowTrail REG_DWORD 0
reg_set ShowTime REG_DWORD 5
open_dialog /c:1234
close_with 13
check "/c:1234 opens the dialog: 5 checks Show time, 0 leaves Show trails clear" \
  test "$BOXES" = "time=1 trails=0"
check "5 is written back as 1" test "$(reg_value ShowTime)" = "REG_DWORD 0x1"
check "0 is written back as 0" test "$(reg_value ShowTrail)" = "REG_DWORD 0x0"

# A volatile parent key takes no lasting subkey: the save fails with the first value's name.
reg_clear
probe volatile-key 'Software\Ombrix' >/dev/null
open_dialog
probe key 13 >/dev/null
message=$(probe message-box ScreenSaver 10)
check "a failed save shows the error in a box titled ScreenSaver" \
  test "$message" = "Failed to set data for 'ShowTrail'"
probe key 13 >/dev/null # dismisses the message box
sleep 0.5
check "the dialog stays open after the error" probe wait-title Settings 2
close_with 27
check "Escape then closes it with status 0" test "$STATUS" = 0
reg_clear

# A second start finds the first instance's application window by its title and closes it.
open_dialog
first=$SAVER_PID
open_dialog /c
second=$SAVER_PID
SAVER_PID=$first
saver_exit 10
check "a second /c closes the first dialog, which ends with status 0" test "$STATUS" = 0
SAVER_PID=$second
probe wait-title Settings 20 >/dev/null
sleep 0.5
BOXES=$(probe boxes)
check "... and shows its own" test "$BOXES" = "time=1 trails=1"
close_with 27
check "... which Escape closes" test "$STATUS" = 0

# The live wallpaper's line (Tab, Tab, Space toggles it), in the probe's stand-in desktop.
toggle_wallpaper() { for key in 9 9 32; do probe key $key >/dev/null; done; }
start_desktop new
open_dialog
clear_box=$(probe box "Live wallpaper")
toggle_wallpaper
close_with 13
value=$(run_value)
check "checked and OK, the Run value starts the .scr with /w: $value" \
  grep -Eq '^REG_SZ +"[A-Z]:\\.*\\tundrel\.scr" /w$' <<<"$value"
check "... and the wallpaper runs now" probe wait-title "Tundrel wallpaper" 20
open_dialog
checked_box=$(probe box "Live wallpaper")
toggle_wallpaper
close_with 13
check "the box shows the value ($clear_box, then $checked_box)" \
  test "$clear_box/$checked_box" = "Live wallpaper=0/Live wallpaper=1"
check "unchecked and OK, the value goes" test -z "$(run_value)"
check "... and the wallpaper ends" probe gone "Tundrel wallpaper" 20
check "... and has the desktop paint the user's wallpaper again" \
  probe wait-title "Program Manager: wallpaper set" 10
end_desktop

# At 144 pixels per inch (150 %) the dialog is laid out for that density: the design's sizes
# times 1.5, its font half as large again, no control cut. A WM_DPICHANGED to 192, as a move to
# a monitor at 200 % sends, lays it out afresh: twice the design's width, the font twice as
# large, nothing cut. (Wine draws the frame at its own density, so the client's height after the
# message is not the design's.)
# field NAME LAYOUT: a number of the probe's layout line; the client size as WxH.
field() { sed -n "s/.*\<$1=\([0-9x]*\).*/\1/p" <<<"$2"; }
set_dpi 144
open_dialog
layout_144=$(probe layout)
probe dpi-changed TundrelSettings 192 >/dev/null
sleep 0.3
layout_192=$(probe layout)
close_with 27
set_dpi -
line_96=$(field line "$layout_96")
line_144=$(field line "$layout_144")
line_192=$(field line "$layout_192")
check "at 96 the dialog has the design's size, nothing cut ($layout_96)" \
  test "$(field client "$layout_96")/$(field cut "$layout_96")" = "294x151/0"
check "at 144 it is 441x227, nothing cut, its lines half as high again ($layout_144)" \
  test "$(field client "$layout_144")/$(field cut "$layout_144")" = "441x227/0" -a \
  "$((10 * ${line_144:-0}))" -ge "$((14 * ${line_96:-1}))"
check "WM_DPICHANGED to 192 lays it out 588 wide, nothing cut, its lines twice as high ($layout_192)" \
  test "$(field client "$layout_192" | cut -dx -f1)/$(field cut "$layout_192")" = "588/0" -a \
  "$((10 * ${line_192:-0}))" -ge "$((18 * ${line_96:-1}))"

finish
