#!/usr/bin/env bash
# The native Wayland runs under a headless sway of their own, without any X server: /s with a
# view and a clock on every output (outputs added, removed and scaled while it runs too), Space
# and pointer moves of up to 5 pixels (the view's own, at scale 2 too) that it passes, the keys,
# larger moves and clicks that end it, the window without arguments that only Escape ends, with no
# more than its frame budget at 144 Hz and no frames on a hidden workspace, /p refused, the
# settings dialog, the compositor going away under it, and a start by swayidle beside a lock. sway
# refuses to run as root, so as root it and every client run as nobody (uid 65534).
# Usage: wayland_saver.sh <tundrel> <wl_pointer>
set -u
tools=(sway swaymsg swayidle grim wtype)
source "$(dirname "$0")/wayland_common.sh"
install -m 755 "$1" "$work/tundrel"
# The settings dialog's toolkit is a module the saver loads from its own folder.
install -m 644 "$(dirname "$1")/tundrel-settings.so" "$work/tundrel-settings.so"
install -m 755 "$2" "$work/wl_pointer"
cat >"$work/sway.conf" <<'EOF'
xwayland disable
output HEADLESS-1 resolution 1024x768 position 0 0
EOF
chmod 644 "$work/sway.conf"

# start_sway: a new compositor with the one output HEADLESS-1 (none may run); sets sway_pid,
# display, swaysock.
start_sway() {
  display="" swaysock="" user_env=()
  # What a sway killed before left behind would be taken for the new one's.
  rm -f "$work/runtime"/sway-ipc.*.sock "$work/runtime"/wayland-*
  user_command env WLR_BACKENDS=headless WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1 \
    sway -c "$work/sway.conf"
  "${cmd[@]}" >>"$work/sway.log" 2>&1 &
  sway_pid=$!
  started+=("$sway_pid")
  for _ in $(seq 100); do
    swaysock=$(find "$work/runtime" -name 'sway-ipc.*.sock' | head -n1)
    display=$(find "$work/runtime" -name 'wayland-*' -type s -printf '%f\n' | head -n1)
    user_env=(${swaysock:+"SWAYSOCK=$swaysock"})
    if [ -n "$swaysock" ] && [ -n "$display" ] && as_user swaymsg -t get_outputs >/dev/null 2>&1; then
      return 0
    fi
    sleep 0.1
  done
  give_up "sway did not start" "$work/sway.log"
}

# new_output <name> <WxH> <X>: one more headless output, named as sway numbers them.
new_output() {
  as_user swaymsg create_output >/dev/null &&
    as_user swaymsg output "$1" resolution "$2" position "$3" 0 >/dev/null
}

key() { as_user wtype -s 100 "$@"; }
pointer() { as_user "$work/wl_pointer" "$@"; }

# measure <output>: a screenshot of the output, measured as measure_ppm does.
measure() { as_user grim -t ppm -o "$1" - 2>/dev/null | measure_ppm; }

start_sway
new_output HEADLESS-2 1280x720 1024

# Two outputs: a view and a clock on each; Space and a drift of a few pixels pass, a larger
# move ends it.
launch /s
shown HEADLESS-1 20
check "/s: HEADLESS-1 shows a view with its clock ($reading)" test $? = 0
shown HEADLESS-2 5
check "/s: HEADLESS-2 shows a view with its clock ($reading)" test $? = 0
key " "; sleep 0.6
check "/s: Space does not end it" running "$saver_pid"
pointer move 3 0; pointer move 0 3; sleep 0.6
check "/s: a move of 3 and 3 pixels does not end it" running "$saver_pid"
pointer move 30 0
await_exit "$saver_pid" 3
check "/s: a move of 30 pixels ends it with status 0 ($exit_status)" test "$exit_status" = 0
stop "$saver_pid"

# An output scaled to 2 gets buffers of its own pixels at buffer scale 2 (the protocol log says
# so), and its clock is drawn at that density with the share of the output's height it has at
# scale 1: the digits' rows within a tenth of those at scale 1, where a clock sized twice over
# would take about twice as many.
wl_debug=client launch /s
shown HEADLESS-1 20
read -r _ _ _ rows_at_1 _ <<<"$reading"
as_user swaymsg output HEADLESS-1 scale 2 >/dev/null
rows_at_2=0
for _ in $(seq 30); do
  sleep 0.3
  grep -q 'set_buffer_scale(2)' "$work/err" || continue
  read -r _ _ yellow rows_at_2 _ <<<"$(measure HEADLESS-1)"
  [ "$yellow" -gt 30 ] && [ $((10 * rows_at_2)) -ge $((9 * rows_at_1)) ] &&
    [ $((10 * rows_at_2)) -le $((11 * rows_at_1)) ] && break
done
check "/s: a scaled output takes buffers at scale 2" grep -q 'set_buffer_scale(2)' "$work/err"
check "/s: ... of its own 1024x768 pixels" grep -q 'create_buffer(.*, 1024, 768, ' "$work/err"
check "/s: ... with the clock's share of its height (digits $rows_at_1 -> $rows_at_2 rows of 768)" \
  test $((10 * rows_at_2)) -ge $((9 * rows_at_1)) -a $((10 * rows_at_2)) -le $((11 * rows_at_1))
key b
await_exit "$saver_pid" 3
check "/s: another key ends it with status 0 ($exit_status)" test "$exit_status" = 0
check "/s: nothing but the protocol log was written on stderr" test -z "$(grep -v '^\[' "$work/err")"
stop "$saver_pid"

# On the output still at scale 2 the pointer counts the view's own pixels, two a surface unit, as
# the camera does: moves of 2 and 2 units (4 pixels each) pass, 3 more (6 pixels at least) end it.
launch /s
shown HEADLESS-1 20
pointer move 2 0; pointer move 0 2; sleep 0.6
check "/s at scale 2: a move of 2 and 2 units (4 and 4 pixels) does not end it" running "$saver_pid"
pointer move 3 0
await_exit "$saver_pid" 3
check "/s at scale 2: 3 units more end it with status 0 ($exit_status)" test "$exit_status" = 0
stop "$saver_pid"
as_user swaymsg output HEADLESS-1 scale 1 >/dev/null

launch /s
shown HEADLESS-1 20
pointer click
await_exit "$saver_pid" 3
check "/s: a click ends it with status 0 ($exit_status)" test "$exit_status" = 0
stop "$saver_pid"

# Outputs that come and go while it runs.
launch /s
shown HEADLESS-2 20
new_output HEADLESS-3 800x600 2304
shown HEADLESS-3 10
check "/s: an output added while it runs gets a view ($reading)" test $? = 0
as_user swaymsg output HEADLESS-2 disable >/dev/null
sleep 1
check "/s: an output removed while it runs leaves it running" running "$saver_pid"
for output in HEADLESS-1 HEADLESS-3; do
  shown "$output" 5
  check "/s: $output keeps its view after another output went ($reading)" test $? = 0
done
key b
await_exit "$saver_pid" 3
check "/s: a key still ends it with status 0 ($exit_status)" test "$exit_status" = 0
stop "$saver_pid"

# caption_fps: the frame rate in the caption of the saver's window, as sway's tree names it.
caption_fps() {
  as_user swaymsg -t get_tree 2>/dev/null |
    sed -n 's/.*"name": "FPS: \([0-9.]*\) .*/\1/p' | head -n1
}
# await_fps <test> <seconds>: waits until the caption's frame rate passes the awk test on f.
await_fps() {
  local until=$((SECONDS + $2))
  while :; do
    fps=$(caption_fps)
    [ -n "$fps" ] && awk -v f="$fps" "BEGIN {exit !($1)}" && return 0
    [ "$SECONDS" -ge "$until" ] && return 1
    sleep 0.2
  done
}

# The window of the run without arguments, on an output of 144 Hz: at most 72 frames a second,
# none while its workspace is hidden, and frames again as soon as it shows. Only Escape ends it.
as_user swaymsg "output HEADLESS-1 mode --custom 1024x768@144Hz" >/dev/null
launch
lit=0
for _ in $(seq 60); do
  for output in HEADLESS-1 HEADLESS-3; do
    read -r n _ <<<"$(measure "$output")"
    [ "$n" -gt "$lit" ] && lit=$n
  done
  [ "$lit" -gt 1000 ] && break
  sleep 0.3
done
check "the window shows the scene ($lit lit)" test "$lit" -gt 1000
top=0
for _ in $(seq 8); do
  sleep 0.5
  fps=$(caption_fps)
  [ -n "$fps" ] && top=$(awk -v a="$top" -v b="$fps" 'BEGIN {print (b > a ? b : a)}')
done
check "the window: at most 72 frames a second at 144 Hz (top $top)" \
  awk -v f="$top" 'BEGIN {exit !(f > 0 && f <= 73)}'
as_user swaymsg workspace hidden >/dev/null
await_fps "f == 0" 4
check "the window: no frames while its workspace is hidden ($fps)" test $? = 0
as_user swaymsg workspace back_and_forth >/dev/null
await_fps "f > 0" 3
check "the window: frames again once its workspace shows ($fps)" test $? = 0
key b; sleep 0.6
pointer move 40 40; pointer click; sleep 0.6
check "the window: a key, a move and a click do not end it" running "$saver_pid"
key -k Escape
await_exit "$saver_pid" 3
check "the window: Escape ends it with status 0 ($exit_status)" test "$exit_status" = 0
stop "$saver_pid"
as_user swaymsg output HEADLESS-1 mode 1024x768 >/dev/null

# No preview under Wayland: refused, with a message.
launch /p 123
await_exit "$saver_pid" 10
check "/p 123 is refused with status 2 ($exit_status)" test "$exit_status" = 2
check "/p 123 says why" test -s "$work/err"
stop "$saver_pid"

# The settings dialog is a native window too; the compositor closing it is a Cancel.
launch /c
dialog=no
for _ in $(seq 50); do
  as_user swaymsg -t get_tree 2>/dev/null | grep -q '"app_id": "tundrel"' && { dialog=yes; break; }
  sleep 0.2
done
check "/c: the settings dialog opens as a Wayland window" test "$dialog" = yes
as_user swaymsg '[app_id="tundrel"] kill' >/dev/null
await_exit "$saver_pid" 5
check "/c: closed by the compositor, it ends with status 0 ($exit_status)" test "$exit_status" = 0
check "/c: closed by the compositor, it saves nothing" test ! -e "$work/home/Ombrix"
stop "$saver_pid"

# swayidle starts it after 3 s without input as the README says, in the background: a stand-in
# lock at 5 s runs while the saver still shows, though -w waits for every command; a key ends
# the saver again.
swayidle_start=$(date +%s%N)
user_command swayidle -w timeout 3 "date +%s%N >$work/home/idle.start; $work/tundrel /s &" \
  timeout 5 "date +%s%N >$work/home/lock.start"
"${cmd[@]}" >>"$work/swayidle.log" 2>&1 &
swayidle_pid=$!
started+=("$swayidle_pid")
shown HEADLESS-1 20
check "swayidle: /s shows after 3 s without input ($reading)" test $? = 0
idle_ms=$(( ($(cat "$work/home/idle.start" 2>/dev/null || echo 0) - swayidle_start) / 1000000 ))
check "swayidle: started after 3 s ($idle_ms ms)" test "$idle_ms" -ge 2900 -a "$idle_ms" -le 8000
idle_saver=$(pgrep -f "^$work/tundrel /s" | head -n1)
started+=($idle_saver)
for _ in $(seq 50); do [ -s "$work/home/lock.start" ] && break; sleep 0.2; done
check "swayidle: the lock's timeout runs while the saver shows" \
  test -s "$work/home/lock.start" -a -n "$idle_saver"
check "swayidle: the saver still runs beside the lock" running "${idle_saver:-0}"
key b
ended=no
for _ in $(seq 30); do
  if [ -n "$idle_saver" ] && ! running "$idle_saver"; then ended=yes; break; fi
  sleep 0.1
done
check "swayidle: a key ends it" test "$ended" = yes
kill "$swayidle_pid" 2>/dev/null; wait "$swayidle_pid" 2>/dev/null

# The compositor going away ends it with status 1 and a message.
launch /s
shown HEADLESS-1 20
kill -9 "$sway_pid"; wait "$sway_pid" 2>/dev/null
await_exit "$saver_pid" 5
check "sway killed: it ends within 5 s with status 1 ($exit_status)" test "$exit_status" = 1
check "sway killed: it says why" test -s "$work/err"
stop "$saver_pid"

# The live wallpaper: a background layer surface on each output, taking no input, under a
# floating window whose keys it leaves alone (Escape ends the window without arguments); it sleeps
# while that window covers its one output full screen, draws again when it leaves, follows an
# output added; SIGTERM ends it with status 0.
start_sway
wl_debug=client launch /w
wallpaper_pid=$saver_pid
shown HEADLESS-1 20
check "/w: HEADLESS-1 shows the scene ($reading)" test $? = 0
layers() { grep -c 'get_layer_surface(.*, 0, "tundrel-wallpaper")' "$work/err"; }
check "/w: a surface on the background layer" test "$(layers)" = 1
check "/w: no keyboard, no input region" \
  test "$(grep -c 'set_keyboard_interactivity(0)\|set_input_region' "$work/err")" -ge 2
user_command "$work/tundrel"
"${cmd[@]}" 2>>"$work/window.err" &
window_pid=$!
started+=("$window_pid")
for _ in $(seq 50); do
  as_user swaymsg '[app_id="tundrel"] floating enable, resize set 400 300' >/dev/null 2>&1 && break
  sleep 0.2
done
sleep 1
read -r lit bare yellow _ <<<"$(measure HEADLESS-1)"
check "/w: the scene and its clock around the window ($lit lit, $yellow yellow)" \
  test "$lit" -gt 1000 -a "$yellow" -gt 30
wakes() { awk '/^voluntary_ctxt/ {print $2}' "/proc/$wallpaper_pid/status"; }
as_user swaymsg '[app_id="tundrel"] fullscreen enable' >/dev/null
sleep 1.5
before=$(wakes); sleep 3
check "/w: under a full-screen window it sleeps ($(( $(wakes) - before )) wake-ups in 3 s)" \
  test $(( $(wakes) - before )) -le 1
as_user swaymsg '[app_id="tundrel"] fullscreen disable' >/dev/null
before=$(wakes); sleep 1
check "/w: frames again when it leaves full screen ($(( $(wakes) - before )) wake-ups in 1 s)" \
  test $(( $(wakes) - before )) -ge 10
key -k Escape
await_exit "$window_pid" 5
check "/w: Escape reached the window and ended it ($exit_status)" test "$exit_status" = 0
check "/w: ... and the wallpaper runs on" running "$wallpaper_pid"
new_output HEADLESS-2 800x600 1024
for _ in $(seq 30); do [ "$(layers)" = 2 ] && break; sleep 0.2; done
check "/w: an output added gets its surface" test "$(layers)" = 2
shown HEADLESS-2 10
check "/w: ... and shows the scene ($reading)" test $? = 0
as_user swaymsg output HEADLESS-2 disable >/dev/null
sleep 1
check "/w: an output removed leaves it running" running "$wallpaper_pid"
kill -TERM "$wallpaper_pid"
await_exit "$wallpaper_pid" 5
check "/w: SIGTERM ends it with status 0 ($exit_status)" test "$exit_status" = 0

finish
