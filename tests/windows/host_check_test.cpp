// Tests of `rotavue-host.exe check` under Windows' attribute words: the test
// lays out folders with the attributes users' folders carry (set with
// SetFileAttributesA, as Windows and Wine keep them), runs the program
// beside it as a user would, parses its JSON back and compares the image
// count with the distinct images of a full GetImage cycle of the real
// Rotavue.dll over the same tree. Names outside the ANSI code page and
// lengths in a double-byte code page are tested in code pages 1252 and 932
// (ROTAVUE_EXPECT_ACP).
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <type_traits>
#include <vector>

#include "folder_attributes.h"
#include "rotavue_dll.h"

namespace {

using nlohmann::json;
using rotavue_dll::copied;

struct Outcome {
  DWORD status = 0xFFFFFFFF;
  std::string out;
  std::string err;
};

std::string directoryOfThisProgram() {
  char buffer[MAX_PATH] = {};
  const DWORD length = ::GetModuleFileNameA(nullptr, buffer, MAX_PATH);
  const std::string path(buffer, length);
  return path.substr(0, path.rfind('\\') + 1);
}

// One argument as the C runtime splits a command line: quoted, with the
// backslashes before a quote (and at the end) doubled.
std::wstring quotedArgument(const std::wstring& argument) {
  std::wstring quoted = L"\"";
  std::size_t backslashes = 0;
  for (const wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    quoted += c;
  }
  quoted.append(backslashes * 2, L'\\');
  return quoted + L"\"";
}

std::wstring wideOf(UINT codePage, const std::string& text) {
  const int units =
      ::MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(units), L'\0');
  ::MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), &wide[0], units);
  return wide;
}

std::string narrowOf(UINT codePage, const std::wstring& wide) {
  const int units = static_cast<int>(wide.size());
  const int bytes =
      ::WideCharToMultiByte(codePage, 0, wide.data(), units, nullptr, 0, nullptr, nullptr);
  std::string text(static_cast<std::size_t>(bytes), '\0');
  ::WideCharToMultiByte(codePage, 0, wide.data(), units, &text[0], bytes, nullptr, nullptr);
  return text;
}

// A file that a child process inherits as its standard output or error.
class InheritedFile {
 public:
  explicit InheritedFile(const std::string& path) {
    SECURITY_ATTRIBUTES inherit{static_cast<DWORD>(sizeof(SECURITY_ATTRIBUTES)), nullptr, TRUE};
    handle_ = ::CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  }
  ~InheritedFile() {
    if (handle_ != INVALID_HANDLE_VALUE) ::CloseHandle(handle_);
  }
  InheritedFile(const InheritedFile&) = delete;
  InheritedFile& operator=(const InheritedFile&) = delete;
  HANDLE get() const { return handle_; }

 private:
  HANDLE handle_ = INVALID_HANDLE_VALUE;
};

using OpenKey = std::unique_ptr<std::remove_pointer_t<HKEY>, decltype(&::RegCloseKey)>;

// The key under HKEY_CURRENT_USER opened for reading; null when missing.
OpenKey openUserKey(const char* path) {
  HKEY key = nullptr;
  if (::RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_READ, &key) != ERROR_SUCCESS) key = nullptr;
  return OpenKey(key, &::RegCloseKey);
}

// The host's DirPath value as stored: its type and its bytes.
std::string storedDirPath() {
  const OpenKey key = openUserKey(rotavue_dll::kHostKeyPath);
  BYTE data[2048] = {};
  DWORD type = 0;
  DWORD size = sizeof data;
  if (!key || ::RegQueryValueExW(key.get(), L"DirPath", nullptr, &type, data, &size) != 0)
    return "<none>";
  return std::to_string(type) + ":" + std::string(reinterpret_cast<const char*>(data), size);
}

// The text of `ansi` in UTF-8, by the system's own conversion.
std::string utf8Of(const std::string& ansi) { return narrowOf(CP_UTF8, wideOf(CP_ACP, ansi)); }

void removeTree(const std::string& directory) {
  WIN32_FIND_DATAA data{};
  const HANDLE search = ::FindFirstFileA((directory + "*").c_str(), &data);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const std::string name = data.cFileName;
      if (name == "." || name == "..") continue;
      const std::string path = directory + name;
      folder_attributes::makeFolderWritable(path);
      ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
      if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
          (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0)
        removeTree(path + "\\");
      else if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        ::RemoveDirectoryA(path.c_str());
      else
        ::DeleteFileA(path.c_str());
    } while (::FindNextFileA(search, &data));
    ::FindClose(search);
  }
  ::RemoveDirectoryA(directory.c_str());
}

class HostCheckExe : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(module_.loaded()) << "LoadLibraryA(\"Rotavue.dll\") failed: " << ::GetLastError();
    ASSERT_TRUE(dll_.complete());
    if (const char* expected =
            std::getenv("ROTAVUE_EXPECT_ACP")) {  // NOLINT(concurrency-mt-unsafe)
      ASSERT_EQ(::GetACP(), static_cast<UINT>(std::atoi(expected)))
          << "the locale that selects this code page is missing";
    }
    static int serial = 0;
    char temp[MAX_PATH] = {};
    ASSERT_GT(::GetTempPathA(MAX_PATH, temp), 0u);
    root_ = std::string(temp) + "rotavue-check-" + std::to_string(::GetCurrentProcessId()) + "-" +
            std::to_string(++serial) + "\\";
    removeTree(root_);
    ASSERT_TRUE(::CreateDirectoryA(root_.c_str(), nullptr));
    host_ = root_ + "host\\";
    ASSERT_TRUE(::CreateDirectoryA(host_.c_str(), nullptr));
    ASSERT_TRUE(rotavue_dll::publishDirPath(host_));
    pictures_ = root_ + "pictures\\";
    ASSERT_TRUE(::CreateDirectoryA(pictures_.c_str(), nullptr));
  }

  void TearDown() override {
    rotavue_dll::deleteHostKey();
    removeTree(root_);
  }

  // A file of the picture tree, with its folders; `relative` uses "\".
  void writeFile(const std::string& relative) {
    std::string path = pictures_;
    for (std::size_t start = 0, slash; (slash = relative.find('\\', start)) != std::string::npos;
         start = slash + 1) {
      ::CreateDirectoryA((pictures_ + relative.substr(0, slash)).c_str(), nullptr);
    }
    const HANDLE file = ::CreateFileA((pictures_ + relative).c_str(), GENERIC_WRITE, 0, nullptr,
                                      CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << relative;
    ::CloseHandle(file);
  }

  // Runs rotavue-host.exe with `arguments` (ANSI texts), as a user does.
  Outcome run(const std::vector<std::string>& arguments) {
    std::vector<std::wstring> wide;
    for (const std::string& argument : arguments) wide.push_back(wideOf(CP_ACP, argument));
    return runWide(wide);
  }

  // The same with arguments in UTF-16, which no code page limits; standard
  // output goes to `output` when one is given, and is missing altogether
  // with INVALID_HANDLE_VALUE, as where Task Scheduler starts `programName`.
  // With `whileRunning`, the program gets a console of its own, and the call
  // is given the process once it has started.
  Outcome runWide(const std::vector<std::wstring>& arguments, HANDLE output = nullptr,
                  const wchar_t* programName = L"rotavue-host.exe",
                  const std::function<void(const PROCESS_INFORMATION&)>& whileRunning = nullptr) {
    const std::wstring program = wideOf(CP_ACP, directoryOfThisProgram()) + programName;
    std::wstring commandLine = quotedArgument(program);
    for (const std::wstring& argument : arguments) commandLine += L" " + quotedArgument(argument);
    Outcome outcome;
    {
      InheritedFile out(root_ + "out.txt");
      InheritedFile err(root_ + "err.txt");
      STARTUPINFOW startup{};
      startup.cb = static_cast<DWORD>(sizeof startup);
      startup.dwFlags = STARTF_USESTDHANDLES;
      startup.hStdInput = nullptr;
      startup.hStdOutput = output == INVALID_HANDLE_VALUE ? nullptr
                           : output != nullptr            ? output
                                                          : out.get();
      startup.hStdError = err.get();
      PROCESS_INFORMATION process{};
      if (!::CreateProcessW(program.c_str(), &commandLine[0], nullptr, nullptr, TRUE,
                            whileRunning ? CREATE_NEW_CONSOLE : 0, nullptr, nullptr, &startup,
                            &process)) {
        ADD_FAILURE() << "cannot start rotavue-host.exe: " << ::GetLastError();
        return outcome;
      }
      if (whileRunning) whileRunning(process);
      ::WaitForSingleObject(process.hProcess, INFINITE);
      ::GetExitCodeProcess(process.hProcess, &outcome.status);
      ::CloseHandle(process.hThread);
      ::CloseHandle(process.hProcess);
    }
    outcome.out = rotavue_dll::readFile(root_ + "out.txt");
    outcome.err = rotavue_dll::readFile(root_ + "err.txt");
    return outcome;
  }

  json checkJson(const std::string& folder) {
    const Outcome outcome = run({"check", "--json", "--folder", folder});
    EXPECT_EQ(outcome.status, 0u) << outcome.err;
    return json::parse(outcome.out);
  }

  // The distinct images of one full GetImage cycle of the real module.
  std::set<std::string> rotation(const std::string& folder) {
    const std::uint32_t handle = dll_.dllstartup(0, 0);
    const std::string nickname = "cycle" + std::to_string(++cycles_);
    std::set<std::string> images;
    for (int call = 0; call < 100; ++call) {
      const std::string result =
          copied(dll_.GetImage(handle, nickname.c_str(), folder.c_str(), "0"));
      if (result.compare(0, folder.size(), folder) != 0 || !images.insert(result).second) break;
    }
    dll_.dllshutdown(handle);
    return images;
  }

  rotavue_dll::Module module_;
  rotavue_dll::Exports dll_{module_};
  std::string root_;
  std::string host_;
  std::string pictures_;
  int cycles_ = 0;
};

// The private keys of rotavue-host processes under HKEY_CURRENT_USER.
DWORD privateKeys() {
  DWORD keys = 0;
  const OpenKey tool = openUserKey("Software\\Rotavue");
  if (tool)
    ::RegQueryInfoKeyA(tool.get(), nullptr, nullptr, nullptr, &keys, nullptr, nullptr, nullptr,
                       nullptr, nullptr, nullptr, nullptr);
  return keys;
}

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
           {"check", "--bogus"}, {"check", pictures_}, {"check", "--folder"}}) {
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
  EXPECT_NE(readable.out.find(
                "  longest image path        160 characters: " + narrowOf(CP_UTF8, image) + "\r\n"),
            std::string::npos)
      << readable.out;
  removeTree(base);
}

// `next` with --dir-path leaves the host's DirPath and its rotation alone;
// without it, it moves the rotation stored under the host's DirPath, so that
// the widget's next refresh shows the image after the one printed. The
// private key goes with the process.
TEST_F(HostCheckExe, NextLeavesTheHostsDirPathAsItIsAndSharesItsRotation) {
  writeFile("a.jpg");
  writeFile("b.jpg");
  const std::string stored = storedDirPath();
  ASSERT_NE(stored, "<none>");
  const std::string own = root_ + "own\\";
  const Outcome apart =
      run({"next", "--nickname", "desk", "--folder", pictures_, "--dir-path", own});
  EXPECT_EQ(apart.status, 0u) << apart.err;
  EXPECT_NE(rotavue_dll::readFile(own + "deskRotavue.setup"), "<missing>");
  EXPECT_EQ(rotavue_dll::readFile(host_ + "deskRotavue.setup"), "<missing>");
  EXPECT_EQ(storedDirPath(), stored);

  const Outcome shared = run({"next", "--nickname", "desk", "--folder", pictures_});
  ASSERT_EQ(shared.status, 0u) << shared.err;
  const std::string shown = shared.out.substr(0, shared.out.find('\r'));
  const std::size_t cut = shown.rfind('\\') + 1;
  EXPECT_EQ(rotavue_dll::readFile(host_ + "deskRotavue.setup"),
            shown.substr(0, cut) + "#" + shown.substr(cut) + "\r\n");
  const std::uint32_t widget = dll_.dllstartup(0, 0);
  const std::string after = copied(dll_.GetImage(widget, "desk", pictures_.c_str(), "0"));
  dll_.dllshutdown(widget);
  EXPECT_EQ(std::set<std::string>({shown, after}),
            std::set<std::string>({pictures_ + "a.jpg", pictures_ + "b.jpg"}));
  EXPECT_EQ(storedDirPath(), stored);
  EXPECT_EQ(privateKeys(), 0u);
}

// Ctrl-C stops `run` at its next tick, which tears down as at the end. The
// program has a console of its own, to which the test attaches to send it.
TEST_F(HostCheckExe, CtrlCDuringRunLeavesNoPrivateKey) {
  writeFile("a.jpg");
  const std::string out = root_ + "out.txt";
  const Outcome stopped =
      runWide({L"run", L"--ticks=99", L"--tick-ms=60000"}, nullptr, L"rotavue-host.exe",
              [&](const auto& process) {
                DWORD written = 0;
                while ((written == 0 || written == INVALID_FILE_SIZE) &&
                       ::WaitForSingleObject(process.hProcess, 50) == WAIT_TIMEOUT) {
                  const HANDLE file =
                      ::CreateFileA(out.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
                  written = ::GetFileSize(file, nullptr);
                  ::CloseHandle(file);
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

// The windowless build, as a scheduled task starts it: no standard output,
// which is no failure; the rotation moves all the same.
TEST_F(HostCheckExe, WindowlessNextWithoutStandardOutputMovesTheRotation) {
  writeFile("a.jpg");
  const Outcome outcome =
      runWide({L"next", L"--nickname", L"task", L"--folder", wideOf(CP_ACP, pictures_)},
              INVALID_HANDLE_VALUE, L"rotavue-hostw.exe");
  EXPECT_EQ(outcome.status, 0u) << outcome.err;
  EXPECT_EQ(rotavue_dll::readFile(host_ + "taskRotavue.setup"), pictures_ + "#a.jpg\r\n");
}

// A link to a folder, which the ctest fixture makes on the file system that
// Wine shows (Wine reports it as a reparse point), given in ROTAVUE_LINK_TREE.
TEST_F(HostCheckExe, LinksAreNeverEntered) {
  const char* tree = std::getenv("ROTAVUE_LINK_TREE");  // NOLINT(concurrency-mt-unsafe)
  if (tree == nullptr) GTEST_SKIP() << "ROTAVUE_LINK_TREE is set by ctest";
  char full[MAX_PATH] = {};
  ASSERT_GT(::GetFullPathNameA(tree, MAX_PATH, full, nullptr), 0u);
  const std::string links = std::string(full) + "\\";
  ASSERT_EQ(folder_attributes::reportedAttributes(links + "link"),
            static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT));

  const json report = checkJson(links);
  // real\a.jpg; the module also answers the link named like an image.
  EXPECT_EQ(report["images"], 1);
  EXPECT_EQ(report["images"], rotation(links).size() - 1);
  std::map<std::string, json> skipped;
  for (const json& folder : report["skipped_folders"]) skipped[folder["path"]] = folder;
  EXPECT_EQ(
      skipped,
      (std::map<std::string, json>{
          {utf8Of(links + "link"),
           {{"path", utf8Of(links + "link")}, {"reasons", {"link"}}, {"images_inside", nullptr}}},
          {utf8Of(links + "link.png"),
           {{"path", utf8Of(links + "link.png")},
            {"reasons", {"link"}},
            {"images_inside", nullptr}}},
      }));
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
