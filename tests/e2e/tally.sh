# The pass/fail tally of the end-to-end scripts: source it, call check for every expectation,
# and end with the line "N passed, M failed". Also the waits for the processes a script started.
pass=0
fails=0

check() {  # check <description> <command...>
  local what="$1"
  shift
  if "$@"; then
    pass=$((pass + 1))
  else
    echo "FAIL: $what"
    fails=$((fails + 1))
  fi
}

# running <pid>: whether the process still runs.
running() { kill -0 "$1" 2>/dev/null; }

# ended <pid>: the process is gone or a zombie; never so for no pid at all.
ended() {
  [ -n "$1" ] || return 1
  local state
  state="$(sed -n 's/^State:\s*\(.\).*/\1/p' "/proc/$1/status" 2>/dev/null)"
  [ -z "$state" ] || [ "$state" = Z ]
}

# await_exit <pid> <seconds>: waits for the process; exit_status is its status, or "running".
await_exit() {
  local pid="$1" tenths=$(( $2 * 10 ))
  exit_status="running"
  for _ in $(seq "$tenths"); do
    if ! running "$pid"; then wait "$pid"; exit_status=$?; return 0; fi
    sleep 0.1
  done
  return 1
}
