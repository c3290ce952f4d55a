#!/usr/bin/env bash
# The full-screen run (/s): the mouse tolerance of 5 pixels from the start position, Space that
# passes, other keys (of the us, de, fr and ru layouts too), clicks and SIGTERM that close, a new
# start that closes the running one, a clock that every screenshot shows under a compositor, and
# no frames while a lock screen covers it or, for the window without arguments, while minimised.
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
# The settings dialog's toolkit is loaded for the dialog alone.
check "/s has no GTK in memory" test -z "$(grep -E 'libgtk|tundrel-settings' "/proc/$saver_pid/maps")"
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

# fps <window>: the frame rate its caption shows.
fps() { title "$1" | sed -n 's/^FPS: \([0-9.]*\) .*/\1/p'; }
# await_fps <window> <awk test on f> <seconds>: waits until the caption's rate passes the test.
await_fps() {
  local tenths=$(( $3 * 10 ))
  for _ in $(seq "$tenths"); do
    rate=$(fps "$1")
    [ -n "$rate" ] && awk -v f="$rate" "BEGIN {exit !($2)}" && return 0
    sleep 0.1
  done
  return 1
}

# A lock screen's full-screen override-redirect window over /s: no frames while it covers the
# saver, frames again at once when it goes; the saver itself goes on. (Under a compositor the
# server tells no window that it is covered.)
start_at 300 300 /s
await_fps "$win" "f > 0" 3
host_window lock 1024 768 0 0 cover
await_fps "$win" "f == 0" 3
check "covered whole, /s draws no frames (FPS $rate)" test $? = 0
tell lock unmap
await_fps "$win" "f > 0" 2
check "uncovered, /s draws again (FPS $rate)" test $? = 0
check "covering and uncovering leave it running" running "$saver_pid"
tell lock quit
xdotool key b
await_exit "$saver_pid" 5

# The clock is part of every presented frame: 60 shots of the composited screen's top-left
# corner each hold its yellow (a 24-point clock at 768 pixels high and 100 pixels per inch).
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
# The clock takes the same share of the screen's height at every density: drawn at the density
# the desktop asks for (Xft.dpi, set with xrdb) or the server has (-dpi), its digits span the rows
# they span on a plain server to within a tenth, where a clock counted twice over takes about twice
# as many. The rows are the middle of five readings: a yellow animal beside the clock may lengthen
# one.
clock_rows() {
  local root
  root=$(xwininfo -root | awk '/Window id:/ {print $4}')
  for _ in $(seq 5); do "$probe" yellow-rows "$root" 0 0 640 180; sleep 0.2; done | sort -n | sed -n 3p
}
# clock_at <what>: /s on the current server; its clock's rows in rows_<what>.
clock_at() {
  start_at 300 300 /s
  eval "rows_$1=\$(clock_rows)"
  xdotool key b
  await_exit "$saver_pid" 5
}
near_plain() { [ "${rows_plain:-0}" -gt 0 ] && [ $((10 * $1)) -ge $((9 * rows_plain)) ] &&
  [ $((10 * $1)) -le $((11 * rows_plain)) ]; }
start_xvfb 1280x720x24
clock_at plain
if command -v xrdb >/dev/null; then
  echo 'Xft.dpi: 192' | xrdb -merge
  clock_at xft
  check "Xft.dpi 192: the clock spans the rows it spans at the server's 100 ($rows_plain -> $rows_xft)" \
    near_plain "${rows_xft:-0}"
else
  check "xrdb is installed for the Xft.dpi case" false
fi
start_xvfb 1280x720x24 -dpi 192
clock_at dpi
check "Xvfb -dpi 192: the clock spans the rows it spans at 100 ($rows_plain -> $rows_dpi)" \
  near_plain "${rows_dpi:-0}"

# Every monitor shows the scene and its own clock, sized by its height: two and three RandR
# monitors of different sizes, the first on the whole screen's output.
command -v xrandr >/dev/null || { echo "FAIL: xrandr is not installed"; fails=$((fails + 1)); finish; }
for layout in "3200x1080 1920x1080+0+0 1280x720+1920+0" \
              "4480x1200 1920x1080+0+0 1280x1024+1920+0 1280x720+3200+100"; do
  set -- $layout
  start_xvfb "$1x24"
  shift
  i=0
  for m in "$@"; do
    output=none
    [ "$i" -eq 0 ] && output=screen
    xrandr --setmonitor "m$i" "$(echo "$m" | sed 's#x#/300x#; s#+#/200+#')" "$output" >/dev/null
    i=$((i + 1))
  done
  root=$(xwininfo -root | awk '/Window id:/ {print $4}')
  start_at 100 100 /s
  sleep 2
  check "$# monitors: the window covers the whole screen" \
    test "$(xwininfo -id "$win" | awk '/Width:/ {print $2}')" = "${layout%%x*}"
  for m in "$@"; do
    IFS='x+' read -r w h x y <<<"$m"
    # The clock's yellow text lies within a tenth of the monitor's height of its corner; the
    # most of several readings, since a reading may fall between a frame and its clock.
    lit=0 yellow=0
    for _ in $(seq 10); do
      n=$("$probe" lit "$root" "$x" "$y" "$w" "$h")
      [ "${n:-0}" -gt "$lit" ] && lit=$n
      n=$("$probe" colour "$root" 255 255 0 "$x" "$y" $((h / 3)) $((h / 10)))
      [ "${n:-0}" -gt "$yellow" ] && yellow=$n
      [ "$lit" -gt 1000 ] && [ "$yellow" -gt 30 ] && break
      sleep 0.2
    done
    check "$# monitors: $m is lit" test "$lit" -gt 1000
    check "$# monitors: $m shows its clock" test "$yellow" -gt 30
  done
  xdotool key b
  await_exit "$saver_pid" 5
  check "$# monitors: a key closes it with status 0" test "$exit_status" = 0
done

# Under a window manager, with a panel along the bottom of the first of two monitors, the
# window covers both monitors and the panel: icewm stretches a full-screen window over the
# monitors asked for; openbox keeps one to a single monitor, so the window covers them itself.
for wm in icewm openbox; do
  command -v "$wm" >/dev/null || { echo "FAIL: $wm is not installed"; fails=$((fails + 1)); continue; }
  start_xvfb 3200x1080x24
  xrandr --setmonitor m0 1920/300x1080/200+0+0 screen >/dev/null
  xrandr --setmonitor m1 1280/300x720/200+1920+0 none >/dev/null
  HOME="$work" "$wm" >>"$work/wm.log" 2>&1 &
  started+=("$!")
  for _ in $(seq 100); do xprop -root _NET_SUPPORTING_WM_CHECK | grep -q 'window id' && break; sleep 0.1; done
  host_window "panel_$wm" 1920 40 0 1040 dock
  root=$(xwininfo -root | awk '/Window id:/ {print $4}')
  panel() { "$probe" colour "$root" 255 0 255 0 1040 1920 40; }
  for _ in $(seq 50); do [ "$(panel)" -gt 1000 ] && break; sleep 0.1; done
  check "$wm: the panel shows" test "$(panel)" -gt 1000
  start_at 100 100 /s
  sleep 2
  check "$wm: the window spans both monitors" \
    test "$(xwininfo -id "$win" | awk '/Width:/ {print $2}')" = 3200
  for _ in $(seq 20); do
    [ "$(panel)" -eq 0 ] && [ "$("$probe" lit "$root" 1920 0 1280 720)" -gt 1000 ] && break
    sleep 0.2
  done
  check "$wm: the panel is covered" test "$(panel)" -eq 0
  check "$wm: the second monitor is lit" test "$("$probe" lit "$root" 1920 0 1280 720)" -gt 1000
  xdotool key b
  await_exit "$saver_pid" 5
  check "$wm: a key closes it with status 0" test "$exit_status" = 0
done

# The window without arguments, minimised under openbox: no frames until it is restored.
launch
win=$(main_window "$saver_pid" 10)
await_fps "$win" "f > 0" 5
xdotool windowminimize "$win"
await_fps "$win" "f == 0" 3
check "minimised, the window draws no frames (FPS $rate)" test $? = 0
xdotool windowactivate "$win" 2>/dev/null
await_fps "$win" "f > 0" 2
check "restored, the window draws again (FPS $rate)" test $? = 0
xdotool key Escape
await_exit "$saver_pid" 5
check "restored, Escape ends it with status 0" test "$exit_status" = 0

# The live wallpaper on two monitors under openbox and picom: a desktop window under a window
# of another program, the scene around it, deaf to keys, clicks and motion, one per session; a
# full-screen window on one monitor and a maximised one on the other stop its frames, and it
# sleeps until one goes; SIGTERM ends it with status 0.
start_xvfb 3200x1080x24
xrandr --setmonitor m0 1920/300x1080/200+0+0 screen >/dev/null
xrandr --setmonitor m1 1280/300x720/200+1920+0 none >/dev/null
# The windows come first, mapped at once; the window manager takes them over as it starts.
host_window app 600 400 300 300
host_window side 400 300 2200 100
HOME="$work" openbox >>"$work/wm.log" 2>&1 &
started+=("$!")
if command -v picom >/dev/null; then
  picom --config /dev/null --backend xrender >>"$work/picom.log" 2>&1 &
  started+=("$!")
fi
for _ in $(seq 100); do xprop -root _NET_SUPPORTING_WM_CHECK | grep -q 'window id' && break; sleep 0.1; done
root=$(xwininfo -root | awk '/Window id:/ {print $4}')
launch /w
win=$(main_window "$saver_pid" 10)
await_fps "$win" "f > 0" 10
check "/w: a desktop window" grep -q _NET_WM_WINDOW_TYPE_DESKTOP <(xprop -id "$win" _NET_WM_WINDOW_TYPE)
stacking=$(xprop -root _NET_CLIENT_LIST_STACKING)
check "/w: below the other window in the stacking list ($stacking)" \
  grep -qi "$(printf '0x%x' "$win").*$app_hex" <<<"$stacking"
check "/w: the scene on the second monitor" test "$("$probe" lit "$root" 1920 0 1280 720)" -gt 1000
check "/w: the scene beside the window" test "$("$probe" lit "$root" 0 0 300 1080)" -gt 1000
check "/w: the window over the scene" test "$("$probe" lit "$root" 320 340 560 340)" -lt 100
"$saver" -w 2>"$work/second"
check "a second -w says that one runs and ends with status 0" \
  test $? = 0 -a -n "$(grep 'already runs' "$work/second")"
xdotool mousemove 1000 900 click 1 mousemove 2500 500 click 3 key a key Escape
sleep 1
check "/w: keys, clicks and motion leave it running" running "$saver_pid"
tell app "state add FULLSCREEN"
tell side "state add MAXIMIZED"
await_fps "$win" "f == 0" 5
check "/w: covered on both monitors, no frames (FPS $rate)" test $? = 0
wakes() { awk '/^voluntary_ctxt/ {print $2}' "/proc/$saver_pid/status"; }
before=$(wakes); sleep 3
check "/w: covered, it sleeps ($(( $(wakes) - before )) wake-ups in 3 s)" test $(( $(wakes) - before )) -le 1
tell side "state remove MAXIMIZED"
await_fps "$win" "f > 0" 3
check "/w: one monitor uncovered, frames again (FPS $rate)" test $? = 0
kill -TERM "$saver_pid"
await_exit "$saver_pid" 5
check "/w: SIGTERM ends it with status 0" test "$exit_status" = 0

finish
