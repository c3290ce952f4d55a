#!/usr/bin/env bash
# The saver running across local midnight, when the time of day falls back from 86400 to 0, and
# then across a jump of the local clock back by an hour (the end of daylight saving time): started
# at 23:59:57 on a shifted local clock, it keeps stepping and drawing, its statistics stay sane
# (no negative or absurd figures), and Escape still ends it with status 0.
# Usage: saver_midnight.sh <tundrel> <x_probe>
set -u
saver="$1" probe="$2"
source "$(dirname "$0")/saver_common.sh"
faketime_lib=$(ls /usr/lib/*/faketime/libfaketime.so.1 2>/dev/null | head -n1)
if [ -z "$faketime_lib" ]; then
  echo "FAIL: libfaketime is not installed"; echo "0 passed, 1 failed"; exit 1
fi

start_xvfb 640x480x24
export TZ=UTC
# libfaketime runs the saver's local clock from 23:59:57 on, at the real speed, and reads the
# file again every second; the monotonic clock stays the real one.
echo '@2026-12-07 23:59:57' >"$work/faketime"
LD_PRELOAD="$faketime_lib" FAKETIME_TIMESTAMP_FILE="$work/faketime" FAKETIME_CACHE_DURATION=1 \
  FAKETIME_DONT_FAKE_MONOTONIC=1 "$saver" 2>"$work/err" &
saver_pid=$!
started+=("$saver_pid")
win=$(main_window "$saver_pid" 10)
check "the window appears before midnight" test -n "$win"

bad=0
seen=0
for i in $(seq 40); do  # 8 s of captions, across 00:00:00 and then an hour back
  if [ "$i" -eq 25 ]; then echo '@2026-12-07 23:00:05' >"$work/faketime"; fi
  caption=$(title "$win")
  # The first refresh may come before any frame (a slow start): it shows no rates yet.
  if [ "$seen" -eq 0 ] && [[ "$caption" == "FPS: 0   "*"-мс/юнит   Draw: -%   Calc: -%" ]]; then
    sleep 0.2
    continue
  fi
  if [[ "$caption" == FPS:* ]]; then
    seen=$((seen + 1))
    echo "$caption" >>"$work/captions"
    fps=$(sed -E 's/^FPS: ([0-9.]+) .*/\1/' <<<"$caption")
    if ! grep -Eq '^FPS: [0-9]+(\.[0-9]+)?   Units: [0-9]+   [0-9]+(\.[0-9]+)?мс/юнит   Draw: [0-9]+%   Calc: [0-9]+%$' <<<"$caption" ||
       awk -v f="$fps" 'BEGIN { exit !(f <= 0 || f > 1000) }'; then
      echo "  odd caption: $caption"
      bad=$((bad + 1))
    fi
  fi
  sleep 0.2
done
check "the statistics were refreshed across midnight ($seen captions)" test "$seen" -ge 10
check "every caption was sane" test "$bad" -eq 0
# A refresh stalled by a clock that fell back would leave one caption standing.
check "the statistics still change in the last 3 s" \
  test "$(tail -n 15 "$work/captions" 2>/dev/null | sort -u | wc -l)" -ge 3
check "the saver still runs after midnight" running "$saver_pid"
before=$("$probe" lit "$win" 2>/dev/null)
check "and still draws" test "${before:-0}" -gt 1000
xdotool key Escape
await_exit "$saver_pid" 10
check "Escape ends it with status 0 (got $exit_status)" test "$exit_status" = 0
finish
