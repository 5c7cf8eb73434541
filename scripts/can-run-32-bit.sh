#!/usr/bin/env bash
# Tells whether this machine can run 32-bit programs, as the tests of the
# shipped 32-bit Rotavue.dll need (they run under the i386 Wine): exits 0
# when the i386 Wine loader starts, else prints a one-line notice with the
# reason and exits 1. A kernel built or booted without its 32-bit emulation
# (ia32_emulation) refuses every i386 program with "Exec format error"; the
# 64-bit Wine and the windows64 preset still work there.
#
#   scripts/can-run-32-bit.sh
set -uo pipefail
loader=/usr/lib/wine/wine
if reason=$("$loader" --version 2>&1 </dev/null); then
  exit 0
fi
# The shell's or the loader's last word, e.g. "Exec format error".
reason=$(tail -n 1 <<<"$reason")
echo "this machine cannot run 32-bit programs: $loader --version fails (${reason##*: })"
exit 1
