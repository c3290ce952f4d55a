#!/usr/bin/env bash
# tundrel-sim's command line: the report format, determinism by seed, and bad input refused
# with status 2 and a usage message; given the 600 s reports of seeds 2 and 7 that
# sim_reference.sh made with this program, the same runs on other maths-library variants.
# Usage: tundrel_sim_cli.sh <tundrel-sim> [folder of sim_reference.sh's reports]
set -u
sim="$1" reference="${2:-}"
source "$(dirname "${BASH_SOURCE[0]}")/tally.sh"

# The second run also writes the table of --csv, which leaves its report lines as they are.
csv="$(mktemp)"
out1=$("$sim" --seed 7 --seconds 120 --report 30) || { echo "FAIL: run exited $?"; exit 1; }
out2=$("$sim" --seed 7 --seconds 120 --report 30 --csv "$csv")
out3=$("$sim" --seed 8 --seconds 120 --report 30)
line='^t=[0-9]+\.[0-9]{3} trees=[0-9]+ herbivores=[0-9]+ predators=[0-9]+ units=[0-9]+ trail_index=[0-9]+ airborne=[0-9]+ hash=[0-9a-f]{16}$'
check "five report lines for 120 s every 30 s" test "$(echo "$out1" | wc -l)" -eq 5
check "every line has the report format" test "$(echo "$out1" | grep -Ecv "$line")" -eq 0
check "the lines are at 0, 30, 60, 90 and 120 s" test "$(echo "$out1" | cut -d' ' -f1 | tr '\n' ' ')" = "t=0.000 t=30.000 t=60.000 t=90.000 t=120.000 "
check "trees stay 251" test "$(echo "$out1" | grep -c ' trees=251 ')" -eq 5
check "the same seed gives the same lines" test "$out1" = "$out2"
check "another seed gives other hashes" test "$(echo "$out1" | tail -1 | sed 's/.*hash=//')" != "$(echo "$out3" | tail -1 | sed 's/.*hash=//')"
check "a run that ends between reports prints the end" test "$("$sim" --seconds 25 --report 10 | cut -d' ' -f1 | tr '\n' ' ')" = "t=0.000 t=10.000 t=20.000 t=25.000 "

# One seed gives one world whichever variants of the C maths library the CPU selects: the world
# computes its sines and arctangents itself. (The sanitizer build leaves this out: those runs
# take the reference runs' very paths through the code.)
for seed in ${reference:+2 7}; do
  lines=$(cat "$reference/seed$seed.txt")
  check "seed $seed: the same lines without the FMA variants of the maths library" \
    test "$(GLIBC_TUNABLES=glibc.cpu.hwcaps=-FMA,-AVX2 "$sim" --seed $seed --seconds 600 --report 60)" = "$lines"
done

"$sim" --seconds 1 --dt 0.25 --report 0.25 >/dev/null
check "the longest step the world takes is accepted" test $? -eq 0

for bad in "--bogus" "--seed" "--seed x" "--seed -1" "--seconds 0" "--seconds -5" "--dt 0" \
           "--dt -0.1" "--dt nan" "--report 1e999" "--seconds 10abc" "--size 10x10" "--no-clock" \
           "--png /tmp/x.png --size 0x10" "--png /tmp/x.png --size 10" "--png" \
           "--seconds 1e300" "--seconds 10000001" "--dt 0.26" "--dt 86400" "--report 1e-15" \
           "--dt 0.1 --report 0.05" "--seconds 1e7 --dt 1e-9 --report 1" "--csv"; do
  # shellcheck disable=SC2086
  err=$("$sim" $bad 2>&1 >/dev/null); status=$?
  check "'$bad' exits with status 2" test "$status" -eq 2
  check "'$bad' prints the usage" grep -q '^usage: tundrel-sim' <<<"$err"
done

# --help, and the table of --csv: a header and a row a report line, the same numbers.
check "--help: status 0 and every option" \
  bash -c "set -o pipefail; '$sim' --help | grep -c -- '^  --' | grep -qx 10"
check "--csv: a header and five rows" test "$(wc -l <"$csv")" -eq 6
check "--csv: the report's numbers" test "$(sed -n 6p "$csv")" = "$(echo "$out1" | tail -1 |
  sed -E 's/t=([^ ]*) trees=([^ ]*) herbivores=([^ ]*) predators=([^ ]*) units=[^ ]* trail_index=([^ ]*) airborne=([^ ]*) .*/\1,\2,\3,\4,\6,\5/')"
if command -v gnuplot >/dev/null; then
  gnuplot -e "csv='$csv'; png='$csv.png'" "$(dirname "$0")/../../tools/populations.gp"
  check "gnuplot draws the table as a PNG" bash -c "file '$csv.png' | grep -q 'PNG image data, 1000 x 460'"
fi
# A run that cannot start (Mesa finds no driver for the offscreen renderer) leaves the table of
# an earlier run as it was, and no temporary file beside it.
echo "an earlier table" >"$csv"
LIBGL_DRIVERS_PATH=/nonexistent "$sim" --seconds 1 --csv "$csv" --png "$csv.png" >/dev/null 2>&1
status=$?
check "a run whose renderer cannot start exits with status 1 and keeps the old table" \
  test "$status" -eq 1 -a "$(cat "$csv")" = "an earlier table" -a \
  -z "$(find "$(dirname "$csv")" -maxdepth 1 -name ".$(basename "$csv").tmp-*")"
rm -f "$csv" "$csv.png"
err=$("$sim" --seconds 600 --csv /nonexistent-folder/x.csv 2>&1 >/dev/null); status=$?
check "an unwritable --csv path exits with status 2 and says so" \
  test "$status" -eq 2 -a -n "$(grep 'cannot write /nonexistent-folder/x.csv' <<<"$err")"
err=$("$sim" --seconds 60 --csv /dev/full 2>&1 >/dev/null); status=$?
check "a table cut short by a full disk exits with status 2 and says why" \
  test "$status" -eq 2 -a -n "$(grep 'cannot write /dev/full: No space left on device' <<<"$err")"

# A snapshot into a folder that does not exist is refused before the run, with a reason.
err=$("$sim" --seconds 600 --png /nonexistent-folder/x.png 2>&1 >/dev/null); status=$?
check "an unwritable --png path exits with status 2" test "$status" -eq 2
check "  ... and says it cannot write it" grep -q 'cannot write /nonexistent-folder/x.png' <<<"$err"

echo "$pass passed, $fails failed"
test "$fails" -eq 0
