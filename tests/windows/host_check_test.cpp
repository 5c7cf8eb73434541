// Tests of `rotavue-host.exe check` under Windows' attribute words: the test
// lays out folders with the attributes users' folders carry (set with
// SetFileAttributesA, as Windows and Wine keep them), runs the program
// beside it as a user would, parses its JSON back and compares the image
// count with the distinct images of a full GetImage cycle of the real
// Rotavue.dll over the same tree. Names outside the ANSI code page and
// lengths in a double-byte code page are tested in code pages 1252 and 932
// (ROTAVUE_EXPECT_ACP). So is `run` stopped by Ctrl-C.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <vector>

#include "folder_attributes.h"
#include "host_program.h"

namespace {

using host_program::HostCheckExe;
using host_program::narrowOf;
using host_program::Outcome;
using host_program::privateKeys;
using host_program::removeTree;
using host_program::utf8Of;
using host_program::wideOf;
using nlohmann::json;

// The reasons the report must give for an attribute word, by the rule.
std::vector<std::string> reasonsFor(DWORD word) {
  std::vector<std::string> reasons;
  if ((word & FILE_ATTRIBUTE_HIDDEN) != 0) reasons.emplace_back("hidden");
  if ((word & FILE_ATTRIBUTE_SYSTEM) != 0) reasons.emplace_back("system");
  if ((word & FILE_ATTRIBUTE_REPARSE_POINT) != 0) reasons.emplace_back("link");
  if ((word & (FILE_ATTRIBUTE_OFFLINE | 0x40000 | 0x400000)) != 0) reasons.emplace_back("offline");
  if ((word & FILE_ATTRIBUTE_DEVICE) != 0) reasons.emplace_back("other");
  return reasons;
}

TEST_F(HostCheckExe, CountsWhatTheModuleShowsAndNamesEachReason) {
  for (const char* name :
       {"a.jpg", "notes.txt", "b.jpeg", "c.webp", "hidden\\h1.jpg", "hidden\\h2.png",
        "system\\s1.jpg", "both\\b1.gif", "both\\deeper\\b2.bmp", "x.jpg\\inner.jpg",
        "Camera Roll\\r1.jpg", "archive\\ar.jpg", "offline\\o1.jpg", "indexed\\n1.jpg"})
    writeFile(name);
  const std::map<std::string, DWORD> attributes = {
      {"hidden", FILE_ATTRIBUTE_HIDDEN},
      {"system", FILE_ATTRIBUTE_SYSTEM},
      {"both", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM},
      {"x.jpg", FILE_ATTRIBUTE_HIDDEN},
      {"archive", FILE_ATTRIBUTE_ARCHIVE},
      {"offline", FILE_ATTRIBUTE_OFFLINE},
      {"indexed", FILE_ATTRIBUTE_NOT_CONTENT_INDEXED}};
  for (const auto& [name, attribute] : attributes)
    ASSERT_TRUE(::SetFileAttributesA((pictures_ + name).c_str(), attribute)) << name;
  ASSERT_EQ(folder_attributes::makeFolderReadOnly(pictures_ + "Camera Roll"),
            static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY));

  // What the system reports decides: Windows and Wine keep hidden and
  // system on folders, Wine drops archive and offline.
  std::map<std::string, std::vector<std::string>> expectedReasons;
  for (const auto& entry : attributes) {
    const DWORD word = folder_attributes::reportedAttributes(pictures_ + entry.first);
    if (!reasonsFor(word).empty()) expectedReasons[pictures_ + entry.first] = reasonsFor(word);
  }
  ASSERT_EQ(expectedReasons[pictures_ + "both"], (std::vector<std::string>{"hidden", "system"}));

  const json report = checkJson(pictures_);
  const std::set<std::string> shown = rotation(pictures_);
  // The module also answers the hidden folder x.jpg, which is no file.
  EXPECT_EQ(report["images"], shown.size() - 1);
  EXPECT_EQ(report["not_files"], json::array({utf8Of(pictures_ + "x.jpg")}));
  EXPECT_EQ(shown.count(pictures_ + "Camera Roll\\r1.jpg"), 1u);
  EXPECT_EQ(shown.count(pictures_ + "x.jpg"), 1u);
  EXPECT_EQ(report["folder"], utf8Of(pictures_));

  std::map<std::string, std::vector<std::string>> reasons;
  std::map<std::string, json> inside;
  for (const json& folder : report["skipped_folders"]) {
    reasons[folder["path"]] = folder["reasons"].get<std::vector<std::string>>();
    inside[folder["path"]] = folder["images_inside"];
  }
  std::map<std::string, std::vector<std::string>> expectedInUtf8;
  for (const auto& [path, words] : expectedReasons) expectedInUtf8[utf8Of(path)] = words;
  EXPECT_EQ(reasons, expectedInUtf8);
  EXPECT_EQ(inside[utf8Of(pictures_ + "hidden")], 2);
  EXPECT_EQ(inside[utf8Of(pictures_ + "system")], 1);
  EXPECT_EQ(inside[utf8Of(pictures_ + "both")], 2);
  EXPECT_EQ(inside[utf8Of(pictures_ + "x.jpg")], 1);
  EXPECT_EQ(report["other_pictures"], (json{{"jpeg", 1}, {"webp", 1}}));
  EXPECT_EQ(report["unreadable_folders"], json::array());
  folder_attributes::makeFolderWritable(pictures_ + "Camera Roll");
}

// Names in the ANSI code page reach the report in UTF-8.
TEST_F(HostCheckExe, ReportsAreInUtf8) {
  const std::string name = "Fotos \xDC";  // a capital U with diaeresis in code page 1252
  const std::string converted = utf8Of(name);
  if (converted == name) GTEST_SKIP() << "the ANSI code page has no character 0xDC";
  writeFile(name + "\\a.jpg");
  ASSERT_TRUE(::SetFileAttributesA((pictures_ + name).c_str(), FILE_ATTRIBUTE_HIDDEN));

  const json report = checkJson(pictures_);
  ASSERT_EQ(report["skipped_folders"].size(), 1u);
  EXPECT_EQ(report["skipped_folders"][0]["path"], utf8Of(pictures_) + converted);

  const Outcome readable = run({"check", "--folder", pictures_});
  EXPECT_EQ(readable.status, 0u);
  EXPECT_NE(readable.out.find(utf8Of(pictures_) + converted + "\r\n"), std::string::npos)
      << readable.out;
  EXPECT_EQ(readable.out.find(name), std::string::npos);
}

TEST_F(HostCheckExe, ExitStatusTellsBadUsageFromAFolderThatCannotBeRead) {
  const Outcome missing = run({"check", "--folder", root_ + "nowhere"});
  EXPECT_EQ(missing.status, 3u);
  EXPECT_EQ(missing.out, "");
  EXPECT_EQ(missing.err.rfind("rotavue-host: " + root_ + "nowhere: ", 0), 0u) << missing.err;
  for (const std::vector<std::string>& bad : std::vector<std::vector<std::string>>{
           {"check", "--bogus"}, {"check", pictures_, "--folder=x"}, {"check", "--folder"}}) {
    const Outcome outcome = run(bad);
    EXPECT_EQ(outcome.status, 2u) << bad.back();
    EXPECT_EQ(outcome.out, "") << bad.back();
  }
}

// A folder whose name the ANSI code page lacks is walked by its short name,
// as the module takes DirPath; one that does not exist is named in UTF-8.
TEST_F(HostCheckExe, FolderOutsideTheCodePageIsGivenByItsShortName) {
  if (::GetACP() != 1252) GTEST_SKIP() << "for code page 1252, which has no Japanese";
  const std::wstring folder = wideOf(CP_ACP, pictures_) + L"\u5199\u771f";
  ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr));
  const HANDLE image = ::CreateFileW((folder + L"\\a.jpg").c_str(), GENERIC_WRITE, 0, nullptr,
                                     CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(image, INVALID_HANDLE_VALUE);
  ::CloseHandle(image);

  const Outcome outcome = runWide({L"check", L"--json", L"--folder", folder});
  ASSERT_EQ(outcome.status, 0u) << outcome.err;
  const json report = json::parse(outcome.out);
  const std::string walked = report["folder"];
  // The short path, which the host's ANSI calls open.
  EXPECT_TRUE(std::all_of(walked.begin(), walked.end(), [](char c) {
    return static_cast<unsigned char>(c) < 0x80;
  })) << walked;
  EXPECT_NE(::GetFileAttributesA(walked.c_str()), INVALID_FILE_ATTRIBUTES) << walked;
  EXPECT_EQ(report["images"], 1);
  EXPECT_EQ(rotation(walked).size(), 1u);

  const std::wstring missing = folder + L"\u5199";
  const Outcome absent = runWide({L"check", L"--folder", missing});
  EXPECT_EQ(absent.status, 3u);
  EXPECT_EQ(absent.err.rfind("rotavue-host: " + narrowOf(CP_UTF8, missing) + ": ", 0), 0u)
      << absent.err;
}

// In code page 932 a path of 300 bytes has 160 characters, well below the
// 260 at which the system's file calls refuse it: it opens, and is no long
// path.
TEST_F(HostCheckExe, PathLengthsAreCountedAsTheSystemCountsThem) {
  if (::GetACP() != 932) GTEST_SKIP() << "for code page 932";
  // 20 characters of one byte and 140 of two.
  const std::string base = "C:\\rv932\\";
  removeTree(base);
  ASSERT_TRUE(::CreateDirectoryA(base.c_str(), nullptr));
  std::wstring half;
  for (int i = 0; i < 35; ++i) half += L"\u5199\u771f";
  const std::wstring outer = wideOf(CP_ACP, base) + half;
  ASSERT_TRUE(::CreateDirectoryW(outer.c_str(), nullptr));
  ASSERT_TRUE(::CreateDirectoryW((outer + L"\\" + half).c_str(), nullptr));
  const std::wstring image = outer + L"\\" + half + L"\\aaaaa.jpg";
  const HANDLE created = ::CreateFileW(image.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                       FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(created, INVALID_HANDLE_VALUE);
  ::CloseHandle(created);
  const std::string ansiImage = narrowOf(CP_ACP, image);
  ASSERT_EQ(image.size(), 160u);
  ASSERT_EQ(ansiImage.size(), 300u);
  const HANDLE opened = ::CreateFileA(ansiImage.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  EXPECT_NE(opened, INVALID_HANDLE_VALUE) << ::GetLastError();
  if (opened != INVALID_HANDLE_VALUE) ::CloseHandle(opened);

  const json report = checkJson(base);
  EXPECT_EQ(report["images"], 1);
  EXPECT_EQ(report["long_paths"], 0);
  EXPECT_EQ(report["longest_path"], narrowOf(CP_UTF8, image));
  const Outcome readable = run({"check", "--folder", base});
  EXPECT_NE(readable.out.find("  longest image path            160 characters: " +
                              narrowOf(CP_UTF8, image) + "\r\n"),
            std::string::npos)
      << readable.out;
  removeTree(base);
}

// Ctrl-C stops `run` at its next tick, which tears down as at the end. The
// program has a console of its own, to which the test attaches to send it.
TEST_F(HostCheckExe, CtrlCDuringRunLeavesNoPrivateKey) {
  writeFile("a.jpg");
  const std::string out = root_ + "out.txt";
  const Outcome stopped =
      runWide({L"run", L"--ticks=99", L"--tick-ms=60000"}, nullptr, L"rotavue-host.exe",
              [&](const auto& process) {
                while (rotavue_dll::readFile(out).empty() &&
                       ::WaitForSingleObject(process.hProcess, 50) == WAIT_TIMEOUT) {
                }
                ::FreeConsole();
                ASSERT_TRUE(::AttachConsole(process.dwProcessId)) << ::GetLastError();
                ::SetConsoleCtrlHandler(nullptr, TRUE);  // for the test itself
                EXPECT_TRUE(::GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0)) << ::GetLastError();
                ::FreeConsole();
                ::SetConsoleCtrlHandler(nullptr, FALSE);
              });
  EXPECT_EQ(stopped.status, 130u) << stopped.err;
  // The console's host lets go of the output files a moment after the program.
  for (int wait = 0; wait < 100 && !::DeleteFileA(out.c_str()); ++wait) ::Sleep(50);
  EXPECT_EQ(privateKeys(), 0u);
}

// A link to a folder, and a link to no file, which the ctest fixture makes
// on the file system that Wine shows (Wine reports them as reparse points),
// given in ROTAVUE_LINK_TREE. A link to no file is no image, as natively.
TEST_F(HostCheckExe, LinksAreNeverEntered) {
  const char* tree = std::getenv("ROTAVUE_LINK_TREE");  // NOLINT(concurrency-mt-unsafe)
  if (tree == nullptr) GTEST_SKIP() << "ROTAVUE_LINK_TREE is set by ctest";
  char full[MAX_PATH] = {};
  ASSERT_GT(::GetFullPathNameA(tree, MAX_PATH, full, nullptr), 0u);
  const std::string links = std::string(full) + "\\";
  ASSERT_EQ(folder_attributes::reportedAttributes(links + "link"),
            static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT));

  const json report = checkJson(links);
  // real\a.jpg; the module also answers the links named like an image. Wine
  // (8.0) lists no link to nothing, which Windows lists.
  std::vector<std::string> notFiles = {utf8Of(links + "link.png")};
  WIN32_FIND_DATAA data{};
  const HANDLE listed = ::FindFirstFileA((links + "dangling.jpg").c_str(), &data);
  if (listed != INVALID_HANDLE_VALUE) {
    ::FindClose(listed);
    notFiles.insert(notFiles.begin(), utf8Of(links + "dangling.jpg"));
  }
  EXPECT_EQ(report["images"], 1);
  EXPECT_EQ(report["images"], rotation(links).size() - notFiles.size());
  EXPECT_EQ(report["not_files"], json(notFiles));
  EXPECT_EQ(report["skipped_folders"], json::array());
  EXPECT_EQ(report["linked_folders"],
            json::array({utf8Of(links + "link"), utf8Of(links + "link.png")}));
  for (int call = 0; call < 2; ++call)
    EXPECT_EQ(run({"next", "--nickname", "links", "--folder", links}).out,
              links + "real\\a.jpg\r\n");
}

// A folder whose listing is denied, which unreadable-folder.sh lays out and
// gives in ROTAVUE_UNREADABLE_TREE.
TEST_F(HostCheckExe, UnreadableFolderCarriesTheSystemsMessage) {
  const char* tree = std::getenv("ROTAVUE_UNREADABLE_TREE");  // NOLINT(concurrency-mt-unsafe)
  if (tree == nullptr) GTEST_SKIP() << "run through unreadable-folder.sh";
  const std::string folder = std::string(tree) + "\\";
  WIN32_FIND_DATAA data{};
  ASSERT_EQ(::FindFirstFileA((folder + "locked\\*.*").c_str(), &data), INVALID_HANDLE_VALUE);
  const DWORD code = ::GetLastError();
  std::string message = rotavue_dll::systemMessage(code);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r')) message.pop_back();
  ASSERT_FALSE(message.empty()) << code;

  const json report = checkJson(folder);
  EXPECT_EQ(report["unreadable_folders"],
            json::array({{{"path", utf8Of(folder + "locked")}, {"message", utf8Of(message)}}}));
  // a.jpg, b.png, c.gif: the folder hides nothing else.
  EXPECT_EQ(report["images"], 3);
  EXPECT_EQ(report["images"], rotation(folder).size());
}

}  // namespace
