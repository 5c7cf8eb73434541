// The measured operations of the benchmarks, over one generated tree: the
// bare enumeration, the two walks, and the image functions with their
// position file and registry value, as a host calls them, with the walks'
// shortcuts and (through the switch only the benchmark uses) without them.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "bench_support.h"
#include "host/image_functions.h"

namespace rotavue::bench {

// Where in the walk order the stored image of a GetImage refresh lies.
inline constexpr int kStoredPercents[] = {10, 50, 90};
inline constexpr std::size_t kStoredPositions = sizeof kStoredPercents / sizeof kStoredPercents[0];

class Scenarios {
 public:
  // Builds the tree under `base` and points the host's DirPath at `base`.
  Scenarios(const std::string& base, const std::string& label, int files, int folders);
  Scenarios(const Scenarios&) = delete;
  Scenarios& operator=(const Scenarios&) = delete;

  const ImageTree& tree() const { return tree_; }

  std::size_t bare() const;
  std::int32_t count() const;
  // A sequential walk whose previous image is the last one: the whole tree.
  bool walkSequential() const;
  // An indexed walk to the last image.
  bool walkIndexed() const;
  // Stores the image at kStoredPercents[position] % of the walk order as the
  // nickname's position, for the next getImage.
  void storePosition(std::size_t position) const;
  // The position line of the image at `percent` % of the walk order (the
  // last image at 100), and storing such a line for the next getImage.
  std::string positionLineAt(int percent) const;
  void storePositionLine(const std::string& line) const;
  // Lets the next random refreshes pick an image within half a percent of
  // `percent` % of the walk order; by default they pick in its last tenth.
  void pickRandomAt(double percent);
  const char* getImage(Shortcuts shortcuts = Shortcuts::kTaken) const;
  // One refresh of a rotation that goes on where the last one of its kind
  // stopped: with the shortcuts under one nickname, without under another.
  const char* rotate(Shortcuts shortcuts) const;
  // A random refresh whose pick lies in the last tenth of the walk order.
  const char* getRandomImage(Shortcuts shortcuts = Shortcuts::kTaken) const;
  // A shuffle refresh, which goes on where the last one stopped; and one at
  // the end of a cycle (every image shown), which walks the tree twice.
  const char* getShuffledImage() const;
  void storeEndOfCycle() const;
  // A call whose interval has not elapsed.
  const char* notDue() const;
  // Peak heap growth of one refresh, in bytes.
  std::size_t getImagePeakHeap() const;
  std::size_t getRandomImagePeakHeap(Shortcuts shortcuts = Shortcuts::kTaken) const;

  // The random refresh's pick, as a share of the images.
  double randomPickShare() const { return static_cast<double>(randomPick_) / tree_.images; }

 private:
  // Makes the random refreshes pick an image whose index lies in [first, end).
  void pickRandomIn(std::int32_t first, std::int32_t end);

  ImageTree tree_;
  std::string positionFile_;
  std::string cycleFile_;
  std::uint32_t rotation_ = 0;
  std::uint32_t plainRotation_ = 0;
  std::uint32_t random_ = 0;
  std::uint32_t shuffle_ = 0;
  std::uint32_t idle_ = 0;
  // The position lines of the images at kStoredPercents of the walk order.
  std::vector<std::string> positionLines_;
  std::int64_t randomSeconds_ = 0;
  std::int32_t randomPick_ = 0;
};

// The benchmark's two trees under `base`: a flat folder of 10,000 files and a
// nested tree of 100,000 files in 1,000 folders, or small ones for a smoke run.
std::vector<std::unique_ptr<Scenarios>> makeTrees(const std::string& base, bool smoke);
// The nested one alone.
std::unique_ptr<Scenarios> makeNestedTree(const std::string& base, bool smoke);

// Seconds per operation, each the fastest of `rounds` rounds in which every
// operation runs once, one after another: a shared machine's noise only ever
// adds, and it falls on all operations of a round alike.
struct SideBySide {
  double bare = 0, count = 0, walk = 0, walkIndexed = 0, random = 0, randomPlain = 0;
  double shuffle = 0, shuffleEndOfCycle = 0;
  double getImage[kStoredPositions] = {}, getImagePlain[kStoredPositions] = {};
};
SideBySide measureSideBySide(const Scenarios& scenarios, int rounds);

// Entries read by each refresh, counted through the enumeration hook, with
// the shortcuts and without.
struct EntriesRead {
  std::size_t getImage[kStoredPositions] = {}, getImagePlain[kStoredPositions] = {};
  std::size_t random = 0, randomPlain = 0;
};
EntriesRead countEntriesRead(const Scenarios& scenarios);

// Prints the lines that docs/performance.md quotes for one tree.
void printSummary(const Scenarios& scenarios, const SideBySide& best, const EntriesRead& entries);

// Prints, for the stored image (GetImage) or the pick (GetRandomImage) at 0,
// 5, ... 100 % of the walk order, each refresh's time as a share of a bare
// walk's, the fastest of `rounds` side-by-side rounds: GetImage without the
// shortcuts (the plain walk), with them (the short walk), GetRandomImage,
// and GetShuffledImage (whose cost has no place: it walks the whole tree).
// The lines are a data file for bench/plot-series.sh.
void printSeries(Scenarios& scenarios, int rounds);

// One full cycle of a GetImage rotation (every image once, then the
// wrap-around) over a tree of `files` files in `folders` folders, with the
// shortcuts and without, refresh by refresh in turns, so that both see the
// machine alike: prints entries read and seconds.
void measureCycle(const std::string& base, int files, int folders);

// What the flush of the position file costs a refresh: `refreshes` pairs of
// GetImage refreshes over 1,000 files in 10 folders under `base`, one with
// the platform's write and one without its flush
// (writeNewFileWithoutFlush), in turns and in alternating order; prints
// each kind's median and 95th percentile in milliseconds. `base` must lie
// on the disk to be measured: on tmpfs a flush costs nothing.
void measureFlush(const std::string& base, int refreshes);

}  // namespace rotavue::bench
