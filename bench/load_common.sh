# Sourced by the load scripts: the median of numbers, one a line, and what a process takes.
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
# process ($probe await) that polls its pixels. Writes in $work.
first_lit() {
  local area out="$work/await"
  read -ra area <<<"$1"
  shift
  "$probe" await "${area[0]}" 5 "${area[@]:1}" >"$out" 2>/dev/null &
  local poller=$!
  sleep 0.05
  "$@"
  wait "$poller" || echo 9999 >"$out"
  echo $(($(cat "$out") - 50))
}
