#!/bin/bash
# What the GNOME idle watcher costs and how promptly it serves, on a headless mutter with two
# monitors and stand-ins for GNOME's session services (the scripts' own, as in the mutter case
# of tests/e2e/wayland_desktops.sh): while it waits, its share of a core, its wake-ups a second
# over a minute and its resident memory; then, in several runs of `--after 3`, the time from the
# last input to the saver's first frame on each monitor (the protocol log's clock) and from a key
# to the saver's end. Medians.
# usage: bench/idle_load.sh <build folder> [runs=5] [seconds=60]
set -u
build="${1:?usage: $0 <build folder> [runs] [seconds]}"
runs="${2:-5}" seconds="${3:-60}"
for program in "$build/src/shell/tundrel" "$build/src/idle/tundrel-idle"; do
  [ -x "$program" ] || { echo "$program is not built" >&2; exit 2; }
done
tools=(mutter dbus-run-session pgrep gdbus)
desktop=mutter
source "$(dirname "$0")/../tests/e2e/wayland_common.sh"
source "$(dirname "$0")/load_common.sh"
install -m 755 "$build/src/shell/tundrel" "$build/src/idle/tundrel-idle" "$work/"
trap 'stop_gnome_session; cleanup' EXIT
start_gnome_session
start_mutter

# The protocol log's clock: the wall clock's microseconds in 32 bits, in milliseconds.
log_now() { echo "$(date +%s%N)" | awk '{printf "%.3f\n", ($1 / 1000 % 4294967296) / 1000}'; }

# ---- waiting ----
start_watcher 3600
sleep 2
read -r cpu wakes < <(load "$idle_pid" "$seconds")
rss=$(awk '/^VmRSS/ {print $2}' "/proc/$idle_pid/status")
awk -v cpu="$cpu" -v wakes="$wakes" -v rss="$rss" -v s="$seconds" \
  'BEGIN {printf "waiting %d s: %s %% of a core, %s wake-ups a second, %.1f MB resident\n",
          s, cpu, wakes, rss / 1024}'
kill "$idle_pid"
wait "$idle_pid"

# ---- serving ----
: >"$work/delays" && : >"$work/ends"
for run in $(seq "$runs"); do
  : >"$work/err"
  last_input=$(log_now)
  gnome_input
  start_watcher 3
  # Both monitors' first frames, then a key.
  frames_on Meta-0 1280x720 20 && frames_on Meta-1 1280x720 20
  surface_frames "$work/err" | awk -v t="$last_input" '$4 > 0 {d = $6 - t; if (d > m) m = d} END {printf "%.0f\n", m}' >>"$work/delays"
  saver_of_watcher 1
  saver=$saver_pid
  sleep 1
  start=$(date +%s%N)
  gnome key 30
  while kill -0 "$saver" 2>/dev/null; do sleep 0.002; done
  echo $((($(date +%s%N) - start) / 1000000)) >>"$work/ends"
  kill "$idle_pid"
  wait "$idle_pid"
  sleep 1
done
echo "idle for 3 s: the saver's first frame on both monitors $(median <"$work/delays") ms after the last input (runs: $(tr '\n' ' ' <"$work/delays"))"
echo "a key: the saver ended after $(median <"$work/ends") ms (runs: $(tr '\n' ' ' <"$work/ends"))"
