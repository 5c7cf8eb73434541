#!/bin/sh
# Runs a Windows program of the build under Wine, in the build tree's own
# prefix (beside the program, in wineprefix/).
#
#   wine-run.sh PROGRAM [ARGS...]   run PROGRAM, starting the prefix if needed
#   wine-run.sh --start BUILD_DIR   start the prefix and its persistent server
#   wine-run.sh --stop BUILD_DIR    end that server
#
# A 32-bit program runs in a 32-bit prefix through the i386 loader, a 64-bit
# one in a 64-bit prefix through the 64-bit loader; a build folder is of the
# kind of the Rotavue.dll in it. The loaders are called by their own paths:
# Debian's `wine` picks the i386 one whenever it is installed, even where the
# kernel cannot run it.
#
# The persistent server is started before anything else, with its output and
# that of the services it starts sent to /dev/null: a service that inherited
# a test runner's output pipe would keep the runner waiting forever.
set -eu

prefix_for() { printf '%s/wineprefix' "$(cd "$1" && pwd)"; }

# Sets WINEARCH and WINELOADER for a PE file, or for a folder by its
# Rotavue.dll, from the PE header: at the offset stored at byte 60, the
# signature "PE\0\0" and the machine, 0x014c for i386, 0x8664 for x86-64.
select_wine() {
  file=$1
  [ ! -d "$file" ] || file=$file/Rotavue.dll
  header=$(od -An -tu4 -j60 -N4 "$file" 2>/dev/null | tr -d ' ') || header=
  machine=$(od -An -tx2 -j"${header:-0}" -N6 "$file" 2>/dev/null | tr -d ' ') || machine=
  case "$machine" in
    455000008664) export WINEARCH=win64 WINELOADER=/usr/lib/wine/wine64 ;;
    45500000014c) export WINEARCH=win32 WINELOADER=/usr/lib/wine/wine ;;
    *)
      echo "wine-run.sh: $file is no Windows program or DLL (a build folder is told by its Rotavue.dll)" >&2
      exit 126
      ;;
  esac
}

# `wineserver -p` answers 0 when it started a new server for the prefix and
# 2 when one was already running. A new server gets its services booted at
# once, while every output still goes to /dev/null.
start_prefix() {
  mkdir -p "$WINEPREFIX"
  status=0
  wineserver -p >/dev/null 2>&1 </dev/null || status=$?
  if [ "$status" -ne 2 ] || [ ! -f "$WINEPREFIX/system.reg" ]; then
    "$WINELOADER" wineboot -i >/dev/null 2>&1 </dev/null || true
  fi
}

export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="

case "${1:-}" in
  --start)
    select_wine "$2"
    export WINEPREFIX="${WINEPREFIX:-$(prefix_for "$2")}"
    start_prefix
    ;;
  --stop)
    export WINEPREFIX="${WINEPREFIX:-$(prefix_for "$2")}"
    wineserver -k >/dev/null 2>&1 </dev/null || true
    ;;
  *)
    program=$1
    shift
    select_wine "$program"
    export WINEPREFIX="${WINEPREFIX:-$(prefix_for "$(dirname "$program")")}"
    start_prefix
    exec "$WINELOADER" "$program" "$@"
    ;;
esac
