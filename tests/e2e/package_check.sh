#!/usr/bin/env bash
# The Debian package: built by CPack in the build folder as tundrel_<version>_<arch>.deb, its
# control fields and contents read back with dpkg-deb, lintian's verdict when lintian is
# installed (errors fail, warnings and notes are listed), and, when run as root on a machine
# where no tundrel package is installed, `dpkg -i` puts the hack where XScreenSaver looks for it
# and `apt-get remove` takes every file away but the GNOME autostart entry, which a purge takes.
# Usage: package_check.sh <build folder>
set -u
build="$1"

skipped=0
source "$(dirname "${BASH_SOURCE[0]}")/tally.sh"
logged() {  # logged <file> <command...>: runs the command with its output in the file
  local log="$1"
  shift
  "$@" >"$log" 2>&1
}
give_up() {
  echo "FAIL: $1"
  echo "$pass passed, $((fails + 1)) failed"
  exit 1
}

for tool in dpkg-deb dpkg-shlibdeps cmake cpack man; do
  command -v "$tool" >/dev/null || give_up "$tool is not installed"
done

work="$(mktemp -d "${TMPDIR:-/tmp}/tundrel-package-XXXXXX")"
installed_here=0
cleanup() {
  # A package this script installed never stays behind, even when a check failed midway.
  if [ "$installed_here" -eq 1 ]; then dpkg --purge tundrel >/dev/null 2>&1; fi
  rm -rf "$work"
}
trap cleanup EXIT

version="$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' "$build/CPackConfig.cmake")"
arch="$(dpkg --print-architecture)"
deb="$build/tundrel_${version}_${arch}.deb"
rm -f "$deb"
cmake --build "$build" --target package >"$work/cpack.log" 2>&1 ||
  { tail -n 30 "$work/cpack.log"; give_up "the package target failed"; }
[ -s "$deb" ] || { ls "$build"/*.deb 2>/dev/null; give_up "no $(basename "$deb") was built"; }
echo "built $(basename "$deb")"

# ---- control fields ----
dpkg-deb --info "$deb" >"$work/info" || give_up "dpkg-deb --info cannot read the package"
cat "$work/info"
field() { sed -n "s/^ $1: //p" "$work/info"; }
check "Package is tundrel" test "$(field Package)" = tundrel
check "Version is the project's" test "$(field Version)" = "$version"
check "Architecture is the machine's" test "$(field Architecture)" = "$arch"
check "Recommends xscreensaver" test "$(field Recommends)" = xscreensaver
# Computed by dpkg-shlibdeps from the programs' libraries, with version bounds.
depends="$(field Depends)"
for library in libc6 libstdc++6 libx11-6 libfreetype6 libfontconfig1 libgtk-3-0 libpng16-16 \
  libglib2.0-0; do
  check "Depends names $library" grep -q "\(^\|, \)$library\( (\|,\|$\)" <<<"$depends"
done
check "Depends carries version bounds" grep -q "libc6 (>= " <<<"$depends"
check "Maintainer names an address" grep -q "<.*@.*>" <<<"$(field Maintainer)"

# ---- contents ----
dpkg-deb --contents "$deb" | awk '{print $1, $6}' >"$work/contents"  # a link's target left off
has() {  # has <mode prefix> <path>
  grep -q "^$1[^ ]* \./$2$" "$work/contents"
}
check "the saver is in XScreenSaver's hack folder" has -rwxr-xr-x usr/libexec/xscreensaver/tundrel
check "tundrel-sim is in /usr/bin" has -rwxr-xr-x usr/bin/tundrel-sim
check "the idle watcher is in /usr/bin" has -rwxr-xr-x usr/bin/tundrel-idle
check "the saver is on the PATH as /usr/bin/tundrel" has l usr/bin/tundrel
check "the settings dialog's module is packaged" has -rw-r--r-- usr/libexec/tundrel/tundrel-settings.so
for file in usr/share/xscreensaver/config/tundrel.xml usr/share/applications/tundrel.desktop \
  usr/share/icons/hicolor/scalable/apps/tundrel.svg usr/share/doc/tundrel/copyright \
  usr/share/doc/tundrel/README.md usr/share/doc/tundrel/changelog.gz \
  usr/share/man/man1/tundrel.1.gz usr/share/man/man1/tundrel-sim.1.gz \
  usr/share/man/man1/tundrel-idle.1.gz \
  usr/share/applications/screensavers/tundrel.desktop \
  etc/xdg/autostart/tundrel-idle.desktop; do
  check "$file is packaged" has -rw-r--r-- "$file"
done
check "nothing lies outside /usr but the autostart entry" \
  test -z "$(awk '$2 !~ /^\.\/(usr\/.*|etc\/(xdg\/(autostart\/(tundrel-idle\.desktop)?)?)?)?$/' "$work/contents")"
check "the autostart entry is a configuration file" \
  bash -c "dpkg-deb --ctrl-tarfile '$deb' | tar -xO ./conffiles | grep -qx /etc/xdg/autostart/tundrel-idle.desktop"

dpkg-deb -x "$deb" "$work/root"
check "the desktop entry runs the packaged saver with no arguments" \
  grep -qx "Exec=/usr/libexec/xscreensaver/tundrel" "$work/root/usr/share/applications/tundrel.desktop"
entry() { grep -qx "$1" "$work/root/$2"; }
check "MATE and Xfce run the packaged saver into their window" \
  entry "Exec=/usr/libexec/xscreensaver/tundrel --root" usr/share/applications/screensavers/tundrel.desktop
check "their entry is a screensaver's" \
  entry "Categories=Screensaver;" usr/share/applications/screensavers/tundrel.desktop
check "GNOME sessions start the packaged watcher" \
  entry "Exec=/usr/bin/tundrel-idle" etc/xdg/autostart/tundrel-idle.desktop
check "only GNOME sessions start it" entry "OnlyShowIn=GNOME;" etc/xdg/autostart/tundrel-idle.desktop
# Installed under a prefix with a blank, a '%' and a '$', the entries' Exec quotes the path, '%'
# doubled and '$' escaped (its backslash escaped again, as in any value), and TryExec names it.
odd="$work/odd prefix 100%\$"
logged "$work/odd.log" cmake --install "$build" --prefix "$odd"
check "a prefix with a blank, '%' and '\$' is one quoted argument of Exec" \
  grep -qxF "Exec=\"$work/odd prefix 100%%\\\\\$/libexec/xscreensaver/tundrel\" --root" \
  "$odd/share/applications/screensavers/tundrel.desktop"
check "... and TryExec is the path" \
  grep -qxF "TryExec=$odd/bin/tundrel-idle" "$odd/etc/xdg/autostart/tundrel-idle.desktop"
check "the changelog names this version" \
  grep -q "^tundrel ($version) " <(gzip -dc "$work/root/usr/share/doc/tundrel/changelog.gz")
for page in tundrel tundrel-sim tundrel-idle; do
  check "man reads the manual page of $page" \
    bash -c "MANWIDTH=80 man -l '$work/root/usr/share/man/man1/$page.1.gz' 2>&1 | grep -q '^NAME'"
done
# A link to the hack, which finds its companions from the file the link names.
check "/usr/bin/tundrel is the hack and runs --version" eval \
  '[ "$(readlink -f "$work/root/usr/bin/tundrel")" = "$(readlink -f "$work/root/usr/libexec/xscreensaver/tundrel")" ] &&
   logged "$work/version.log" "$work/root/usr/bin/tundrel" --version'
check "the packaged tundrel-sim runs" \
  logged "$work/sim.log" "$work/root/usr/bin/tundrel-sim" --seconds 1 --report 1

# ---- lintian ----
if command -v lintian >/dev/null; then
  lintian --pedantic --display-info "$deb" >"$work/lintian" 2>&1
  echo "lintian:"
  grep -E '^[EWIPX]: ' "$work/lintian" || echo "  (no tags)"
  check "lintian reports no errors" test -z "$(grep '^E: ' "$work/lintian")"
else
  echo "skipped: lintian is not installed"
  skipped=$((skipped + 1))
fi

# ---- install and removal on this machine ----
if [ "$(id -u)" -ne 0 ]; then
  echo "skipped: installing the package needs root"
  skipped=$((skipped + 1))
elif dpkg-query -W -f='${Status}' tundrel 2>/dev/null | grep -q 'ok installed'; then
  echo "skipped: a tundrel package is already installed here; it is left alone"
  skipped=$((skipped + 1))
else
  installed_here=1
  check "dpkg -i installs the package" logged "$work/dpkg.log" dpkg -i "$deb"
  # XScreenSaver puts its hack folder first on the PATH of the programs line.
  check "the daemon's PATH finds the saver" \
    test "$(PATH=/usr/libexec/xscreensaver:$PATH command -v tundrel)" = /usr/libexec/xscreensaver/tundrel
  check "the installed saver is the packaged one" \
    cmp -s /usr/libexec/xscreensaver/tundrel "$work/root/usr/libexec/xscreensaver/tundrel"
  DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq tundrel >"$work/remove.log" 2>&1
  check "apt-get remove keeps the autostart entry, a configuration file" \
    test -f /etc/xdg/autostart/tundrel-idle.desktop
  dpkg --purge tundrel >>"$work/remove.log" 2>&1
  check "apt-get remove uninstalls it" \
    test -z "$(dpkg-query -W -f='${Status}' tundrel 2>/dev/null | grep 'ok installed')"
  left=""
  while read -r _ path; do
    path="${path#.}"
    [ -f "$work/root$path" ] && [ -e "$path" ] && left="$left $path"
  done <"$work/contents"
  check "apt-get remove and a purge take every file away${left:+ (left:$left)}" test -z "$left"
fi

echo "$pass passed, $fails failed, $skipped skipped"
[ "$fails" -eq 0 ]
