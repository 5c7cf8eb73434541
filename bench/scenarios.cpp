// The measured operations of scenarios.h.
#include "scenarios.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <vector>

#include "host/exports.h"
#include "host/instances.h"
#include "host/meter_data.h"
#include "platform/platform.h"
#include "walk/walk.h"

namespace rotavue::bench {

namespace {

constexpr std::int64_t kFixedSeconds = 1767225600;  // 2026-01-01 00:00:00 UTC
std::int64_t randomClockSeconds = kFixedSeconds;
std::int64_t fixedSeconds() { return randomClockSeconds; }

const char kRotationNickname[] = "BenchRotation";
const char kPlainRotationNickname[] = "BenchPlainRotation";
const char kRandomNickname[] = "BenchRandom";
const char kShuffleNickname[] = "BenchShuffle";
const char kIdleNickname[] = "BenchIdle";

// A refresh through the export, or with the switch that only the benchmark
// uses: the same instance either way.
const char* refresh(std::uint32_t handle, const char* nickname, const std::string& root,
                    Shortcuts shortcuts, bool random) {
  if (shortcuts == Shortcuts::kTaken)
    return random ? GetRandomImage(handle, nickname, root.c_str(), "0")
                  : GetImage(handle, nickname, root.c_str(), "0");
  meter_data& instance = *findInstance(handle);
  return random ? rotavue::getRandomImage(instance, nickname, root.c_str(), "0", shortcuts)
                : rotavue::getImage(instance, nickname, root.c_str(), "0", shortcuts);
}

double secondsOf(const std::function<void()>& operation) {
  const auto start = std::chrono::steady_clock::now();
  operation();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

std::vector<std::unique_ptr<Scenarios>> makeTrees(const std::string& base, bool smoke) {
  std::vector<std::unique_ptr<Scenarios>> trees;
  trees.push_back(smoke ? std::make_unique<Scenarios>(base, "flat 300", 300, 0)
                        : std::make_unique<Scenarios>(base, "flat 10000", 10000, 0));
  trees.push_back(makeNestedTree(base, smoke));
  return trees;
}

std::unique_ptr<Scenarios> makeNestedTree(const std::string& base, bool smoke) {
  return smoke ? std::make_unique<Scenarios>(base, "nested 2000", 2000, 40)
               : std::make_unique<Scenarios>(base, "nested 100000", 100000, 1000);
}

Scenarios::Scenarios(const std::string& base, const std::string& label, int files, int folders)
    : tree_(makeTree(base, label, files, folders)) {
  publishDirPath(base);
  positionFile_ = base + kRotationNickname + "Rotavue.setup";
  cycleFile_ = base + kShuffleNickname + "Rotavue.cycle";
  rotation_ = dllstartup(0, 0);
  plainRotation_ = dllstartup(0, 0);
  random_ = dllstartup(0, 0);
  shuffle_ = dllstartup(0, 0);
  idle_ = dllstartup(0, 0);
  GetImage(idle_, kIdleNickname, tree_.root.c_str(), "0");
  for (const int percent : kStoredPercents) {
    meter_data walked;
    walkImages(walked, tree_.root, "", "", std::max(1, tree_.images / 100 * percent));
    positionLines_.push_back(walked.imageDirectory + "#" + walked.imageFileName);
  }
  platform::hooks().calendarSeconds = fixedSeconds;
  pickRandomIn(tree_.images - tree_.images / 10, tree_.images);
}

// The first second from the fixed start whose pick lies in [first, end).
void Scenarios::pickRandomIn(std::int32_t first, std::int32_t end) {
  for (randomSeconds_ = kFixedSeconds;; ++randomSeconds_) {
    randomPick_ = drawRandomIndex(randomSeconds_, kRandomNickname, tree_.images);
    if (randomPick_ >= first && randomPick_ < end) break;
  }
}

void Scenarios::pickRandomAt(double percent) {
  const auto at = [this](double share) {
    return std::clamp(static_cast<std::int32_t>(tree_.images * share / 100), 0, tree_.images - 1);
  };
  pickRandomIn(at(percent - 0.5), std::max(at(percent + 0.5), at(percent - 0.5) + 1));
}

std::string Scenarios::positionLineAt(int percent) const {
  meter_data walked;
  walkImages(walked, tree_.root, "", "",
             std::max(1, static_cast<std::int32_t>(std::int64_t{tree_.images} * percent / 100)));
  return walked.imageDirectory + "#" + walked.imageFileName;
}

void Scenarios::storePositionLine(const std::string& line) const {
  writeFile(positionFile_, line + "\r\n");
}

std::size_t Scenarios::bare() const { return bareEnumerate(tree_.root); }

std::int32_t Scenarios::count() const {
  meter_data instance;
  countImages(instance, tree_.root);
  return instance.imageCount;
}

bool Scenarios::walkSequential() const {
  meter_data instance;
  walkImages(instance, tree_.root, tree_.lastDirectory, tree_.lastFile, 0);
  return instance.walkStatus == WalkStatus::kFound;
}

bool Scenarios::walkIndexed() const {
  meter_data instance;
  walkImages(instance, tree_.root, "", "", tree_.images - 1);
  return instance.walkCounter == -1;
}

void Scenarios::storePosition(std::size_t position) const {
  storePositionLine(positionLines_[position]);
}

const char* Scenarios::getImage(Shortcuts shortcuts) const {
  return refresh(rotation_, kRotationNickname, tree_.root, shortcuts, false);
}

const char* Scenarios::rotate(Shortcuts shortcuts) const {
  return shortcuts == Shortcuts::kTaken
             ? refresh(rotation_, kRotationNickname, tree_.root, shortcuts, false)
             : refresh(plainRotation_, kPlainRotationNickname, tree_.root, shortcuts, false);
}

const char* Scenarios::getRandomImage(Shortcuts shortcuts) const {
  randomClockSeconds = randomSeconds_;
  return refresh(random_, kRandomNickname, tree_.root, shortcuts, true);
}

const char* Scenarios::getShuffledImage() const {
  return GetShuffledImage(shuffle_, kShuffleNickname, tree_.root.c_str(), "0");
}

// No hash lies above the greatest threshold.
void Scenarios::storeEndOfCycle() const {
  writeFile(cycleFile_, "1 0123456789abcdef ffffffffffffffff\r\n");
}

const char* Scenarios::notDue() const {
  return GetImage(idle_, kIdleNickname, tree_.root.c_str(), "100000");
}

std::size_t Scenarios::getImagePeakHeap() const {
  storePosition(kStoredPositions - 1);
  const std::size_t before = heapInUse();
  resetHeapPeak();
  getImage();
  return heapPeak() - before;
}

std::size_t Scenarios::getRandomImagePeakHeap(Shortcuts shortcuts) const {
  const std::size_t before = heapInUse();
  resetHeapPeak();
  getRandomImage(shortcuts);
  return heapPeak() - before;
}

namespace {

struct Operation {
  double* result;
  std::function<void()> prepare;
  std::function<void()> run;
};

// Sets each operation's result to its fastest of `rounds` rounds. Round -1
// warms the caches. Every other round runs the operations in the reverse
// order, so that no operation always follows the same other one.
void keepFastest(std::vector<Operation>& operations, int rounds) {
  for (int round = -1; round < rounds; ++round) {
    std::reverse(operations.begin(), operations.end());
    for (const Operation& operation : operations) {
      if (operation.prepare) operation.prepare();
      const double seconds = secondsOf(operation.run);
      if (round < 0) continue;
      *operation.result = round == 0 ? seconds : std::min(*operation.result, seconds);
    }
  }
}

}  // namespace

SideBySide measureSideBySide(const Scenarios& s, int rounds) {
  SideBySide best;
  std::vector<Operation> operations = {
      {&best.bare, nullptr, [&] { s.bare(); }},
      {&best.count, nullptr, [&] { s.count(); }},
      {&best.walk, nullptr, [&] { s.walkSequential(); }},
      {&best.walkIndexed, nullptr, [&] { s.walkIndexed(); }},
      {&best.random, nullptr, [&] { s.getRandomImage(); }},
      {&best.randomPlain, nullptr, [&] { s.getRandomImage(Shortcuts::kNotTaken); }},
      {&best.shuffle, nullptr, [&] { s.getShuffledImage(); }},
      {&best.shuffleEndOfCycle, [&] { s.storeEndOfCycle(); }, [&] { s.getShuffledImage(); }},
  };
  for (std::size_t position = 0; position < kStoredPositions; ++position) {
    const auto store = [&s, position] { s.storePosition(position); };
    operations.push_back({&best.getImage[position], store, [&] { s.getImage(); }});
    operations.push_back(
        {&best.getImagePlain[position], store, [&] { s.getImage(Shortcuts::kNotTaken); }});
  }
  keepFastest(operations, rounds);
  return best;
}

void printSeries(Scenarios& s, int rounds) {
  std::printf(
      "# %s, %zu entries: a refresh's time / a bare walk's, fastest of %d rounds, by the place\n"
      "# of the stored image (GetImage) or of the pick (GetRandomImage) in the walk order\n"
      "# percent  plain_walk  short_walk  random  shuffle\n",
      s.tree().label.c_str(), s.tree().entries, rounds);
  for (int percent = 0; percent <= 100; percent += 5) {
    const std::string line = s.positionLineAt(percent);
    s.pickRandomAt(percent);
    const auto store = [&s, &line] { s.storePositionLine(line); };
    double bare = 0, plain = 0, shortWalk = 0, random = 0, shuffle = 0;
    std::vector<Operation> operations = {
        {&bare, nullptr, [&s] { s.bare(); }},
        {&plain, store, [&s] { s.getImage(Shortcuts::kNotTaken); }},
        {&shortWalk, store, [&s] { s.getImage(); }},
        {&random, nullptr, [&s] { s.getRandomImage(); }},
        {&shuffle, nullptr, [&s] { s.getShuffledImage(); }},
    };
    keepFastest(operations, rounds);
    std::printf("%9d  %10.4f  %10.4f  %6.4f  %7.4f\n", percent, plain / bare, shortWalk / bare,
                random / bare, shuffle / bare);
    std::fflush(stdout);
  }
}

EntriesRead countEntriesRead(const Scenarios& s) {
  EntriesRead read;
  for (std::size_t position = 0; position < kStoredPositions; ++position) {
    s.storePosition(position);
    read.getImage[position] = entriesRead([&] { s.getImage(); });
    s.storePosition(position);
    read.getImagePlain[position] = entriesRead([&] { s.getImage(Shortcuts::kNotTaken); });
  }
  read.random = entriesRead([&] { s.getRandomImage(); });
  read.randomPlain = entriesRead([&] { s.getRandomImage(Shortcuts::kNotTaken); });
  return read;
}

void printSummary(const Scenarios& s, const SideBySide& best, const EntriesRead& entries) {
  const char* label = s.tree().label.c_str();
  std::printf(
      "%-14s ratios: count/bare=%.3f walk/bare=%.3f random/bare=%.3f (without "
      "shortcuts %.3f; pick at %.1f %%)\n",
      label, best.count / best.bare, best.walk / best.bare, best.random / best.bare,
      best.randomPlain / best.bare, 100 * s.randomPickShare());
  for (std::size_t position = 0; position < kStoredPositions; ++position)
    std::printf(
        "%-14s getimage at %2d %%: entries read %zu (without shortcuts %zu), "
        "getimage/bare=%.4f (without shortcuts %.4f)\n",
        label, kStoredPercents[position], entries.getImage[position],
        entries.getImagePlain[position], best.getImage[position] / best.bare,
        best.getImagePlain[position] / best.bare);
  std::printf("%-14s random: entries read %zu (without shortcuts %zu; the tree has %zu)\n", label,
              entries.random, entries.randomPlain, s.tree().entries);
  std::printf("%-14s shuffle/bare=%.3f, at the end of a cycle %.3f\n", label,
              best.shuffle / best.bare, best.shuffleEndOfCycle / best.bare);
}

void measureCycle(const std::string& base, int files, int folders) {
  const Scenarios s(base, "cycle " + std::to_string(files), files, folders);
  std::printf("%-14s %d images in %d folders, one full GetImage cycle:\n", s.tree().label.c_str(),
              s.tree().images, folders);
  const Shortcuts kinds[] = {Shortcuts::kTaken, Shortcuts::kNotTaken};
  std::size_t entries[2] = {};
  double seconds[2] = {};
  for (std::int32_t refresh = 0; refresh <= s.tree().images; ++refresh) {
    for (std::size_t kind = 0; kind < 2; ++kind) {
      // Timed with the entries counted, which costs both the same per entry.
      seconds[kind] +=
          secondsOf([&] { entries[kind] += entriesRead([&] { s.rotate(kinds[kind]); }); });
    }
  }
  for (std::size_t kind = 0; kind < 2; ++kind)
    std::printf("  %-18s entries read %12zu  %9.2f s\n",
                kind == 0 ? "with shortcuts" : "without shortcuts", entries[kind], seconds[kind]);
}

void measureFlush(const std::string& base, int refreshes) {
  const Scenarios s(base, "flush", 1000, 10);
  const platform::WriteNewFileFunction writes[] = {platform::systemHooks().writeNewFile,
                                                   writeNewFileWithoutFlush};
  std::vector<double> milliseconds[2];
  for (int pair = 0; pair < refreshes; ++pair) {
    for (std::size_t turn = 0; turn < 2; ++turn) {
      const std::size_t kind = (turn + static_cast<std::size_t>(pair)) % 2;
      platform::hooks().writeNewFile = writes[kind];
      milliseconds[kind].push_back(secondsOf([&] { s.rotate(Shortcuts::kTaken); }) * 1e3);
    }
  }
  platform::hooks().writeNewFile = writes[0];
  std::printf("%d GetImage refreshes each over %d images, position file in %s:\n", refreshes,
              s.tree().images, base.c_str());
  for (std::size_t kind = 0; kind < 2; ++kind) {
    std::vector<double>& times = milliseconds[kind];
    std::sort(times.begin(), times.end());
    const std::size_t p95 = (times.size() * 95 + 99) / 100 - 1;
    std::printf("  %-18s median %8.3f ms   95th percentile %8.3f ms\n",
                kind == 0 ? "with the flush" : "without the flush", times[times.size() / 2],
                times[p95]);
  }
}

}  // namespace rotavue::bench
