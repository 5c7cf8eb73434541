// The measured operations of scenarios.h.
#include "scenarios.h"

#include <algorithm>
#include <chrono>
#include <functional>
#include <vector>

#include "host/exports.h"
#include "host/image_functions.h"
#include "host/meter_data.h"
#include "host/random.h"
#include "platform/platform.h"
#include "walk/walk.h"

namespace rotavue::bench {

namespace {

constexpr std::int64_t kFixedSeconds = 1767225600;  // 2026-01-01 00:00:00 UTC
std::int64_t fixedSeconds() { return kFixedSeconds; }

const char kRotationNickname[] = "BenchRotation";
const char kRandomNickname[] = "BenchRandom";
const char kIdleNickname[] = "BenchIdle";

}  // namespace

std::vector<std::unique_ptr<Scenarios>> makeTrees(const std::string& base, bool smoke) {
  std::vector<std::unique_ptr<Scenarios>> trees;
  if (smoke) {
    trees.push_back(std::make_unique<Scenarios>(base, "flat 300", 300, 0));
    trees.push_back(std::make_unique<Scenarios>(base, "nested 2000", 2000, 40));
  } else {
    trees.push_back(std::make_unique<Scenarios>(base, "flat 10000", 10000, 0));
    trees.push_back(std::make_unique<Scenarios>(base, "nested 100000", 100000, 1000));
  }
  return trees;
}

void fixRandomClock() { platform::hooks().calendarSeconds = fixedSeconds; }

Scenarios::Scenarios(const std::string& base, const std::string& label, int files, int folders)
    : tree_(makeTree(base, label, files, folders)) {
  publishDirPath(base);
  positionFile_ = base + kRotationNickname + "Rotavue.setup";
  rotation_ = dllstartup(0, 0);
  random_ = dllstartup(0, 0);
  idle_ = dllstartup(0, 0);
  GetImage(idle_, kIdleNickname, tree_.root.c_str(), "0");
  seedRandom(static_cast<std::uint32_t>(kFixedSeconds));
  randomPick_ = drawRandomIndex(tree_.images);
}

std::size_t Scenarios::bare() const { return bareEnumerate(tree_.root); }

std::size_t Scenarios::bareUntilRandomPick() const {
  return bareEnumerateUntil(tree_.root, randomPick_ + 1);
}

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

void Scenarios::prepareGetImage() const {
  writeFile(positionFile_, tree_.secondLastDirectory + "#" + tree_.secondLastFile + "\r\n");
}

const char* Scenarios::getImage() const {
  return GetImage(rotation_, kRotationNickname, tree_.root.c_str(), "0");
}

const char* Scenarios::getRandomImage() const {
  return GetRandomImage(random_, kRandomNickname, tree_.root.c_str(), "0");
}

const char* Scenarios::notDue() const {
  return GetImage(idle_, kIdleNickname, tree_.root.c_str(), "100000");
}

std::size_t Scenarios::getImagePeakHeap() const {
  prepareGetImage();
  const std::size_t before = heapInUse();
  resetHeapPeak();
  getImage();
  return heapPeak() - before;
}

std::size_t Scenarios::getRandomImagePeakHeap() const {
  const std::size_t before = heapInUse();
  resetHeapPeak();
  getRandomImage();
  return heapPeak() - before;
}

SideBySide measureSideBySide(const Scenarios& s, int rounds) {
  struct Operation {
    double* result;
    std::function<void()> prepare;
    std::function<void()> run;
  };
  SideBySide best;
  const std::vector<Operation> operations = {
      {&best.bare, nullptr, [&] { s.bare(); }},
      {&best.count, nullptr, [&] { s.count(); }},
      {&best.walk, nullptr, [&] { s.walkSequential(); }},
      {&best.walkIndexed, nullptr, [&] { s.walkIndexed(); }},
      {&best.getImage, [&] { s.prepareGetImage(); }, [&] { s.getImage(); }},
      {&best.random, nullptr, [&] { s.getRandomImage(); }},
      {&best.randomFloor, nullptr,
       [&] {
         s.bare();
         s.bareUntilRandomPick();
       }},
  };
  for (int round = -1; round < rounds; ++round) {  // round -1 warms the caches
    for (const Operation& operation : operations) {
      if (operation.prepare) operation.prepare();
      const auto start = std::chrono::steady_clock::now();
      operation.run();
      const double seconds =
          std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      if (round < 0) continue;
      *operation.result = round == 0 ? seconds : std::min(*operation.result, seconds);
    }
  }
  return best;
}

}  // namespace rotavue::bench
