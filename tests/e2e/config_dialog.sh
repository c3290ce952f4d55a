#!/usr/bin/env bash
# The settings dialog driven through X11 on a private Xvfb: its window, what Enter, Space, Tab,
# clicks, Escape and the close box leave in the settings file, and a failed save that shows the
# error box and keeps the dialog open; the live wallpaper's line, its autostart entry and the
# wallpaper it starts apart from the dialog and ends; in GNOME sessions the idle watcher's line, the autostart
# entry it shows (the user's, else the system's) and writes, and the watcher it starts (one that
# ends at once is an error) and ends, on a session bus of its own, where a stand-in idle monitor
# also refuses watches for the watcher's tries.
# Every wait is bounded.
# Usage: config_dialog.sh <program> [args...]   (the program opens the dialog, e.g. tundrel /c)
set -u
if [ $# -lt 1 ]; then
  echo "usage: $0 <program> [args...]" >&2
  exit 2
fi
program=("$@")
here="$(cd "$(dirname "$0")" && pwd)"
for tool in Xvfb xdotool xwininfo xprop python3 iconv dbus-daemon gdbus; do
  if ! command -v "$tool" >/dev/null; then
    echo "FAIL: $tool is not installed"; echo "0 passed, 1 failed"; exit 1
  fi
done

work="$(mktemp -d "${TMPDIR:-/tmp}/tundrel-dialog-XXXXXX")"
xvfb_pid=""
app_pid=""
mounted=""
bus_pid=""
bus_address=""  # the session bus of the GNOME runs
monitor_pid=""
watcher_pid=""  # a watcher the dialog started, apart from this script
watcher_program=""
reaper_pid=""  # adopts the wallpaper the dialog starts, and records how it ends
wallpaper_pid=""
watcher() {  # the process id of the running watcher, the owner of its bus name
  [ -n "$bus_address" ] || return 0
  gdbus call --address "$bus_address" --dest org.freedesktop.DBus --object-path /org/freedesktop/DBus \
    --method org.freedesktop.DBus.GetConnectionUnixProcessID org.ombrix.Tundrel.Idle 2>/dev/null |
    sed -n 's/^(uint32 \([0-9]*\),)$/\1/p'
}
cleanup() {
  if [ -n "$app_pid" ]; then kill "$app_pid" 2>/dev/null; wait "$app_pid" 2>/dev/null; fi
  if [ -n "$wallpaper_pid" ]; then kill "$wallpaper_pid" 2>/dev/null; fi
  if [ -n "$reaper_pid" ]; then kill "$reaper_pid" 2>/dev/null; wait "$reaper_pid" 2>/dev/null; fi
  # A watcher the dialog started is ended while it still owns its name.
  if [ -n "$watcher_pid" ] && [ "$(watcher)" = "$watcher_pid" ]; then kill "$watcher_pid"; fi
  for pid in $monitor_pid $bus_pid; do kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; done
  if [ -n "$mounted" ]; then umount "$mounted" 2>/dev/null; fi
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null; wait "$xvfb_pid" 2>/dev/null; fi
  chmod -R u+w "$work" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
: >"$work/all-stderr"

pass=0
fails=0
check() {  # check <description> <command...>
  local what="$1"; shift
  if "$@"; then
    pass=$((pass + 1))
  else
    echo "FAIL: $what"
    fails=$((fails + 1))
    if [ -s "$work/stderr" ]; then sed 's/^/  program: /' "$work/stderr" | tail -n 5; fi
  fi
}

# Xvfb picks a free display itself and writes its number to descriptor 3. Without -noreset it
# resets whenever its last client leaves, and refuses the next program while it does.
Xvfb -displayfd 3 -noreset -screen 0 1024x768x24 -nolisten tcp \
  3>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
if [ ! -s "$work/display" ]; then
  echo "FAIL: Xvfb did not start"; cat "$work/xvfb.log"; echo "0 passed, 1 failed"; exit 1
fi
DISPLAY=":$(head -n1 "$work/display")"
export DISPLAY
# GTK on X11 without a session bus or accessibility bus; server-side decorations.
export NO_AT_BRIDGE=1 GDK_BACKEND=x11 GTK_CSD=0
unset WAYLAND_DISPLAY
# The idle watcher's line is GNOME's only: the runs without it first.
unset XDG_CURRENT_DESKTOP
export XDG_CONFIG_HOME="$work/config"
store="$XDG_CONFIG_HOME/Ombrix/Tundrel.reg"
entry="$XDG_CONFIG_HOME/autostart/tundrel-idle.desktop"
# Fontconfig keeps its caches until exit; a sanitized build must not count them as leaks.
export LSAN_OPTIONS="suppressions=$here/lsan_gtk.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}"

# visible_window <title regex>: the id of the one viewable window with that title, waiting up
# to 10 s for it; empty when none appears.
visible_window() {
  local id
  for _ in $(seq 100); do
    id="$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n1)"
    if [ -n "$id" ]; then echo "$id"; return 0; fi
    sleep 0.1
  done
  return 1
}
# gone <window id>: true once the window is no longer viewable (or no longer exists), within 10 s.
gone() {
  for _ in $(seq 100); do
    xwininfo -id "$1" 2>/dev/null | grep -q 'IsViewable' || return 0
    sleep 0.1
  done
  return 1
}

# start: runs the program and waits for its dialog; sets app_pid and win.
start() {
  "${program[@]}" >"$work/stdout" 2>"$work/stderr" &
  app_pid=$!
  win="$(visible_window '^Settings$')" || { win=""; return 1; }
  xdotool windowfocus --sync "$win" 2>/dev/null
}
# finish: waits up to 10 s for the program to end; its status goes to $status (124: still running).
# Its messages are kept for the check that GTK never complained.
finish() {
  status=124
  for _ in $(seq 100); do
    if ! kill -0 "$app_pid" 2>/dev/null; then wait "$app_pid"; status=$?; break; fi
    sleep 0.1
  done
  if [ "$status" -eq 124 ]; then kill "$app_pid" 2>/dev/null; wait "$app_pid" 2>/dev/null; fi
  app_pid=""
  cat "$work/stderr" >>"$work/all-stderr"
}
running() { kill -0 "$app_pid" 2>/dev/null; }
keys() { xdotool key --delay 50 "$@"; }
stored() {  # stored <ShowTrail> <ShowTime>: the file holds these two values
  [ -f "$store" ] &&
    grep -qx "\"ShowTrail\"=dword:0000000$1" "$store" && grep -qx "\"ShowTime\"=dword:0000000$2" "$store"
}
saved() { [ "$status" -eq 0 ] && stored "$@"; }  # saved <ShowTrail> <ShowTime>: exit 0, then stored
unsaved() { [ "$status" -eq 0 ] && [ ! -e "$XDG_CONFIG_HOME" ]; }  # exit 0 without creating a file
# close_request <window id>: what a window manager's close box sends, WM_DELETE_WINDOW.
close_request() {
  python3 - "$1" <<'EOF'
import ctypes, sys
x = ctypes.CDLL("libX11.so.6")
x.XOpenDisplay.restype = ctypes.c_void_p
x.XOpenDisplay.argtypes = [ctypes.c_char_p]
x.XInternAtom.restype = ctypes.c_ulong
x.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
x.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long, ctypes.c_void_p]
x.XCloseDisplay.argtypes = [ctypes.c_void_p]
class ClientMessage(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", ctypes.c_ulong),
                ("message_type", ctypes.c_ulong), ("format", ctypes.c_int),
                ("data", ctypes.c_long * 5), ("pad", ctypes.c_long * 16)]
display = x.XOpenDisplay(None)
window = int(sys.argv[1])
event = ClientMessage(type=33, window=window, format=32,
                      message_type=x.XInternAtom(display, b"WM_PROTOCOLS", 0))
event.data[0] = x.XInternAtom(display, b"WM_DELETE_WINDOW", 0)
x.XSendEvent(display, window, 0, 0, ctypes.byref(event))
x.XCloseDisplay(display)
EOF
}
reset_store() { rm -rf "$XDG_CONFIG_HOME"; }

# No settings file: the dialog's window, and both boxes checked (Enter saves what they show).
reset_store
if start; then
  info="$(xwininfo -id "$win")"
  check "the dialog's client area is 294x151" \
    test "$(sed -n 's/^ *Width: //p; s/^ *Height: //p' <<<"$info" | tr '\n' x)" = 294x151x
  x="$(sed -n 's/.*Absolute upper-left X: *//p' <<<"$info")"
  y="$(sed -n 's/.*Absolute upper-left Y: *//p' <<<"$info")"
  # (1024 - 294) / 2 and (768 - 151) / 2, give or take a pixel of rounding.
  check "the dialog is centred on the 1024x768 screen (at $x,$y)" \
    test $((x - 365)) -ge -1 -a $((x - 365)) -le 1 -a $((y - 308)) -ge -1 -a $((y - 308)) -le 1
  check "the dialog cannot be resized" \
    test "$(xprop -id "$win" WM_NORMAL_HINTS | grep -c 'imum size: 294 by 151')" -eq 2
  # A later instance asks the window titled ScreenSaver to close: there must be one, and it
  # must belong to the loop that runs the dialog.
  apps="$(xdotool search --name '^ScreenSaver$' 2>/dev/null | wc -l)"
  check "one unmapped application window carries the title ScreenSaver (found $apps)" \
    test "$apps" -eq 1 -a -z "$(xdotool search --onlyvisible --name '^ScreenSaver$' 2>/dev/null)"
  check "opening the dialog writes nothing" test ! -e "$store"
  keys Return
  finish
  check "Enter exits 0 and saves both boxes checked, ShowTrail=1 ShowTime=1 (status $status)" \
    saved 1 1
  check "outside GNOME OK writes no autostart entry" test ! -e "$entry"
else
  check "the dialog titled Settings appears" false
  finish
fi

# Regedit's export (UTF-16LE after a byte-order mark, CRLF): the dialog shows its values, and
# OK saves them in the same encoding and line ends, keeping the other key.
reset_store
mkdir -p "$XDG_CONFIG_HOME/Ombrix"
export_text() {  # export_text <ShowTrail> <ShowTime>: the export as UTF-8 with CRLF line ends
  printf 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\Other]\r\n"Name"="Имя"\r\n\r\n[HKEY_CURRENT_USER\\Software\\Ombrix\\Tundrel]\r\n"ShowTrail"=dword:0000000%s\r\n"ShowTime"=dword:0000000%s\r\n' "$1" "$2"
}
{ printf '\377\376'; export_text 0 1 | iconv -f UTF-8 -t UTF-16LE; } >"$store"
if start; then keys space Return; fi
finish
{ printf '\377\376'; export_text 0 0 | iconv -f UTF-8 -t UTF-16LE; } >"$work/expected"
check "a UTF-16 export loads ShowTrail=0, and OK after Space saves it back as UTF-16 with CRLF, ShowTime=0 (status $status)" \
  cmp -s "$store" "$work/expected"

# Escape closes without saving.
reset_store
if start; then keys space Escape; fi
finish
check "Escape exits 0 and writes nothing (status $status)" unsaved

# Space toggles the focused first box, Show time.
reset_store
if start; then keys space Return; fi
finish
check "Space unchecks Show time: Enter saves ShowTrail=1 ShowTime=0 (status $status)" saved 1 0

# Focus moves Show time, Show trails, Live wallpaper, OK, Cancel; Enter on a check box presses OK.
reset_store
if start; then keys Tab space Return; fi
finish
check "Tab, Space, Enter saves ShowTrail=0 ShowTime=1 (status $status)" saved 0 1
reset_store
if start; then keys Tab Tab Tab space; fi
finish
check "Tab, Tab, Tab, Space presses OK (status $status)" saved 1 1
reset_store
if start; then keys Tab Tab Tab Tab space; fi
finish
check "Tab, Tab, Tab, Tab, Space presses Cancel (status $status)" unsaved
reset_store
if start; then keys Tab Tab Tab Tab Return; fi
finish
check "Enter on the focused Cancel presses Cancel (status $status)" unsaved

# The controls are at their places: click Show trails, then OK.
reset_store
if start; then
  xdotool mousemove --window "$win" 72 48 click 1 sleep 0.2 mousemove --window "$win" 165 124 click 1
fi
finish
check "clicking Show trails then OK saves ShowTrail=0 ShowTime=1 (status $status)" saved 0 1
reset_store
if start; then
  xdotool mousemove --window "$win" 72 24 click 1 sleep 0.2 mousemove --window "$win" 165 124 click 1
fi
finish
check "clicking Show time then OK saves ShowTrail=1 ShowTime=0 (status $status)" saved 1 0
reset_store
if start; then
  xdotool mousemove --window "$win" 72 24 click 1 sleep 0.2 mousemove --window "$win" 245 124 click 1
fi
finish
check "clicking Show time then Cancel exits 0 and writes nothing (status $status)" unsaved

# The close box, and a request to close the application window, close without saving.
reset_store
if start; then keys space; close_request "$win"; fi
finish
check "the close box exits 0 and writes nothing (status $status)" unsaved
reset_store
if start; then close_request "$(xdotool search --name '^ScreenSaver$' | head -n1)"; fi
finish
check "closing the application window ends the dialog, exit 0, nothing written (status $status)" \
  unsaved

# A settings folder that cannot be written: OK shows the error box titled with the application
# title, and the dialog stays open until it is closed.
reset_store
mkdir -p "$XDG_CONFIG_HOME/Ombrix"
readonly_store=""
if [ "$(id -u)" -eq 0 ]; then
  if mount -t tmpfs -o size=64k,mode=0700,ro tmpfs "$XDG_CONFIG_HOME/Ombrix" 2>/dev/null; then
    mounted="$XDG_CONFIG_HOME/Ombrix"
    readonly_store=yes
  fi
else
  chmod 0555 "$XDG_CONFIG_HOME/Ombrix" && readonly_store=yes
fi
if [ -z "$readonly_store" ]; then
  echo "SKIP: cannot make the settings folder read-only (root without mount rights)"
elif start; then
  keys Return
  error="$(visible_window '^ScreenSaver$')"
  check "a failed save shows an error box titled ScreenSaver" test -n "$error"
  if [ -n "$error" ]; then
    check "the error box is a dialog over the settings dialog" \
      grep -q "window id # $(printf '0x%x' "$win")" <<<"$(xprop -id "$error" WM_TRANSIENT_FOR)"
    check "the settings dialog stays open behind the error box" running
    xdotool windowfocus --sync "$error" 2>/dev/null
    keys Return
    check "Enter dismisses the error box" gone "$error"
  fi
  sleep 0.3
  check "the dialog is still open after the error" \
    test -n "$(xdotool search --onlyvisible --name '^Settings$' 2>/dev/null)"
  check "the program is still running after the error" running
  xdotool windowfocus --sync "$win" 2>/dev/null
  keys Escape
  finish
  check "Escape after the error exits with status 0 (got $status)" test "$status" -eq 0
  check "nothing was written to the read-only folder" test ! -e "$store"
else
  check "the dialog titled Settings appears over a read-only folder" false
  finish
fi
if [ -n "$mounted" ]; then umount "$mounted" && mounted=""; fi
chmod 0755 "$XDG_CONFIG_HOME/Ombrix" 2>/dev/null

# A full disk during OK: the error box, and the settings written before stay as they were.
reset_store
mkdir -p "$XDG_CONFIG_HOME/Ombrix"
if [ "$(id -u)" -eq 0 ] && mount -t tmpfs -o size=64k,mode=0700 tmpfs "$XDG_CONFIG_HOME/Ombrix" 2>/dev/null; then
  mounted="$XDG_CONFIG_HOME/Ombrix"
  printf 'Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\Ombrix\\Tundrel]\n"ShowTrail"=dword:00000000\n"ShowTime"=dword:00000000\n' >"$store"
  cp "$store" "$work/old-store"
  head -c 1M /dev/zero >"$XDG_CONFIG_HOME/Ombrix/filler" 2>/dev/null
  if start; then
    keys space Return
    error="$(visible_window '^ScreenSaver$')"
    check "a full disk during OK shows the error box" test -n "$error"
    check "  ... and the old settings file is intact" cmp -s "$store" "$work/old-store"
    # SIGTERM with the error box open closes both in order, without touching the file.
    kill -TERM "$app_pid"
    finish
    check "SIGTERM over the error box exits with status 0 (got $status)" test "$status" -eq 0
    check "  ... and the old settings file is still intact" cmp -s "$store" "$work/old-store"
  else
    check "the dialog titled Settings appears over a full disk" false
    finish
  fi
  umount "$mounted" && mounted=""
else
  echo "SKIP: cannot mount a small tmpfs for the full-disk case"
fi

# SIGTERM while the dialog is open: it closes like Cancel, nothing is written.
reset_store
if start; then
  keys space
  kill -TERM "$app_pid"
  finish
  check "SIGTERM closes the dialog with status 0 (got $status) and writes nothing" unsaved
fi

# The live wallpaper's line. Its first OK runs under a subreaper that adopts the wallpaper once
# the dialog has ended and records each process's end: "dialog <status>", "<pid> <status>".
wallpaper_entry="$XDG_CONFIG_HOME/autostart/tundrel-wallpaper.desktop"
reaped="$work/reaped"
: >"$reaped"
desktop_window() {  # the id of a viewable desktop-type window of this program, within 10 s
  local id
  for _ in $(seq 100); do
    for id in $(xdotool search --onlyvisible --class Tundrel 2>/dev/null); do
      if xprop -id "$id" _NET_WM_WINDOW_TYPE 2>/dev/null | grep -q '_NET_WM_WINDOW_TYPE_DESKTOP'; then
        echo "$id"; return 0
      fi
    done
    sleep 0.1
  done
  return 1
}
reset_store
python3 -c '
import ctypes, os, sys
ctypes.CDLL(None).prctl(36, 1, 0, 0, 0)  # PR_SET_CHILD_SUBREAPER
log = open(sys.argv[1], "a", buffering=1)
dialog = os.fork()
if dialog == 0:
    os.execv(sys.argv[2], sys.argv[2:])
while True:
    try:
        pid, status = os.wait()
    except ChildProcessError:
        break
    log.write("%s %d\n" % ("dialog" if pid == dialog else pid, os.waitstatus_to_exitcode(status)))
' "$reaped" "${program[@]}" >"$work/stdout" 2>"$work/stderr" &
reaper_pid=$!
if win="$(visible_window '^Settings$')"; then
  xdotool windowfocus --sync "$win" 2>/dev/null
  keys Tab Tab space Return
fi
for _ in $(seq 100); do grep -q '^dialog ' "$reaped" && break; sleep 0.1; done
check "checking Live wallpaper, Enter: exit 0 and an entry that runs the saver with /w ($(cat "$reaped"))" \
  eval 'grep -qx "dialog 0" "$reaped" && grep -qx "Exec=$(command -v "${program[0]}") /w" "$wallpaper_entry"'
desktop="$(desktop_window)"
wallpaper_pid="$(xprop -id "${desktop:-0}" _NET_WM_PID 2>/dev/null | sed -n 's/.* = //p')"
check "  ... and a wallpaper's desktop window appears (${desktop:-none}, process ${wallpaper_pid:-none})" \
  test -n "$wallpaper_pid"
check "  ... its process outlives the dialog, in a session of its own" \
  test "$(ps -o sid= -p "${wallpaper_pid:-0}" 2>/dev/null | tr -d ' ')" = "$wallpaper_pid"
cp "$wallpaper_entry" "$work/wallpaper-entry" 2>/dev/null
if start; then keys Return; fi
finish
check "opened again, Enter: exit 0, the entry as it was and the same wallpaper runs (status $status)" \
  eval '[ "$status" -eq 0 ] && cmp -s "$wallpaper_entry" "$work/wallpaper-entry" &&
        [ "$(desktop_window)" = "$desktop" ] && kill -0 "$wallpaper_pid"'
# Space on the box proves it shows checked: unchecked, OK takes the entry away and ends the wallpaper.
if start; then keys Tab Tab space Return; fi
finish
for _ in $(seq 100); do grep -q "^$wallpaper_pid " "$reaped" && break; sleep 0.1; done
check "unchecking Live wallpaper: exit 0 and no entry (status $status)" \
  eval '[ "$status" -eq 0 ] && [ ! -e "$wallpaper_entry" ]'
check "  ... and the wallpaper ends with status 0 ($(tr '\n' ' ' <"$reaped"))" \
  grep -qx "$wallpaper_pid 0" "$reaped"
wait "$reaper_pid" 2>/dev/null
reaper_pid=""
wallpaper_pid=""
cat "$work/stderr" >>"$work/all-stderr"

# GNOME: the line "Start after [N] minutes of inactivity". On the script's own session bus a
# stand-in holds the name of mutter's idle monitor, so a watcher the dialog starts stays up.
dbus-daemon --session --nofork --print-address=3 3>"$work/bus" 2>/dev/null &
bus_pid=$!
for _ in $(seq 50); do [ -s "$work/bus" ] && break; sleep 0.1; done
bus_address="$(head -n1 "$work/bus")"
export DBUS_SESSION_BUS_ADDRESS="$bus_address"
/usr/bin/python3 "$(dirname "$0")/gnome_session.py" "$work/gnome-bus" --idle-monitor \
  >"$work/monitor" 2>&1 &
monitor_pid=$!
for _ in $(seq 50); do [ -s "$work/gnome-bus" ] && break; sleep 0.1; done
export XDG_CURRENT_DESKTOP=ubuntu:GNOME GSETTINGS_BACKEND=memory XDG_CONFIG_DIRS="$work/xdg"
mkdir -p "$work/xdg/autostart"
# ended: within 5 s no watcher owns its name any more.
ended() { for _ in $(seq 50); do [ -z "$(watcher)" ] && return 0; sleep 0.1; done; return 1; }
entry_has() {  # entry_has <line regex>...: the entry holds a whole line matching each
  local line
  for line in "$@"; do grep -qx -e "$line" "$entry" 2>/dev/null || return 1; done
}
check "a stand-in for mutter's idle monitor is on the session bus" test -s "$work/gnome-bus"

# No entry anywhere: the line is off, so Space checks it; Tab reaches the minutes after the boxes
# and the line's box, and Enter there presses OK. The stand-in refuses the watcher's first
# AddIdleWatch.
reset_store
echo "refuse 1" >"$work/gnome-bus.in"
if start; then
  check "in GNOME the dialog's client area is 360x183" \
    test "$(xwininfo -id "$win" | sed -n 's/^ *Width: //p; s/^ *Height: //p' | tr '\n' x)" = 360x183x
  keys Tab Tab space Tab ctrl+a 2 Return
fi
finish
check "checked, N=2, Enter: exit 0 and an enabled entry with --after 120 (status $status)" \
  eval '[ "$status" -eq 0 ] && entry_has "Exec=/.*/tundrel-idle --after 120" "X-GNOME-Autostart-enabled=true"'
for _ in $(seq 50); do watcher_pid="$(watcher)"; [ -n "$watcher_pid" ] && break; sleep 0.1; done
check "  ... and the watcher of its Exec line runs (${watcher_pid:-none})" \
  test -n "$watcher_pid" -a "$(tr '\0' ' ' <"/proc/${watcher_pid:-0}/cmdline" 2>/dev/null)" = \
  "$(sed -n 's/^Exec=//p' "$entry" 2>/dev/null) "
watcher_program="$(tr '\0' '\n' <"/proc/${watcher_pid:-0}/cmdline" 2>/dev/null | head -n1)"
for _ in $(seq 30); do grep -q '^watch' "$work/monitor" && break; sleep 0.1; done
check "  ... and it tried again after a refused watch, and has one" \
  eval 'grep -q "^refused" "$work/monitor" && grep -q "^watch" "$work/monitor" && [ "$(watcher)" = "$watcher_pid" ]'

# The line shows the entry; unchecking it turns the watcher off at once and at login.
if start; then keys Tab Tab space Return; fi
finish
check "unchecking Start after: exit 0, the entry hidden and disabled, --after 120 kept (status $status)" \
  eval '[ "$status" -eq 0 ] && entry_has Hidden=true X-GNOME-Autostart-enabled=false "Exec=.* --after 120"'
check "  ... and the running watcher ended" ended
for _ in $(seq 50); do kill -0 "$watcher_pid" 2>/dev/null || break; sleep 0.1; done
check "  ... having given its name up and its process ended" bash -c "! kill -0 $watcher_pid 2>/dev/null"
cp "$entry" "$work/entry-off" 2>/dev/null
if start; then keys Return; fi
finish
check "the entry reads back unchecked with 2 minutes: Enter leaves it as it was (status $status)" \
  eval '[ "$status" -eq 0 ] && cmp -s "$entry" "$work/entry-off"'
check "  ... and starts no watcher" test -z "$(sleep 0.5; watcher)"

# An entry that cannot be written: the error box, and the dialog stays open. (A line left as it
# was shown writes nothing: it is unchecked here.)
rm -rf "$XDG_CONFIG_HOME/autostart"
: >"$XDG_CONFIG_HOME/autostart"
if start; then
  keys Tab Tab space Return
  check "a failed write of the entry shows an error box titled ScreenSaver" \
    test -n "$(visible_window '^ScreenSaver$')"
  check "  ... and the dialog stays open" running
  kill -TERM "$app_pid"
fi
finish
# A monitor that keeps refusing: after a few tries with growing pauses the watcher ends with
# status 1 and says so, rather than run on without a watch.
if [ -x "$watcher_program" ]; then
  echo "refuse 99" >"$work/gnome-bus.in"
  timeout 40 "$watcher_program" --after 60 --saver /bin/true 2>"$work/refused"
  status=$?
  check "a monitor that keeps refusing ends the watcher with status 1 (got $status)" test "$status" -eq 1
  check "  ... after 5 tries, with the line that says so" grep -q "refused the idle watch 5 times" "$work/refused"
  echo "refuse 0" >"$work/gnome-bus.in"
fi

# The system's entry (in a folder of XDG_CONFIG_DIRS) has the watcher on, but none runs: the line
# shows it checked, and OK as it is starts one without writing an entry of the user's.
rm -rf "$XDG_CONFIG_HOME/autostart"
printf '[Desktop Entry]\nType=Application\nExec=%s --after 180\n' "$watcher_program" \
  >"$work/xdg/autostart/tundrel-idle.desktop"
if start; then keys Return; fi
finish
for _ in $(seq 50); do watcher_pid="$(watcher)"; [ -n "$watcher_pid" ] && break; sleep 0.1; done
check "the system's entry on, no watcher running: Enter starts one and writes nothing (status $status)" \
  eval '[ "$status" -eq 0 ] && [ -n "$watcher_pid" ] && [ ! -e "$entry" ]'

# A watcher that ends at once (no idle monitor on the bus any more) is a failure shown.
kill "$monitor_pid"
wait "$monitor_pid" 2>/dev/null
monitor_pid=""
if start; then
  keys Tab Tab Tab ctrl+a 7 Return
  check "a watcher that ends at once shows an error box titled ScreenSaver" \
    test -n "$(visible_window '^ScreenSaver$')"
  check "  ... after the entry with --after 420 was written, and the dialog stays open" \
    eval 'entry_has "Exec=.* --after 420" && running'
  kill -TERM "$app_pid"
fi
finish
unset XDG_CURRENT_DESKTOP GSETTINGS_BACKEND DBUS_SESSION_BUS_ADDRESS XDG_CONFIG_DIRS

check "GTK reported no critical error in any run" \
  test "$(grep -c -e '-CRITICAL' -e 'AddressSanitizer' -e 'runtime error' "$work/all-stderr")" -eq 0
if [ "$fails" -gt 0 ] && [ -s "$work/all-stderr" ]; then sed 's/^/  stderr: /' "$work/all-stderr" | sort | uniq | head -n 20; fi

# No display: one line on stderr and status 1.
env -u DISPLAY "${program[@]}" >/dev/null 2>"$work/stderr" &
app_pid=$!
finish
check "without a display it exits with status 1 (got $status)" test "$status" -eq 1
check "without a display it writes one line on stderr" test "$(wc -l <"$work/stderr")" -eq 1

echo "$pass passed, $fails failed"
test "$fails" -eq 0
