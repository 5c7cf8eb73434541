// The Windows benchmark, run under Wine or on Windows: every refresh measured
// against the bare FindFirstFileExA enumeration of the same tree. Google
// Benchmark has no build for the cross toolchain, so this program times the
// operations itself, interleaving them round by round so that a noisy
// machine slows all of them alike, and reports the fastest round of each.
//
//   rotavue-bench.exe [--smoke] [--rounds N]
//   rotavue-bench.exe --cycle FILES FOLDERS
//   rotavue-bench.exe --flush DIR
//   rotavue-bench.exe --series [--rounds N]          (for bench/plot-series.sh)
//   rotavue-bench.exe --make-tree DIR | --walk DIR   (for bench/one-shot.sh)
//   rotavue-bench.exe --help
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "bench_support.h"
#include "scenarios.h"

namespace {

using rotavue::bench::Scenarios;
using Clock = std::chrono::steady_clock;

}  // namespace

int main(int argc, char** argv) {
  if (rotavue::bench::runProcessHelper(argc, argv)) return 0;
  bool smoke = false;
  bool series = false;
  int rounds = 15;
  int cycleFiles = 0;
  int cycleFolders = 0;
  std::string flushBase;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      std::printf("%s", rotavue::bench::kOptionsHelp);
      return 0;
    }
    if (std::strcmp(argv[i], "--smoke") == 0) smoke = true;
    if (std::strcmp(argv[i], "--series") == 0) series = true;
    if (std::strcmp(argv[i], "--rounds") == 0 && i + 1 < argc) rounds = std::atoi(argv[++i]);
    if (std::strcmp(argv[i], "--flush") == 0 && i + 1 < argc) flushBase = argv[++i];
    if (std::strcmp(argv[i], "--cycle") == 0 && i + 2 < argc) {
      cycleFiles = std::atoi(argv[++i]);
      cycleFolders = std::atoi(argv[++i]);
    }
  }
  if (smoke) rounds = 1;
  if (!flushBase.empty()) {
    const std::string base = rotavue::bench::makeScratchDirectory(flushBase);
    rotavue::bench::measureFlush(base, smoke ? 5 : 300);
    rotavue::bench::removeTree(base);
    return 0;
  }

  const std::string base = rotavue::bench::makeScratchDirectory();
  if (cycleFiles > 0) {
    rotavue::bench::measureCycle(base, cycleFiles, cycleFolders);
    rotavue::bench::removeTree(base);
    return 0;
  }
  if (series) {
    rotavue::bench::printSeries(*rotavue::bench::makeNestedTree(base, smoke), rounds);
    rotavue::bench::removeTree(base);
    return 0;
  }
  const std::vector<std::unique_ptr<Scenarios>> trees = rotavue::bench::makeTrees(base, smoke);

  std::printf("%-16s %9s %8s %9s %10s %10s %10s %14s %20s\n", "tree", "entries", "images",
              "bare ms", "count ms", "walk ms", "random ms", "not-due ns", "peak heap B");
  for (const auto& tree : trees) {
    const Scenarios& s = *tree;
    const rotavue::bench::SideBySide best = rotavue::bench::measureSideBySide(s, rounds);
    constexpr int kNotDueCalls = 100000;
    const auto start = Clock::now();
    for (int i = 0; i < kNotDueCalls; ++i) s.notDue();
    const std::chrono::duration<double> notDue = Clock::now() - start;

    std::printf(
        "%-16s %9zu %8d %9.2f %10.2f %10.2f %10.2f %14.1f %6zu/%zu/%zu\n", s.tree().label.c_str(),
        s.tree().entries, s.tree().images, best.bare * 1e3, best.count * 1e3, best.walk * 1e3,
        best.random * 1e3, notDue.count() / kNotDueCalls * 1e9, s.getImagePeakHeap(),
        s.getRandomImagePeakHeap(), s.getRandomImagePeakHeap(rotavue::Shortcuts::kNotTaken));
    rotavue::bench::printSummary(s, best, rotavue::bench::countEntriesRead(s));
  }
  if (smoke) rotavue::bench::measureCycle(base, 200, 10);
  rotavue::bench::removeTree(base);
  return 0;
}
