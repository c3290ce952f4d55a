#!/usr/bin/env bash
# Soak: six simulated hours of the ecosystem at 1/30 s a step with the saver's top-up. Samples
# tundrel-sim's resident memory at every report (each simulated 10 minutes) and fails if it
# grows by more than 5% after the first hour or the population leaves sane bounds.
# usage: tests/soak/soak.sh <tundrel-sim> [simulated hours, default 6]
set -uo pipefail
sim="$1"
hours="${2:-6}"
seconds=$((hours * 3600))
fails=0
pass=0
baseline=""
peak=0
samples=0

work=$(mktemp -d)
trap 'kill "$pid" 2>/dev/null; rm -rf "$work"' EXIT
mkfifo "$work/reports"
"$sim" --seed 1 --seconds "$seconds" --dt 0.0333333333333333 --report 600 >"$work/reports" &
pid=$!
while IFS= read -r line; do
  rss=$(awk '/^VmRSS:/ {print $2}' "/proc/$pid/status" 2>/dev/null || echo 0)
  [ -n "$rss" ] || rss=0
  t=$(sed -E 's/^t=([0-9.]+).*/\1/' <<<"$line")
  trees=$(sed -E 's/.* trees=([0-9]+).*/\1/' <<<"$line")
  herbivores=$(sed -E 's/.* herbivores=([0-9]+).*/\1/' <<<"$line")
  predators=$(sed -E 's/.* predators=([0-9]+).*/\1/' <<<"$line")
  printf '%s rss_kb=%s\n' "$line" "$rss"
  samples=$((samples + 1))
  if [ "$trees" -ne 251 ] || [ "$herbivores" -lt 30 ] || [ "$herbivores" -gt 101 ] ||
     [ "$predators" -lt 1 ]; then
    echo "FAIL: population out of bounds at t=$t"
    fails=$((fails + 1))
  fi
  # Memory after the first simulated hour is the baseline of growth.
  if [ -z "$baseline" ] && [ "${t%%.*}" -ge 3600 ] && [ "$rss" -gt 0 ]; then baseline=$rss; fi
  if [ -n "$baseline" ] && [ "$rss" -gt "$peak" ]; then peak=$rss; fi
done <"$work/reports"
wait "$pid"
status=$?
if [ "$status" -ne 0 ]; then echo "FAIL: tundrel-sim exited with status $status"; fails=$((fails + 1)); fi
if [ "$samples" -lt $((seconds / 600 + 1)) ]; then
  echo "FAIL: $samples reports, expected $((seconds / 600 + 1))"; fails=$((fails + 1))
fi
if [ -n "$baseline" ]; then
  growth=$(awk -v b="$baseline" -v p="$peak" 'BEGIN { printf "%.2f", (p - b) * 100 / b }')
  echo "memory after the first hour: ${baseline} kB, peak after it: ${peak} kB, growth ${growth}%"
  if awk -v g="$growth" 'BEGIN { exit !(g > 5) }'; then
    echo "FAIL: memory grew by more than 5%"; fails=$((fails + 1))
  else
    pass=$((pass + 1))
  fi
fi
[ "$fails" -eq 0 ] && pass=$((pass + 1))
echo "$pass passed, $fails failed"
test "$fails" -eq 0
