#!/usr/bin/env bash
# Runs every test of both presets: the native unit and POSIX tests, then the
# Windows tests of the real Rotavue.dll under Wine. Installs and builds what
# is missing first. The Wine server of the build's prefix is ended on every
# way out, so that nothing is left holding the terminal or a CI pipe.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh native windows

stop_wine() { cmake/wine-run.sh --stop build/windows || true; }
trap stop_wine EXIT

ctest --preset native
ctest --preset windows
