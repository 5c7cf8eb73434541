// Tests of the reports of `rotavue-host check` over surveys of in-memory
// trees: the JSON object parsed back has exactly the documented keys and
// values, in valid UTF-8 whatever the names; the readable report gives the
// totals first and cuts each list at ten entries unless --all.
#include "check_report.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "support/memory_tree.h"
#include "survey.h"

namespace rotavue_host {
namespace {

using nlohmann::json;
using rotavue::testing::dir;
using rotavue::testing::file;
using rotavue::testing::MemoryTree;
using rotavue::testing::path;
using rotavue::testing::unreachable;

std::string withoutSeparator(const std::string& levelDirectory) {
  return levelDirectory.substr(0, levelDirectory.size() - 1);
}

std::vector<std::string> linesOf(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream stream(text);
  for (std::string line; std::getline(stream, line);) lines.push_back(line);
  return lines;
}

std::size_t countOf(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
    ++count;
  return count;
}

// A tree with something in every list.
struct FullTree {
  MemoryTree tree;
  const std::string root = path({"R"});
  FullTree() {
    tree.add(root, {file("a.jpg"), dir("sub"), dir(".hidden", 18), dir("link", 1040),
                    unreachable("\xC3\xBC.jpg"), dir("locked"), file("b.webp"), file("c.WEBP"),
                    file("d.heic"), file("dangling.jpg", 1024)});
    tree.add(path({"R", "sub"}), {file("e.png"), file("f.gif")});
    tree.add(path({"R", ".hidden"}), {file("g.jpg")});
    tree.failOpen(path({"R", "locked"}), 5);
  }
};

TEST(CheckJson, HasExactlyTheDocumentedKeysAndValues) {
  FullTree full;
  const rotavue::Survey survey = rotavue::surveyFolder(full.root);
  const std::string text = checkJson(survey, 12.3456).dump(2);
  const json parsed = json::parse(text);

  // In the documented order.
  const nlohmann::ordered_json ordered = nlohmann::ordered_json::parse(text);
  std::vector<std::string> keys;
  for (auto item = ordered.begin(); item != ordered.end(); ++item) keys.push_back(item.key());
  EXPECT_EQ(keys, (std::vector<std::string>{"folder", "images", "folders_entered", "longest_path",
                                            "skipped_folders", "linked_folders", "other_pictures",
                                            "unreachable_names", "not_files", "unreadable_folders",
                                            "long_paths", "refresh_ms"}));
  EXPECT_EQ(parsed["folder"], full.root);
  EXPECT_EQ(parsed["images"], 3);
  EXPECT_EQ(parsed["folders_entered"], 2);
  EXPECT_EQ(parsed["longest_path"], path({"R", "sub"}) + "e.png");
  ASSERT_EQ(parsed["skipped_folders"].size(), 1u);
  EXPECT_EQ(parsed["skipped_folders"][0], (json{{"path", withoutSeparator(path({"R", ".hidden"}))},
                                                {"reasons", {"hidden"}},
                                                {"images_inside", 1}}));
  EXPECT_EQ(parsed["linked_folders"], json::array({withoutSeparator(path({"R", "link"}))}));
  EXPECT_EQ(parsed["other_pictures"], (json{{"heic", 1}, {"webp", 2}}));
  EXPECT_EQ(parsed["unreachable_names"], json::array({full.root + "\xC3\xBC.jpg"}));
  EXPECT_EQ(parsed["not_files"], json::array({full.root + "dangling.jpg"}));
  ASSERT_EQ(parsed["unreadable_folders"].size(), 1u);
  EXPECT_EQ(parsed["unreadable_folders"][0]["path"], withoutSeparator(path({"R", "locked"})));
  EXPECT_TRUE(parsed["unreadable_folders"][0]["message"].is_string());
  EXPECT_NE(parsed["unreadable_folders"][0]["message"], "");
  EXPECT_EQ(parsed["unreadable_folders"][0].size(), 2u);
  EXPECT_EQ(parsed["long_paths"], 0);
  EXPECT_DOUBLE_EQ(parsed["refresh_ms"].get<double>(), 12.346);
}

TEST(CheckJson, EmptyListsAreEmptyAndNamesAreValidUtf8) {
  MemoryTree tree;
  const std::string root = path({"R"});
  // A byte that is no UTF-8 on its own: on Windows a character of the ANSI
  // code page, converted; on POSIX a name's raw byte, replaced when dumped.
  tree.add(root, {dir("\xFF", 18), file("x.txt")});
  tree.add(path({"R", "\xFF"}), {});
  const rotavue::Survey survey = rotavue::surveyFolder(root);
  const std::string text =
      checkJson(survey, 0).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
  const json parsed = json::parse(text);
  const std::string converted = rotavue::platform::ansiToUtf8("\xFF");
  const std::string shown = converted == "\xFF" ? "\xEF\xBF\xBD" : converted;
  EXPECT_EQ(parsed["skipped_folders"][0]["path"], root + shown);
  // A path that is not UTF-8 also gives its bytes, natively those of "R/\xFF".
  EXPECT_EQ(parsed["skipped_folders"][0].value("path_bytes", ""),
            converted == "\xFF" ? "522fff" : "");
  EXPECT_EQ(parsed["images"], 0);
  EXPECT_EQ(parsed["longest_path"], "");
  EXPECT_EQ(parsed["other_pictures"], json::object());
  EXPECT_EQ(parsed["unreachable_names"], json::array());
  EXPECT_EQ(parsed["unreadable_folders"], json::array());
}

TEST(CheckReport, GivesTheTotalsFirstThenEachList) {
  FullTree full;
  const rotavue::Survey survey = rotavue::surveyFolder(full.root);
  std::ostringstream out;
  printCheckReport(out, survey, 1.25, false);
  const std::vector<std::string> lines = linesOf(out.str());
  ASSERT_GE(lines.size(), 12u);
  EXPECT_EQ(lines[0], "Folder: " + full.root);
  EXPECT_EQ(lines[1], "  images shown                  3 in 2 folders entered");
  EXPECT_EQ(lines[2], "  longest image path            " + std::to_string(full.root.size() + 9) +
                          " " + rotavue::platform::kPathLengthUnit + ": " + path({"R", "sub"}) +
                          "e.png");
  EXPECT_EQ(lines[3], "  refresh time                  1.3 ms (one count walk)");
  EXPECT_EQ(lines[4], "  skipped folders               1, with 1 image inside that is never shown");
  EXPECT_EQ(lines[5], "  linked folders (not entered)  1");
  EXPECT_EQ(lines[6], "  other pictures                3 (heic 1, webp 2)");
  EXPECT_EQ(lines[7], "  unreachable names             1");
  EXPECT_EQ(lines[8], "  names that are not files      1");
  EXPECT_EQ(lines[9], "  unreadable folders            1");
  EXPECT_EQ(lines[10].rfind("  long paths                    0 (", 0), 0u) << lines[10];
  EXPECT_EQ(lines[11], "");
  const std::string text = out.str();
  EXPECT_NE(text.find("       1  hidden   " + withoutSeparator(path({"R", ".hidden"}))),
            std::string::npos)
      << text;
  EXPECT_NE(text.find(":\n  " + withoutSeparator(path({"R", "link"})) + "\n"), std::string::npos)
      << text;
  EXPECT_NE(text.find("  webp  2  e.g. " + full.root + "b.webp, " + full.root + "c.WEBP\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("\n  " + full.root + "\xC3\xBC.jpg\n"), std::string::npos) << text;
  EXPECT_NE(text.find(":\n  " + full.root + "dangling.jpg\n"), std::string::npos) << text;
  EXPECT_EQ(text.find("\xE2\x80\xA6 and"), std::string::npos);
}

TEST(CheckReport, CutsEachListAtTenUnlessAll) {
  MemoryTree tree;
  const std::string root = path({"R"});
  std::vector<rotavue::testing::TreeEntry> entries;
  for (int i = 0; i < 13; ++i) entries.push_back(dir("h" + std::to_string(i), 18));
  for (int i = 0; i < 12; ++i) entries.push_back(unreachable("u" + std::to_string(i) + ".jpg"));
  for (int i = 0; i < 11; ++i) entries.push_back(dir("x" + std::to_string(i)));
  tree.add(root, entries);  // the x folders are missing, so unreadable

  const rotavue::Survey survey = rotavue::surveyFolder(root);
  std::ostringstream cut;
  printCheckReport(cut, survey, 0, false);
  const std::string text = cut.str();
  EXPECT_EQ(countOf(text, "\n  \xE2\x80\xA6 and 3 more\n"), 1u) << text;
  EXPECT_EQ(countOf(text, "\n  \xE2\x80\xA6 and 2 more\n"), 1u) << text;
  EXPECT_EQ(countOf(text, "\n  \xE2\x80\xA6 and 1 more\n"), 1u) << text;
  EXPECT_EQ(countOf(text, "hidden   " + root + "h"), 10u);
  EXPECT_EQ(countOf(text, "  " + root + "u"), 10u);
  EXPECT_EQ(text.find(root + "h12"), std::string::npos);

  std::ostringstream all;
  printCheckReport(all, survey, 0, true);
  EXPECT_EQ(all.str().find("\xE2\x80\xA6 and"), std::string::npos);
  EXPECT_EQ(countOf(all.str(), "hidden   " + root + "h"), 13u);
  EXPECT_EQ(countOf(all.str(), "  " + root + "u"), 12u);
  EXPECT_EQ(countOf(all.str(), "  " + root + "x"), 11u);

  // Paths of unreadable folders are padded to one column for their
  // messages, counting characters, not bytes.
  MemoryTree names;
  const std::string top = path({"T"});
  names.add(top, {dir("\xC3\xBC\xC3\xBC"), dir("abcd")});
  std::ostringstream aligned;
  printCheckReport(aligned, rotavue::surveyFolder(top), 0, false);
  std::string missing = rotavue::platform::systemMessage(rotavue::platform::pathNotFoundError());
  while (!missing.empty() && (missing.back() == '\n' || missing.back() == '\r')) missing.pop_back();
  std::vector<std::size_t> columns;
  for (const std::string& line : linesOf(aligned.str())) {
    const std::size_t message = line.find("  " + missing);
    if (line.rfind("  " + top, 0) != 0 || message == std::string::npos) continue;
    columns.push_back(static_cast<std::size_t>(
        std::count_if(line.begin(), line.begin() + static_cast<std::ptrdiff_t>(message),
                      [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; })));
  }
  ASSERT_EQ(columns.size(), 2u) << aligned.str();
  EXPECT_EQ(columns[0], columns[1]) << aligned.str();
}

}  // namespace
}  // namespace rotavue_host
