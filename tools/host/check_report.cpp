// The help text and reports of `rotavue-host check`.
//
// Every text of a survey is UTF-8 already; the reports only arrange it. The
// readable report aligns its columns by characters, counting each UTF-8
// sequence as one, so that names in any script line up as long as the
// terminal shows them one column wide.
#include "check_report.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace rotavue_host {

namespace {

using rotavue::Survey;

// Characters, not bytes: every byte but UTF-8's continuation bytes starts one.
std::size_t widthOf(const std::string& text) {
  return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  }));
}

std::string padded(const std::string& text, std::size_t width) {
  const std::size_t have = widthOf(text);
  return have >= width ? text : text + std::string(width - have, ' ');
}

std::string rightAligned(const std::string& text, std::size_t width) {
  const std::size_t have = widthOf(text);
  return have >= width ? text : std::string(width - have, ' ') + text;
}

std::string joined(const std::vector<std::string>& words, const char* separator) {
  std::string text;
  for (const std::string& word : words) text += (text.empty() ? "" : separator) + word;
  return text;
}

std::string milliseconds(double value) {
  const long long tenths = std::llround(value * 10);
  return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10) + " ms";
}

// How many of `size` entries a list shows.
std::size_t shown(std::size_t size, bool all) {
  return all ? size : std::min(size, kCheckListLimit);
}

void printMore(std::ostream& out, std::size_t size, bool all) {
  if (size > shown(size, all)) out << "  \u2026 and " << size - shown(size, all) << " more\n";
}

// "1 image", "2 images".
std::string counted(std::uint64_t count, const std::string& noun) {
  return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}

// A link (a reparse point) is never entered nor looked into: the report
// keeps linked folders apart from the folders kept out for other reasons.
bool isLinked(const rotavue::SkippedFolder& folder) {
  return (folder.reasons & rotavue::kSkipLink) != 0;
}

std::vector<std::string> linkedFolders(const Survey& survey) {
  std::vector<std::string> paths;
  for (const rotavue::SkippedFolder& folder : survey.skippedFolders)
    if (isLinked(folder)) paths.push_back(folder.path);
  return paths;
}

std::vector<rotavue::SkippedFolder> foldersKeptOut(const Survey& survey) {
  std::vector<rotavue::SkippedFolder> folders;
  for (const rotavue::SkippedFolder& folder : survey.skippedFolders)
    if (!isLinked(folder)) folders.push_back(folder);
  return folders;
}

// The skipped folders' total: how many, and the images inside those looked
// into; of those not looked into (offline, device) it tells no count.
std::string skippedFoldersTotal(const std::vector<rotavue::SkippedFolder>& folders) {
  std::uint64_t images = 0;
  std::size_t lookedInto = 0;
  for (const rotavue::SkippedFolder& folder : folders) {
    if (!folder.lookedInside) continue;
    ++lookedInto;
    images += folder.imagesInside;
  }
  const std::size_t notLookedInto = folders.size() - lookedInto;
  std::string total = std::to_string(folders.size());
  if (lookedInto > 0)
    total += ", with " + counted(images, "image") + " inside that " + (images == 1 ? "is" : "are") +
             " never shown";
  if (notLookedInto > 0)
    total += (lookedInto > 0 ? ", and " + std::to_string(notLookedInto) : std::string(",")) +
             " not looked into";
  return total;
}

std::uint64_t otherPictureCount(const Survey& survey) {
  std::uint64_t count = 0;
  for (const auto& entry : survey.otherPictures) count += entry.second.count;
  return count;
}

// The length from which an image path is listed as long: "260 characters"
// on Windows, where the host cannot open it; "1024 bytes" natively, where the
// result text cannot hold it.
std::string pathLimitText() {
  return std::to_string(
             std::min(rotavue::platform::kPathLimit, rotavue::platform::kImagePathBytesLimit)) +
         " " + rotavue::platform::kPathLengthUnit;
}

void printTotals(std::ostream& out, const Survey& survey, double refreshMs) {
  const auto line = [&out](const char* label, const std::string& value) {
    out << "  " << padded(label, 30) << value << '\n';
  };
  out << "Folder: " << survey.folder << '\n';
  line("images shown", std::to_string(survey.images) + " in " +
                           counted(survey.foldersEntered, "folder") + " entered");
  line("longest image path", survey.images == 0 ? std::string("-")
                                                : std::to_string(survey.longestPathLength) + " " +
                                                      rotavue::platform::kPathLengthUnit + ": " +
                                                      survey.longestPath);
  line("refresh time", milliseconds(refreshMs) + " (one count walk)");
  line("skipped folders", skippedFoldersTotal(foldersKeptOut(survey)));
  line("linked folders (not entered)", std::to_string(linkedFolders(survey).size()));
  std::string others = std::to_string(otherPictureCount(survey));
  std::vector<std::string> byExtension;
  for (const auto& [extension, pictures] : survey.otherPictures)
    byExtension.push_back(extension + " " + std::to_string(pictures.count));
  if (!byExtension.empty()) others += " (" + joined(byExtension, ", ") + ")";
  line("other pictures", others);
  line("unreachable names", std::to_string(survey.unreachableNames.size()));
  line("names that are not files", std::to_string(survey.notFiles.size()));
  line("unreadable folders", std::to_string(survey.unreadableFolders.size()));
  line("long paths", std::to_string(survey.longPaths.size()) +
                         " (the host cannot show an image whose path has " + pathLimitText() +
                         " or more)");
}

void printSkippedFolders(std::ostream& out, const Survey& survey, bool all) {
  const std::vector<rotavue::SkippedFolder> folders = foldersKeptOut(survey);
  if (folders.empty()) return;
  const std::size_t count = shown(folders.size(), all);
  std::vector<std::string> images(count);
  std::vector<std::string> reasons(count);
  std::size_t imagesWidth = widthOf("images");
  std::size_t reasonsWidth = widthOf("reasons");
  for (std::size_t i = 0; i < count; ++i) {
    images[i] = folders[i].lookedInside ? std::to_string(folders[i].imagesInside) : "-";
    reasons[i] = joined(rotavue::skipReasonWords(folders[i].reasons), ",");
    imagesWidth = std::max(imagesWidth, widthOf(images[i]));
    reasonsWidth = std::max(reasonsWidth, widthOf(reasons[i]));
  }
  out << "\nSkipped folders (not entered; the images inside are never shown;\n"
         "\"-\": an offline or device folder, not looked into):\n";
  out << "  " << rightAligned("images", imagesWidth) << "  " << padded("reasons", reasonsWidth)
      << "  folder\n";
  for (std::size_t i = 0; i < count; ++i) {
    out << "  " << rightAligned(images[i], imagesWidth) << "  " << padded(reasons[i], reasonsWidth)
        << "  " << folders[i].path << '\n';
  }
  printMore(out, folders.size(), all);
}

void printOtherPictures(std::ostream& out, const Survey& survey, bool all) {
  if (survey.otherPictures.empty()) return;
  std::size_t extensionWidth = 0;
  std::size_t countWidth = 0;
  for (const auto& [extension, pictures] : survey.otherPictures) {
    extensionWidth = std::max(extensionWidth, widthOf(extension));
    countWidth = std::max(countWidth, widthOf(std::to_string(pictures.count)));
  }
  out << "\nOther pictures (types the rotation does not show; it shows jpg, bmp, gif, ico, png):\n";
  std::size_t listed = 0;
  for (const auto& [extension, pictures] : survey.otherPictures) {
    if (listed++ == shown(survey.otherPictures.size(), all)) break;
    out << "  " << padded(extension, extensionWidth) << "  "
        << rightAligned(std::to_string(pictures.count), countWidth) << "  e.g. "
        << joined(pictures.examples, ", ") << '\n';
  }
  printMore(out, survey.otherPictures.size(), all);
}

void printPaths(std::ostream& out, const char* title, const std::vector<std::string>& paths,
                bool all) {
  if (paths.empty()) return;
  out << '\n' << title << '\n';
  for (std::size_t i = 0; i < shown(paths.size(), all); ++i) out << "  " << paths[i] << '\n';
  printMore(out, paths.size(), all);
}

void printUnreadableFolders(std::ostream& out, const Survey& survey, bool all) {
  const auto& folders = survey.unreadableFolders;
  if (folders.empty()) return;
  const std::size_t count = shown(folders.size(), all);
  std::size_t pathWidth = 0;
  for (std::size_t i = 0; i < count; ++i) pathWidth = std::max(pathWidth, widthOf(folders[i].path));
  out << "\nUnreadable folders (their images are never shown):\n";
  for (std::size_t i = 0; i < count; ++i)
    out << "  " << padded(folders[i].path, pathWidth) << "  " << folders[i].message << '\n';
  printMore(out, folders.size(), all);
}

// True when `text` is valid UTF-8, by the JSON library's own rule, which
// replaces what is not in the report.
bool isValidUtf8(const std::string& text) {
  try {
    static_cast<void>(nlohmann::json(text).dump());
    return true;
  } catch (const nlohmann::json::type_error&) {
    return false;
  }
}

std::string bytesInHex(const std::string& text) {
  std::string hex;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    hex += "0123456789abcdef"[byte >> 4U];
    hex += "0123456789abcdef"[byte & 15U];
  }
  return hex;
}

// Sets "path" in `object`, and "path_bytes" too when the path is not valid
// UTF-8 (natively a name's own bytes), whose text the report cannot give.
void setPath(nlohmann::ordered_json& object, const std::string& path) {
  object["path"] = path;
  if (!isValidUtf8(path)) object["path_bytes"] = bytesInHex(path);
}

// A path where the report holds a text: the text, or the object of setPath
// when the path is not valid UTF-8.
nlohmann::ordered_json pathValue(const std::string& path) {
  if (isValidUtf8(path)) return path;
  nlohmann::ordered_json object;
  setPath(object, path);
  return object;
}

nlohmann::ordered_json pathList(const std::vector<std::string>& paths) {
  nlohmann::ordered_json list = nlohmann::ordered_json::array();
  for (const std::string& path : paths) list.push_back(pathValue(path));
  return list;
}

}  // namespace

nlohmann::ordered_json checkJson(const Survey& survey, double refreshMs) {
  using nlohmann::ordered_json;
  ordered_json skipped = ordered_json::array();
  for (const rotavue::SkippedFolder& folder : foldersKeptOut(survey)) {
    ordered_json entry;
    setPath(entry, folder.path);
    entry["reasons"] = rotavue::skipReasonWords(folder.reasons);
    entry["images_inside"] =
        folder.lookedInside ? ordered_json(folder.imagesInside) : ordered_json(nullptr);
    skipped.push_back(std::move(entry));
  }
  ordered_json others = ordered_json::object();
  for (const auto& [extension, pictures] : survey.otherPictures) others[extension] = pictures.count;
  ordered_json unreadable = ordered_json::array();
  for (const rotavue::UnreadableFolder& folder : survey.unreadableFolders) {
    ordered_json entry;
    setPath(entry, folder.path);
    entry["message"] = folder.message;
    unreadable.push_back(std::move(entry));
  }

  ordered_json report;
  report["folder"] = pathValue(survey.folder);
  report["images"] = survey.images;
  report["folders_entered"] = survey.foldersEntered;
  report["longest_path"] = pathValue(survey.longestPath);
  report["skipped_folders"] = std::move(skipped);
  report["linked_folders"] = pathList(linkedFolders(survey));
  report["other_pictures"] = std::move(others);
  report["unreachable_names"] = pathList(survey.unreachableNames);
  report["not_files"] = pathList(survey.notFiles);
  report["unreadable_folders"] = std::move(unreadable);
  report["long_paths"] = survey.longPaths.size();
  report["refresh_ms"] = std::round(refreshMs * 1000) / 1000;
  return report;
}

void printCheckReport(std::ostream& out, const Survey& survey, double refreshMs, bool all) {
  printTotals(out, survey, refreshMs);
  printSkippedFolders(out, survey, all);
  printPaths(out, "Linked folders (not entered, not looked into):", linkedFolders(survey), all);
  printOtherPictures(out, survey, all);
  printPaths(out,
             "Unreachable names (no name in the ANSI code page and no short name; on Linux,\n"
             "CR or LF in the name):",
             survey.unreachableNames, all);
  printPaths(out,
             "Names that are not files (folders not entered, links to no file):", survey.notFiles,
             all);
  printUnreadableFolders(out, survey, all);
  printPaths(out, "Long paths (images the host cannot show):", survey.longPaths, all);
}

std::string checkHelpText() {
  return "Walks DIR with the module's own rules and tells what the rotation shows, what\n"
         "it passes over and why: skipped folders with their reasons, linked folders,\n"
         "other picture types, unreachable names, names that are not files, unreadable\n"
         "folders, and images whose path has " +
         pathLimitText() +
         " or more. The totals come first,\n"
         "then each list, cut at " +
         std::to_string(kCheckListLimit) +
         " entries unless --all. --json prints one object,\n"
         "every list complete, with the keys folder, images, folders_entered,\n"
         "longest_path, skipped_folders, linked_folders, other_pictures,\n"
         "unreachable_names, not_files, unreadable_folders, long_paths and refresh_ms.\n";
}

}  // namespace rotavue_host
