#!/usr/bin/env bash
# Installs what the build needs (Debian/Ubuntu, as root or with sudo), builds everything in
# build/ and runs every test. `./test.sh --deps-only` stops after the installation.
set -euo pipefail
cd "$(dirname "$0")"

packages=(
  build-essential cmake pkg-config
  libgtest-dev libbenchmark-dev
  libfreetype-dev libfontconfig1-dev fonts-dejavu-core libpng-dev
  libx11-dev libxft-dev libgtk-3-dev adwaita-icon-theme
  libgl1-mesa-dev libglu1-mesa-dev libegl-dev libegl-mesa0 libgl1-mesa-dri
  xvfb xdotool x11-utils python3
  clang libclang-rt-14-dev libfaketime valgrind
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ "${#missing[@]}" -gt 0 ]; then
  sudo=""
  if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
  echo "Installing: ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
if [ "${1:-}" = "--deps-only" ]; then exit 0; fi

jobs="$(nproc)"
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$jobs"
ctest --test-dir build --output-on-failure -j"$jobs"

# The same unit tests and headless runs under AddressSanitizer, UndefinedBehaviorSanitizer and
# LeakSanitizer; the scripts that need a display run in the build above only.
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTUNDREL_SANITIZE=ON -DTUNDREL_BUILD_BENCH=OFF
cmake --build build-asan -j"$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
  LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp" \
  ctest --test-dir build-asan --output-on-failure -j"$jobs" -E '_e2e$|^saver_|^wine'

# Each fuzz target for a bounded time (clang's libFuzzer).
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DTUNDREL_FUZZ=ON -DTUNDREL_BUILD_TESTS=OFF \
  -DTUNDREL_BUILD_BENCH=OFF
cmake --build build-fuzz -j"$jobs" --target fuzz_settings_file fuzz_run_mode
tests/fuzz/run.sh build-fuzz "${TUNDREL_FUZZ_SECONDS:-60}"
