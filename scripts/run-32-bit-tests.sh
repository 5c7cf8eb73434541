#!/usr/bin/env bash
# The part of scripts/run-tests.sh that needs the i386 Wine, run inside the
# virtual machine of scripts/in-32-bit-vm.sh on a machine that cannot run
# 32-bit programs itself: first the release check on the zip built already
# (its Wine part runs every dll_*_test.exe beside the unpacked Rotavue.dll,
# and the unpacked rotavue-host.exe's `run` and `check`), then the smoke run
# of the 32-bit benchmark, then the tests of the `windows` preset that the
# release check has not run already (the unit suite and rotavue-host.exe's
# checks). The `windows` and `windows-release` presets must have been built.
#
# Everything shares one Wine prefix, made here on the VM's /tmp (a file
# system with the user extended attributes that Wine keeps DOS attributes
# in), and one persistent server, started with its output sent to /dev/null
# so that no service holds a test runner's pipe. A first `wineboot` may fail
# under emulation; then the prefix is made afresh once more before the run
# stops with "Wine cannot start in the VM".
#
#   scripts/run-32-bit-tests.sh
set -euo pipefail
cd "$(dirname "$0")/.."

export WINEPREFIX=${TMPDIR:-/tmp}/rotavue-wineprefix WINEARCH=win32 WINELOADER=/usr/lib/wine/wine
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
log=${TMPDIR:-/tmp}/rotavue-wineboot.log

# A prefix is ready when wineboot says so and a program then runs in it.
make_prefix() {
  wineserver -k >/dev/null 2>&1 </dev/null || true
  rm -rf "$WINEPREFIX"
  mkdir -p "$WINEPREFIX"
  wineserver -p >/dev/null 2>&1 </dev/null
  "$WINELOADER" wineboot -i >"$log" 2>&1 </dev/null &&
    "$WINELOADER" cmd /c exit >>"$log" 2>&1 </dev/null
}

started=$SECONDS
if ! make_prefix; then
  echo "run-32-bit-tests: Wine did not start (wineboot or \`cmd /c exit\` failed) after" \
    "$((SECONDS - started)) s; once more, in a fresh prefix"
  tail -n 5 "$log"
  started=$SECONDS
  if ! make_prefix; then
    echo "run-32-bit-tests: Wine cannot start in the VM; the end of its log:" >&2
    tail -n 20 "$log" >&2
    exit 1
  fi
fi
echo "run-32-bit-tests: the 32-bit Wine prefix is ready after $((SECONDS - started)) s"
trap 'wineserver -k >/dev/null 2>&1 </dev/null || true' EXIT

started=$SECONDS
scripts/check-release.sh --no-build
echo "run-32-bit-tests: the release check took $((SECONDS - started)) s"

started=$SECONDS
cmake/wine-run.sh build/windows/rotavue-bench.exe --smoke >/dev/null
echo "run-32-bit-tests: the 32-bit benchmark's smoke run passed in $((SECONDS - started)) s"

# Under emulation a test takes ten to twenty times as long as on the machine
# itself (the unit suite two to four minutes): the preset's
# per-test limit is raised, while staying well within the VM's own.
started=$SECONDS
ctest --preset windows --exclude-regex '^dll_' --timeout 1200
echo "run-32-bit-tests: ctest took $((SECONDS - started)) s"
