#!/usr/bin/env bash
# The saver under the real XScreenSaver daemon, installed as a user installs it: `cmake --install`
# into a temporary prefix, and a ~/.xscreensaver that lists only that Tundrel (mode one, no lock,
# no fade). The daemon refuses to run hacks as root, so under root the daemon and its Xvfb run
# as an unprivileged user made for the purpose (or found from an earlier run). Each round
# activates the daemon, finds the saver's process and reads the root window, then deactivates it
# and waits for the saver's end; the last round runs on two RandR monitors, one copy each. A small
# Python reaper adopts the saver when the daemon's helper
# leaves it behind, so its exit status is seen. Every wait is bounded; whatever the script
# started is stopped by its process id.
# With "mate", MATE's screensaver runs the saver instead, as that user in a D-Bus session of its
# own: it runs only programs in XScreenSaver's hack folders, so the saver is installed for the
# prefix /usr into a staging folder, which a mount namespace of the daemon's own lays over
# /usr/libexec/xscreensaver (nothing is written into /usr; this needs root). The entry is
# chosen as the single theme; one activation shows the scene in the daemon's window, with the
# settings stored under the user's home, and the deactivation ends the saver within a second.
# Usage: xscreensaver_daemon.sh <build folder> <x_probe> [mate]
set -u
build="$1" probe="$2" mode="${3:-xscreensaver}"
user=tundrel-test

source "$(dirname "${BASH_SOURCE[0]}")/tally.sh"
give_up() {  # give_up <why>: a failure that leaves nothing to test
  echo "FAIL: $1"
  echo "$pass passed, $((fails + 1)) failed"
  exit 1
}

tools=(xscreensaver xscreensaver-command xrandr)
if [ "$mode" = mate ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "skipped: MATE's screensaver runs in a mount namespace, which needs root"
    exit 0
  fi
  tools=(mate-screensaver mate-screensaver-command dbus-run-session gsettings unshare
    desktop-file-validate xprop)
fi
for tool in "${tools[@]}" Xvfb xwininfo python3 setpriv; do
  command -v "$tool" >/dev/null || give_up "$tool is not installed"
done

work="$(mktemp -d "${TMPDIR:-/tmp}/tundrel-daemon-XXXXXX")"
xvfb_pid=""
reaper_pid=""
session_pid=""
daemon_pid=""
savers=()

cleanup() {
  local p
  for p in "${savers[@]}"; do kill -9 "$p" 2>/dev/null; done
  if [ -n "$daemon_pid" ]; then kill "$daemon_pid" 2>/dev/null; fi
  # The reaper, and MATE's D-Bus session, end by themselves once the daemon and its children
  # are gone.
  for p in $reaper_pid $session_pid; do
    for _ in $(seq 50); do kill -0 "$p" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$p" 2>/dev/null
    wait "$p" 2>/dev/null
  done
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null; wait "$xvfb_pid" 2>/dev/null; fi
  rm -rf "$work"
}
trap cleanup EXIT

# ---- the user, the home folder and the installed saver ----

as_user=()
if [ "$(id -u)" -eq 0 ]; then
  if ! id -u "$user" >/dev/null 2>&1; then
    useradd --system --no-create-home --home-dir /nonexistent --shell /usr/sbin/nologin "$user" ||
      give_up "could not make the user $user"
  fi
  as_user=(setpriv "--reuid=$(id -u "$user")" "--regid=$(id -g "$user")" --clear-groups)
else
  user="$(id -un)"
fi
uid="$(id -u "$user")"
home="$work/home"
prefix="$work/prefix"
chmod 755 "$work"
mkdir -p "$home"

settings_file="$home/.config/Ombrix/Tundrel.reg"
store_clock_off() {  # the settings the saver's own dialog stores with the clock turned off
  mkdir -p "$(dirname "$settings_file")"
  printf 'Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\Ombrix\\Tundrel]\n"ShowTrail"=dword:00000001\n"ShowTime"=dword:00000000\n' \
    >"$settings_file"
  cp "$settings_file" "$work/stored.reg"
  chown -R "$uid" "$home"
}

# MATE's screensaver runs only programs in XScreenSaver's hack folders: for it the saver is
# installed for the prefix /usr, staged in the work folder (DESTDIR), and the daemon sees the
# staged hack folder in place of /usr/libexec/xscreensaver.
if [ "$mode" = mate ]; then
  install=(env "DESTDIR=$work/root" cmake --install "$build" --prefix /usr)
  prefix="$work/root/usr"
  saver=/usr/libexec/xscreensaver/tundrel
else
  install=(cmake --install "$build" --prefix "$prefix")
  saver="$prefix/libexec/xscreensaver/tundrel"
fi
"${install[@]}" >"$work/install.log" 2>&1 ||
  { cat "$work/install.log"; give_up "cmake --install failed"; }
chmod -R a+rX "$prefix"

check "the saver is installed in the hack folder" test -x "$prefix/libexec/xscreensaver/tundrel"
check "tundrel-sim is installed in bin" test -x "$prefix/bin/tundrel-sim"
check "the settings file for XScreenSaver is installed" \
  python3 -c 'import sys, xml.etree.ElementTree as T
r = T.parse(sys.argv[1]).getroot()
args = sorted(b.get("arg-unset") for b in r.iter("boolean"))
sys.exit(not (r.tag == "screensaver" and r.get("name") == "tundrel"
              and args == ["--no-clock", "--no-trails"]))' \
  "$prefix/share/xscreensaver/config/tundrel.xml"
check "the desktop entry runs the installed saver without arguments" \
  grep -qx "Exec=$saver" "$prefix/share/applications/tundrel.desktop"
check "the icon, README and licence are installed" \
  test -s "$prefix/share/icons/hicolor/scalable/apps/tundrel.svg" -a \
  -s "$prefix/share/doc/tundrel/README.md" -a -s "$prefix/share/doc/tundrel/copyright"

# The user's environment: nothing of ours leaks in (no XSCREENSAVER_WINDOW, no XDG_CONFIG_HOME),
# so the saver keeps its settings under the user's own home.
user_env=(env -i "PATH=/usr/local/bin:/usr/bin:/bin" "HOME=$home" "USER=$user" "LOGNAME=$user"
  "LANG=C.UTF-8" "LIBGL_ALWAYS_SOFTWARE=1")
as() { "${as_user[@]}" "${user_env[@]}" "DISPLAY=$DISPLAY" "$@"; }

# ---- Xvfb, as the user ----

# -displayfd: Xvfb picks a free display itself. Started through exec, so $! is Xvfb itself.
(exec "${as_user[@]}" "${user_env[@]}" Xvfb -displayfd 3 -noreset -screen 0 1024x768x24 \
  -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log") &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || { cat "$work/xvfb.log"; give_up "Xvfb did not start"; }
export DISPLAY=":$(head -n1 "$work/display")"
root_window="$(xwininfo -root | sed -n 's/.*Window id: \(0x[0-9a-fA-F]*\).*/\1/p')"

# ---- helpers of a round ----

now_ms() { echo $(($(date +%s%N) / 1000000)); }

# The saver's process started by the daemon: named tundrel, running the installed file, not
# seen in an earlier round.
find_saver() {
  local p seen
  for p in $(pgrep -u "$uid" -x tundrel); do
    [ "$(readlink "/proc/$p/exe" 2>/dev/null)" = "$saver" ] || continue
    seen=0
    for q in "${savers[@]}"; do [ "$q" = "$p" ] && seen=1; done
    [ "$seen" -eq 0 ] && { echo "$p"; return 0; }
  done
  return 1
}

# shot: reads the root window; sets shot_ms (when it was read), lit (pixels that are not black)
# and yellow (pixels of the clock's colour, 255 255 0, in the top-left corner where the clock is
# written: the left half of the top sixth).
shot() {
  lit="" yellow=""
  "$probe" ppm "$root_window" "$work/shot.ppm" 2>/dev/null || return 1
  shot_ms=$(now_ms)
  read -r lit yellow < <(python3 -c 'import sys
data = open(sys.argv[1], "rb").read()
magic, size, depth, pixels = data.split(b"\n", 3)
w, h = map(int, size.split())
def count(r, g, b, want):  # pixels whose channels all pass their tests
    tables = [bytes(1 if want[c](v) else 0 for v in range(256)) for c in range(3)]
    n = len(r)
    hits = [int.from_bytes(x.translate(t), "big") for x, t in zip((r, g, b), tables)]
    return n - (hits[0] & hits[1] & hits[2]).to_bytes(n, "big").count(0)
def any_lit(r, g, b):
    n = len(r)
    both = int.from_bytes(r, "big") | int.from_bytes(g, "big") | int.from_bytes(b, "big")
    return n - both.to_bytes(n, "big").count(0)
pixels = pixels[:3 * w * h]
lit = any_lit(pixels[0::3], pixels[1::3], pixels[2::3])
corner = b"".join(pixels[3 * w * y: 3 * w * y + 3 * (w // 2)] for y in range(h // 6))
full, zero = (lambda v: v == 255), (lambda v: v == 0)
yellow = count(corner[0::3], corner[1::3], corner[2::3], (full, full, zero))
print(lit, yellow)' "$work/shot.ppm")
  [ -n "$lit" ]
}

# await_end <pid> <ms> [start ms]: waits for the process to end, at most that long from the
# start (now unless given); elapsed is the milliseconds from the start.
await_end() {
  local start="${3:-$(now_ms)}"
  while ! ended "$1" && [ $(($(now_ms) - start)) -le "$2" ]; do sleep 0.02; done
  elapsed=$(($(now_ms) - start))
}

# deactivate <pid>: deactivates the daemon and returns once it has signalled the saver <pid>
# (its log says so) or the saver has ended. The daemon counts activity in whole seconds and can
# lose a deactivation it reads just before its second turns (seen once), so one that shows no
# effect within 3 s is sent again, as a user moves the mouse again; three at most.
deactivate() {
  local sent
  for _ in 1 2 3; do
    as xscreensaver-command -deactivate >/dev/null 2>&1
    sent=$(now_ms)
    while [ $(($(now_ms) - sent)) -le 3000 ]; do
      grep -q "killing pid $1 (" "$work/daemon.log" && return 0
      ended "$1" && return 0
      sleep 0.02
    done
  done
}

# scene <what> <start ms> <clock expected: yes|no> [seconds]: within 5 s (or the seconds given) of
# the activation at the start, the screen shows the scene, with or without the clock.
scene() {
  local what="$1" start="$2" clock="$3" limit="${4:-5}" elapsed shown=0 figures="no screenshot"
  while shot || shot_ms=$(now_ms); do
    elapsed=$((shot_ms - start))
    [ "$elapsed" -le $((limit * 1000)) ] || break
    if [ -n "$lit" ]; then
      figures="$lit lit pixels of 786432, $yellow yellow in the clock's corner"
      if [ "$lit" -gt 1000 ] && { [ "$clock" = no ] || [ "$yellow" -gt 50 ]; }; then
        shown=1
        break
      fi
    fi
    sleep 0.2
  done
  echo "$what: screenshot after $elapsed ms: $figures"
  if [ "$clock" = yes ]; then
    check "$what: within $limit s the screen shows the scene and the yellow clock" \
      test "$shown" -eq 1
  else
    check "$what: within $limit s the screen shows the scene" test "$shown" -eq 1
    # The clock is written after every frame; a few frames more must all be free of it.
    local clear=1
    for _ in 1 2 3; do
      sleep 0.3
      shot && [ "$yellow" -eq 0 ] || clear=0
    done
    check "$what: no yellow clock pixels" test "$clear" -eq 1
  fi
}

finish() {  # the tally, with the daemon's last lines after a failure, and the exit
  if [ "$fails" -gt 0 ]; then
    echo "--- daemon log (last lines)"
    tail -n 30 "$work/daemon.log"
  fi
  echo "$pass passed, $fails failed"
  exit $((fails > 0))
}

# ---- MATE's screensaver, as the user ----

if [ "$mode" = mate ]; then
  # Its session: Tundrel the single theme, no lock, the desktop named as in a MATE session, and
  # an XDG_CONFIG_HOME that the daemon does not hand on: the saver's settings are those stored
  # under HOME, with the clock off. The daemon runs at nice 10, so its saver does whether or not
  # the daemon's build renices it (Debian's does not: its check for PRIO_PROCESS comes before
  # the header that defines it).
  check "MATE: the screensaver entry is valid" \
    desktop-file-validate --no-hints "$prefix/share/applications/screensavers/tundrel.desktop"
  store_clock_off
  session="$home/session"
  mkdir -p "$session"
  chown -R "$uid" "$home"
  (exec unshare -m --propagation private -- \
    sh -c 'mount --bind "$0" /usr/libexec/xscreensaver && exec "$@"' \
    "$prefix/libexec/xscreensaver" "${as_user[@]}" "${user_env[@]}" "DISPLAY=$DISPLAY" \
    "XDG_DATA_DIRS=$prefix/share:/usr/share" XDG_CURRENT_DESKTOP=MATE \
    "XDG_CONFIG_HOME=$session" NO_AT_BRIDGE=1 nice -n 10 dbus-run-session -- sh -c '
      gsettings set org.mate.screensaver mode single &&
      gsettings set org.mate.screensaver themes "[\"screensavers-tundrel\"]" &&
      gsettings set org.mate.screensaver lock-enabled false &&
      echo "$DBUS_SESSION_BUS_ADDRESS" >"$XDG_CONFIG_HOME/bus" &&
      echo $$ >"$XDG_CONFIG_HOME/daemon" &&
      exec mate-screensaver --no-daemon --debug' >"$work/daemon.log" 2>&1) &
  session_pid=$!
  for _ in $(seq 100); do [ -s "$session/daemon" ] && break; sleep 0.1; done
  daemon_pid="$(cat "$session/daemon" 2>/dev/null)"
  [ -n "$daemon_pid" ] || { cat "$work/daemon.log"; give_up "MATE's screensaver did not start"; }
  mate_command() {  # mate-screensaver-command on the session's bus
    as "DBUS_SESSION_BUS_ADDRESS=$(cat "$session/bus")" timeout 5 mate-screensaver-command "$@" \
      >/dev/null 2>&1
  }
  start=$(now_ms)
  until mate_command --query || [ $(($(now_ms) - start)) -gt 10000 ]; do sleep 0.1; done
  mate_command --query || { cat "$work/daemon.log"; give_up "MATE's screensaver does not answer"; }

  start=$(now_ms)
  mate_command --activate
  pid=""
  while [ -z "$pid" ] && [ $(($(now_ms) - start)) -lt 10000 ]; do
    pid="$(pgrep -P "$daemon_pid" -x tundrel)" || sleep 0.1
  done
  [ -n "$pid" ] || give_up "MATE's screensaver started no saver for its theme screensavers-tundrel"
  savers+=("$pid")
  check "MATE: the saver runs as its entry says, at nice 10" \
    test "$(tr '\0' ' ' <"/proc/$pid/cmdline")" = "$saver --root " -a \
    "$(cut -d' ' -f19 "/proc/$pid/stat")" = 10
  # The window handed over is the daemon's full-screen window or a child of it.
  window="$(tr '\0' '\n' <"/proc/$pid/environ" | sed -n 's/^XSCREENSAVER_WINDOW=//p')"
  parent="$(xwininfo -children -id "$window" 2>/dev/null |
    sed -n 's/^ *Parent window id: \(0x[0-9a-fA-F]*\).*/\1/p')"
  check "MATE: XSCREENSAVER_WINDOW ($window) is the daemon's window" \
    grep -q '"mate-screensaver"' <(xprop -id "$window" WM_CLASS; xprop -id "$parent" WM_CLASS)
  # At nice 10 the first frame waits longest when the machine is busy.
  scene "MATE, stored clock off" "$start" no 10

  start=$(now_ms)
  mate_command --deactivate
  await_end "$pid" 1000 "$start"
  echo "MATE: the saver ended $elapsed ms after the deactivation"
  check "MATE: the saver ends within 1 s of the deactivation" test "$elapsed" -le 1000
  for _ in $(seq 50); do [ -z "$(pgrep -P "$daemon_pid")" ] && break; sleep 0.02; done
  check "MATE: the daemon has no process of the saver left" test -z "$(pgrep -P "$daemon_pid")"
  # The daemon logs a status other than 0, and every line the saver writes on stderr.
  check "MATE: the saver exits with status 0 and complains of nothing" \
    test -z "$(grep -e 'Wait on child process failed' -e 'command output:' "$work/daemon.log")"
  check "MATE: the saver leaves its settings folder as stored" \
    test "$(ls -A "$(dirname "$settings_file")")" = Tundrel.reg -a \
    "$(cmp -s "$settings_file" "$work/stored.reg" && echo same)" = same
  finish
fi

# ---- the XScreenSaver daemon, as the user ----

write_config() {  # write_config <round> <options of the programs line>
  # nice 0 instead of the daemon's 10: the checks time the saver, and on a machine busy with
  # other work a hack niced to 10 gets so little of the processor that one frame takes seconds.
  cat >"$home/.xscreensaver" <<EOF
nice: 0
mode: one
selected: 0
lock: False
fade: False
unfade: False
splash: False
timeout: 0:30:00
programs: GL: $saver --root$2 \\n
EOF
  # The daemon reads the file again at each activation when its time stamp has changed; one
  # second apart per round, so two rounds within a second are still told apart.
  touch -d "@$(($(date +%s) - 100 + $1))" "$home/.xscreensaver"
  chown -R "$uid" "$home"
}
write_config 0 ""
chmod 700 "$home"

# The reaper: adopts orphaned descendants (PR_SET_CHILD_SUBREAPER) and logs "<pid> <status>" for
# each one it collects; its first line is "started <pid>" for the daemon. It ends with its last
# child.
reaper='import ctypes, os, sys
ctypes.CDLL(None).prctl(36, 1, 0, 0, 0)
log = open(sys.argv[1], "a", buffering=1)
child = os.fork()
if child == 0:
    try:
        os.execvp(sys.argv[2], sys.argv[2:])
    finally:
        os._exit(127)
log.write("started %d\n" % child)
while True:
    try:
        pid, status = os.waitpid(-1, 0)
    except ChildProcessError:
        break
    log.write("%d %d\n" % (pid, status))'
(exec python3 -c "$reaper" "$work/reaped" "${as_user[@]}" "${user_env[@]}" "DISPLAY=$DISPLAY" \
  xscreensaver --no-splash --verbose >"$work/daemon.log" 2>&1) &
reaper_pid=$!
for _ in $(seq 50); do [ -s "$work/reaped" ] && break; sleep 0.1; done
daemon_pid="$(sed -n 's/^started //p' "$work/reaped" 2>/dev/null)"
[ -n "$daemon_pid" ] || give_up "the daemon did not start"
for _ in $(seq 100); do as xscreensaver-command -time >/dev/null 2>&1 && break; sleep 0.1; done
as xscreensaver-command -time >/dev/null 2>&1 || { cat "$work/daemon.log"; give_up "the daemon does not answer"; }

# round <round> <options> <clock expected: yes|no> <what>
round() {
  local n="$1" options="$2" clock="$3" what="$4" start pid elapsed status window
  write_config "$n" "$options"
  start=$(now_ms)
  as xscreensaver-command -activate >/dev/null 2>&1
  pid=""
  while [ $(($(now_ms) - start)) -lt 5000 ]; do
    pid="$(find_saver)" && break
    sleep 0.1
  done
  check "$what: the daemon starts the installed saver" test -n "$pid"
  [ -n "$pid" ] || return
  savers+=("$pid")
  check "$what: the saver runs with the options of the programs line" \
    test "$(tr '\0' ' ' <"/proc/$pid/cmdline")" = "$saver --root$options "
  window="$(tr '\0' '\n' <"/proc/$pid/environ" | sed -n 's/^XSCREENSAVER_WINDOW=//p')"
  check "$what: XSCREENSAVER_WINDOW is in the saver's environment" test -n "$window"
  check "$what: ... and names the window the daemon started it on" \
    grep -q "in pid $pid on window $window$" "$work/daemon.log"

  scene "$what" "$start" "$clock"

  deactivate "$pid"
  await_end "$pid" 2000
  echo "$what: the saver ended $elapsed ms after the daemon's signal"
  check "$what: the saver ends within 2 s of the daemon's signal" test "$elapsed" -le 2000
  check "$what: the daemon ended it with SIGTERM" \
    grep -q "killing pid $pid (" "$work/daemon.log"
  # The daemon's helper exits right after its signal, leaving the saver to the reaper; should the
  # helper collect it first, its log says how the saver ended ("... with status N").
  for _ in $(seq 20); do grep -q "^$pid " "$work/reaped" && break; sleep 0.1; done
  status="$(sed -n "s/^$pid //p" "$work/reaped")"
  if [ -z "$status" ]; then
    status="$(sed -n "s/.*child pid $pid (.*) exited .* with status \([0-9]*\)$/\1/p" \
      "$work/daemon.log")"
    [ -n "$status" ] && status=$((status * 256))
  fi
  check "$what: the saver exits in order with status 0 (wait status ${status:-unknown})" \
    test "${status:-x}" = 0
  check "$what: no core dump" \
    test $((${status:-0} & 128)) -eq 0 -a -z "$(find "$home" -maxdepth 1 -name 'core*' -print -quit)"
}

# ---- the rounds ----

round 1 "" yes "stored settings, none saved yet (clock on)"
check "the saver saved no settings" test ! -e "$settings_file"
round 2 " --no-clock" no "--no-clock"

# Settings stored by the saver's own dialog: the clock off. Without an option it stays off; with
# --clock it is on for that run, and the stored file is left as it was.
store_clock_off
round 3 "" no "stored clock off"
round 4 " --clock" yes "stored clock off, --clock"
check "the stored settings file is unchanged" cmp -s "$settings_file" "$work/stored.reg"

# Two monitors, the left and right halves of the screen: the daemon starts one copy on each.
# Both halves show the scene for 30 s, and both copies end in order on the deactivation. The left
# one takes Xvfb's output "screen", whose monitor of the whole screen would else enclose both.
as xrandr --setmonitor left 512/135x768/203+0+0 screen >/dev/null
as xrandr --setmonitor right 512/135x768/203+512+0 none >/dev/null
write_config 5 ""
as xscreensaver-command -activate >/dev/null 2>&1
pair=()
start=$(now_ms)
while [ "${#pair[@]}" -lt 2 ] && [ $(($(now_ms) - start)) -lt 5000 ]; do
  if p="$(find_saver)"; then pair+=("$p"); savers+=("$p"); else sleep 0.1; fi
done
check "two monitors: the daemon starts two copies (${pair[*]})" test "${#pair[@]}" -eq 2
sleep 3
dark=""
for second in 0 5 10 15 20 25 30; do
  [ "$second" -gt 0 ] && sleep 5
  left="$("$probe" lit "$root_window" 0 0 512 768)"
  right="$("$probe" lit "$root_window" 512 0 512 768)"
  # A half of the scene can be nearly all night sky (under a thousand pixels lit, seen); a half
  # the saver does not draw stays black.
  [ "${left:-0}" -gt 100 ] && [ "${right:-0}" -gt 100 ] || dark+=" ${second}s:${left:-?}/${right:-?}"
  for p in "${pair[@]}"; do ended "$p" && dark+=" ${second}s:$p-ended"; done
done
check "two monitors: both halves show the scene for 30 s${dark:+ (not at$dark)}" test -z "$dark"
deactivate "${pair[0]}"
for p in "${pair[@]}"; do
  await_end "$p" 2000
  for _ in $(seq 20); do grep -q "^$p " "$work/reaped" && break; sleep 0.1; done
  status="$(sed -n "s/^$p //p" "$work/reaped")"
  check "two monitors: copy $p ends in order on the deactivation (wait status ${status:-unknown})" \
    test "${status:-x}" = 0
done

finish
