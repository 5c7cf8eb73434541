// The measured operations of the benchmarks, over one generated tree: the
// bare enumeration, the two walks, and the exported image functions with
// their position file and registry value, as a host calls them.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "bench_support.h"

namespace rotavue::bench {

class Scenarios {
 public:
  // Builds the tree under `base` and points the host's DirPath at `base`.
  Scenarios(const std::string& base, const std::string& label, int files, int folders);
  Scenarios(const Scenarios&) = delete;
  Scenarios& operator=(const Scenarios&) = delete;

  const ImageTree& tree() const { return tree_; }

  std::size_t bare() const;
  // The bare enumeration up to the image that the random refresh picks.
  std::size_t bareUntilRandomPick() const;
  std::int32_t count() const;
  // A sequential walk whose previous image is the last one: the whole tree.
  bool walkSequential() const;
  // An indexed walk to the last image.
  bool walkIndexed() const;
  // Stores the second-to-last image as the nickname's position, so that the
  // next refresh walks nearly the whole tree.
  void prepareGetImage() const;
  const char* getImage() const;
  const char* getRandomImage() const;
  // A call whose interval has not elapsed.
  const char* notDue() const;
  // Peak heap growth of one refresh, in bytes.
  std::size_t getImagePeakHeap() const;
  std::size_t getRandomImagePeakHeap() const;

  std::int32_t randomPick() const { return randomPick_; }

 private:
  ImageTree tree_;
  std::string positionFile_;
  std::uint32_t rotation_ = 0;
  std::uint32_t random_ = 0;
  std::uint32_t idle_ = 0;
  std::int32_t randomPick_ = 0;
};

// The benchmark's two trees under `base`: a flat folder of 10,000 files and a
// nested tree of 100,000 files in 1,000 folders, or small ones for a smoke run.
std::vector<std::unique_ptr<Scenarios>> makeTrees(const std::string& base, bool smoke);

// Fixes the calendar clock that seeds the random pick, so that every
// refresh picks the same image.
void fixRandomClock();

// Seconds per operation, each the fastest of `rounds` rounds in which every
// operation runs once, one after another: a shared machine's noise only ever
// adds, and it falls on all operations of a round alike.
struct SideBySide {
  double bare = 0, count = 0, walk = 0, walkIndexed = 0, getImage = 0, random = 0, randomFloor = 0;
};
SideBySide measureSideBySide(const Scenarios& scenarios, int rounds);

}  // namespace rotavue::bench
