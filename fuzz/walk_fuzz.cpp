// Fuzz target: the image walk and the count walk over an in-memory tree
// built from the input: attribute words, names, enumeration order, failing
// directories, unreachable names and faults raised mid-level. Whatever the
// tree, no walk crashes or leaves an enumeration open, and (unless an error
// other than an access violation passes out of the image walk) the indexed
// walk meets as many images as the count walk counts, and the walks'
// shortcuts change no outcome.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "host/errors.h"
#include "host/meter_data.h"
#include "support/memory_tree.h"
#include "walk/walk.h"

namespace {

using rotavue::testing::Fault;
using rotavue::testing::MemoryTree;
using rotavue::testing::TreeEntry;

class Input {
 public:
  Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  std::uint8_t next() { return position_ < size_ ? data_[position_++] : 0; }
  bool empty() const { return position_ >= size_; }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t position_ = 0;
};

const std::uint32_t kAttributes[] = {16,   16,  16, 17,   18,      20,     48,
                                     1040, 128, 32, 4112, 0x40010, 0x2010, 80};
const char kNameCharacters[] = "jpgJPGbmpicoPNGgif.x#a";

std::string makeName(Input& input) {
  const int length = input.next() % 7;
  std::string name;
  for (int i = 0; i < length; ++i)
    name += kNameCharacters[input.next() % (sizeof kNameCharacters - 1)];
  if (input.next() % 8 == 0) name = input.next() % 2 ? "." : "..";
  return name;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Input input(data, size);
  MemoryTree tree;
  const std::string root = rotavue::testing::path({"R"});
  std::vector<std::string> pending{root};
  bool errorsPassOut = false;
  for (std::size_t described = 0; described < pending.size() && described < 12; ++described) {
    const std::string directory = pending[described];
    const int choice = input.next() % 16;
    if (choice == 0) {
      tree.failOpen(directory, 5);
      continue;
    }
    std::vector<TreeEntry> entries;
    const int count = input.next() % 9;
    for (int i = 0; i < count; ++i) {
      const std::uint32_t attributes =
          kAttributes[input.next() % (sizeof kAttributes / sizeof kAttributes[0])];
      std::string name = makeName(input);
      // Now and then a name the host could not open, which both walks pass
      // over; an unreachable folder is never entered, so it needs no entries.
      const bool unreachable = input.next() % 8 == 0;
      if (rotavue::isEnteredDirectory(attributes) && !unreachable &&
          !rotavue::isSkippedDirectoryName(name.c_str()))
        pending.push_back(directory + name + rotavue::platform::kPathSeparator);
      entries.push_back(TreeEntry{name, attributes, unreachable});
    }
    if (entries.empty()) entries.push_back(TreeEntry{".", 16});
    tree.add(directory, entries);
    if (choice == 1 || choice == 2) {
      const Fault fault = choice == 1 ? Fault::kAccessViolation : Fault::kException;
      errorsPassOut = errorsPassOut || fault == Fault::kException;
      tree.raiseAt(directory, input.next() % (entries.size() + 1), fault, "fault");
    }
  }

  rotavue::meter_data counted;
  rotavue::countImages(counted, root);
  if (tree.openEnumerations() != 0) std::abort();

  rotavue::meter_data indexed;
  try {
    rotavue::walkImages(indexed, root, "", "", INT32_MAX);
    if (!errorsPassOut && indexed.walkCounter != counted.imageCount) std::abort();
  } catch (const rotavue::Exception&) {
    if (!errorsPassOut) std::abort();
  }
  if (tree.openEnumerations() != 0) std::abort();

  rotavue::meter_data first;
  first.walkStatus = rotavue::WalkStatus::kFound;
  try {
    rotavue::walkImages(first, root, "", "", 0);
    if (first.walkStatus == rotavue::WalkStatus::kExit &&
        !rotavue::isImageName(first.imageFileName))
      std::abort();
    if (!errorsPassOut && counted.imageCount > 0 && first.walkStatus != rotavue::WalkStatus::kExit)
      std::abort();
  } catch (const rotavue::Exception&) {
    if (!errorsPassOut) std::abort();
  }
  if (tree.openEnumerations() != 0) std::abort();

  if (errorsPassOut || counted.imageCount < 2) return 0;
  // The image at a fuzzed position: the indexed walk over the count's
  // records reaches it, and the walk towards it as the previous image ends
  // "EXIT" exactly where the whole walk does, with the same successor.
  const std::int32_t target = 1 + input.next() % (counted.imageCount - 1);
  rotavue::meter_data whole;
  rotavue::walkImages(whole, root, "", "", target);
  rotavue::SubtreeCounts counts;
  rotavue::meter_data recounted;
  rotavue::meter_data picked;
  rotavue::countImages(recounted, root, &counts);
  rotavue::walkImages(picked, root, "", "", target, {false, &counts});
  const auto selection = [](const rotavue::meter_data& m) {
    return m.imageDirectory + "#" + m.imageFileName;
  };
  if (picked.walkCounter != -1 || selection(picked) != selection(whole)) std::abort();
  rotavue::meter_data after;
  rotavue::meter_data shortAfter;
  rotavue::walkImages(after, root, whole.imageDirectory, whole.imageFileName, 0);
  rotavue::walkImages(shortAfter, root, whole.imageDirectory, whole.imageFileName, 0,
                      {true, nullptr});
  const bool exit = after.walkStatus == rotavue::WalkStatus::kExit;
  if (exit != (shortAfter.walkStatus == rotavue::WalkStatus::kExit) ||
      (exit && selection(after) != selection(shortAfter)))
    std::abort();
  if (tree.openEnumerations() != 0) std::abort();
  return 0;
}
