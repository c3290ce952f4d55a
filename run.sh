#!/usr/bin/env bash
# Builds Tundrel and runs it: for now the headless ecosystem for a few simulated minutes,
# printing its population reports.
set -euo pipefail
cd "$(dirname "$0")"
./test.sh --deps-only
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target tundrel-sim
exec ./build/tools/tundrel-sim --seconds 300 --report 30 "$@"
