#!/usr/bin/env bash
# tundrel-<version>-setup.exe under Wine, silent, as administrators deploy it: a failed install
# changes nothing; an install puts the prefix's own build, with its icon, into System32 with its
# Add/Remove Programs entry, and /MAKECURRENT makes it the screen saver; the installed file draws;
# /WALLPAPER writes the live wallpaper's start at logon and starts it; the uninstall ends it and
# removes it all, gives back the previous screen saver and keeps the user's settings. Then its
# pages at 96 and 144 pixels per inch: Tundrel's pictures, drawn for each.
# Usage: wine_installer.sh TUNDREL_SCR PROBE_EXE SETUP_EXE (TUNDREL_SCR: the build the prefix's
# Windows should get; a win32 prefix is 32-bit Windows, a win64 prefix 64-bit Windows)
source "$(dirname "$0")/wine_common.sh"

SETUP="$(readlink -f "${3:-}")"
if [ ! -f "$SETUP" ]; then
  echo "missing ${3:-SETUP_EXE}: build the package target of the Windows trees first" >&2
  exit 1
fi
version=$(basename "$SETUP" | sed -n 's/^tundrel-\(.*\)-setup\.exe$/\1/p')

readonly DESKTOP='HKCU\Control Panel\Desktop'
readonly UNINSTALL='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Tundrel'
readonly PREVIOUS='C:\windows\system32\previous.scr'
# System32 of either prefix: a win64 prefix's 64-bit folder, where the 64-bit build belongs.
installed="$WINEPREFIX/drive_c/windows/system32/tundrel.scr"
folder="$WINEPREFIX/drive_c/Program Files/Tundrel"

# `wine` starts a 32-bit reg and the 32-bit loader, which see HKLM\Software and System32 through
# WOW64's redirection; in a win64 prefix the 64-bit view and loader see the native ones, as the
# 64-bit Windows' own programs (Add/Remove Programs, the screen saver's start) do.
native_wine=wine
view=()
if [ "$WINEARCH" = win64 ]; then
  native_wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
  view=(/reg:64)
fi
entry_value() { reg_value "$1" "$UNINSTALL" "${view[@]}"; }

install() { timeout 120 wine "$SETUP" /S "$@" >/dev/null 2>&1; }
reg_add() { timeout 60 wine reg add "$1" /v "$2" /t REG_SZ /d "$3" /f >/dev/null 2>&1; }
# Case-insensitive, as Windows compares paths.
same_path() { test "${1,,}" = "${2,,}"; }

reg_add "$DESKTOP" SCRNSAVE.EXE "$PREVIOUS"
reg_set ShowTime REG_DWORD 0

# A folder where the saver goes cannot be replaced, as a saver that is running cannot.
mkdir "$installed"
install /MAKECURRENT
status=$?
check "a failed install exits with a non-zero status ($status)" test "$status" -ne 0
check "... leaves the screen saver as it was" \
  test "$(reg_value SCRNSAVE.EXE "$DESKTOP")" = "REG_SZ $PREVIOUS"
check "... writes no uninstall entry" test "$(entry_value DisplayName)" = missing
check "... and no files" test ! -e "$installed.new" -a ! -e "$folder"
rmdir "$installed"

install
status=$?
check "a silent install exits with status 0" test "$status" = 0
# The installer holds stripped copies: the machine field tells which build it chose.
check "... puts this Windows' build into System32" \
  test "$(pe_machine "$installed" 2>&1)" = "$(pe_machine "$SAVER")"
if [ "$WINEARCH" = win64 ]; then
  check "... and nothing into SysWOW64" test ! -e "$WINEPREFIX/drive_c/windows/syswow64/tundrel.scr"
fi
# Its first icon is the one Explorer and the Screen Saver Settings show (icotool reads a file,
# not a pipe, where the 256-pixel image is a PNG).
wrestool -x --type=14 -o "$WINEPREFIX/first.ico" "$installed" 2>/dev/null
sizes=$(icotool -l "$WINEPREFIX/first.ico" 2>&1 | sed -n 's/.*--width=\([0-9]*\).*/\1/p' | xargs)
check "the installed saver's first icon has the sizes 16 to 256 ($sizes)" \
  test "$sizes" = "16 20 24 28 32 40 48 56 64 80 256"
check "... leaves the screen saver alone without /MAKECURRENT" \
  test "$(reg_value SCRNSAVE.EXE "$DESKTOP")" = "REG_SZ $PREVIOUS"
entry="$(entry_value DisplayName)|$(entry_value DisplayVersion)"
entry+="|$(entry_value Publisher)"
check "the uninstall entry: name, version, publisher ($entry)" \
  test "$entry" = "REG_SZ Tundrel screen saver|REG_SZ $version|REG_SZ Ombrix"
uninstaller='C:\Program Files\Tundrel\uninstall.exe'
check "... its icon, the saver's first ($(entry_value DisplayIcon))" \
  same_path "$(entry_value DisplayIcon)" 'REG_SZ C:\windows\system32\tundrel.scr,0'
check "... and the commands that uninstall" test \
  "$(entry_value UninstallString)|$(entry_value QuietUninstallString)" = \
  "REG_SZ \"$uninstaller\"|REG_SZ \"$uninstaller\" /S"
check "... whose program is there" test -f "$folder/uninstall.exe"

# Twice: the second install must not remember Tundrel itself as the saver to give back.
install /MAKECURRENT && install /MAKECURRENT
status=$?
current=$(reg_value SCRNSAVE.EXE "$DESKTOP")
check "/MAKECURRENT, twice, exits with status 0" test "$status" = 0
check "... and makes it the screen saver ($current)" \
  same_path "$current" 'REG_SZ C:\windows\system32\tundrel.scr'

timeout 120 "$native_wine" 'C:\windows\system32\tundrel.scr' /s >/dev/null 2>&1 &
SAVER_PID=$!
probe wait-title ScreenSaver 20 >/dev/null
sleep 3
lit=$(probe lit 0 0 1280 720)
check "the installed saver draws with /s" test "${lit:-0}" -gt 1000
stop_saver

# In the probe's stand-in desktop, as Wine has none.
start_desktop new
install /WALLPAPER
check "/WALLPAPER writes the live wallpaper's start at logon ($(run_value))" \
  same_path "$(run_value)" 'REG_SZ "C:\windows\system32\tundrel.scr" /w'
check "... and starts it" probe wait-title "Tundrel wallpaper" 20

# The uninstaller copies itself to the temporary folder, starts that copy and returns at once
# (unless given _?=<folder>, which would keep it from deleting itself): the uninstall is
# complete when the folder, removed last, is gone.
timeout 60 wine "$uninstaller" /S >/dev/null 2>&1
for _ in $(seq 120); do
  [ -e "$folder" ] || break
  sleep 0.5
done
check "a silent uninstall removes the folder" test ! -e "$folder"
check "... and the saver" test ! -e "$installed"
check "... and the uninstall entry" test "$(entry_value DisplayName)" = missing
check "... gives back the previous screen saver" \
  test "$(reg_value SCRNSAVE.EXE "$DESKTOP")" = "REG_SZ $PREVIOUS"
check "... and keeps the user's settings" test "$(reg_value ShowTime)" = "REG_DWORD 0x0"
check "... ends the live wallpaper and its start at logon" \
  test "$(probe gone "Tundrel wallpaper" 0)|$(run_value)" = "Tundrel wallpaper gone|"
end_desktop

# The pages at 96 and 144 pixels per inch: the setup puts the welcome and finish pages' picture
# and the header's, drawn for that density, in its plug-in folder (as BMP files), and the welcome
# page shows the night scene, fewer than half of its pixels lit, where NSIS's own picture is blue
# all over and a missing one the page's white. Escape and Enter (Yes) cancel it.
bmp_size() { od -An -t d4 -j 18 -N 8 "$1" 2>/dev/null | xargs | tr ' ' x; }
mostly_dark() {
  [[ "$1" =~ ^([0-9]+)x([0-9]+)\ lit=([0-9]+)$ ]] && [ "${BASH_REMATCH[3]}" -gt 0 ] &&
    [ $((2 * BASH_REMATCH[3])) -lt $((BASH_REMATCH[1] * BASH_REMATCH[2])) ]
}
temp=("$WINEPREFIX"/drive_c/users/*/Temp)
for pictures in "96 164x314 150x57" "144 246x471 225x86"; do
  read -r dpi wizard header <<<"$pictures"
  set_dpi "$dpi"
  rm -rf "${temp[0]}"/ns*.tmp
  timeout 120 wine "$SETUP" >/dev/null 2>&1 &
  SAVER_PID=$!
  probe wait-title "Tundrel Setup" 30 >/dev/null
  # Until the page has drawn its picture, on a busy machine a while after its window came.
  for _ in $(seq 20); do
    sleep 0.5
    picture=$(probe picture "Tundrel Setup")
    mostly_dark "$picture" && break
  done
  folder=$(dirname "${temp[0]}"/ns*.tmp/modern-wizard.bmp)
  shown="$(bmp_size "$folder/modern-wizard.bmp") $(bmp_size "$folder/modern-header.bmp")"
  check "at $dpi pixels per inch the pages' pictures are those drawn for it ($shown)" \
    test "$shown" = "$wizard $header"
  check "... and the welcome page shows the night scene ($picture)" mostly_dark "$picture"
  probe key 27 >/dev/null
  sleep 1
  probe key 13 >/dev/null
  saver_exit 10
  stop_saver
done

finish
