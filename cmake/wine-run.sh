#!/bin/sh
# Runs a Windows program of the build under Wine, in the build tree's own
# prefix (beside the program, in wineprefix/).
#
#   wine-run.sh PROGRAM [ARGS...]   run PROGRAM, starting the prefix if needed
#   wine-run.sh --start BUILD_DIR   start the prefix and its persistent server
#   wine-run.sh --stop BUILD_DIR    end that server
#
# The persistent server is started before anything else, with its output and
# that of the services it starts sent to /dev/null: a service that inherited
# a test runner's output pipe would keep the runner waiting forever.
set -eu

prefix_for() { printf '%s/wineprefix' "$(cd "$1" && pwd)"; }

# `wineserver -p` answers 0 when it started a new server for the prefix and
# 2 when one was already running. A new server gets its services booted at
# once, while every output still goes to /dev/null.
start_prefix() {
  mkdir -p "$WINEPREFIX"
  status=0
  wineserver -p >/dev/null 2>&1 </dev/null || status=$?
  if [ "$status" -ne 2 ] || [ ! -f "$WINEPREFIX/system.reg" ]; then
    wineboot -i >/dev/null 2>&1 </dev/null || true
  fi
}

export WINEDEBUG=-all
export WINEARCH=win32
export WINEDLLOVERRIDES="mscoree,mshtml="

case "${1:-}" in
  --start)
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
    export WINEPREFIX="${WINEPREFIX:-$(prefix_for "$(dirname "$program")")}"
    start_prefix
    exec wine "$program" "$@"
    ;;
esac
