#!/usr/bin/env bash
# The main job: installs and builds what is missing, then lets the host
# simulator drive the real Rotavue.dll under Wine over the bundled example
# picture folder, as a desktop host would. Arguments go to `rotavue-host run`
# (see `rotavue-host --help`), e.g. --folder ~/Pictures; a Linux path given to
# --folder or --dir-path is turned into the Z: path under which Wine sees it.
# On a machine that cannot run 32-bit programs the 64-bit build of the same
# sources runs instead (scripts/can-run-32-bit.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
if notice=$(scripts/can-run-32-bit.sh); then
  windows_run=windows
else
  windows_run=windows64
  echo "run-demo: $notice; the demo runs the 64-bit build of rotavue-host.exe and Rotavue.dll"
fi
scripts/build.sh native "$windows_run"

stop_wine() { cmake/wine-run.sh --stop "build/$windows_run" || true; }
trap stop_wine EXIT

wine_path() {
  case "$1" in
    /*) printf 'Z:%s' "$(printf '%s' "$1" | tr '/' '\\')" ;;
    *) printf '%s' "$1" ;;
  esac
}

arguments=()
while [ $# -gt 0 ]; do
  case "$1" in
    --folder | --dir-path)
      arguments+=("$1" "$(wine_path "${2:-}")")
      shift 2 || shift
      ;;
    --folder=* | --dir-path=*)
      arguments+=("${1%%=*}=$(wine_path "${1#*=}")")
      shift
      ;;
    *)
      arguments+=("$1")
      shift
      ;;
  esac
done

cmake/wine-run.sh "build/$windows_run/rotavue-host.exe" run ${arguments[@]+"${arguments[@]}"}
