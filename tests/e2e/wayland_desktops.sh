#!/usr/bin/env bash
# The native Wayland runs under the desktops other than sway, each a compositor of its own. The
# first two offer no layer shell, so that /s covers each output with a full-screen toplevel:
#  weston  on its X11 backend in a private Xvfb, with two outputs and the keyboard that xdotool
#          types into the Xvfb: /s with a view and a clock on both outputs, as weston's
#          screenshooter shows them, Space that it passes and another key that ends it, the
#          window without arguments that only Escape ends, and weston killed under it.
#  mutter  headless, with two virtual monitors, on a session bus with stand-ins for GNOME's
#          session services and input through mutter's remote desktop: /s full screen on both
#          monitors and the window without arguments maximised, each with frames coming, as the
#          saver's protocol log (WAYLAND_DEBUG) shows them, and mutter killed under it. The idle
#          watcher tundrel-idle --after 3 starts /s on both monitors after 3 s of idle; a key
#          ends it and never reaches the window that had the focus before, also where mutter is
#          strict about new windows' focus; input every second, an idle inhibitor and GNOME's
#          shield keep it away; after mutter's restart it serves again; SIGTERM ends it. The
#          live wallpaper, through Xwayland: a desktop window under X windows of the test's, which
#          stop its frames when full screen on both monitors.
#  kwin    KDE's KWin, virtual, which has the layer shell and offers fractional scales: /s on two
#          outputs of 1280x720 at scales 1, 1.5 and 2. Where KWin prefers 1.5 or 2 for a surface,
#          the saver draws buffers of that many of the output's pixels (1920x1080, 2560x1440)
#          with a viewport of the logical 1280x720 and buffer scale 1 (the protocol log says so),
#          and its clock takes the share of the output's height it has at scale 1, as KWin's own
#          screenshots (its D-Bus screenshot interface, in the output's pixels) show. At scale 1
#          swayidle starts /s too, through KWin's idle protocol, as the README has it, and the
#          live wallpaper shows on both outputs beside a window.
# Killed under it, weston or mutter leaves the saver to end with status 1 and say why. Each
# compositor and client runs as nobody (uid 65534) when this script is root, as in the sway
# script: weston and mutter would run as root, but neither starts without a runtime directory
# (XDG_RUNTIME_DIR), which is the user's own.
# Usage: wayland_desktops.sh <weston|mutter|kwin> <tundrel> [<tundrel-idle> <x_probe>, for mutter]
set -u
desktop="${1:-}"
case "$desktop" in
  weston) tools=(weston weston-screenshooter pngtopnm Xvfb xdotool) ;;
  mutter) tools=(mutter dbus-run-session pgrep gsettings gdbus xprop) ;;
  kwin) tools=(kwin_wayland dbus-run-session swayidle) ;;
  *) echo "usage: $0 <weston|mutter|kwin> <tundrel>"; exit 2 ;;
esac
source "$(dirname "$0")/wayland_common.sh"
if [ "$desktop" = kwin ]; then
  /usr/bin/python3 -c 'import dbus' 2>/dev/null || give_up "python3-dbus is not installed"
  # KWin's binary carries a file capability that a container may refuse to grant; a copy has none.
  install -m 755 "$(command -v kwin_wayland)" "$work/kwin_wayland"
fi
install -m 755 "$2" "$work/tundrel"
mkdir -m 755 "$work/shots"
[ "${#as_nobody[@]}" -eq 0 ] || chown 65534:65534 "$work/shots"

# debug_launch <args...>: launch, with the protocol log on the saver's stderr.
debug_launch() {
  local plain=("${user_env[@]}")
  user_env+=(WAYLAND_DEBUG=client)
  launch "$@"
  user_env=("${plain[@]}")
}

# said_why: the saver wrote a line on stderr other than its protocol log's; said_nothing: it
# did not.
said_why() { grep -qv '^\[' "$work/err"; }
said_nothing() { ! said_why; }

# killed <pid>: the compositor killed under a saver that shows, which must end with status 1 and
# a message.
killed() {
  kill -9 "$1"
  wait "$1" 2>/dev/null
  await_exit "$saver_pid" 5
  check "$desktop killed: it ends within 5 s with status 1 ($exit_status)" test "$exit_status" = 1
  check "$desktop killed: it says why" said_why
  stop "$saver_pid"
}

# ---- weston ----

# start_weston: a private Xvfb, and weston on it with two outputs of 1024x768 side by side, the
# screenshooter allowed (--debug) and no idle fade; sets weston_pid, weston_window and
# user_env's DISPLAY.
start_weston() {
  user_command Xvfb -displayfd 3 -noreset -screen 0 1024x768x24 -nolisten tcp
  "${cmd[@]}" 3>"$work/xdisplay" 2>>"$work/xvfb.log" &
  started+=($!)
  for _ in $(seq 100); do [ -s "$work/xdisplay" ] && break; sleep 0.1; done
  [ -s "$work/xdisplay" ] || give_up "Xvfb did not start" "$work/xvfb.log"
  user_env=("DISPLAY=:$(head -n1 "$work/xdisplay")")
  user_command weston --backend=x11-backend.so --output-count=2 --width=1024 --height=768 \
    --use-pixman --debug --idle-time=0 --socket=wayland-weston
  "${cmd[@]}" >>"$work/weston.log" 2>&1 &
  weston_pid=$!
  started+=("$weston_pid")
  await_socket wayland-weston "$work/weston.log"
  # The keyboard of weston's seat is the X focus of its output windows, which overlap.
  for _ in $(seq 50); do
    weston_window=$(as_user xdotool search --class weston 2>/dev/null | head -n1)
    [ -n "$weston_window" ] && as_user xdotool windowfocus --sync "$weston_window" && return 0
    sleep 0.1
  done
  give_up "weston's windows did not show" "$work/weston.log"
}

key() { as_user xdotool key --delay 100 "$@"; }

# shoot <file>: weston's screenshooter's picture of both outputs, as a PPM.
shoot() {
  rm -f "$work/shots/"*.png
  (cd "$work/shots" && as_user weston-screenshooter >/dev/null 2>&1)
  pngtopnm "$work/shots/"*.png >"$1" 2>/dev/null
}

# measure <output>: output 0 or 1 of a new screenshot, measured as measure_ppm does, the pixels
# of the desktop before the saver came being the bare ones.
measure() {
  shoot "$work/shot.ppm"
  measure_ppm $(($1 * 1024)) 1024 "$work/bare.ppm" <"$work/shot.ppm"
}

if [ "$desktop" = weston ]; then
  start_weston
  # The desktop before the saver comes, once its shell has drawn the background of both outputs.
  for _ in $(seq 50); do
    shoot "$work/bare.ppm"
    read -r _ bare _ <<<"$(measure_ppm 0 2048 "$work/bare.ppm" <"$work/bare.ppm")"
    [ "$bare" -gt 1000000 ] && break
    sleep 0.2
  done
  check "weston: the screenshooter shows the bare desktop ($bare bare)" test "$bare" -gt 1000000

  launch /s
  for output in 0 1; do
    shown "$output" 20
    check "/s: weston's output $output shows a view with its clock ($reading)" test $? = 0
  done
  key space; sleep 0.6
  check "/s: Space does not end it" running "$saver_pid"
  key b
  await_exit "$saver_pid" 3
  check "/s: another key ends it with status 0 ($exit_status)" test "$exit_status" = 0
  check "/s: nothing was written on stderr" test ! -s "$work/err"
  stop "$saver_pid"

  # The window without arguments, maximised on one output: all of it but weston's panel (1024
  # by 32 pixels) is the scene. Its protocol log gives its frames.
  debug_launch
  lit=0 bare=0
  for _ in $(seq 60); do
    for output in 0 1; do
      read -r n b _ <<<"$(measure "$output")"
      [ "$n" -gt "$lit" ] && lit=$n bare=$b
    done
    [ "$lit" -gt 1000 ] && [ "$bare" -lt 100000 ] && break
    sleep 0.3
  done
  check "the window: maximised, it shows the scene ($lit lit, $bare bare)" \
    test "$lit" -gt 1000 -a "$bare" -lt 100000
  key b; sleep 0.6
  check "the window: another key does not end it" running "$saver_pid"
  echo "weston: the window's caption says $(log_fps "$work/err") frames a second"
  key Escape
  await_exit "$saver_pid" 3
  check "the window: Escape ends it with status 0 ($exit_status)" test "$exit_status" = 0
  stop "$saver_pid"

  launch /s
  shown 0 20
  killed "$weston_pid"
fi

# ---- mutter ----

if [ "$desktop" = mutter ]; then
  start_gnome_session
  start_mutter
  trap 'stop_gnome_session; cleanup' EXIT

  # The window without arguments: maximised, the size of a monitor, as mutter draws no panel.
  debug_launch
  frames_on - 1280x720 30
  check "the window: maximised with frames coming ($toplevel)" test $? = 0
  sleep 2
  echo "mutter: the window's caption says $(log_fps "$work/err") frames a second"
  stop "$saver_pid"

  # tundrel-idle --after 3, with a window of another program that has the focus before.
  user_command env GDK_BACKEND=wayland /usr/bin/python3 "$work/gnome_session.py" --window \
    "$work/runtime/focused.log"
  "${cmd[@]}" >"$work/window.log" 2>&1 &
  started+=($!)
  for _ in $(seq 100); do grep -q focused "$work/runtime/focused.log" 2>/dev/null && break; sleep 0.1; done
  check "the window of before has the focus" grep -q focused "$work/runtime/focused.log"
  install -m 755 "$3" "$work/tundrel-idle"
  : >"$work/err"
  last_input=$(date +%s%N)
  check "mutter takes the test's pointer move as input" gnome_input
  start_watcher 3
  # key_ends_it <what>: once the watcher's saver shows on both monitors, a key ends it, and the
  # window of before gets no key.
  key_ends_it() {
    frames_on Meta-0 1280x720 10 && frames_on Meta-1 1280x720 10
    check "$1: /s full screen on both monitors with frames coming" test $? = 0
    gnome key 30
    for _ in $(seq 20); do running "$saver_pid" || break; sleep 0.1; done
    check "$1: a key ends it" bash -c "! kill -0 $saver_pid 2>/dev/null"
    check "$1: no key reached the window of before" bash -c "! grep -q press '$work/runtime/focused.log'"
    : >"$work/err"
  }
  frames_on Meta-0 1280x720 20 && frames_on Meta-1 1280x720 20
  delay=$((($(date +%s%N) - last_input) / 1000000))
  echo "mutter: the saver showed on both monitors ${delay} ms after the last input"
  check "idle: not before 3 s of idle ($delay ms)" test "$delay" -ge 2900
  saver_of_watcher 1
  key_ends_it "idle"
  # From here on mutter gives new windows the focus only where they belong to the focused one.
  as_user gsettings set org.gnome.desktop.wm.preferences focus-new-windows strict
  check "mutter's new windows are strict about the focus" \
    test "$(as_user gsettings get org.gnome.desktop.wm.preferences focus-new-windows)" = "'strict'"
  for _ in $(seq 6); do gnome move 1 0; sleep 1; done
  check "input every second keeps it away" bash -c "! pgrep -P $idle_pid >/dev/null"
  check "the next idle period starts it again" saver_of_watcher 6
  key_ends_it "again"
  gnome inhibit 8
  sleep 6
  check "idle inhibited: it stays away" bash -c "! pgrep -P $idle_pid >/dev/null"
  gnome inhibit 0
  check "the inhibitor gone: it starts" saver_of_watcher 6
  key_ends_it "after the inhibitor"
  gnome shield 1
  sleep 6
  check "GNOME's shield up: it stays away" bash -c "! pgrep -P $idle_pid >/dev/null"
  gnome shield 0
  gnome move 1 0
  check "the shield down: it starts after the next idle period" saver_of_watcher 6
  key_ends_it "after the shield"
  kill -9 "$mutter_pid"
  wait "$mutter_pid" 2>/dev/null
  start_mutter
  gnome move 1 0
  check "mutter started again: it starts after the next idle period" saver_of_watcher 10
  key_ends_it "after mutter's restart"
  kill "$idle_pid"
  await_exit "$idle_pid" 3
  check "SIGTERM ends the watcher with status 0 ($exit_status)" test "$exit_status" = 0

  debug_launch /s
  for output in Meta-0 Meta-1; do
    frames_on "$output" 1280x720 30
    check "/s: full screen on $output with frames coming ($toplevel)" test $? = 0
  done
  echo "mutter: /s's caption says $(log_fps "$work/err") frames a second"
  check "/s: nothing but the protocol log was written on stderr" said_nothing
  killed "$mutter_pid"

  # The live wallpaper: mutter has no layer shell, so it is a desktop window through Xwayland,
  # under the windows of the test's (X clients); one of them full screen on each monitor stops
  # its frames, and they come again when one leaves full screen. SIGTERM ends it with status 0.
  start_mutter x11
  user_env+=("DISPLAY=$xdisplay" "XAUTHORITY=$xauth")
  install -m 755 "$4" "$work/x_probe"
  # x_window <name> <x>: a window of the test's there, driven through two FIFOs.
  x_window() {
    mkfifo -m 666 "$work/$1.in" "$work/$1.out"
    user_command "$work/x_probe" window 400 300 "$2" 100
    "${cmd[@]}" <"$work/$1.in" >"$work/$1.out" &
    started+=($!)
    eval "exec {${1}_in}>$work/$1.in {${1}_out}<$work/$1.out"
    eval "read -r -t 30 ${1}_id _ <&\$${1}_out"
  }
  x_tell() { eval "echo '$2' >&\$${1}_in; read -r -t 10 _ <&\$${1}_out"; }
  x_window left 100
  x_window right 1400
  x_tell right "move 1400 100"
  launch /w
  wakes() { awk '/^voluntary_ctxt/ {print $2}' "/proc/$saver_pid/status"; }
  desktop=""
  for _ in $(seq 100); do
    for id in $(as_user xprop -root _NET_CLIENT_LIST_STACKING | grep -o '0x[0-9a-f]*'); do
      as_user xprop -id "$id" _NET_WM_WINDOW_TYPE | grep -q DESKTOP && desktop=$id
    done
    [ -n "$desktop" ] && break
    sleep 0.1
  done
  stacking=$(as_user xprop -root _NET_CLIENT_LIST_STACKING)
  check "/w: a desktop window through Xwayland, under the test's windows ($stacking)" \
    grep -q "# ${desktop:-none}, " <<<"$stacking"
  before=$(wakes); sleep 1
  check "/w: frames come ($(( $(wakes) - before )) wake-ups in 1 s)" test $(( $(wakes) - before )) -ge 10
  x_tell left "state add FULLSCREEN"
  x_tell right "state add FULLSCREEN"
  sleep 1.5
  before=$(wakes); sleep 3
  check "/w: full-screen windows on both monitors stop its frames ($(( $(wakes) - before )) wake-ups in 3 s)" \
    test $(( $(wakes) - before )) -le 1
  x_tell right "state remove FULLSCREEN"
  before=$(wakes); sleep 1
  check "/w: frames again when one leaves full screen ($(( $(wakes) - before )) wake-ups in 1 s)" \
    test $(( $(wakes) - before )) -ge 10
  kill -TERM "$saver_pid"
  await_exit "$saver_pid" 5
  check "/w: SIGTERM ends it with status 0 ($exit_status)" test "$exit_status" = 0
fi

# ---- kwin ----

# start_kwin <scale>: KWin with two outputs of 1280x720 at that scale, in a D-Bus session of its
# own, its screenshots allowed; sets kwin_pid, session_pid and bus.
start_kwin() {
  rm -f "$work/runtime/bus" "$work/runtime/kwin.pid"
  user_command dbus-run-session -- sh -c \
    'echo "$DBUS_SESSION_BUS_ADDRESS" >"$0/bus"; echo $$ >"$0/kwin.pid"; exec "$@"' \
    "$work/runtime" env KWIN_SCREENSHOT_NO_PERMISSION_CHECKS=1 "$work/kwin_wayland" --virtual \
    --output-count 2 --width 1280 --height 720 --scale "$1" --socket "kwin-$1"
  "${cmd[@]}" >>"$work/kwin.log" 2>&1 &
  session_pid=$!
  started+=("$session_pid")
  await_socket "kwin-$1" "$work/kwin.log"
  for _ in $(seq 300); do
    if [ -s "$work/runtime/kwin.pid" ] && [ -s "$work/runtime/bus" ]; then
      kwin_pid=$(cat "$work/runtime/kwin.pid") bus=$(cat "$work/runtime/bus")
      started+=("$kwin_pid")
      screenshot Virtual-1 >/dev/null 2>&1 && return 0
    fi
    sleep 0.2
  done
  give_up "KWin did not start at scale $1" "$work/kwin.log"
}

# screenshot <output>: KWin's screenshot of the output in its own pixels, as "lit yellow rows
# height": the pixels that are not black, those of the clock's yellow in the top quarter of the
# output's left half, the rows of the clock's band of them, and the output's height.
screenshot() {
  as_user env DBUS_SESSION_BUS_ADDRESS="$bus" /usr/bin/python3 -c '
import dbus, os, sys, threading
shots = dbus.Interface(dbus.SessionBus().get_object("org.kde.KWin", "/org/kde/KWin/ScreenShot2"),
                       "org.kde.KWin.ScreenShot2")
read_end, write_end = os.pipe()
image = []
reader = threading.Thread(target=lambda: image.append(os.fdopen(read_end, "rb").read()),
                          daemon=True)
reader.start()
answer = shots.CaptureScreen(sys.argv[1], {"native-resolution": True},
                             dbus.types.UnixFd(write_end), timeout=10)
os.close(write_end)
reader.join(10)
if not image:
    sys.exit("no image came")
data = image[0]
w, h, stride = int(answer["width"]), int(answer["height"]), int(answer["stride"])
lit = yellow = 0
rows = []
for y in range(h):
    line = data[y * stride:y * stride + w * 4]  # B, G, R, A
    if y % 4 == 0:
        lit += 16 * sum(1 for i in range(0, w * 4, 16) if max(line[i:i + 3]) > 24)
    if y < h // 4:
        n = sum(1 for i in range(0, w * 2, 4)
                if line[i + 2] >= 200 and line[i + 1] >= 200 and line[i] <= 60)
        yellow += n
        if n >= 2:
            rows.append((y, n))
# The clock is the band of rows (gaps of at most 2) with the most yellow: a yellow animal of the
# scene above or below it is not counted.
bands = []
for y, n in rows:
    if bands and y - bands[-1][1] <= 3:
        bands[-1][1:] = [y, bands[-1][2] + n]
    else:
        bands.append([y, y, n])
top, bottom, _ = max(bands, key=lambda band: band[2], default=(0, -1, 0))
print(lit, yellow, bottom - top + 1, h)' "$1"
}

# buffers <width> <height>: whether the saver's protocol log has EGL buffers of that size made
# (shared memory or dmabuf).
buffers() { grep -Eq "(create_buffer|create_immed)\(.*, $1, $2, " "$work/err"; }

# kwin_shown <output> <seconds> [<width> <height>]: waits that long at most until KWin's
# screenshot of the output shows the scene with its clock (and the saver has made buffers of that
# size); the last screenshot's "lit yellow rows height" is in reading.
kwin_shown() {
  local until=$((SECONDS + $2)) lit yellow
  while :; do
    reading=$(screenshot "$1")
    read -r lit yellow _ <<<"$reading"
    [ "$lit" -gt 1000 ] && [ "$yellow" -gt 30 ] && { [ "$#" -lt 4 ] || buffers "$3" "$4"; } &&
      return 0
    [ "$SECONDS" -ge "$until" ] && return 1
    sleep 0.3
  done
}

# started_by_swayidle: swayidle starts /s as the README has it, after 3 s without input (counted
# from its start: KWin's virtual outputs have no input), through KWin's ext_idle_notifier_v1;
# the saver covers both outputs and says nothing. Both are stopped again: the saver, which
# swayidle leaves to init, by the pid its command wrote.
started_by_swayidle() {
  local begin idle_ms idle_saver output
  : >"$work/err"
  [ "${#as_nobody[@]}" -eq 0 ] || chown 65534:65534 "$work/err"
  begin=$(date +%s%N)
  user_command swayidle timeout 3 \
    "date +%s%N >$work/home/idle.start; $work/tundrel /s 2>$work/err & echo \$! >$work/home/idle.pid"
  "${cmd[@]}" >"$work/swayidle.log" 2>&1 &
  swayidle_pid=$!
  started+=("$swayidle_pid")
  for _ in $(seq 100); do [ -s "$work/home/idle.pid" ] && break; sleep 0.1; done
  idle_saver=$(cat "$work/home/idle.pid" 2>/dev/null)
  started+=($idle_saver)
  idle_ms=$(( ($(cat "$work/home/idle.start" 2>/dev/null || echo 0) - begin) / 1000000 ))
  # KWin's idle timer is a coarse Qt timer, which may fire up to 5 % early.
  check "swayidle: /s starts after its 3 s ($idle_ms ms)" test "$idle_ms" -ge 2850 -a "$idle_ms" -le 8000
  for output in Virtual-0 Virtual-1; do
    kwin_shown "$output" 30
    check "swayidle: /s shows a view with its clock on $output ($reading)" test $? = 0
  done
  kill "$swayidle_pid" ${idle_saver:+"$idle_saver"}
  wait "$swayidle_pid" 2>/dev/null
  for _ in $(seq 50); do ended "$idle_saver" && break; sleep 0.1; done
  check "swayidle: its /s ends on SIGTERM" ended "$idle_saver"
  check "swayidle: nothing was written on the saver's stderr" test ! -s "$work/err"
}

# wallpaper_under_window: the live wallpaper as KDE Plasma's session starts it: a layer surface
# on the bottom layer of each output (Plasma's desktop takes the background one), showing the
# scene with its clock on both outputs while a window of another program (GTK's) is open; it says
# nothing and SIGTERM ends it with status 0.
wallpaper_under_window() {
  local plain=("${user_env[@]}") output window_pid
  install -m 755 "$here/gnome_session.py" "$work/gnome_session.py"
  user_command env GDK_BACKEND=wayland /usr/bin/python3 "$work/gnome_session.py" --window \
    "$work/runtime/window.log"
  "${cmd[@]}" >>"$work/window.log" 2>&1 &
  window_pid=$!
  started+=("$window_pid")
  for _ in $(seq 100); do grep -q focused "$work/runtime/window.log" 2>/dev/null && break; sleep 0.1; done
  user_env+=(XDG_CURRENT_DESKTOP=KDE)
  debug_launch /w
  user_env=("${plain[@]}")
  for output in Virtual-0 Virtual-1; do
    kwin_shown "$output" 30
    check "/w on Plasma: $output shows the scene with its clock beside the window ($reading)" \
      test $? = 0
  done
  check "/w on Plasma: a surface on the bottom layer of each output" \
    test "$(grep -c 'get_layer_surface(.*, 1, "tundrel-wallpaper")' "$work/err")" = 2
  check "/w on Plasma: the window is still open" running "$window_pid"
  kill -TERM "$saver_pid"
  await_exit "$saver_pid" 5
  check "/w on Plasma: SIGTERM ends it with status 0 ($exit_status)" test "$exit_status" = 0
  check "/w on Plasma: nothing but the protocol log on stderr" said_nothing
  kill "$window_pid"
}

if [ "$desktop" = kwin ]; then
  # One run of /s at each scale; the clock's rows over the output's height at scale 1 are the
  # share the others are held to, within a tenth.
  declare -A rows_at_1
  for scale in 1 1.5 2; do
    start_kwin "$scale"
    read -r width height < <(awk -v s="$scale" 'BEGIN {printf "%d %d\n", 1280 * s + 0.5, 720 * s + 0.5}')
    debug_launch /s
    for output in Virtual-0 Virtual-1; do
      kwin_shown "$output" 60 "$width" "$height"
      read -r lit yellow rows h <<<"$reading"
      check "scale $scale: $output shows a view with its clock ($reading)" \
        test "$lit" -gt 1000 -a "$yellow" -gt 30 -a "$h" = "$height"
      if [ "$scale" = 1 ]; then
        rows_at_1[$output]=$rows
        continue
      fi
      base=${rows_at_1[$output]}
      # rows / height within a tenth of base / 720.
      check "scale $scale: $output's clock has the share of the height it has at 1 ($base of 720 -> $rows of $h)" \
        awk -v r="$rows" -v h="$h" -v b="$base" 'BEGIN {q = (r / h) / (b / 720); exit !(b > 0 && q >= 0.9 && q <= 1.1)}'
    done
    if [ "$scale" = 1 ]; then
      check "scale 1: buffers of 1280x720" buffers 1280 720
    else
      check "scale $scale: a fractional scale and a viewport for each output's surface" \
        test "$(grep -c 'get_fractional_scale(' "$work/err")" = 2 -a "$(grep -c 'get_viewport(' "$work/err")" = 2
      check "scale $scale: KWin prefers $scale" grep -q "preferred_scale($(awk -v s="$scale" 'BEGIN {print s * 120}'))" "$work/err"
      check "scale $scale: buffers of ${width}x${height}" buffers "$width" "$height"
      check "scale $scale: viewports of 1280x720" grep -q 'set_destination(1280, 720)' "$work/err"
      check "scale $scale: buffer scale 1" bash -c "! grep -q 'set_buffer_scale(' '$work/err'"
    fi
    kill "$saver_pid"
    wait "$saver_pid" 2>/dev/null
    check "scale $scale: nothing but the protocol log was written on stderr" said_nothing
    [ "$scale" = 1 ] && started_by_swayidle && wallpaper_under_window
    kill "$kwin_pid"
    wait "$session_pid" 2>/dev/null
  done
fi

finish
