#!/usr/bin/env bash
# The cross-built GoogleTest programs (test_*.exe of a Windows build) under Wine, in a prefix of
# their own, and the build's tundrel-sim.exe against the Linux one's reports (sim_reference.sh):
# one seed, one world.
# Usage: wine_unit_tests.sh TUNDREL_SCR PROBE_EXE TEST_DIR [SIM_EXE LINUX_REPORTS_DIR]
source "$(dirname "$0")/wine_common.sh"

TEST_DIR="${3:?usage: $0 TUNDREL_SCR PROBE_EXE TEST_DIR [SIM_EXE LINUX_REPORTS_DIR]}"
found=0
for program in "$TEST_DIR"/test_*.exe; do
  [ -f "$program" ] || continue
  found=1
  name=$(basename "$program" .exe)
  # The program's status decides, not that of the filter after it.
  if output=$(set -o pipefail; timeout 900 wine "$program" 2>&1 | tr -d '\r'); then
    pass "$name: $(grep -E '^\[  PASSED  \]' <<<"$output")"
  else
    # A crash says nothing GoogleTest would: its last lines then tell where it was.
    details=$(grep -E 'Failure|FAILED|Expected|Actual|Which is|Value of' <<<"$output" | head -40)
    fail "$name" "${details:-$(tail -n 15 <<<"$output")}"
  fi
done
check "test programs found in $TEST_DIR" test "$found" = 1

if [ "$#" -ge 5 ]; then
  SIM_EXE="$4"
  LINUX_REPORTS="$5"
  check "$(basename "$SIM_EXE") found" test -f "$SIM_EXE"
  # Both seeds at once: each takes minutes under Wine.
  runs=()
  for seed in 2 7; do
    timeout 900 wine "$SIM_EXE" --seed $seed --seconds 600 --report 60 >"$WINEPREFIX/sim$seed.txt" \
      2>/dev/null &
    runs+=($!)
  done
  wait "${runs[@]}"
  for seed in 2 7; do
    check "seed $seed: the Windows build's 600 s match the Linux build's line for line" \
      diff <(tr -d '\r' <"$WINEPREFIX/sim$seed.txt") \
      "$LINUX_REPORTS/seed$seed.txt"
  done
  timeout 60 wine "$SIM_EXE" --seconds 1 --png x.png >/dev/null 2>"$WINEPREFIX/png.txt"
  check "--png without offscreen GL exits with status 2" test "$?" -eq 2
  check "  ... and says why" grep -q 'png is not available' "$WINEPREFIX/png.txt"
fi

finish
