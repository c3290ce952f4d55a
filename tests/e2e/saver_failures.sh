#!/usr/bin/env bash
# Failures at start and on the way (and --help, which needs no display): no display, a display
# that cannot be opened, a server
# without GLX, and a server that goes away while the saver runs. Each is one line on stderr and
# exit status 1, never a crash.
# Usage: saver_failures.sh <tundrel> <x_probe>
set -u
saver="$1" probe="$2"
source "$(dirname "$0")/saver_common.sh"

# fails_with_one_line <description> <env...> -- <args...>
fails_with_one_line() {
  local what="$1"; shift
  local envs=()
  while [ "$1" != "--" ]; do envs+=("$1"); shift; done
  shift
  env "${envs[@]}" timeout 20 "$saver" "$@" >"$work/out" 2>"$work/err"
  local status=$?
  check "$what: status 1 (got $status)" test "$status" -eq 1
  check "$what: one line on stderr" one_line "$work/err"
  check "$what: nothing on stdout" test ! -s "$work/out"
}

for args in "" "/s" "/p 1234" "/c" "--root"; do
  # shellcheck disable=SC2086
  fails_with_one_line "no DISPLAY, args '$args'" -u DISPLAY -- $args
  check "  ... says DISPLAY is not set" grep -q 'DISPLAY' "$work/err"
done
fails_with_one_line "a display that cannot be opened" DISPLAY=:65000 -- /s
# --help and --version alone need no display; -h is still the full-screen run's switch.
env -u DISPLAY -u WAYLAND_DISPLAY "$saver" --help >"$work/out" 2>"$work/err"
status=$?
check "--help without a display: status 0 ($status), the run modes listed" \
  test "$status" -eq 0 -a -n "$(grep '^  /s ' "$work/out")"
check "--version: the version" bash -c \
  "set -o pipefail; env -u DISPLAY '$saver' --version | grep -Eqx 'tundrel [0-9]+\.[0-9]+\.[0-9]+'"
fails_with_one_line "-h is the full-screen run" -u DISPLAY -- -h

start_xvfb 640x480x24 -extension GLX
for args in "" "/s" "/p"; do
  # shellcheck disable=SC2086
  fails_with_one_line "no GLX, args '$args'" -- $args
  check "  ... names OpenGL" grep -q 'OpenGL' "$work/err"
done
check "no window is left behind" test -z "$(xdotool search --classname tundrel 2>/dev/null)"

start_xvfb 640x480x24
launch
win=$(main_window "$saver_pid" 10)
await_lit "$win" 5
kill "$xvfb_pid"
await_exit "$saver_pid" 10
check "a lost X connection ends it with status 1 (got $exit_status)" test "$exit_status" = 1
check "  ... with one line on stderr" one_line "$work/err"
check "  ... that names the lost connection" grep -q 'connection' "$work/err"

finish
