#!/usr/bin/env bash
# The Linux tundrel-sim's reports of seeds 2 and 7 over 600 s, made once per test run for the
# scripts that compare other runs with them (tundrel_sim_cli.sh, wine_unit_tests.sh): a run of
# 600 s takes a while, and every comparison needs the same lines.
# Usage: sim_reference.sh <tundrel-sim> <folder for seed2.txt and seed7.txt>
set -u
sim="$1" out="$2"
source "$(dirname "${BASH_SOURCE[0]}")/tally.sh"
mkdir -p "$out"
rm -f "$out"/seed*.txt
# Both seeds at once: each run is a single thread.
declare -A run
for seed in 2 7; do
  "$sim" --seed $seed --seconds 600 --report 60 >"$out/seed$seed.txt" &
  run[$seed]=$!
done
for seed in 2 7; do
  wait "${run[$seed]}"
  check "seed $seed: the run ends with status 0" test $? -eq 0
  check "seed $seed: 11 lines over 600 s" test "$(grep -c . "$out/seed$seed.txt")" -eq 11
done
echo "$pass passed, $fails failed"
test "$fails" -eq 0
