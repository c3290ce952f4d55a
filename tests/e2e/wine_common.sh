# Shared set-up of the Wine scripts (wine_*.sh), sourced with their arguments:
#   source wine_common.sh TUNDREL_SCR PROBE_EXE
# Starts a private Xvfb, makes a fresh Wine prefix of the programs' architecture (win32 for a
# PE32 build, win64 for PE32+), or copies the one TUNDREL_WINE_PREFIX names, and removes both
# on exit. Every wait is bounded.

set -u

if [ "$#" -lt 2 ]; then
  echo "usage: $0 TUNDREL_SCR PROBE_EXE" >&2
  exit 2
fi
SAVER="$(readlink -f "$1")"
PROBE="$(readlink -f "$2")"
for program in "$SAVER" "$PROBE"; do
  if [ ! -f "$program" ]; then
    echo "missing $program: build the Windows tree first" >&2
    exit 1
  fi
done

PASSED=0
FAILED=0
SAVER_PID=""
XVFB_PID=""

# The machine field of the PE header: 014c is i386, 8664 is x86-64.
pe_machine() {
  local offset
  offset=$(od -An -t u4 -j 60 -N 4 "$1" | tr -d ' ')
  od -An -t x2 -j $((offset + 4)) -N 2 "$1" | tr -d ' '
}
case "$(pe_machine "$SAVER")" in
  014c) export WINEARCH=win32 ;;
  8664) export WINEARCH=win64 ;;
  *)
    echo "$SAVER is not a Windows program for x86 or x86-64" >&2
    exit 1
    ;;
esac
if ! command -v wine >/dev/null || ! command -v Xvfb >/dev/null; then
  echo "wine and Xvfb are needed" >&2
  exit 1
fi

cleanup() {
  if [ -n "$SAVER_PID" ]; then kill "$SAVER_PID" 2>/dev/null; fi
  if [ -n "${WINEPREFIX:-}" ] && [ -d "$WINEPREFIX" ]; then
    timeout 20 wineserver -k 2>/dev/null
    rm -rf "$WINEPREFIX"
  fi
  if [ -n "$XVFB_PID" ]; then kill "$XVFB_PID" 2>/dev/null; fi
}
trap cleanup EXIT

# Xvfb at 1280x720 on a display it picks itself (-displayfd), kept as it is when a client
# leaves (-noreset).
display_file="$(mktemp "${TMPDIR:-/tmp}/tundrel-wine-display.XXXXXX")"
Xvfb -displayfd 3 -noreset -screen 0 1280x720x24 -nolisten tcp 3>"$display_file" >/dev/null 2>&1 &
XVFB_PID=$!
for _ in $(seq 100); do
  [ -s "$display_file" ] && break
  sleep 0.1
done
display=$(head -n1 "$display_file")
rm -f "$display_file"
if [ -z "$display" ] || ! kill -0 "$XVFB_PID" 2>/dev/null; then
  echo "no Xvfb display could be started" >&2
  exit 1
fi
export DISPLAY=":$display"

WINEPREFIX="$(mktemp -d "${TMPDIR:-/tmp}/tundrel-wine.XXXXXX")"
export WINEPREFIX
export WINEDEBUG=-all
# No Mono or Gecko installers: they would open windows of their own.
export WINEDLLOVERRIDES="mscoree,mshtml="
# A copy of the prefix made once for this test run (wine_prefix.sh), if there is one: wineboot
# then has nothing to make and only starts the prefix's services. It starts them in any case,
# with their output going nowhere: a service holding a script's pipe open would stall it.
if [ -n "${TUNDREL_WINE_PREFIX:-}" ] && [ -s "$TUNDREL_WINE_PREFIX/system.reg" ] &&
  ! cp -a "$TUNDREL_WINE_PREFIX/." "$WINEPREFIX/"; then
  echo "the Wine prefix $TUNDREL_WINE_PREFIX could not be copied" >&2
  exit 1
fi
if ! timeout 180 wineboot -i >/dev/null 2>&1; then
  echo "the Wine prefix could not be made" >&2
  exit 1
fi
# One server for the whole run, so volatile registry keys and window titles outlive each call.
wineserver -p
echo "# $WINEARCH prefix on display $DISPLAY: $(basename "$SAVER")"

pass() {
  PASSED=$((PASSED + 1))
  echo "ok - $1"
}

fail() {
  FAILED=$((FAILED + 1))
  echo "FAIL - $1${2:+: $2}"
}

# check NAME COMMAND...: passes when the command succeeds; its output is shown on failure.
check() {
  local name="$1" output
  shift
  if output=$("$@" 2>&1); then pass "$name"; else fail "$name" "$output"; fi
}

# The probe's answer, without the carriage returns of the Windows console; its status is the
# probe's own.
probe() { (set -o pipefail; timeout 60 wine "$PROBE" "$@" 2>/dev/null | tr -d '\r'); }

# Starts the saver with the given arguments in the background (at most 120 s).
start_saver() {
  timeout 120 wine "$SAVER" "$@" >/dev/null 2>&1 &
  SAVER_PID=$!
}

# Waits up to SECONDS for the saver started last to end; STATUS is then its exit status, or
# "running". Call it directly, not in $(...): only this shell can wait for the saver.
saver_exit() {
  local deadline=$((SECONDS + $1))
  while kill -0 "$SAVER_PID" 2>/dev/null && [ "$SECONDS" -lt "$deadline" ]; do sleep 0.1; done
  if kill -0 "$SAVER_PID" 2>/dev/null; then
    STATUS=running
    return
  fi
  wait "$SAVER_PID"
  STATUS=$?
  SAVER_PID=""
}

# Ends the saver started last if it still runs.
stop_saver() {
  if [ -n "$SAVER_PID" ]; then
    kill "$SAVER_PID" 2>/dev/null
    wait "$SAVER_PID" 2>/dev/null
    SAVER_PID=""
  fi
  timeout 20 wine "$PROBE" gone ScreenSaver 5 >/dev/null 2>&1
}

readonly SETTINGS_KEY='HKCU\Software\Ombrix\Tundrel'

# A settings value (or one of KEY, with further options of reg query) as "REG_DWORD 0x1",
# "REG_SZ 0" and so on, or "missing".
# Usage: reg_value NAME [KEY [OPTION...]]
reg_value() {
  local line
  line=$(timeout 60 wine reg query "${2:-$SETTINGS_KEY}" /v "$1" "${@:3}" 2>/dev/null | tr -d '\r' |
    awk -v name="$1" '$1 == name { $1 = ""; sub(/^ +/, ""); print }')
  echo "${line:-missing}" | tr -s ' '
}

reg_clear() { timeout 60 wine reg delete 'HKCU\Software\Ombrix' /f >/dev/null 2>&1; }

reg_set() { timeout 60 wine reg add "$SETTINGS_KEY" /v "$1" /t "$2" /d "$3" /f >/dev/null 2>&1; }

# set_dpi <pixels per inch>|-: the screen's density (the desktop's LogPixels) for the programs
# started from now on; - takes it away, back to Wine's 96.
set_dpi() {
  local desktop='HKCU\Control Panel\Desktop'
  if [ "$1" = - ]; then
    timeout 60 wine reg delete "$desktop" /v LogPixels /f >/dev/null 2>&1
  else
    timeout 60 wine reg add "$desktop" /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1
  fi
}

# The live wallpaper's start at logon: its value in the user's Run key as "REG_SZ <command>",
# empty when there is none.
run_value() {
  timeout 60 wine reg query 'HKCU\Software\Microsoft\Windows\CurrentVersion\Run' \
    /v "Tundrel wallpaper" 2>/dev/null | tr -d '\r' | sed -n 's/^ *Tundrel wallpaper *//p'
}

DESKTOP_PID=""
# Starts the probe's stand-in for Explorer's desktop, in the layout of Windows 10 (old) or of
# Windows 11 24H2 (new), for at most 200 s.
start_desktop() {
  timeout 200 wine "$PROBE" shell "$1" 200 >/dev/null 2>&1 &
  DESKTOP_PID=$!
  probe wait-title "Program Manager" 20 >/dev/null
}
# Ends it as a crash of Explorer would.
end_desktop() {
  kill "$DESKTOP_PID"
  wait "$DESKTOP_PID" 2>/dev/null
  probe gone "Program Manager" 10 >/dev/null
}

finish() {
  echo "$PASSED passed, $FAILED failed"
  [ "$FAILED" -eq 0 ]
  exit $?
}
