#!/usr/bin/env bash
# Builds Tundrel and runs it. With a display (X11 or Wayland): the saver as a user starts it, in
# its own window (Escape ends it; the mouse turns the camera; clicks and keys switch the predator).
# Without one: 30 simulated seconds of the ecosystem, rendered offscreen to a PNG snapshot.
# It installs only what building and running the saver needs (tools/packages.sh), and builds in
# build/ (or the folder TUNDREL_BUILD_DIR names) without the tests and the benchmarks.
set -euo pipefail
cd "$(dirname "$0")"
build="${TUNDREL_BUILD_DIR:-build}"
apt_log="$build/apt-get.log"
source tools/packages.sh
mapfile -t missing < <(missing_from "${run_packages[@]}")
if [ "${#missing[@]}" -gt 0 ]; then
  echo "Installing ${#missing[@]} packages (apt's output: $apt_log): ${missing[*]}"
  apt_update
  apt_install "${missing[@]}" || exit 1
fi
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTUNDREL_BUILD_TESTS=OFF \
  -DTUNDREL_BUILD_BENCH=OFF >/dev/null
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  cmake --build "$build" -j"$(nproc)" --target tundrel
  # Any argument would change the saver's run mode: it is started with none.
  exec "$build/src/shell/tundrel"
fi
cmake --build "$build" -j"$(nproc)" --target tundrel-sim
snapshot="$(cd "$build" && pwd)/tundrel-snapshot.png"
"$build/tools/tundrel-sim" --seconds 30 --report 10 --png "$snapshot"
echo "No display: wrote a snapshot of the scene to $snapshot"
