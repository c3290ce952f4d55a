#!/usr/bin/env bash
# The cross-built GoogleTest programs (test_*.exe of a Windows build) under Wine, in a prefix of
# their own. Usage: wine_unit_tests.sh TUNDREL_SCR PROBE_EXE TEST_DIR
source "$(dirname "$0")/wine_common.sh"

TEST_DIR="${3:?usage: $0 TUNDREL_SCR PROBE_EXE TEST_DIR}"
found=0
for program in "$TEST_DIR"/test_*.exe; do
  [ -f "$program" ] || continue
  found=1
  name=$(basename "$program" .exe)
  # The 30-minute ecosystem run takes a few minutes under Wine. The program's status decides,
  # not that of the filter after it.
  if output=$(set -o pipefail; timeout 900 wine "$program" 2>&1 | tr -d '\r'); then
    pass "$name: $(grep -E '^\[  PASSED  \]' <<<"$output")"
  else
    fail "$name" "$(grep -E 'Failure|FAILED|Expected|Actual|Which is|Value of' <<<"$output" | head -40)"
  fi
done
check "test programs found in $TEST_DIR" test "$found" = 1

finish
