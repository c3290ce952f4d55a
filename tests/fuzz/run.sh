#!/usr/bin/env bash
# Runs each fuzz target for a bounded time on a copy of its committed seed corpus.
# usage: tests/fuzz/run.sh <build folder with the fuzz targets> <seconds per target>
set -euo pipefail
build="$1"
seconds="$2"
here="$(cd "$(dirname "$0")" && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
status=0
for target in settings_file run_mode; do
  mkdir -p "$work/$target"
  cp "$here/corpus/$target/"* "$work/$target/"
  echo "fuzzing $target for ${seconds}s"
  if ! "$build/tests/fuzz/fuzz_$target" -max_total_time="$seconds" -timeout=5 -rss_limit_mb=1024 \
      -max_len=4096 -print_final_stats=1 "$work/$target" >"$work/$target.log" 2>&1; then
    echo "fuzz_$target found a fault:"
    tail -40 "$work/$target.log"
    status=1
  else
    grep -E 'stat::number_of_executed_units|Done' "$work/$target.log" | tail -2
  fi
done
exit "$status"
