#!/usr/bin/env bash
# One short run of the real saver under valgrind's memcheck on a private Xvfb: no invalid reads
# or writes and no definite leaks in our code. Mesa's and Xlib's own findings are suppressed in
# tundrel.supp, each entry commented.
# usage: tests/valgrind/memcheck.sh <tundrel> [seconds, default 20]
set -u
saver="$1"
seconds="${2:-20}"
here="$(cd "$(dirname "$0")" && pwd)"
work="$(mktemp -d)"
cleanup() { kill "$saver_pid" "$xvfb_pid" 2>/dev/null; rm -rf "$work"; }
trap cleanup EXIT
export XDG_CONFIG_HOME="$work/config" LIBGL_ALWAYS_SOFTWARE=1
# softpipe: Mesa's plain software rasteriser, no JIT for valgrind to wade through.
export GALLIUM_DRIVER=softpipe

Xvfb -displayfd 3 -noreset -screen 0 640x480x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(head -n1 "$work/display")"

valgrind --tool=memcheck --leak-check=full --show-leak-kinds=definite --errors-for-leak-kinds=definite \
  --suppressions="$here/tundrel.supp" --num-callers=30 --error-exitcode=99 \
  --log-file="$work/memcheck.log" "$saver" /s &
saver_pid=$!
sleep "$seconds"
kill -TERM "$saver_pid"
for _ in $(seq 600); do kill -0 "$saver_pid" 2>/dev/null || break; sleep 0.1; done
wait "$saver_pid"
status=$?
cp "$work/memcheck.log" "${MEMCHECK_LOG:-/dev/null}" 2>/dev/null
grep -E 'ERROR SUMMARY|definitely lost|Invalid (read|write)' "$work/memcheck.log"
if [ "$status" -ne 0 ]; then
  sed -n '/Invalid\|definitely lost in/,/^==[0-9]*== $/p' "$work/memcheck.log" | head -80
  echo "0 passed, 1 failed"
  exit 1
fi
echo "1 passed, 0 failed"
