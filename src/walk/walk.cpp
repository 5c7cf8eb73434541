// The image walk and the count walk over the platform's directory
// enumeration.
//
// This is the module's hot path: every refresh walks the tree afresh, so the
// walks cost one find-next per entry and nothing more. The level directories
// live in one path buffer that grows and shrinks with the depth, and the
// selected image's directory is copied only when the selection moves to
// another level, so that recording "every image met" costs one copy of the
// name.
#include "walk/walk.h"

#include <cstring>

#include "host/errors.h"
#include "platform/platform.h"

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
  // The current level's directory; nested levels extend it and the enclosing
  // level cuts it back.
  std::string path;
  // Which level's directory `imageDirectory` holds (0: none yet).
  std::uint64_t selectionLevel = 0;
  std::uint64_t levelsStarted = 0;

  void walkLevel();
  void meetImage(const char* name, std::size_t nameLength, std::size_t levelLength,
                 std::uint64_t level, bool levelIsPreviousDirectory);
};

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
  try {
    DirectoryEntry entry;
    const std::unique_ptr<Enumeration> enumeration = openLevel(instance, path, entry);
    if (!enumeration) return;
    const bool levelIsPreviousDirectory = targetIndex == 0 && path == previousDirectory;
    while (instance.walkContinue != 0) {
      if (instance.walkCounter == -1 || instance.walkStatus == WalkStatus::kExit) break;
      if (entry.unreachable) {
        // The host could not open it: passed over as if it were not there.
      } else if (isEnteredDirectory(entry.attributes)) {
        if (!isSkippedDirectoryName(entry.name)) {
          enterSubdirectory(path, entry.name);
          walkLevel();
          path.resize(levelLength);
        }
      } else if (const std::size_t nameLength = imageNameLength(entry.name); nameLength != 0) {
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
}

struct CountWalk {
  meter_data& instance;
  std::string path;

  void countLevel();
};

void CountWalk::countLevel() {
  const std::size_t levelLength = path.size();
  try {
    DirectoryEntry entry;
    const std::unique_ptr<Enumeration> enumeration = openLevel(instance, path, entry);
    if (!enumeration) return;
    while (instance.walkContinue != 0) {
      if (entry.unreachable) {
        // Passed over, as by the image walk.
      } else if (isEnteredDirectory(entry.attributes)) {
        if (!isSkippedDirectoryName(entry.name)) {
          enterSubdirectory(path, entry.name);
          countLevel();
          path.resize(levelLength);
        }
      } else if (imageNameLength(entry.name) != 0) {
        ++instance.imageCount;
      }
      instance.walkContinue = enumeration->next(entry) ? 1 : 0;
    }
  } catch (const Exception& failure) {
    instance.errorText = failure.message();
  }
}

}  // namespace

bool isImageName(const char* name) { return imageNameLength(name) != 0; }

bool isSkippedDirectoryName(const char* name) {
  return name[0] == '\0' ||
         (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0')));
}

void walkImages(meter_data& instance, const std::string& directory,
                const std::string& previousDirectory, const std::string& previousFile,
                std::int32_t targetIndex) {
  ImageWalk walk{instance, previousDirectory, previousFile, targetIndex, directory};
  instance.walkContinue = 1;
  if (formTopLevelDirectory(instance, walk.path)) walk.walkLevel();
}

void countImages(meter_data& instance, const std::string& directory) {
  CountWalk walk{instance, directory};
  if (formTopLevelDirectory(instance, walk.path)) walk.countLevel();
}

}  // namespace rotavue
