# Shared by the saver's end-to-end scripts: a private Xvfb on a free display, the saver started
# in the background, bounded waits, and the pass/fail tally. Source it after setting
#   saver=<path of tundrel>  probe=<path of x_probe>
# Every wait here is bounded; the script's cleanup stops whatever it started.

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
for tool in Xvfb xdotool xprop setxkbmap; do
  command -v "$tool" >/dev/null || { echo "FAIL: $tool is not installed"; echo "0 passed, 1 failed"; exit 1; }
done

work="$(mktemp -d "${TMPDIR:-/tmp}/tundrel-saver-XXXXXX")"
export XDG_CONFIG_HOME="$work/config"
export LIBGL_ALWAYS_SOFTWARE=1
export LSAN_OPTIONS="suppressions=$here/../lsan_saver.supp:print_suppressions=0${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
unset XSCREENSAVER_WINDOW
xvfb_pids=()
started=()

cleanup() {
  local p
  for p in "${started[@]}"; do kill -9 "$p" 2>/dev/null; done
  for p in "${started[@]}"; do wait "$p" 2>/dev/null; done
  for p in "${xvfb_pids[@]}"; do kill "$p" 2>/dev/null; wait "$p" 2>/dev/null; done
  rm -rf "$work"
}
trap cleanup EXIT

source "$(dirname "${BASH_SOURCE[0]}")/tally.sh"

finish() {
  echo "$pass passed, $fails failed"
  [ "$fails" -eq 0 ]
  exit $?
}

# start_xvfb <WxHxD> [Xvfb options...]: a new server; sets DISPLAY and xvfb_pid.
start_xvfb() {
  local screen="$1"; shift
  local file="$work/display.$RANDOM"
  # -displayfd: Xvfb picks a free display itself. -noreset: no reset when the last client goes.
  Xvfb -displayfd 3 -noreset -screen 0 "$screen" -nolisten tcp "$@" 3>"$file" 2>>"$work/xvfb.log" &
  xvfb_pid=$!
  xvfb_pids+=("$xvfb_pid")
  for _ in $(seq 100); do [ -s "$file" ] && break; sleep 0.1; done
  if [ ! -s "$file" ]; then
    echo "FAIL: Xvfb did not start"; cat "$work/xvfb.log"; echo "0 passed, 1 failed"; exit 1
  fi
  export DISPLAY=":$(head -n1 "$file")"
}

# launch <args...>: starts the saver in the background; pid in saver_pid, stderr in $work/err.
launch() {
  "$saver" "$@" 2>"$work/err" &
  saver_pid=$!
  started+=("$saver_pid")
}

# await_exit_ms <pid> <ms>: like await_exit, polling every 20 ms; exit_ms is the time taken.
await_exit_ms() {
  local pid="$1" limit="$2" start now
  start=$(date +%s%N)
  exit_status="running"
  while :; do
    if ! running "$pid"; then
      now=$(date +%s%N); exit_ms=$(( (now - start) / 1000000 ))
      wait "$pid"; exit_status=$?; return 0
    fi
    now=$(date +%s%N)
    if [ $(( (now - start) / 1000000 )) -gt "$limit" ]; then exit_ms=$limit; return 1; fi
    sleep 0.02
  done
}

# main_window <pid> <seconds>: the viewable window of that process, waiting for it; "" if none.
main_window() {
  local pid="$1" tenths=$(( $2 * 10 )) id
  for _ in $(seq "$tenths"); do
    id=$(xdotool search --onlyvisible --pid "$pid" 2>/dev/null | head -n1)
    if [ -n "$id" ]; then echo "$id"; return 0; fi
    sleep 0.1
  done
  return 1
}

# title <window>: its _NET_WM_NAME in UTF-8.
title() {
  LC_ALL=C.UTF-8 xprop -id "$1" _NET_WM_NAME 2>/dev/null | sed -n 's/^_NET_WM_NAME(UTF8_STRING) = "\(.*\)"$/\1/p'
}

# lit <window>: how many of its pixels are not black (empty when the window is gone).
lit() { "$probe" lit "$1" 2>/dev/null; }

# await_lit <window> <seconds>: waits until more than 1000 pixels are lit.
await_lit() {
  local tenths=$(( $2 * 10 )) n
  for _ in $(seq "$tenths"); do
    n=$(lit "$1")
    if [ -n "$n" ] && [ "$n" -gt 1000 ]; then return 0; fi
    sleep 0.1
  done
  return 1
}

# host_window <name> <W> <H> [X Y [dock]]: a window standing in for the host's (or a panel),
# driven through two FIFOs; sets <name>_id (decimal), <name>_hex and the descriptors <name>_in
# and <name>_out.
host_window() {
  local name="$1" line fd_in fd_out
  mkfifo "$work/$name.in" "$work/$name.out"
  "$probe" "${6:-window}" "$2" "$3" "${4:-0}" "${5:-0}" <"$work/$name.in" >"$work/$name.out" &
  started+=("$!")
  exec {fd_in}>"$work/$name.in"
  exec {fd_out}<"$work/$name.out"
  # Its first line comes once the window is mapped: on a busy machine, under a window manager
  # that is starting too, that can take many seconds, tens of them while every lane is busy.
  if ! read -r -t 60 line <&"$fd_out"; then
    echo "FAIL: the stand-in window $name did not appear"; echo "0 passed, 1 failed"; exit 1
  fi
  eval "${name}_in=$fd_in ${name}_out=$fd_out ${name}_id=${line%% *} ${name}_hex=${line##* }"
}

# tell <name> <command>: sends a command to a stand-in window and waits until it is done.
tell() {
  local in out reply
  eval "in=\$${1}_in out=\$${1}_out"
  echo "$2" >&"$in"
  read -r -t 10 reply <&"$out"
  [ "$reply" = "ok" ]
}

# one_line <file>: the file holds exactly one non-empty line.
one_line() { [ "$(grep -c . "$1")" -eq 1 ] && [ "$(wc -l <"$1")" -eq 1 ]; }
