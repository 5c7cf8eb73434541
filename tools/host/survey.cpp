// The survey of an image tree over the platform's directory enumeration.
//
// It runs once per check, not per refresh, so it favours plain code over the
// walks' savings; but it keeps one path buffer that grows and shrinks with
// the depth, converts a text to UTF-8 only when it is reported, and keeps the
// host's form of the longest path until the end.
#include "survey.h"

#include <cstring>
#include <memory>

#include "host/errors.h"
#include "platform/platform.h"
#include "walk/walk.h"

namespace rotavue {

std::string reportedText(const std::string& ansiMessage) {
  std::string text = platform::ansiToUtf8(ansiMessage);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
    text.pop_back();
  return text;
}

namespace {

using platform::DirectoryEntry;
using platform::Enumeration;
using platform::SystemError;

constexpr std::uint32_t kOfflineAttributes = platform::kAttributeOffline |
                                             platform::kAttributeRecallOnOpen |
                                             platform::kAttributeRecallOnDataAccess;

// The excluding bits that also forbid opening a folder to look inside:
// all of them but hidden and system.
constexpr std::uint32_t kNeverOpened =
    kNotEnteredAttributes & ~(platform::kAttributeHidden | platform::kAttributeSystem);

const char* const kOtherPictureExtensions[] = {"jpeg", "jpe",  "jfif", "webp", "tif",
                                               "tiff", "heic", "heif", "avif", "svg"};

bool hasDirectoryBit(std::uint32_t attributes) {
  return (attributes & platform::kAttributeDirectory) != 0;
}

// A system message as a report shows it (reportedText), never empty.
std::string reportedMessage(const std::string& message, std::uint32_t code) {
  const std::string text = reportedText(message);
  return text.empty() ? "system error " + std::to_string(code) : text;
}

// A folder's path from its level directory: the separator at its end goes.
std::string folderPath(const std::string& levelDirectory) {
  return platform::ansiToUtf8(levelDirectory.substr(0, levelDirectory.size() - 1));
}

struct SurveyWalk {
  Survey& survey;
  const SurveyProgress& progress;
  bool folderItselfOnly;
  // The current level's directory, ending in the separator.
  std::string path;
  std::string longestPath;

  std::unique_ptr<Enumeration> open(DirectoryEntry& first, SystemError& error);
  void countEntry();
  void surveyLevel(bool top);
  void noteImage(const DirectoryEntry& entry);
  void noteSkippedFolder(const DirectoryEntry& entry);
  void noteOtherPicture(const char* name);
  std::uint64_t imagesBeneath();
};

std::unique_ptr<Enumeration> SurveyWalk::open(DirectoryEntry& first, SystemError& error) {
  const std::size_t levelLength = path.size();
  path += "*.*";
  std::unique_ptr<Enumeration> enumeration =
      platform::hooks().openEnumeration(path.c_str(), first, error);
  path.resize(levelLength);
  return enumeration;
}

void SurveyWalk::countEntry() {
  ++survey.entries;
  if (progress && survey.entries % kSurveyProgressInterval == 0) progress(survey.entries);
}

void SurveyWalk::surveyLevel(bool top) {
  const std::size_t levelLength = path.size();
  try {
    DirectoryEntry entry;
    SystemError error;
    const std::unique_ptr<Enumeration> enumeration = open(entry, error);
    if (!enumeration) {
      const std::string message = reportedMessage(platform::systemMessage(error), error.code);
      if (top)
        survey.folderMessage = message;
      else
        survey.unreadableFolders.push_back({folderPath(path), message});
      return;
    }
    if (top) survey.folderReadable = true;
    if (folderItselfOnly) return;
    ++survey.foldersEntered;
    do {
      countEntry();
      if (entry.unreachable) {
        // Its name is in UTF-8 already.
        survey.unreachableNames.push_back(platform::ansiToUtf8(path) + entry.name);
      } else if (isEnteredDirectory(entry.attributes)) {
        if (!isSkippedDirectoryName(entry.name)) {
          path += entry.name;
          path += platform::kPathSeparator;
          surveyLevel(false);
          path.resize(levelLength);
        }
      } else {
        if (hasDirectoryBit(entry.attributes) && !isSkippedDirectoryName(entry.name))
          noteSkippedFolder(entry);
        // A folder kept out is tested as an image name like a file.
        if (isImageName(entry.name))
          noteImage(entry);
        else if (!hasDirectoryBit(entry.attributes))
          noteOtherPicture(entry.name);
      }
    } while (enumeration->next(entry));
  } catch (const Exception& failure) {
    // The count walk ends the level here too, keeping what it counted.
    path.resize(levelLength);
    if (top && !survey.folderReadable)
      survey.folderMessage = platform::ansiToUtf8(failure.message());
    else
      survey.unreadableFolders.push_back(
          {folderPath(path), platform::ansiToUtf8(failure.message())});
  }
}

// An entry named like an image, which the walks take unless its path would
// not fit the result text. Lengths are counted as the host's file calls
// count them, so that in a double-byte code page a character of two bytes
// counts once on Windows. A folder, or a link (a reparse point) to no file,
// is taken by the walks but is no file that the host could show; only a
// link costs a look at the file system.
void SurveyWalk::noteImage(const DirectoryEntry& entry) {
  std::string image = path + entry.name;
  const bool taken = image.size() < platform::kImagePathBytesLimit;
  if (!taken || !platform::hostCanOpenPath(image))
    survey.longPaths.push_back(platform::ansiToUtf8(image));
  if (!taken) return;
  if (hasDirectoryBit(entry.attributes) ||
      ((entry.attributes & platform::kAttributeReparsePoint) != 0 &&
       !platform::fileExistsFollowingLinks(image))) {
    survey.notFiles.push_back(platform::ansiToUtf8(image));
    return;
  }
  ++survey.images;
  const std::size_t length = platform::hostPathLength(image);
  if (length > survey.longestPathLength) {
    survey.longestPathLength = length;
    longestPath = std::move(image);
  }
}

void SurveyWalk::noteSkippedFolder(const DirectoryEntry& entry) {
  SkippedFolder folder;
  folder.path = platform::ansiToUtf8(path + entry.name);
  folder.reasons = skipReasons(entry.attributes);
  folder.lookedInside = (entry.attributes & kNeverOpened) == 0;
  if (folder.lookedInside) {
    const std::size_t levelLength = path.size();
    path += entry.name;
    path += platform::kPathSeparator;
    folder.imagesInside = imagesBeneath();
    path.resize(levelLength);
  }
  survey.skippedFolders.push_back(std::move(folder));
}

void SurveyWalk::noteOtherPicture(const char* name) {
  std::string extension;
  if (!isOtherPictureName(name, extension)) return;
  OtherPictures& pictures = survey.otherPictures[extension];
  ++pictures.count;
  if (pictures.examples.size() < kOtherPictureExamples)
    pictures.examples.push_back(platform::ansiToUtf8(path + name));
}

// The image files at any depth below the level directory in `path`, looking
// into hidden and system folders but never into those that must not be
// opened. What cannot be read is passed over: only the walks' own folders
// are reported as unreadable.
std::uint64_t SurveyWalk::imagesBeneath() {
  const std::size_t levelLength = path.size();
  std::uint64_t found = 0;
  try {
    DirectoryEntry entry;
    SystemError error;
    const std::unique_ptr<Enumeration> enumeration = open(entry, error);
    if (!enumeration) return 0;
    do {
      countEntry();
      if (entry.unreachable) continue;
      if (hasDirectoryBit(entry.attributes)) {
        if ((entry.attributes & kNeverOpened) == 0 && !isSkippedDirectoryName(entry.name)) {
          path += entry.name;
          path += platform::kPathSeparator;
          found += imagesBeneath();
          path.resize(levelLength);
        }
      } else if (isImageName(entry.name)) {
        ++found;
      }
    } while (enumeration->next(entry));
  } catch (const Exception&) {
    path.resize(levelLength);
  }
  return found;
}

}  // namespace

unsigned skipReasons(std::uint32_t attributes) {
  if (!hasDirectoryBit(attributes) || isEnteredDirectory(attributes)) return 0;
  unsigned reasons = 0;
  if ((attributes & platform::kAttributeHidden) != 0) reasons |= kSkipHidden;
  if ((attributes & platform::kAttributeSystem) != 0) reasons |= kSkipSystem;
  if ((attributes & platform::kAttributeReparsePoint) != 0) reasons |= kSkipLink;
  if ((attributes & kOfflineAttributes) != 0) reasons |= kSkipOffline;
  const std::uint32_t named = platform::kAttributeHidden | platform::kAttributeSystem |
                              platform::kAttributeReparsePoint | kOfflineAttributes;
  if ((attributes & kNotEnteredAttributes & ~named) != 0) reasons |= kSkipOther;
  return reasons;
}

std::vector<std::string> skipReasonWords(unsigned reasons) {
  static const std::pair<unsigned, const char*> kWords[] = {{kSkipHidden, "hidden"},
                                                            {kSkipSystem, "system"},
                                                            {kSkipLink, "link"},
                                                            {kSkipOffline, "offline"},
                                                            {kSkipOther, "other"}};
  std::vector<std::string> words;
  for (const auto& [reason, word] : kWords)
    if ((reasons & reason) != 0) words.emplace_back(word);
  return words;
}

bool isOtherPictureName(const char* name, std::string& extension) {
  const char* dot = std::strrchr(name, '.');
  if (dot == nullptr) return false;
  std::string lower(dot + 1);
  for (char& c : lower)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  for (const char* known : kOtherPictureExtensions) {
    if (lower == known) {
      extension = std::move(lower);
      return true;
    }
  }
  return false;
}

namespace {

Survey surveyFrom(const std::string& directory, const SurveyProgress& progress,
                  bool folderItselfOnly) {
  Survey survey;
  SurveyWalk walk{survey, progress, folderItselfOnly, directory, {}};
  if (directory.empty()) {
    const SystemError missing = platform::pathNotFoundError();
    survey.folderMessage = reportedMessage(platform::systemMessage(missing), missing.code);
    return survey;
  }
  if (!platform::endsInSeparator(walk.path)) walk.path += platform::kPathSeparator;
  survey.folder = platform::ansiToUtf8(walk.path);
  walk.surveyLevel(true);
  survey.longestPath = platform::ansiToUtf8(walk.longestPath);
  return survey;
}

}  // namespace

Survey surveyFolder(const std::string& directory, const SurveyProgress& progress) {
  return surveyFrom(directory, progress, false);
}

Survey surveyFolderItself(const std::string& directory) {
  return surveyFrom(directory, nullptr, true);
}

}  // namespace rotavue
