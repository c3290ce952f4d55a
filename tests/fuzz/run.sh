#!/usr/bin/env bash
# Runs each fuzz target for a bounded time on a copy of its committed seed corpus; the targets
# run side by side, each a single process.
# usage: tests/fuzz/run.sh <build folder with the fuzz targets> <seconds per target>
set -euo pipefail
build="$1"
seconds="$2"
here="$(cd "$(dirname "$0")" && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
targets=(settings_file run_mode)
declare -A run
for target in "${targets[@]}"; do
  mkdir -p "$work/$target"
  cp "$here/corpus/$target/"* "$work/$target/"
  echo "fuzzing $target for ${seconds}s"
  "$build/tests/fuzz/fuzz_$target" -max_total_time="$seconds" -timeout=5 -rss_limit_mb=1024 \
    -max_len=4096 -print_final_stats=1 "$work/$target" >"$work/$target.log" 2>&1 &
  run[$target]=$!
done
status=0
for target in "${targets[@]}"; do
  if ! wait "${run[$target]}"; then
    echo "fuzz_$target found a fault:"
    tail -40 "$work/$target.log"
    status=1
  else
    echo "fuzz_$target:"
    grep -E 'stat::number_of_executed_units|Done' "$work/$target.log" | tail -2
  fi
done
exit "$status"
