#!/usr/bin/env bash
# ./run.sh's installation on a machine where nothing is installed and one package list is out of
# step, without a display: stand-ins on the PATH for apt-get (its update fails in part, as
# during a mirror's sync), dpkg-query (nothing installed), sudo, sleep and cmake record their
# calls, and the build folder holds this build's tundrel-sim, which makes the snapshot.
# Usage: run_install.sh <source folder> <tundrel-sim>
set -u
source_dir="$1" sim="$2"
source "$(dirname "${BASH_SOURCE[0]}")/tally.sh"
source "$source_dir/tools/packages.sh"

work="$(mktemp -d "${TMPDIR:-/tmp}/tundrel-run-XXXXXX")"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/bin" "$work/build/tools"
ln -s "$sim" "$work/build/tools/tundrel-sim"
stand_in() {  # stand_in <name> <shell lines after the call is recorded>
  printf '#!/bin/sh\necho "%s $*" >>"$CALLS"\n%s\n' "$1" "$2" >"$work/bin/$1"
  chmod +x "$work/bin/$1"
}
stand_in apt-get '
case " $* " in
  *" update "*)
    echo "E: Failed to fetch http://deb.debian.org/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz  File has unexpected size (374820 != 376004). Mirror sync in progress? [IP: 192.0.2.8 80]"
    echo "E: Some index files failed to download. They have been ignored, or old ones used instead."
    exit 100 ;;
  *" install "*)
    [ "$FAIL_INSTALL" = 1 ] || exit 0
    for i in 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 19 20; do echo "Reading package lists... $i"; done
    echo "The following packages have unmet dependencies:"
    echo " libgtk-3-dev : Depends: libgtk-3-0 (= 3.24.38-2~deb12u3) but 3.24.38-2~deb12u1 is to be installed"
    echo "E: Unable to correct problems, you have held broken packages."
    exit 100 ;;
esac'
stand_in dpkg-query 'exit 1'
stand_in dpkg ''
stand_in sudo 'exec "$@"'
stand_in sleep ''
stand_in cmake ''

run() {  # run <FAIL_INSTALL>: ./run.sh with the stand-ins; its output in out, its status in status
  : >"$work/calls"
  status=0
  out="$(env -u DISPLAY -u WAYLAND_DISPLAY PATH="$work/bin:$PATH" CALLS="$work/calls" \
    FAIL_INSTALL="$1" TUNDREL_BUILD_DIR="$work/build" "$source_dir/run.sh" 2>&1)" || status=$?
  calls="$(cat "$work/calls")"
}

run 0
check "./run.sh goes on past a package list out of step (status $status)" test "$status" -eq 0
check "apt-get update is tried three times, with a pause before each repetition" \
  test "$(grep -c '^apt-get .* update' <<<"$calls")" -eq 3 -a "$(grep -c '^sleep' <<<"$calls")" -eq 2
check "one line names the list that did not come and says the installation goes on" \
  test "$(grep -c 'bookworm-security/main/binary-i386.*goes on without' <<<"$out")" -eq 1
check "the saver's packages are installed in one apt-get call" \
  grep -qx "apt-get .* install -y -q --no-install-recommends ${run_packages[*]}" <<<"$calls"
others=0
for p in "${build_packages[@]}" "${test_packages[@]}" "${wine_packages[@]}"; do
  if grep '^apt-get .* install ' <<<"$calls" | grep -qw -- "$p"; then others=$((others + 1)); fi
done
check "nothing of the tests' lists is installed ($others of their packages were)" test "$others" -eq 0
check "the build leaves the tests and the benchmarks out" \
  grep -q '^cmake .*-DTUNDREL_BUILD_TESTS=OFF -DTUNDREL_BUILD_BENCH=OFF' <<<"$calls"
check "without a display it builds tundrel-sim only" \
  test "$(grep '^cmake --build' <<<"$calls" | sed 's/.*--target //')" = tundrel-sim
check "and ends with the scene's snapshot" \
  test "$(head -c 8 "$work/build/tundrel-snapshot.png" | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a
check "  ... whose path it gives" grep -q "snapshot of the scene to $work/build/tundrel-snapshot.png" <<<"$out"

run 1
check "a package that cannot be installed ends ./run.sh with status 1 (status $status)" \
  test "$status" -eq 1
check "  ... before the build" test -z "$(grep '^cmake' <<<"$calls")"
check "  ... saying which packages" grep -q "could not be installed: ${run_packages[*]}" <<<"$out"
check "  ... with apt's reason" grep -q '^  E: Unable to correct problems' <<<"$out"
check "  ... and its unmet dependency" grep -q '^   libgtk-3-dev : Depends: libgtk-3-0 .* but ' <<<"$out"
check "  ... and what to do" grep -q 'run `\(sudo \)\?apt-get update` again later' <<<"$out"
check "  ... in a few lines, not apt's whole output ($(wc -l <<<"$out") lines)" \
  test "$(wc -l <<<"$out")" -le 8 -a -z "$(grep 'Reading package lists' <<<"$out")"
check "  ... which is kept in the build folder" \
  test "$(grep -c 'Reading package lists' "$work/build/apt-get.log")" -eq 20

echo "$pass passed, $fails failed"
test "$fails" -eq 0
