#!/usr/bin/env bash
# Installs what the build needs (Debian/Ubuntu, as root or with sudo), builds everything in
# build/ and runs every test. `./test.sh --deps-only` stops after the installation.
set -euo pipefail
cd "$(dirname "$0")"

packages=(
  build-essential cmake pkg-config
  libgtest-dev libbenchmark-dev
  libfreetype-dev libfontconfig1-dev fonts-dejavu-core libpng-dev
  libx11-dev libxrandr-dev libxinerama-dev libgtk-3-dev adwaita-icon-theme
  libgl1-mesa-dev libglu1-mesa-dev libegl-dev libegl-mesa0 libgl1-mesa-dri
  xvfb xdotool x11-utils x11-xserver-utils x11-xkb-utils xkb-data picom icewm openbox python3
  clang libclang-rt-14-dev libfaketime valgrind
  xscreensaver lintian dpkg-dev passwd nsis
  libwayland-dev wayland-protocols libxkbcommon-dev sway swayidle grim wtype
)

# The Windows build: cross compilers, and Wine (32-bit from the i386 architecture) with its
# recommended packages, which bring the Mesa drivers and X libraries its OpenGL needs.
windows_packages=(g++-mingw-w64-i686 g++-mingw-w64-x86-64 googletest)
wine_packages=(wine wine32:i386 wine64)

sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
missing_from() {  # the names of the list that are not installed
  local p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || echo "$p"
  done
}
mapfile -t missing < <(missing_from "${packages[@]}" "${windows_packages[@]}")
mapfile -t missing_wine < <(missing_from "${wine_packages[@]}")
if [ "${#missing[@]}" -gt 0 ] || [ "${#missing_wine[@]}" -gt 0 ]; then
  echo "Installing: ${missing[*]} ${missing_wine[*]}"
  if [ "${#missing_wine[@]}" -gt 0 ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    $sudo dpkg --add-architecture i386
  fi
  $sudo apt-get update -qq
  if [ "${#missing[@]}" -gt 0 ]; then
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
  fi
  if [ "${#missing_wine[@]}" -gt 0 ]; then
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing_wine[@]}"
  fi
fi
if [ "${1:-}" = "--deps-only" ]; then exit 0; fi

jobs="$(nproc)"

# The same unit tests and headless runs under AddressSanitizer, UndefinedBehaviorSanitizer and
# LeakSanitizer (the scripts that need a display run in the Linux build only). They only compute,
# so they go beside the other builds and the Linux build's tests at the lowest priority, which
# leaves those tests' scripts that time the saver the processor whenever they want it; their
# output is shown at the end.
lowest=(nice -n 19)
sanitized() {
  "${lowest[@]}" cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTUNDREL_SANITIZE=ON \
    -DTUNDREL_BUILD_BENCH=OFF
  "${lowest[@]}" cmake --build build-asan -j"$jobs"
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
    LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp" \
    "${lowest[@]}" ctest --test-dir build-asan --output-on-failure -j"$jobs" -E '_e2e$|^saver_|^wine'
}
mkdir -p build-asan
sanitized >build-asan/test.log 2>&1 &
sanitized_pid=$!
show_sanitized() {
  local status=0
  wait "$sanitized_pid" || status=$?
  echo "---- sanitizer build and tests (build-asan/test.log)"
  cat build-asan/test.log
  return "$status"
}

# tundrel.scr for 32- and 64-bit Windows first: the Linux build's tests run them under Wine.
for target in i686 x86_64; do
  bits=$([ "$target" = i686 ] && echo 32 || echo 64)
  cmake -S . -B "build-win$bits" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_TOOLCHAIN_FILE="cmake/toolchain-$target-w64-mingw32.cmake"
  cmake --build "build-win$bits" -j"$jobs"
done
# Their downloads: each tree's zip, and the installer holding both builds, which the Wine tests
# install.
for bits in 32 64; do
  cmake --build "build-win$bits" --target package
done

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$jobs"

# Most of these tests wait on X servers, Wine and the saver's reactions, and those that compute
# run at the lowest priority: four times as many as there are processors run at a time, so a
# short script never waits for a slot behind the long computations (at most two scripts that
# drive the saver run at once, tests/CMakeLists.txt).
if ! ctest --test-dir build --output-on-failure -j"$((4 * jobs))"; then
  show_sanitized || true
  exit 1
fi

# Each fuzz target for a bounded time (clang's libFuzzer), side by side.
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DTUNDREL_FUZZ=ON -DTUNDREL_BUILD_TESTS=OFF \
  -DTUNDREL_BUILD_BENCH=OFF
cmake --build build-fuzz -j"$jobs" --target fuzz_settings_file fuzz_run_mode
fuzz_status=0
tests/fuzz/run.sh build-fuzz "${TUNDREL_FUZZ_SECONDS:-60}" || fuzz_status=$?

show_sanitized
exit "$fuzz_status"
