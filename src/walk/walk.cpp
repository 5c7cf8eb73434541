// The image walk and the count walk over the platform's directory
// enumeration.
//
// This is the module's hot path: every refresh walks the tree afresh, so the
// walks cost one find-next per entry and nothing more, and the shortcuts
// spare whole folders. The level directories live in one path buffer that
// grows and shrinks with the depth, and the selected image's directory is
// copied only when the selection moves to another level, so that recording
// "every image met" costs one copy of the name.
#include "walk/walk.h"

#include <cstring>
#include <new>

#include "host/errors.h"
#include "platform/platform.h"
#include "walk/sip_hash.h"

namespace rotavue {

namespace {

using platform::DirectoryEntry;
using platform::Enumeration;
using platform::SystemError;

constexpr std::uint32_t packExtension(char a, char b, char c) {
  return static_cast<std::uint32_t>(static_cast<unsigned char>(a)) |
         static_cast<std::uint32_t>(static_cast<unsigned char>(b)) << 8 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(c)) << 16;
}

char lowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// The length of `name` when it is an image name, else 0; the walks reuse the
// length to record the selection without measuring the name again.
std::size_t imageNameLength(const char* name) {
  const std::size_t length = std::strlen(name);
  // The extension after the last "." has three characters exactly when the
  // name is three characters long without a dot, or its fourth character
  // from the end is the dot; a dot among the last three is no letter and
  // never matches.
  if (length < 3 || (length > 3 && name[length - 4] != '.')) return 0;
  const char* extension = name + length - 3;
  switch (
      packExtension(lowerAscii(extension[0]), lowerAscii(extension[1]), lowerAscii(extension[2]))) {
    case packExtension('j', 'p', 'g'):
    case packExtension('b', 'm', 'p'):
    case packExtension('g', 'i', 'f'):
    case packExtension('i', 'c', 'o'):
    case packExtension('p', 'n', 'g'):
      return length;
    default:
      return 0;
  }
}

// The length of `name` when the walks take it for an image in a level
// directory of `levelLength` bytes, else 0: natively an image whose full path
// would not fit the result text is passed over (platform::kImagePathBytesLimit).
std::size_t takenImageNameLength(const char* name, std::size_t levelLength) {
  const std::size_t length = imageNameLength(name);
  return levelLength + length < platform::kImagePathBytesLimit ? length : 0;
}

// Forms the top level's directory: the separator is appended unless the
// directory already ends in one (as a character of its own, not as the
// second byte of a double-byte character). An empty directory is never
// searched: false, with the system's message for a missing path left in
// `errorText`.
bool formTopLevelDirectory(meter_data& instance, std::string& path) {
  if (path.empty()) {
    instance.errorText = platform::systemMessage(platform::pathNotFoundError());
    return false;
  }
  if (!platform::endsInSeparator(path)) path += platform::kPathSeparator;
  return true;
}

// Forms a nested level's directory from its entry's name. A name never holds
// a separator character, so one is always appended, even when the name's
// last byte has the separator's value.
void enterSubdirectory(std::string& path, const char* name) {
  path += name;
  path += platform::kPathSeparator;
}

// Opens the enumeration of a level directory and delivers its first entry;
// on failure, null with the system's message for the error in `errorText`.
std::unique_ptr<Enumeration> openLevel(meter_data& instance, std::string& levelDirectory,
                                       DirectoryEntry& first) {
  const std::size_t levelLength = levelDirectory.size();
  levelDirectory += "*.*";
  SystemError error;
  std::unique_ptr<Enumeration> enumeration =
      platform::hooks().openEnumeration(levelDirectory.c_str(), first, error);
  levelDirectory.resize(levelLength);
  if (!enumeration) instance.errorText = platform::systemMessage(error);
  return enumeration;
}

struct ImageWalk {
  meter_data& instance;
  const std::string& previousDirectory;
  const std::string& previousFile;
  const std::int32_t targetIndex;
  const WalkShortcuts& shortcuts;
  // The current level's directory; nested levels extend it and the enclosing
  // level cuts it back.
  std::string path;
  // Which level's directory `imageDirectory` holds (0: none yet).
  std::uint64_t selectionLevel = 0;
  std::uint64_t levelsStarted = 0;
  std::size_t foldersPassedBy = 0;
  // The count's record of the next folder that the walk meets, while the
  // records match the tree (the root's record is the first).
  std::size_t nextRecord = 1;
  bool recordsMatch = false;

  void walkLevel();
  void meetImage(const char* name, std::size_t nameLength, std::size_t levelLength,
                 std::uint64_t level, bool levelIsPreviousDirectory);
  bool passByOffThePath(const char* name, std::size_t levelLength);
  bool stepOverBeforeTheTarget(const char* name);
  void checkRecordsTaken(std::size_t record);
};

// Sequential mode towards the previous image, while it has not been met:
// true for a folder that cannot hold it, one whose level directory (the
// current level's, the name, the separator) is no byte prefix of
// `previousDirectory`, since the level directory of every image inside
// begins with that one. The walk does not enter it.
bool ImageWalk::passByOffThePath(const char* name, std::size_t levelLength) {
  if (!shortcuts.towardsPrevious || targetIndex != 0 || previousFile.empty() ||
      instance.walkStatus != WalkStatus::kNotFound)
    return false;
  const std::size_t nameLength = std::strlen(name);
  const std::size_t folderLength = levelLength + nameLength + 1;
  const bool mayHoldPrevious = previousDirectory.size() >= folderLength &&
                               previousDirectory.compare(0, levelLength, path) == 0 &&
                               previousDirectory.compare(levelLength, nameLength, name) == 0 &&
                               previousDirectory[folderLength - 1] == platform::kPathSeparator;
  if (mayHoldPrevious) return false;
  ++foldersPassedBy;
  return true;
}

// Indexed mode with the count's records: takes the record of the folder
// `name` that the walk has met. Each image compares `walkCounter` with the
// target before raising it, so a subtree of n images met with the counter
// at c holds the target exactly when target < c + n. True when the whole
// subtree lies before the target: the counter moves on by its images, its
// records are passed by and the walk does not enter it. A subtree that the
// count could not read whole is always entered. Once a record does not match
// the folder, no record is used again.
bool ImageWalk::stepOverBeforeTheTarget(const char* name) {
  if (!recordsMatch) return false;
  const std::vector<SubtreeCounts::Record>& records = shortcuts.counts->records();
  if (nextRecord >= records.size() || records[nextRecord].nameHash != folderNameHash(name)) {
    recordsMatch = false;
    return false;
  }
  const SubtreeCounts::Record& record = records[nextRecord];
  if (record.images == SubtreeCounts::kUnknownImages ||
      std::int64_t{instance.walkCounter} + record.images > targetIndex) {
    ++nextRecord;
    return false;
  }
  instance.walkCounter += static_cast<std::int32_t>(record.images);
  nextRecord += 1 + std::size_t{record.foldersBelow};
  ++foldersPassedBy;
  return true;
}

// A level that ends must have taken exactly the records of its subtree;
// otherwise the tree has changed since the count (or the level ended early),
// and no record is used again.
void ImageWalk::checkRecordsTaken(std::size_t record) {
  if (recordsMatch && nextRecord != record + 1 + shortcuts.counts->records()[record].foldersBelow)
    recordsMatch = false;
}

void ImageWalk::meetImage(const char* name, std::size_t nameLength, std::size_t levelLength,
                          std::uint64_t level, bool levelIsPreviousDirectory) {
  if (selectionLevel != level) {
    instance.imageDirectory.assign(path, 0, levelLength);
    selectionLevel = level;
  }
  instance.imageFileName.assign(name, nameLength);
  if (targetIndex == 0) {
    // "FOUND" turns into "EXIT" before the previous-image test, so the image
    // that sets "FOUND" is never the one selected.
    if (instance.walkStatus == WalkStatus::kFound) instance.walkStatus = WalkStatus::kExit;
    const bool isPrevious = previousFile.empty() ||
                            (levelIsPreviousDirectory && instance.imageFileName == previousFile);
    if (isPrevious && instance.walkStatus == WalkStatus::kNotFound)
      instance.walkStatus = WalkStatus::kFound;
  }
}

void ImageWalk::walkLevel() {
  instance.walkContinue = 1;
  const std::size_t levelLength = path.size();
  const std::uint64_t level = ++levelsStarted;
  // The record that the enclosing level took for this one.
  const std::size_t record = nextRecord - 1;
  try {
    DirectoryEntry entry;
    const std::unique_ptr<Enumeration> enumeration = openLevel(instance, path, entry);
    if (!enumeration) {
      checkRecordsTaken(record);
      return;
    }
    const bool levelIsPreviousDirectory = targetIndex == 0 && path == previousDirectory;
    while (instance.walkContinue != 0) {
      if (instance.walkCounter == -1 || instance.walkStatus == WalkStatus::kExit) break;
      if (entry.unreachable) {
        // The host could not open it: passed over as if it were not there.
      } else if (isEnteredDirectory(entry.attributes)) {
        if (!isSkippedDirectoryName(entry.name) && !passByOffThePath(entry.name, levelLength) &&
            !stepOverBeforeTheTarget(entry.name)) {
          enterSubdirectory(path, entry.name);
          walkLevel();
          path.resize(levelLength);
        }
      } else if (const std::size_t nameLength = takenImageNameLength(entry.name, levelLength);
                 nameLength != 0) {
        meetImage(entry.name, nameLength, levelLength, level, levelIsPreviousDirectory);
        if (targetIndex != 0) {
          if (instance.walkCounter == targetIndex) {
            instance.walkCounter = -1;
            break;
          }
          ++instance.walkCounter;
        }
      }
      instance.walkContinue = enumeration->next(entry) ? 1 : 0;
    }
  } catch (const EAccessViolation& fault) {
    instance.errorText = fault.message();
  }
  checkRecordsTaken(record);
}

struct CountWalk {
  meter_data& instance;
  std::string path;
  SubtreeCounts* counts;

  bool countLevel(const char* name);
  bool countEntries();
};

// Counts the level named `name` and everything below it, recording it when
// the caller asked for records. True when all of it could be read.
bool CountWalk::countLevel(const char* name) {
  const std::size_t record = counts != nullptr ? counts->open(name) : SubtreeCounts::kNoRecord;
  const std::int32_t imagesBefore = instance.imageCount;
  const bool readWhole = countEntries();
  if (counts != nullptr)
    counts->close(record, static_cast<std::uint32_t>(instance.imageCount - imagesBefore),
                  readWhole);
  return readWhole;
}

bool CountWalk::countEntries() {
  const std::size_t levelLength = path.size();
  bool readWhole = true;
  try {
    DirectoryEntry entry;
    const std::unique_ptr<Enumeration> enumeration = openLevel(instance, path, entry);
    if (!enumeration) return false;
    while (instance.walkContinue != 0) {
      if (entry.unreachable) {
        // Passed over, as by the image walk.
      } else if (isEnteredDirectory(entry.attributes)) {
        if (!isSkippedDirectoryName(entry.name)) {
          enterSubdirectory(path, entry.name);
          readWhole = countLevel(entry.name) && readWhole;
          path.resize(levelLength);
        }
      } else if (takenImageNameLength(entry.name, levelLength) != 0) {
        ++instance.imageCount;
      }
      instance.walkContinue = enumeration->next(entry) ? 1 : 0;
    }
  } catch (const Exception& failure) {
    instance.errorText = failure.message();
    readWhole = false;
  }
  return readWhole;
}

// The shuffle walk. Each level carries the hash state of its part of the
// relative path, so that an image costs the hash of its own name alone.
struct ShuffleWalk {
  meter_data& instance;
  const std::optional<std::uint64_t>& threshold;
  std::string path;
  std::size_t rootLength = 0;
  ShufflePick pick{};
  // Which level's directory `imageDirectory` holds (0: none yet).
  std::uint64_t selectionLevel = 0;
  std::uint64_t levelsStarted = 0;

  void walkLevel(const SipHash13& folder);
  void meetImage(const SipHash13& folder, const char* name, std::size_t nameLength,
                 std::size_t levelLength, std::uint64_t level);
};

// Two images whose hashes are equal (a chance of about n * n / 2^65 in a tree
// of n images) share one place: the one met first is selected, and the other
// waits for the next cycle, whose key orders them apart. There is no rule for
// ties beyond that.
void ShuffleWalk::meetImage(const SipHash13& folder, const char* name, std::size_t nameLength,
                            std::size_t levelLength, std::uint64_t level) {
  ++pick.images;
  SipHash13 image = folder;
  image.feed(name, nameLength);
  const std::uint64_t hash = image.finish();
  if ((threshold && hash <= *threshold) || (pick.selected && hash >= pick.hash)) return;
  pick.selected = true;
  pick.hash = hash;
  if (selectionLevel != level) {
    instance.imageDirectory.assign(path, 0, levelLength);
    selectionLevel = level;
  }
  instance.imageFileName.assign(name, nameLength);
}

void ShuffleWalk::walkLevel(const SipHash13& folder) {
  const std::size_t levelLength = path.size();
  const std::uint64_t level = ++levelsStarted;
  try {
    DirectoryEntry entry;
    const std::unique_ptr<Enumeration> enumeration = openLevel(instance, path, entry);
    if (!enumeration) return;
    do {
      if (entry.unreachable) {
        // Passed over, as by the other walks.
      } else if (isEnteredDirectory(entry.attributes)) {
        if (!isSkippedDirectoryName(entry.name)) {
          SipHash13 inner = folder;
          inner.feed(entry.name, std::strlen(entry.name));
          inner.feed(&platform::kPathSeparator, 1);
          enterSubdirectory(path, entry.name);
          walkLevel(inner);
          path.resize(levelLength);
        }
      } else if (const std::size_t nameLength = takenImageNameLength(entry.name, levelLength);
                 nameLength != 0) {
        meetImage(folder, entry.name, nameLength, levelLength, level);
      }
    } while (enumeration->next(entry));
  } catch (const Exception& failure) {
    instance.errorText = failure.message();
  }
}

}  // namespace

std::size_t SubtreeCounts::open(const char* name) {
  if (outOfMemory_) return kNoRecord;
  try {
    records_.push_back(Record{0, 0, folderNameHash(name)});
  } catch (const std::bad_alloc&) {
    // A refresh without records only walks further; it never fails for it.
    outOfMemory_ = true;
    std::vector<Record>().swap(records_);
    return kNoRecord;
  }
  return records_.size() - 1;
}

void SubtreeCounts::close(std::size_t index, std::uint32_t images, bool readWhole) {
  if (outOfMemory_) return;
  Record& record = records_[index];
  record.images = readWhole ? images : kUnknownImages;
  record.foldersBelow = static_cast<std::uint32_t>(records_.size() - index - 1);
}

// FNV-1a over the name's bytes.
std::uint32_t folderNameHash(const char* name) {
  std::uint32_t hash = 2166136261U;
  for (const char* c = name; *c != '\0'; ++c) {
    hash ^= static_cast<unsigned char>(*c);
    hash *= 16777619U;
  }
  return hash;
}

bool isImageName(const char* name) { return imageNameLength(name) != 0; }

bool isSkippedDirectoryName(const char* name) {
  return name[0] == '\0' ||
         (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0')));
}

std::size_t walkImages(meter_data& instance, const std::string& directory,
                       const std::string& previousDirectory, const std::string& previousFile,
                       std::int32_t targetIndex, const WalkShortcuts& shortcuts) {
  ImageWalk walk{instance, previousDirectory, previousFile, targetIndex, shortcuts, directory};
  walk.recordsMatch =
      targetIndex != 0 && shortcuts.counts != nullptr && !shortcuts.counts->records().empty();
  instance.walkContinue = 1;
  if (formTopLevelDirectory(instance, walk.path)) walk.walkLevel();
  return walk.foldersPassedBy;
}

void countImages(meter_data& instance, const std::string& directory, SubtreeCounts* counts) {
  CountWalk walk{instance, directory, counts};
  if (formTopLevelDirectory(instance, walk.path)) walk.countLevel("");
}

std::uint64_t shuffleHash(std::uint64_t key, const std::string& relativePath) {
  SipHash13 hash(key);
  hash.feed(relativePath.data(), relativePath.size());
  return hash.finish();
}

ShufflePick shuffleImages(meter_data& instance, const std::string& directory, std::uint64_t key,
                          const std::optional<std::uint64_t>& threshold) {
  ShuffleWalk walk{instance, threshold, directory};
  if (formTopLevelDirectory(instance, walk.path)) {
    walk.rootLength = walk.path.size();
    walk.walkLevel(SipHash13(key));
  }
  if (walk.pick.selected) {
    instance.walkStatus = WalkStatus::kExit;
    walk.pick.relativePath =
        instance.imageDirectory.substr(walk.rootLength) + instance.imageFileName;
  }
  return walk.pick;
}

}  // namespace rotavue
