#!/usr/bin/env bash
# The main job: installs and builds what is missing, then lets the host
# simulator drive the real Rotavue.dll under Wine over the bundled example
# picture folder, as a desktop host would. Arguments go to `rotavue-host run`
# (see `rotavue-host --help`), e.g. --folder /path/to/pictures.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh native windows

stop_wine() { cmake/wine-run.sh --stop build/windows || true; }
trap stop_wine EXIT

cmake/wine-run.sh build/windows/rotavue-host.exe run "$@"
