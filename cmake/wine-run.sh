#!/usr/bin/env bash
# Runs a cross-built Windows program under Wine: wine-run.sh PROGRAM.exe [ARGS...]
# "wine-run.sh --prepare" only makes sure the prefix exists (WINEPREFIX must be set).
# The Wine prefix lives in the build folder (the nearest folder above the program that
# holds CMakeCache.txt), is created on first use and shared by later runs; WINEPREFIX
# in the environment overrides it.
set -euo pipefail

wine=${REZURUDEV_WINE:-}
if [ -z "$wine" ]; then
  if command -v wine64 >/dev/null 2>&1; then wine=$(command -v wine64)
  elif [ -x /usr/lib/wine/wine64 ]; then wine=/usr/lib/wine/wine64
  elif command -v wine >/dev/null 2>&1; then wine=$(command -v wine)
  else echo "wine-run.sh: no wine64 found" >&2; exit 127
  fi
fi

prepare_only=0
if [ "${1:-}" = --prepare ]; then prepare_only=1; fi

if [ -z "${WINEPREFIX:-}" ]; then
  dir=$(cd "$(dirname "$1")" && pwd)
  while [ "$dir" != / ] && [ ! -f "$dir/CMakeCache.txt" ]; do dir=$(dirname "$dir"); done
  if [ "$dir" = / ]; then dir=$(pwd); fi
  export WINEPREFIX="$dir/wineprefix"
fi
export WINEDEBUG=${WINEDEBUG:--all}
# No Mono or Gecko installers: our programs need neither, and their prompts would hang.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
export WINEARCH=win64

# Tests run in parallel; only the first run creates the prefix, the others wait for it.
mkdir -p "$(dirname "$WINEPREFIX")"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  (
    flock 9
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
      "$wine" wineboot -i >/dev/null 2>&1 || true
      "$(dirname "$wine")/wineserver" -w 2>/dev/null || wineserver -w 2>/dev/null || true
    fi
  ) 9>"$WINEPREFIX.lock"
fi

if [ "$prepare_only" = 1 ]; then exit 0; fi
exec "$wine" "$@"
