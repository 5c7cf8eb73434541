#!/usr/bin/env bash
# Runs every test: the native unit and POSIX tests, the same suite under
# AddressSanitizer and UndefinedBehaviorSanitizer, the Windows tests of the
# real Rotavue.dll under Wine, the release zip's checks with those tests run
# again on the DLL unpacked from it, the reproducibility check of the release
# build (from this work tree and from an exported tree without .git, as a
# release's source download has it), the Linux install and Debian package
# (scripts/check-install.sh, with lintian), the README's install for script
# users in a fresh Debian root (scripts/check-readme-install.sh), a bounded
# run of every fuzz target, valgrind memcheck on the host simulator's demo
# run, clang-tidy over the module, and
# a smoke run of both benchmarks (no timing is judged). Installs and builds what is
# missing first. The Wine server of the build's prefix is ended on every way
# out, so that nothing is left holding the terminal or a CI pipe.
#
# On a machine that cannot run 32-bit programs (scripts/can-run-32-bit.sh:
# a kernel without its 32-bit emulation), the Windows tests and the Windows
# benchmark run here from the 64-bit `windows64` build under the 64-bit Wine,
# for quick feedback, and then, in one boot of a virtual machine whose kernel
# runs 32-bit programs (scripts/in-32-bit-vm.sh, 7 to 16 minutes under
# software emulation), scripts/run-32-bit-tests.sh runs the release
# check's Wine part, the 32-bit benchmark and the rest of the 32-bit
# `windows` tests. A notice says so at the start and at the end.
#
#   scripts/run-tests.sh [FUZZ_SECONDS]     (default 20 per fuzz target)
set -euo pipefail
cd "$(dirname "$0")/.."
fuzz_seconds=${1:-20}

scripts/install-deps.sh
# The build whose Windows programs this machine runs.
if notice=$(scripts/can-run-32-bit.sh); then
  windows_run=windows
  scripts/build.sh native native-asan windows fuzz
else
  windows_run=windows64
  echo "run-tests: $notice; the Windows tests run from the 64-bit windows64 build, and those of" \
    "the 32-bit build in a virtual machine (scripts/in-32-bit-vm.sh)"
  scripts/build.sh native native-asan windows windows64 fuzz
fi

stop_wine() { cmake/wine-run.sh --stop "build/$windows_run" || true; }
trap stop_wine EXIT

summary=$(mktemp)
ctest --preset native | tee -a "$summary"
ctest --preset native-asan | tee -a "$summary"
ctest --preset "$windows_run" | tee -a "$summary"

scripts/check-release.sh
if [ "$windows_run" != windows ]; then
  # A VM that does not boot, or a Wine that cannot start in it, fails here.
  scripts/in-32-bit-vm.sh --minutes 45 scripts/run-32-bit-tests.sh | tee -a "$summary"
fi
scripts/check-reproducible.sh
# Once more in the tree of a release's source download, which has no .git
# (unless this tree is one: then the check above was that run). The tree
# lies under build/, so that the check finds no work tree of its own.
if [ "$(git rev-parse --show-toplevel 2>/dev/null)" = "$(pwd -P)" ]; then
  rm -rf build/source-download
  mkdir -p build/source-download
  git archive HEAD | tar -x -C build/source-download
  build/source-download/scripts/check-reproducible.sh
  rm -rf build/source-download
fi
scripts/check-install.sh
scripts/check-readme-install.sh

for target in interval position image_name walk; do
  corpus=$(mktemp -d)
  rm -f build/fuzz/${target}-*
  echo "fuzz_${target}: ${fuzz_seconds} s"
  build/fuzz/fuzz_${target} -max_total_time="${fuzz_seconds}" -print_final_stats=1 \
    -artifact_prefix="build/fuzz/${target}-" "$corpus" "fuzz/corpus/${target}" 2>&1 |
    grep -E "^(stat::number_of_executed_units|Done|==|SUMMARY)" || true
  rm -rf "$corpus"
  if ls build/fuzz/${target}-* >/dev/null 2>&1; then
    echo "fuzz_${target} failed; the input is in build/fuzz/${target}-*" >&2
    exit 1
  fi
done

scratch=$(mktemp -d)
ROTAVUE_REGISTRY="$scratch/registry.reg" valgrind -q --leak-check=full --error-exitcode=9 \
  --errors-for-leak-kinds=definite,indirect \
  build/native/rotavue-host run --ticks 6 --tick-ms 0 --dir-path "$scratch/host" >/dev/null
rm -rf "$scratch"
echo "valgrind memcheck: the host simulator's demo run is clean"

run-clang-tidy -p build/native -quiet "$(pwd)/src/" >/dev/null
echo "clang-tidy: the module's sources are clean"

build/native/rotavue-bench --smoke --benchmark_min_time=0.01 >/dev/null
cmake/wine-run.sh "build/$windows_run/rotavue-bench.exe" --smoke >/dev/null
echo "benchmarks: smoke runs passed (the Windows one from build/$windows_run)"

# One closing line for all the ctest runs (each has stopped the script on a
# failure already).
total=$(awk '/tests failed out of/ { sum += $NF } END { print sum + 0 }' "$summary")
rm -f "$summary"
if [ "$windows_run" != windows ]; then
  echo "run-tests: $notice; so the Windows tests ran here from the 64-bit build, and in a" \
    "virtual machine from the 32-bit build and the release zip"
fi
echo "ctest: ${total} passed, 0 failed"
