#!/usr/bin/env bash
# Installs what the build needs (Debian/Ubuntu, as root or with sudo), builds everything in
# build/ and runs every test. `./test.sh --deps-only` stops after the installation.
set -euo pipefail
cd "$(dirname "$0")"
# phase <what>: a line that says how long the script has run, so the slow phases show.
phase() { echo "==== $(( SECONDS / 60 ))m$(( SECONDS % 60 ))s: $*"; }

# What the builds need (tools/packages.sh), then what only the tests run: the second list
# installs in the background while the builds compile, and the tests wait for it.
source tools/packages.sh
mapfile -t missing_build < <(missing_from "${run_packages[@]}" "${build_packages[@]}")
mapfile -t missing_test < <(missing_from "${test_packages[@]}")
mapfile -t missing_wine < <(missing_from "${wine_packages[@]}")
missing=("${missing_build[@]}" "${missing_test[@]}" "${missing_wine[@]}")
if [ "${#missing[@]}" -gt 0 ]; then
  echo "Installing ${#missing[@]} packages (apt's output: $apt_log): ${missing[*]}"
  if [ "${#missing_wine[@]}" -gt 0 ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    $sudo dpkg --add-architecture i386
  fi
  apt_update
  # Whether apt can install every list is known now, before the builds, though the tests'
  # packages come during them.
  apt_install --simulate "${missing_build[@]}" "${missing_test[@]}" || exit 1
  if ! apt_install --simulate --with-recommends "${missing_wine[@]}" 2>/dev/null; then
    # Wine's 32-bit part comes from the i386 lists, which a mirror out of step can hold back while
    # everything else installs: the 32-bit build then is not run under Wine, and one line says so.
    mapfile -t wine64_only < <(printf '%s\n' "${missing_wine[@]}" | grep -vx 'wine32:i386')
    if [ "${#wine64_only[@]}" -lt "${#missing_wine[@]}" ] &&
      apt_install --simulate --with-recommends "${wine64_only[@]}" 2>/dev/null; then
      because=""
      [ -z "$apt_failed_lists" ] || because=" (the lists $apt_failed_lists did not come)"
      echo "Wine's 32-bit part (wine32:i386) cannot be installed now$because: the 32-bit" \
        "Windows build and the installers are not run under Wine this time; run" \
        "\`${sudo:+sudo }apt-get update\`" \
        "later, then this command again."
      missing_wine=("${wine64_only[@]}")
    else
      apt_install --simulate --with-recommends "${missing_wine[@]}" || exit 1
    fi
  fi
  apt_install "${missing_build[@]}" || exit 1
  phase "the build's packages are installed"
fi
install_tests() {
  apt_install "${missing_test[@]}" && apt_install --with-recommends "${missing_wine[@]}"
}
if [ "${1:-}" = "--deps-only" ]; then
  install_tests || exit 1
  exit 0
fi

# The tests' packages come while the builds compile; wait_for_test_packages waits for them (from
# any process of this script) and fails when their installation did.
mkdir -p build
test_packages_status="$PWD/build/test-packages.status"
rm -f "$test_packages_status"
{
  status=0
  install_tests >build/test-packages.log 2>&1 || status=$?
  phase "the tests' packages are installed (status $status)"
  echo "$status" >"$test_packages_status"
} &
wait_for_test_packages() {
  while [ ! -s "$test_packages_status" ]; do sleep 1; done
  if [ "$(cat "$test_packages_status")" != 0 ]; then
    echo "The installation of the tests' packages failed:"
    cat build/test-packages.log
    return 1
  fi
}

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
  wait_for_test_packages
  "${lowest[@]}" cmake -S . -B build-asan >/dev/null
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
phase "the Windows builds"
for target in i686 x86_64; do
  bits=$([ "$target" = i686 ] && echo 32 || echo 64)
  cmake -S . -B "build-win$bits" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_TOOLCHAIN_FILE="cmake/toolchain-$target-w64-mingw32.cmake"
  cmake --build "build-win$bits" -j"$jobs"
done

phase "the Linux build"
# With the tests and the benchmarks, which ./run.sh leaves out of the same folder.
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTUNDREL_BUILD_TESTS=ON -DTUNDREL_BUILD_BENCH=ON
cmake --build build -j"$jobs"
# The Windows downloads: each tree's zip, and the installer holding both builds, which the Wine
# tests install; its pictures show the scene as this build's tundrel-sim draws it.
for bits in 32 64; do
  cmake --build "build-win$bits" --target package
done
phase "waiting for the tests' packages"
# The tests that need Wine, Xvfb or valgrind are added once those are there.
wait_for_test_packages
cmake -S . -B build >/dev/null

# Most of these tests wait on X servers, Wine and the saver's reactions, and those that compute
# run at the lowest priority: four times as many as there are processors run at a time, so a
# short script never waits for a slot behind the long computations (at most two scripts that
# drive the saver run at once, tests/CMakeLists.txt).
phase "the tests"
if ! ctest --test-dir build --output-on-failure -j"$((4 * jobs))"; then
  show_sanitized || true
  exit 1
fi

# Each fuzz target for a bounded time (clang's libFuzzer), side by side.
phase "the fuzz targets"
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DTUNDREL_FUZZ=ON -DTUNDREL_BUILD_TESTS=OFF \
  -DTUNDREL_BUILD_BENCH=OFF
cmake --build build-fuzz -j"$jobs" --target fuzz_settings_file fuzz_run_mode
fuzz_status=0
tests/fuzz/run.sh build-fuzz "${TUNDREL_FUZZ_SECONDS:-60}" || fuzz_status=$?

phase "waiting for the sanitizer build"
show_sanitized
phase "done"
exit "$fuzz_status"
