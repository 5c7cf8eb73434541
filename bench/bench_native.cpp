// The native benchmark (Google Benchmark): every refresh measured against the
// bare readdir enumeration of the same tree, side by side in one run.
//
//   rotavue-bench [--smoke] [--rounds N] [Google Benchmark flags]
//   rotavue-bench --cycle FILES FOLDERS
//   rotavue-bench --flush DIR
//   rotavue-bench --series [--rounds N]          (for bench/plot-series.sh)
//   rotavue-bench --make-tree DIR | --walk DIR   (for bench/one-shot.sh)
//   rotavue-bench --help   its own options and Google Benchmark's
//
// Builds a flat tree of 10,000 files and a nested tree of 100,000 files in
// 1,000 folders (with --smoke: small trees, one short repetition, for CI),
// prints Google Benchmark's table, then the fastest repetitions, the peak heap
// of a refresh (GetImage, GetRandomImage with and without the shortcuts), and
// per tree the ratios and the entries each refresh reads from a side-by-side
// pass. --cycle measures one full GetImage cycle over a tree of FILES files in
// FOLDERS folders instead, with the walks' shortcuts and without; --series
// the refresh's cost by the place in the walk order (printSeries).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "bench_support.h"
#include "scenarios.h"

namespace {

using rotavue::Shortcuts;
using rotavue::bench::Scenarios;

// Keeps the fastest repetition of every benchmark, in seconds, besides
// printing as usual.
class CollectingReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      const bool usable = run.run_type == Run::RT_Aggregate
                              ? run.aggregate_name == "min"
                              : medians_.count(run.run_name.function_name) == 0;
      if (usable)
        medians_[run.run_name.function_name] =
            run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
    }
    ConsoleReporter::ReportRuns(runs);
  }
  double seconds(const std::string& name) const {
    const auto found = medians_.find(name);
    return found == medians_.end() ? 0.0 : found->second;
  }

 private:
  std::map<std::string, double> medians_;
};

void registerTree(const Scenarios& s, bool smoke) {
  const std::string& label = s.tree().label;
  auto add = [&](const std::string& name, auto body) {
    auto* benchmark = benchmark::RegisterBenchmark((name + "/" + label).c_str(), body);
    benchmark->Unit(benchmark::kMillisecond)->MinTime(smoke ? 0.01 : 0.2);
    // The fastest repetition is the cost itself; a shared machine only ever
    // adds to it.
    benchmark->Repetitions(smoke ? 1 : 9)->ReportAggregatesOnly(!smoke);
    benchmark->ComputeStatistics("min", [](const std::vector<double>& values) {
      return *std::min_element(values.begin(), values.end());
    });
    return benchmark;
  };
  add("bare", [&s](benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(s.bare());
  });
  add("count", [&s](benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(s.count());
  });
  add("walk", [&s](benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(s.walkSequential());
  });
  add("walk_indexed", [&s](benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(s.walkIndexed());
  });
  for (std::size_t position = 0; position < rotavue::bench::kStoredPositions; ++position) {
    add("getimage_" + std::to_string(rotavue::bench::kStoredPercents[position]),
        [&s, position](benchmark::State& state) {
          for (auto _ : state) {
            state.PauseTiming();
            s.storePosition(position);
            state.ResumeTiming();
            benchmark::DoNotOptimize(s.getImage());
          }
        });
  }
  add("random", [&s](benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(s.getRandomImage());
  });
  add("random_plain", [&s](benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(s.getRandomImage(Shortcuts::kNotTaken));
  });
  add("shuffle", [&s](benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(s.getShuffledImage());
  });
  add("not_due", [&s](benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(s.notDue());
  })->Unit(benchmark::kNanosecond);
}

}  // namespace

int main(int argc, char** argv) {
  if (rotavue::bench::runProcessHelper(argc, argv)) return 0;
  bool smoke = false;
  bool series = false;
  int rounds = 15;
  int cycleFiles = 0;
  int cycleFolders = 0;
  std::string flushBase;
  std::vector<char*> arguments;
  for (int i = 0; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      std::printf("%s\nGoogle Benchmark's options:\n", rotavue::bench::kOptionsHelp);
      benchmark::PrintDefaultHelp();
      return 0;
    }
    if (std::strcmp(argv[i], "--smoke") == 0) {
      smoke = true;
    } else if (std::strcmp(argv[i], "--series") == 0) {
      series = true;
    } else if (std::strcmp(argv[i], "--rounds") == 0 && i + 1 < argc) {
      rounds = std::max(1, std::atoi(argv[++i]));
    } else if (std::strcmp(argv[i], "--flush") == 0 && i + 1 < argc) {
      flushBase = argv[++i];
    } else if (std::strcmp(argv[i], "--cycle") == 0 && i + 2 < argc) {
      cycleFiles = std::atoi(argv[++i]);
      cycleFolders = std::atoi(argv[++i]);
    } else {
      arguments.push_back(argv[i]);
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
  // Repetitions of all benchmarks in random order, so that none of them is
  // favoured by running first or after a particular other one.
  char interleaving[] = "--benchmark_enable_random_interleaving=true";
  arguments.insert(arguments.begin() + 1, interleaving);
  int count = static_cast<int>(arguments.size());
  benchmark::Initialize(&count, arguments.data());

  const std::vector<std::unique_ptr<Scenarios>> trees = rotavue::bench::makeTrees(base, smoke);
  for (const auto& tree : trees) registerTree(*tree, smoke);

  CollectingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::cout << std::flush;

  std::printf("\n%-16s %9s %8s %9s %10s %10s %10s %14s %20s\n", "tree", "entries", "images",
              "bare ms", "count ms", "walk ms", "random ms", "not-due ns", "peak heap B");
  for (const auto& tree : trees) {
    const std::string& label = tree->tree().label;
    auto ms = [&](const char* name) {
      return reporter.seconds(std::string(name) + "/" + label) * 1e3;
    };
    std::printf("%-16s %9zu %8d %9.2f %10.2f %10.2f %10.2f %14.1f %6zu/%zu/%zu\n", label.c_str(),
                tree->tree().entries, tree->tree().images, ms("bare"), ms("count"), ms("walk"),
                ms("random"), ms("not_due") * 1e6, tree->getImagePeakHeap(),
                tree->getRandomImagePeakHeap(), tree->getRandomImagePeakHeap(Shortcuts::kNotTaken));
  }
  // The ratios come from a side-by-side pass: the operations take turns
  // round by round, and each keeps its fastest round.
  std::printf("\nside by side, fastest of %d rounds:\n", rounds);
  for (const auto& tree : trees) {
    const rotavue::bench::SideBySide best = rotavue::bench::measureSideBySide(*tree, rounds);
    rotavue::bench::printSummary(*tree, best, rotavue::bench::countEntriesRead(*tree));
  }
  if (smoke) rotavue::bench::measureCycle(base, 200, 10);
  rotavue::bench::removeTree(base);
  return 0;
}
