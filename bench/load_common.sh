# Sourced by the load scripts: the median of numbers, one a line, what a process takes, how soon
# a window shows a frame, and a private Xvfb.
# median [decimals=1]
median() {
  sort -g | awk -v d="${1:-1}" '{v[NR] = $1} END {if (!NR) print "-"; else printf "%." d "f\n", NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'
}
# load <pid> <seconds>: "<% of a core> <wake-ups a second>" of the process and all its threads.
load() {
  local pid="$1" span="$2" t0 w0 n0 t1 w1 n1
  wakes() { cat /proc/"$pid"/task/*/status 2>/dev/null | awk '/^voluntary_ctxt/ {s += $2} END {print s}'; }
  t0=$(awk '{print $14 + $15}' "/proc/$pid/stat") w0=$(wakes) n0=$(date +%s%N)
  sleep "$span"
  t1=$(awk '{print $14 + $15}' "/proc/$pid/stat") w1=$(wakes) n1=$(date +%s%N)
  awk -v t=$((t1 - t0)) -v hz="$(getconf CLK_TCK)" -v w=$((w1 - w0)) -v ns=$((n1 - n0)) \
    'BEGIN {printf "%.3f %.2f\n", 100 * t / hz / (ns / 1e9), w / (ns / 1e9)}'
}
# first_lit "<window> [X Y W H]" <command...>: the milliseconds from the command (that lets the
# window be seen) to the first lit frame in the window (or that rectangle of it), read by one
# process ($probe await) that polls its pixels; 9999 after 5 s without. Writes in $work.
first_lit() {
  local area out="$work/await"
  read -ra area <<<"$1"
  shift
  "$probe" await "${area[0]}" 5 "${area[@]:1}" >"$out" 2>/dev/null &
  local poller=$!
  sleep 0.05
  "$@"
  if wait "$poller"; then echo $(($(cat "$out") - 50)); else echo 9999; fi
}
# Scripts that source this list what they start in pids; stop_started ends those and removes $work.
pids=()
stop_started() {
  local p
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
  for p in "${pids[@]}"; do wait "$p" 2>/dev/null; done
  rm -rf "$work"
}
# xvfb <WxH>: a private Xvfb of that size, listed in pids; sets DISPLAY.
xvfb() {
  Xvfb -displayfd 3 -noreset -screen 0 "${1}x24" -nolisten tcp 3>"$work/display" 2>/dev/null &
  pids+=("$!")
  for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
  export DISPLAY=":$(head -n1 "$work/display")"
  : >"$work/display"
}
window_of() {  # window_of <pid>: its main window, once shown
  for _ in $(seq 100); do
    xdotool search --onlyvisible --pid "$1" 2>/dev/null | head -n1 | grep . && return
    sleep 0.1
  done
}
