#!/usr/bin/env bash
# The Wine prefix of one architecture, made once per test run: each Wine script starts from a
# copy of it (wine_common.sh) instead of making its own, which takes wineboot a long while.
# Usage: wine_prefix.sh TUNDREL_SCR PROBE_EXE PREFIX_DIR
unset TUNDREL_WINE_PREFIX  # made here the long way
source "$(dirname "$0")/wine_common.sh"

TEMPLATE="${3:?usage: $0 TUNDREL_SCR PROBE_EXE PREFIX_DIR}"
# The server writes the registry files when it ends; only then is the prefix complete.
timeout 60 wineserver -k
timeout 60 wineserver -w
rm -rf "$TEMPLATE" "$TEMPLATE.new"
check "the prefix is copied" cp -a "$WINEPREFIX" "$TEMPLATE.new"
check "... with its registry" test -s "$TEMPLATE.new/system.reg" -a -s "$TEMPLATE.new/user.reg"
[ "$FAILED" -eq 0 ] && mv "$TEMPLATE.new" "$TEMPLATE"
finish
