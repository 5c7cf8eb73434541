#!/bin/sh
# Times one `rotavue-host next` (and one `random`) as a script runs it, a
# process start plus one refresh, beside a bare walk of the same tree in a
# process of its own (`rotavue-bench --walk`: readdir natively,
# FindFirstFileExA under Wine), on the benchmark's nested tree of 100,000
# files in 1,000 folders, and beside the process start alone
# (`rotavue-host --version`). hyperfine (Debian's package `hyperfine`) runs
# the commands in one session and gives their ratios.
#
#   bench/one-shot.sh [BUILD_DIR]     BUILD_DIR: build/native (default), or a
#                                     Windows build such as build/windows64,
#                                     whose programs run under Wine
#
# The build needs rotavue-host and rotavue-bench (`cmake --build --preset
# PRESET`). The tree and the position files live in a scratch folder, which
# goes at the end; the registry is never touched (--dir-path).
set -eu

build=${1:-build/native}
here=$(cd "$(dirname "$0")/.." && pwd)
command -v hyperfine >/dev/null || {
  echo "one-shot.sh: needs hyperfine (apt-get install hyperfine)" >&2
  exit 2
}
scratch=$(mktemp -d /tmp/rotavue-one-shot-XXXXXX)
trap 'rm -rf "$scratch"' EXIT

if [ -f "$build/rotavue-host.exe" ]; then
  # Under Wine the folders are named as Windows names them: Z: is /.
  windows_path() { printf 'Z:%s' "$1" | tr / '\\'; }
  run="'$here/cmake/wine-run.sh'"
  host="$run '$here/$build/rotavue-host.exe'"
  bench="$run '$here/$build/rotavue-bench.exe'"
  base=$(windows_path "$scratch/")
  dir_path=$(windows_path "$scratch/host/")
else
  host="'$here/$build/rotavue-host'"
  bench="'$here/$build/rotavue-bench'"
  base="$scratch/"
  dir_path="$scratch/host/"
fi

# The commands as hyperfine splits them (into words, as a shell does, but
# started without one), every path quoted.
tree=$(eval "$bench --make-tree '$base'" | tr -d '\r')
printf 'tree: %s (%s)\n' "$tree" "$(eval "$bench --walk '$tree'" | tr -d '\r')"
options="--folder '$tree' --dir-path '$dir_path'"
hyperfine --shell=none --warmup 3 --runs "${RUNS:-30}" \
  --command-name "next" "$host next --nickname bench $options" \
  --command-name "random" "$host random --nickname bench $options" \
  --command-name "bare walk" "$bench --walk '$tree'" \
  --command-name "process start" "$host --version"
