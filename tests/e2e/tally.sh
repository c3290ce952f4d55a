# The pass/fail tally of the end-to-end scripts: source it, call check for every expectation,
# and end with the line "N passed, M failed".
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
