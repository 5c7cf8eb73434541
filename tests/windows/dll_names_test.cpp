// International names through the real Rotavue.dll, in whatever ANSI code
// page this process runs with (ctest runs the program once per code page;
// ROTAVUE_EXPECT_ACP says which one it must be). The test plays the host: it
// lays out a tree of names from several scripts with the wide file API, puts
// the host's directory under a name that no ANSI code page holds, and then
// checks that every path the module returns opens with the ANSI file API, is
// the file it names, and that a full rotation shows every image exactly once.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "rotavue_dll.h"

namespace {

using rotavue_dll::copied;

// ---------------------------------------------------------------------------
// Wide file system helpers.

void makeDirectory(const std::wstring& path) {
  ASSERT_TRUE(::CreateDirectoryW(path.c_str(), nullptr)) << ::GetLastError();
}

// A file whose contents name it, so that opening a returned path shows which
// file it reached.
void writeTagged(const std::wstring& path, const std::string& tag) {
  const HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE) << ::GetLastError();
  DWORD written = 0;
  ::WriteFile(file, tag.data(), static_cast<DWORD>(tag.size()), &written, nullptr);
  ::CloseHandle(file);
}

// The contents of the file that an ANSI path opens, as a host opens it;
// "<cannot open>" when CreateFileA refuses it.
std::string openedThroughAnsi(const std::string& path) {
  const HANDLE file = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return "<cannot open>";
  char buffer[256];
  DWORD got = 0;
  ::ReadFile(file, buffer, sizeof buffer, &got, nullptr);
  ::CloseHandle(file);
  return std::string(buffer, got);
}

void removeTree(const std::wstring& directory) {
  WIN32_FIND_DATAW data{};
  const HANDLE search = ::FindFirstFileW((directory + L"\\*").c_str(), &data);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = data.cFileName;
      if (name == L"." || name == L"..") continue;
      const std::wstring path = directory + L"\\" + name;
      if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        removeTree(path);
      else
        ::DeleteFileW(path.c_str());
    } while (::FindNextFileW(search, &data));
    ::FindClose(search);
  }
  ::RemoveDirectoryW(directory.c_str());
}

std::vector<std::wstring> namesIn(const std::wstring& directory) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW data{};
  const HANDLE search = ::FindFirstFileW((directory + L"\\*").c_str(), &data);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    names.emplace_back(data.cFileName);
  } while (::FindNextFileW(search, &data));
  ::FindClose(search);
  return names;
}

// ---------------------------------------------------------------------------
// The code page.

std::string toAnsi(const std::wstring& text) {
  const int size = ::WideCharToMultiByte(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
  std::string ansi(static_cast<std::size_t>(size), '\0');
  ::WideCharToMultiByte(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), &ansi[0], size,
                        nullptr, nullptr);
  return ansi;
}

std::wstring fromAnsi(const std::string& text) {
  const int size =
      ::MultiByteToWideChar(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(size), L'\0');
  ::MultiByteToWideChar(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), &wide[0], size);
  return wide;
}

bool convertsExactly(const std::wstring& text) { return fromAnsi(toAnsi(text)) == text; }

// A character of this code page whose second byte is "\", or 0 when the code
// page has none (single-byte code pages, and 949).
wchar_t characterEndingInBackslash() {
  for (wchar_t c = 0x3000; c < 0xFF00; ++c) {
    const std::wstring text(1, c);
    const std::string ansi = toAnsi(text);
    if (ansi.size() == 2 && ansi[1] == '\\' && convertsExactly(text)) return c;
  }
  return 0;
}

// The file name part of a path the module returned: after its last "\" that
// is a character of its own.
std::string fileNameOf(const std::string& path) {
  std::size_t start = 0;
  for (std::size_t i = 0; i < path.size(); ++i) {
    if (::IsDBCSLeadByte(static_cast<BYTE>(path[i])) && i + 1 < path.size())
      ++i;
    else if (path[i] == '\\')
      start = i + 1;
  }
  return path.substr(start);
}

// ---------------------------------------------------------------------------

class InternationalNames : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(module_.loaded());
    ASSERT_TRUE(exports_.complete());
    if (const char* expected = std::getenv("ROTAVUE_EXPECT_ACP")) {
      ASSERT_EQ(::GetACP(), static_cast<UINT>(std::atoi(expected)))
          << "the locale that selects this code page is missing";
    }

    wchar_t temp[MAX_PATH];
    ASSERT_GT(::GetTempPathW(MAX_PATH, temp), 0U);
    root_ = std::wstring(temp) + L"rotavue-names-" + std::to_wstring(::GetCurrentProcessId());
    removeTree(root_);
    makeDirectory(root_);
    // The host's own folder under a name that no ANSI code page holds in
    // full: a Polish letter, a snowman and a character outside the BMP.
    host_ = root_ + L"\\host \u0141ukasz \u2603 \U0001F600";
    makeDirectory(host_);
    pictures_ = root_ + L"\\pictures";
    makeDirectory(pictures_);
    rotavue_dll::deleteHostKey();
    ASSERT_TRUE(rotavue_dll::publishDirPath(host_ + L"\\"));
  }

  void TearDown() override {
    rotavue_dll::deleteHostKey();
    removeTree(root_);
  }

  // Adds an image (or another file) below the picture folder; `relative`
  // uses "\\" between components.
  void addFile(const std::wstring& relative, bool isImage = true) {
    const std::string tag = "file " + std::to_string(tags_.size() + 1);
    writeTagged(pictures_ + L"\\" + relative, tag);
    tags_[tag] = relative;
    if (isImage) images_.insert(tag);
  }
  void addFolder(const std::wstring& relative) { makeDirectory(pictures_ + L"\\" + relative); }

  // The tree: names from several scripts, names with "#", and, in a
  // double-byte code page, a folder and files whose names end in a
  // character whose second byte is "\".
  void layOutTree() {
    addFile(L"plain.jpg");
    addFile(L"notes.txt", false);
    addFile(L"\u5199\u771f.png");                          // Japanese
    addFile(L"\u0141\u00f3d\u017a.jpg");                   // best-fit letters in 1252
    addFile(L"\u041f\u0440\u0438\u0432\u0435\u0442.gif");  // Russian
    addFile(L"\uc0ac\uc9c4.bmp");                          // Korean
    addFile(L"\u00c9t\u00e9 #1.ico");                      // Latin-1 with "#"
    addFile(L"smile \U0001F600.png");                      // outside the BMP
    addFolder(L"\u65e5\u672c");
    addFile(L"\u65e5\u672c\\inside #2.jpg");
    addFolder(L"\u65e5\u672c\\\u0141\u00f3d\u017a");
    addFile(L"\u65e5\u672c\\\u0141\u00f3d\u017a\\deep.bmp");
    if (const wchar_t c = characterEndingInBackslash(); c != 0) {
      const std::wstring special(1, c);
      addFolder(L"folder " + special);
      addFile(L"folder " + special + L"\\under.jpg");
      addFile(special + L"#x.jpg");
      addFile(L"end " + special + L".txt", false);
      addFile(L"after.png");
      doubleByteCase_ = true;
    }
  }

  std::string picturesAnsi() const { return toAnsi(pictures_); }

  rotavue_dll::Module module_;
  rotavue_dll::Exports exports_{module_};
  std::wstring root_;
  std::wstring host_;
  std::wstring pictures_;
  std::map<std::string, std::wstring> tags_;
  std::set<std::string> images_;
  bool doubleByteCase_ = false;
};

TEST_F(InternationalNames, RotationShowsEveryImageOnceAndEveryPathOpens) {
  layOutTree();
  ASSERT_TRUE(convertsExactly(pictures_)) << "the picture folder's own name is ASCII";
  const std::string pictures = picturesAnsi();
  const std::uint32_t rotation = exports_.dllstartup(0, 0);
  const std::uint32_t report = exports_.dllstartup(0, 0);

  std::multiset<std::string> shown;
  for (std::size_t call = 0; call <= images_.size() + 1; ++call) {
    const std::string result = copied(exports_.GetImage(rotation, "names", pictures.c_str(), "0"));
    if (result.empty()) break;
    SCOPED_TRACE(result);
    ASSERT_EQ(result.compare(0, pictures.size() + 1, pictures + "\\"), 0) << "not an image path";
    const std::string opened = openedThroughAnsi(result);
    EXPECT_EQ(images_.count(opened), 1U) << "opened: " << opened;
    shown.insert(opened);
    EXPECT_EQ(copied(exports_.returnCurrentImage(report, "names", "0")), result);
    EXPECT_EQ(copied(exports_.returnCurrentImageName(report, "names", "0")), fileNameOf(result));
  }
  EXPECT_EQ(shown, std::multiset<std::string>(images_.begin(), images_.end()))
      << "a full rotation shows every image exactly once";

  // The wrap-around, then the first image again.
  EXPECT_EQ(copied(exports_.returnCurrentImage(report, "names", "0")), "");
  EXPECT_NE(openedThroughAnsi(copied(exports_.GetImage(rotation, "names", pictures.c_str(), "0"))),
            "<cannot open>");
  exports_.dllshutdown(rotation);
  exports_.dllshutdown(report);

  // The position file lies in the host's folder, under its real name.
  bool found = false;
  for (const std::wstring& name : namesIn(host_)) found = found || name == L"namesRotavue.setup";
  EXPECT_TRUE(found);
  if (doubleByteCase_) std::printf("double-byte names ending in a \"\\\" byte: covered\n");
}

TEST_F(InternationalNames, RandomPicksOpen) {
  layOutTree();
  const std::string pictures = picturesAnsi();
  const std::uint32_t random = exports_.dllstartup(0, 0);
  const std::uint32_t report = exports_.dllstartup(0, 0);
  for (int pick = 0; pick < 3; ++pick) {
    const std::string result =
        copied(exports_.GetRandomImage(random, "random", pictures.c_str(), "0"));
    SCOPED_TRACE(result);
    EXPECT_EQ(images_.count(openedThroughAnsi(result)), 1U);
    EXPECT_EQ(copied(exports_.returnCurrentImage(report, "random", "0")), result);
    ::Sleep(400);
  }
  exports_.dllshutdown(random);
  exports_.dllshutdown(report);
}

}  // namespace
