// The survey of an image tree: what the rotation will show of it and what it
// passes over, and why.
//
// The survey walks a folder with the walks' own rules: the same enumeration
// hook, the same entered-folder predicate, image-name test and skipped names,
// and the same handling of names the host cannot open. So its images and
// its names that are not files together make the count walk's count, and
// everything else it reports explains a picture that never appears: folders
// kept out (with the images inside them), pictures of types the rotation does
// not show, names the host cannot open, folders that cannot be read, and
// images whose path is too long for the host.
//
// It looks inside a folder that is kept out only to count the images there,
// read-only, and never opens links or offline and recall-on-access folders:
// following a link could loop, and opening a cloud folder would download it.
//
// Every path and message in a survey is UTF-8, for reports.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace rotavue {

// Why a folder is not entered; a folder may have several reasons.
enum SkipReason : unsigned {
  kSkipHidden = 1,   // "hidden"
  kSkipSystem = 2,   // "system"
  kSkipLink = 4,     // "link": a reparse point (junction, link, cloud placeholder)
  kSkipOffline = 8,  // "offline": offline, or recalled on open or on data access
  kSkipOther = 16,   // "other": any other bit that keeps the walks out
};

// The reasons that keep the walks out of a directory entry with this
// attribute word; 0 for a directory that is entered and for a file.
unsigned skipReasons(std::uint32_t attributes);

// The words of `reasons`, in the order hidden, system, link, offline, other.
std::vector<std::string> skipReasonWords(unsigned reasons);

// A message of the module or the system as reports show it: UTF-8, without
// the line end (and trailing spaces) that Windows' system messages carry.
std::string reportedText(const std::string& ansiMessage);

// True when `name` has the extension of a common picture type that the
// rotation does not show (jpeg, jpe, jfif, webp, tif, tiff, heic, heif, avif,
// svg, in any letter case); `extension` then receives it in lower case.
bool isOtherPictureName(const char* name, std::string& extension);

struct SkippedFolder {
  std::string path;  // without a trailing separator
  unsigned reasons = 0;
  // False for links and offline or recall-on-access folders, which are never
  // opened; `imagesInside` is then 0 and means nothing.
  bool lookedInside = false;
  // The images at any depth beneath it, which the rotation never shows.
  std::uint64_t imagesInside = 0;
};

struct OtherPictures {
  std::uint64_t count = 0;
  std::vector<std::string> examples;  // the first kOtherPictureExamples paths met
};

inline constexpr std::size_t kOtherPictureExamples = 3;

struct UnreadableFolder {
  std::string path;  // without a trailing separator
  std::string message;
};

struct Survey {
  // The folder as the walks form it, ending in the separator.
  std::string folder;
  // False when the folder itself cannot be read; `folderMessage` then holds
  // the system's message and nothing else is filled in.
  bool folderReadable = false;
  std::string folderMessage;

  std::uint64_t images = 0;           // files the walks take as images
  std::uint64_t foldersEntered = 0;   // folders walked, the folder itself included
  std::uint64_t entries = 0;          // entries looked at, in skipped folders too
  std::string longestPath;            // the longest image path; "" without images
  std::size_t longestPathLength = 0;  // its length as the host's file calls count it

  std::vector<SkippedFolder> skippedFolders;
  std::map<std::string, OtherPictures> otherPictures;  // by lower-case extension
  std::vector<std::string> unreachableNames;
  // Entries the walks take as images that are no file: a folder kept out
  // named like an image, a link to no file (dangling, or to a folder). The
  // module answers their paths; the host cannot show them.
  std::vector<std::string> notFiles;
  std::vector<UnreadableFolder> unreadableFolders;
  // Images whose path the host's file calls cannot open, being
  // platform::kPathLimit long or longer as they count it
  // (platform::hostCanOpenPath), and, natively, those that the walks pass
  // over since their path would not fit the result text
  // (platform::kImagePathBytesLimit).
  std::vector<std::string> longPaths;
};

// Called every kSurveyProgressInterval entries with the entries so far.
using SurveyProgress = std::function<void(std::uint64_t entries)>;
inline constexpr std::uint64_t kSurveyProgressInterval = 1000;

// Surveys the tree below `directory` (a text in the ANSI code page, as the
// host passes it to the image functions). An empty `directory` is not
// searched and reads as a folder that does not exist, as for the walks.
Survey surveyFolder(const std::string& directory, const SurveyProgress& progress = nullptr);

// Whether the walks can read `directory` itself: a survey with only
// `folder`, `folderReadable` and `folderMessage` filled in, found as
// surveyFolder finds them, by opening the folder's enumeration once.
Survey surveyFolderItself(const std::string& directory);

}  // namespace rotavue
