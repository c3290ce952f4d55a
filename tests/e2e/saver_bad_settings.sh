#!/usr/bin/env bash
# Settings files a user or a crash may leave behind: 10 MB of random bytes, a NUL in a value
# name, a value of 9 hex digits. The saver reads the defaults (trails and clock on), draws, and
# ends normally on a key; the file is left as it was.
# Usage: saver_bad_settings.sh <tundrel> <x_probe>
set -u
saver="$1" probe="$2"
source "$(dirname "$0")/saver_common.sh"

store="$XDG_CONFIG_HOME/Ombrix/Tundrel.reg"
header='Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\Ombrix\\Tundrel]\n'
mkdir -p "$(dirname "$store")"

start_xvfb 640x480x24
for case in random nul nine; do
  case "$case" in
    random) head -c 10M /dev/urandom >"$store" ;;
    nul) printf "$header"'"Show\0Trail"=dword:00000000\n"ShowTime"=dword:00000000\n' >"$store" ;;
    nine) printf "$header"'"ShowTrail"=dword:000000000\n"ShowTime"=dword:00000000\n' >"$store" ;;
  esac
  cp "$store" "$work/before"
  launch /s
  win=$(main_window "$saver_pid" 10)
  check "$case: the saver opens its window" test -n "$win"
  [ -n "$win" ] && check "$case: and draws" await_lit "$win" 10
  xdotool key a
  await_exit "$saver_pid" 10
  check "$case: a key ends it with status 0 (got $exit_status)" test "$exit_status" = 0
  check "$case: nothing on stderr" test ! -s "$work/err"
  check "$case: the settings file is untouched" cmp -s "$store" "$work/before"
done

finish
