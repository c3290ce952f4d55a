# Shared by the Wayland scripts: a work folder that uid 65534 can use (the compositors and every
# client run as nobody when the script is root, as sway insists), the commands that run as that
# user in a clean environment, the saver started in the background, a screenshot's measure, the
# frames a protocol log shows, and a headless mutter on a session bus with stand-ins for GNOME's
# session services. Source it after setting
#   tools=(<programs the script needs>...)
# Every wait here is bounded; the script's cleanup stops whatever it started.

source "$(dirname "${BASH_SOURCE[0]}")/tally.sh"
for tool in setpriv python3 "${tools[@]}"; do
  command -v "$tool" >/dev/null ||
    { echo "FAIL: $tool is not installed"; echo "0 passed, 1 failed"; exit 1; }
done
as_nobody=()
[ "$(id -u)" -eq 0 ] && as_nobody=(setpriv --reuid=65534 --regid=65534 --clear-groups)

# The programs are copied where uid 65534 can run them; its own folders hold the runtime
# directory and the settings.
work="$(mktemp -d "${TMPDIR:-/tmp}/tundrel-wayland-XXXXXX")"
chmod 755 "$work"
# For a sanitized build: what the X11 scripts leave to the leak checker too, the dialog's
# toolkit included.
here="$(dirname "${BASH_SOURCE[0]}")"
cat "$here/../lsan_saver.supp" "$here/lsan_gtk.supp" >"$work/lsan.supp"
chmod 644 "$work/lsan.supp"
mkdir -m 700 "$work/runtime" "$work/home"
[ "${#as_nobody[@]}" -eq 0 ] || chown 65534:65534 "$work/runtime" "$work/home"
unset DISPLAY WAYLAND_DISPLAY SWAYSOCK XSCREENSAVER_WINDOW
started=()
display=""  # the compositor's socket in the runtime directory
user_env=()  # more variables for the user's commands

cleanup() {
  local p
  for p in "${started[@]}"; do kill -9 "$p" 2>/dev/null; done
  for p in "${started[@]}"; do wait "$p" 2>/dev/null; done
  rm -rf "$work"
}
trap cleanup EXIT

finish() {
  echo "$pass passed, $fails failed"
  [ "$fails" -eq 0 ]
  exit $?
}

# give_up <why> [log]: the script cannot go on; the log's last lines say why.
give_up() {
  echo "FAIL: $1"
  [ -n "${2:-}" ] && tail -n 20 "$2"
  echo "$pass passed, $((fails + 1)) failed"
  exit 1
}

# await_socket <name> <log>: waits for the compositor's socket in the runtime directory.
await_socket() {
  for _ in $(seq 150); do
    [ -S "$work/runtime/$1" ] && { display="$1"; return 0; }
    sleep 0.1
  done
  give_up "$desktop did not start" "$2"
}

# user_command <command...>: sets cmd to the command line that runs it (as uid 65534 when this
# script is root) in a clean environment for this compositor; as_user runs it. (A background job
# started as "${cmd[@]}" & has the program's own pid in $!, which a function run in the
# background would not.)
user_command() {
  cmd=(env -i PATH=/usr/bin:/bin LANG=C.UTF-8 HOME="$work/home" XDG_CONFIG_HOME="$work/home"
       XDG_RUNTIME_DIR="$work/runtime" LIBGL_ALWAYS_SOFTWARE=1
       LSAN_OPTIONS="suppressions=$work/lsan.supp:print_suppressions=0"
       NO_AT_BRIDGE=1)  # GTK without an accessibility bus, as in the X11 dialog's script
  [ -n "$display" ] && cmd+=("WAYLAND_DISPLAY=$display")
  [ -n "${wl_debug:-}" ] && cmd+=("WAYLAND_DEBUG=$wl_debug")
  cmd+=("${user_env[@]}" "${as_nobody[@]}" "$@")
}
as_user() { user_command "$@"; "${cmd[@]}"; }

# launch <args...>: the saver in the background; pid in saver_pid, stderr in $work/err.
launch() {
  user_command "$work/tundrel" "$@"
  "${cmd[@]}" 2>"$work/err" &
  saver_pid=$!
  started+=("$saver_pid")
}

# stop <pid>: ends a saver that a case left running.
stop() { running "$1" && { kill -9 "$1"; wait "$1"; } 2>/dev/null; }

# measure_ppm [X W [REFERENCE]]: a binary PPM on stdin, or the columns X to X+W of it, as
# "lit bare yellow rows height": the pixels that are neither black nor the bare desktop, those of
# the bare desktop (sway's empty grey, or the pixel of a PPM of the desktop before the saver
# came), those of the clock's yellow in the top quarter of the left half, which holds the whole
# clock at any scale, the rows from the first to the last that hold its yellow (the digits'
# height), and the picture's height in pixels.
measure_ppm() {
  python3 -c '
import sys
def load(data):
    if not data.startswith(b"P6"):
        return 0, 0, b""
    _, w, h, _ = data.split(maxsplit=4)[:4]
    w, h = int(w), int(h)
    return w, h, data[-w * h * 3:]
w, h, px = load(sys.stdin.buffer.read())
x0 = int(sys.argv[1]) if len(sys.argv) > 1 else 0
cw = int(sys.argv[2]) if len(sys.argv) > 2 else w - x0
ref = load(open(sys.argv[3], "rb").read())[2] if len(sys.argv) > 3 else None
if not px or x0 + cw > w or (ref is not None and len(ref) != len(px)):
    print(0, 0, 0, 0, 0); sys.exit()
lit = bare = yellow = 0
rows = []
for y in range(h):
    start, end = (y * w + x0) * 3, (y * w + x0 + cw) * 3
    # Every fourth pixel, counted four times.
    seen = zip(px[start:end:12], px[start + 1:end:12], px[start + 2:end:12])
    bases = zip(ref[start:end:12], ref[start + 1:end:12], ref[start + 2:end:12]) if ref else None
    for r, g, b in seen:
        base = next(bases) if bases else (63, 63, 63)
        if r <= 24 and g <= 24 and b <= 24:
            continue
        if abs(r - base[0]) <= 2 and abs(g - base[1]) <= 2 and abs(b - base[2]) <= 2:
            bare += 4
        else:
            lit += 4
    if y < h // 4:
        row = px[start:(y * w + x0 + cw // 2) * 3]
        n = sum(1 for i in range(0, len(row), 3)
                if row[i] >= 200 and row[i + 1] >= 200 and row[i + 2] <= 60)
        yellow += n
        if n >= 2:
            rows.append(y)
print(lit, bare, yellow, rows[-1] - rows[0] + 1 if rows else 0, h)' "$@"
}

# shown <output> <seconds>: waits until a view covers the output, lit, with its clock, as the
# script's measure <output> reads it; the last reading is in reading.
shown() {
  local until=$((SECONDS + $2)) lit bare yellow
  while :; do
    reading=$(measure "$1")
    read -r lit bare yellow _ <<<"$reading"
    [ "$lit" -gt 1000 ] && [ "$bare" -lt 1000 ] && [ "$yellow" -gt 30 ] && return 0
    [ "$SECONDS" -ge "$until" ] && return 1
    sleep 0.3
  done
}

# surface_frames <log>: what a saver's protocol log (WAYLAND_DEBUG=client on its stderr) says of
# its toplevels, one line each: its wl_surface, the output it was made full screen on (as
# xdg-output names it; "-" for none), its last configured size, the frame callbacks answered
# and those answered in the log's last 2 seconds, and the log's time of the first.
surface_frames() {
  python3 -c '
import re, sys
line_re = re.compile(r"^\[ *([0-9.]+)\] +(-> )?([a-z_0-9]+)@([0-9]+)\.([a-z_]+)\((.*)\)$")
surface_of = {}   # xdg_surface, xdg_toplevel and frame wl_callback ids -> wl_surface id
output_name = {}  # wl_output id -> name
xdg_output = {}   # zxdg_output_v1 id -> wl_output id
toplevels = {}    # wl_surface id -> [output, size, done times]
now = 0.0
for line in open(sys.argv[1], errors="replace"):
    m = line_re.match(line.rstrip("\n"))
    if not m:
        continue
    stamp, sent, interface, oid, event, args = m.groups()
    now = float(stamp)
    ids = re.findall(r"@([0-9]+)", args)
    if sent and interface == "zxdg_output_manager_v1" and event == "get_xdg_output":
        xdg_output[ids[0]] = ids[1]
    elif interface == "zxdg_output_v1" and event == "name":
        output_name[xdg_output.get(oid)] = args.strip("\"")
    elif sent and interface == "xdg_wm_base" and event == "get_xdg_surface":
        surface_of["xdg_surface@" + ids[0]] = ids[1]
    elif sent and interface == "xdg_surface" and event == "get_toplevel":
        surface = surface_of.get("xdg_surface@" + oid)
        surface_of["xdg_toplevel@" + ids[0]] = surface
        toplevels[surface] = ["-", "0x0", []]
    elif sent and interface == "xdg_toplevel" and event == "set_fullscreen" and ids:
        toplevels[surface_of["xdg_toplevel@" + oid]][0] = ids[0]
    elif not sent and interface == "xdg_toplevel" and event == "configure":
        width, height = args.split(",")[:2]
        if int(width) > 0:
            toplevels[surface_of["xdg_toplevel@" + oid]][1] = width.strip() + "x" + height.strip()
    elif sent and interface == "wl_surface" and event == "frame":
        surface_of["wl_callback@" + ids[0]] = oid
    elif not sent and interface == "wl_callback" and event == "done":
        surface = surface_of.pop("wl_callback@" + oid, None)
        if surface in toplevels:
            toplevels[surface][2].append(now)
for surface, (output, size, done) in toplevels.items():
    recent = sum(1 for t in done if t >= now - 2000)
    print(surface, output_name.get(output, output), size, len(done), recent,
          done[0] if done else "-")' "$1"
}

# log_fps <log>: the frame rate of the last caption a protocol log shows the saver setting.
log_fps() {
  sed -n 's/.*set_title("FPS: \([0-9.]*\) .*/\1/p' "$1" | tail -n1
}

# start_gnome_session: a D-Bus session of its own whose first client stands in for GNOME's
# session services and is the test's hands on mutter's input (gnome_session.py); sets
# gnome_pid (that stand-in, whose end ends the session) and the session bus for the user's
# commands. It says "input ready" in $work/gnome.log each time a mutter takes its input.
start_gnome_session() {
  install -m 755 "$here/gnome_session.py" "$work/gnome_session.py"
  user_command dbus-run-session -- sh -c 'echo $$ >"$0.pid"; exec /usr/bin/python3 "$@"' \
    "$work/runtime/bus" "$work/gnome_session.py" "$work/runtime/bus"
  "${cmd[@]}" >>"$work/gnome.log" 2>&1 &
  started+=($!)
  for _ in $(seq 100); do [ -s "$work/runtime/bus" ] && break; sleep 0.1; done
  [ -s "$work/runtime/bus" ] || give_up "the session bus did not start" "$work/gnome.log"
  gnome_pid=$(cat "$work/runtime/bus.pid")
  user_env+=("DBUS_SESSION_BUS_ADDRESS=$(cat "$work/runtime/bus")")
}
stop_gnome_session() {
  kill -9 "$gnome_pid" 2>/dev/null
  sleep 0.5
}
# gnome <command>: a command of gnome_session.py's ("key 30", "move 1 0", "inhibit 8", ...).
gnome() { echo "$*" >"$work/runtime/bus.in"; }
# gnome_input: a small pointer move, once mutter has taken it as the user's input (its idle
# time below half a second), so that an idle watch added next counts from it.
gnome_input() {
  local reply
  gnome move 1 0
  for _ in $(seq 50); do
    reply=$(as_user gdbus call --session -d org.gnome.Mutter.IdleMonitor \
      -o /org/gnome/Mutter/IdleMonitor/Core -m org.gnome.Mutter.IdleMonitor.GetIdletime)
    [[ "$reply" =~ ^\(uint64\ ([0-9]+), ]] && [ "${BASH_REMATCH[1]}" -lt 500 ] && return 0
    sleep 0.05
  done
  return 1
}

# frames_on <output> <size> <seconds>: waits until the saver's protocol log shows a toplevel of
# that size, full screen on that output ("-" for none), that frame callbacks still come to (in
# the log's last 2 seconds); its line of surface_frames is in toplevel.
frames_on() {
  local until=$((SECONDS + $3)) line surface output size frames recent
  while :; do
    mapfile -t lines < <(surface_frames "$work/err")
    for line in "${lines[@]}"; do
      read -r surface output size frames recent _ <<<"$line"
      toplevel=$line
      [ "$output" = "$1" ] && [ "$size" = "$2" ] && [ "$recent" -gt 0 ] && return 0
    done
    [ "$SECONDS" -ge "$until" ] && return 1
    sleep 0.5
  done
}

# start_watcher <seconds>: the idle watcher, tundrel-idle --after <seconds>, in the background on
# the saver in $work, with the saver's protocol log added to $work/err; its pid in idle_pid.
start_watcher() {
  wl_debug=client user_command "$work/tundrel-idle" --after "$1" --saver "$work/tundrel"
  "${cmd[@]}" 2>>"$work/err" &
  idle_pid=$!
  started+=("$idle_pid")
}

# saver_of_watcher <seconds>: waits that long at most for a saver the watcher started; its pid
# is in saver_pid ("" for none).
saver_of_watcher() {
  saver_pid=""
  for _ in $(seq $(($1 * 10))); do
    saver_pid=$(pgrep -P "$idle_pid" | head -n1)
    [ -n "$saver_pid" ] && return 0
    sleep 0.1
  done
  return 1
}

# start_mutter [x11]: mutter headless with two virtual monitors of 1280x720 side by side on that
# bus (with Xwayland when asked: xdisplay and xauth name it); sets mutter_pid once mutter takes
# input.
start_mutter() {
  local ready x11=--no-x11
  [ "${1:-}" = x11 ] && x11=""
  ready=$(grep -c "input ready" "$work/gnome.log")
  user_command mutter --headless --wayland $x11 --wayland-display=wayland-mutter \
    --virtual-monitor 1280x720 --virtual-monitor 1280x720
  "${cmd[@]}" >>"$work/mutter.log" 2>&1 &
  mutter_pid=$!
  started+=("$mutter_pid")
  for _ in $(seq 300); do
    [ "$(grep -c "input ready" "$work/gnome.log")" -gt "$ready" ] && break
    sleep 0.1
  done
  await_socket wayland-mutter "$work/mutter.log"
  [ -z "$x11" ] || return 0
  for _ in $(seq 100); do
    xdisplay=$(sed -n 's/.*Using public X11 display \(:[0-9]*\).*/\1/p' "$work/mutter.log" | tail -n1)
    xauth=$(find "$work/runtime" -name '.mutter-Xwaylandauth*' | head -n1)
    [ -n "$xdisplay" ] && [ -n "$xauth" ] && return 0
    sleep 0.1
  done
  give_up "mutter started no Xwayland" "$work/mutter.log"
}
