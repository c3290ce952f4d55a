# The Debian/Ubuntu packages of the README's two commands and their installation with apt-get,
# sourced by run.sh (run_packages only) and test.sh (every list). apt's whole output goes to
# $apt_log; a failure says in a few lines which packages, apt's reason and what to do.

# Building and running the saver on Linux: the compilers, the X11, Wayland, OpenGL, GLU, EGL,
# GTK 3, FreeType, fontconfig and libpng libraries, the clock's font, the settings dialog's
# icons and Mesa's drivers (the offscreen snapshot draws with them where there is no display).
run_packages=(
  build-essential cmake pkg-config
  libfreetype-dev libfontconfig1-dev fonts-dejavu-core libpng-dev
  libx11-dev libxext-dev libxrandr-dev libxinerama-dev libgtk-3-dev adwaita-icon-theme
  libgl1-mesa-dev libglu1-mesa-dev libegl-dev libegl-mesa0 libgl1-mesa-dri
  libwayland-dev wayland-protocols libxkbcommon-dev
)
# The other builds of the tests: GoogleTest and Google Benchmark, clang for the fuzz targets and
# the sanitizers, and the Windows build: cross compilers and the test framework's sources; the
# installer (NSIS), its icon and pictures, drawn from SVG and written as ICO and BMP.
build_packages=(
  libgtest-dev libbenchmark-dev clang libclang-rt-14-dev nsis
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 googletest librsvg2-bin icoutils netpbm
)
# What only the tests run; they install in the background while the builds compile.
test_packages=(
  xvfb xdotool x11-utils x11-xserver-utils x11-xkb-utils xkb-data picom icewm openbox python3
  libfaketime valgrind xscreensaver lintian dpkg-dev passwd man-db gnuplot-nox file
  sway swayidle grim wtype
  # The other Wayland desktops: weston, whose screenshots netpbm (above) reads, and mutter, which
  # runs in a D-Bus session of its own.
  weston mutter dbus-daemon
  # KWin for the fractional scales, with a session bus for its screenshots.
  kwin-wayland dbus python3-dbus
  # GNOME's idle watcher on mutter: stand-ins for the session's services and a GTK window of
  # another program's.
  python3-gi gir1.2-gtk-3.0
  # MATE's screensaver, with the tools that set its theme and check the saver's entry.
  mate-screensaver libglib2.0-bin desktop-file-utils
)
# Wine (32-bit from the i386 architecture) with its recommended packages, which bring the Mesa
# drivers and X libraries its OpenGL needs.
wine_packages=(wine wine32:i386 wine64)

apt_log="${apt_log:-build/apt-get.log}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
# The lists apt-get update could not fetch, for the message of a failed installation.
apt_failed_lists=""

missing_from() {  # the names of the list that are not installed
  local p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || echo "$p"
  done
}

# apt_run <apt-get arguments...>: apt-get without questions, its output added to $apt_log and
# kept in apt_output; waits up to 10 minutes for another apt or dpkg to finish.
apt_run() {
  mkdir -p "$(dirname "$apt_log")"
  local status=0
  apt_output="$($sudo env DEBIAN_FRONTEND=noninteractive \
    apt-get -o DPkg::Lock::Timeout=600 "$@" 2>&1)" || status=$?
  printf '==== apt-get %s\n%s\n' "$*" "$apt_output" >>"$apt_log"
  return "$status"
}

# apt_update: the package lists (the command ends where there is no apt-get). One that does not come (a mirror in the middle of its sync says
# "File has unexpected size") is asked for again after a pause, twice at most; then the
# installation goes on with the lists that came, and one line says which did not.
apt_update() {
  if ! command -v apt-get >/dev/null; then
    echo "No apt-get here: the packages above are Debian's and Ubuntu's; install them (or your" \
      "system's equivalents) yourself, then run this command again." >&2
    exit 1
  fi
  local attempt status
  for attempt in 1 2 3; do
    status=0
    apt_run update -qq || status=$?
    if [ "$status" -eq 0 ]; then return 0; fi
    if [ "$attempt" -lt 3 ]; then sleep 10; fi
  done
  apt_failed_lists="$(sed -n 's|^[EW]: Failed to fetch \([^ ]*\).*|\1|p' <<<"$apt_output" |
    sed 's|.*/dists/||; s|/[^/]*$||' | sort -u | paste -sd' ')"
  if [ -n "$apt_failed_lists" ]; then
    echo "apt-get update could not fetch the package lists $apt_failed_lists (out of step on" \
      "the mirror?): the installation goes on without them."
  else
    echo "apt-get update failed ($(grep -m1 '^E: ' <<<"$apt_output" || echo "status $status"))," \
      "the installation goes on with the package lists this machine has."
  fi
}

# apt_install [--with-recommends] [--simulate] <packages...>: installs them (or only checks that
# apt can, without a lock); when apt cannot, says why in a few lines and returns 1.
apt_install() {
  local options=(-y -q) recommends=--no-install-recommends
  while [ "$#" -gt 0 ]; do
    case "$1" in
      --with-recommends) recommends="" ;;
      --simulate) options+=(--simulate) ;;
      *) break ;;
    esac
    shift
  done
  [ "$#" -gt 0 ] || return 0
  if apt_run install "${options[@]}" $recommends "$@"; then return 0; fi
  # apt's verdict (its E: lines, which end its output) first, then the first unmet dependencies.
  local depends
  depends="$(grep -E 'Depends: .* but ' <<<"$apt_output")"
  {
    echo "These packages could not be installed: $*"
    grep '^E: ' <<<"$apt_output" | sed 's/^/  /'
    if [ -n "$depends" ]; then head -n 8 <<<"$depends" | sed 's/^/  /'; fi
    if [ "$(wc -l <<<"$depends")" -gt 8 ]; then
      echo "  ... (apt's whole output: $apt_log)"
    fi
    if [ -n "$apt_failed_lists" ]; then
      echo "The package lists $apt_failed_lists did not come: run \`${sudo:+sudo }apt-get update\`" \
        "again later (a mirror catches up within a day or so), then this command."
    else
      echo "Run \`${sudo:+sudo }apt-get update\` and then this command again."
    fi
    if [[ " $* " == *:i386\ * ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
      echo "This machine has no i386 architecture, which the 32-bit Wine comes from:" \
        "\`${sudo:+sudo }dpkg --add-architecture i386\` adds it."
    fi
  } >&2
  return 1
}
