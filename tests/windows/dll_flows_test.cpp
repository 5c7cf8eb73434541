// End-to-end tests of Rotavue.dll under the real registry and file system:
// the test plays the host, publishing "DirPath" under HKEY_CURRENT_USER and
// laying out image trees in a temporary directory, then drives the module
// only through its exports and checks what the host would see and what
// lands on disk. Walk orders are taken from the system's own enumeration.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "folder_attributes.h"
#include "rotavue_dll.h"

namespace {

using rotavue_dll::copied;
using rotavue_dll::deleteHostKey;
using rotavue_dll::readFile;
using rotavue_dll::systemMessage;

const char kWallpaper[] = "This will change the Wallpaper all in good time :-)";
const char kBadInterval[] = "'abc' is not a valid integer value";
const char kNoImages[] = "There are no files of type jpg, gif, png, bmp or ico in this directory";

// ---------------------------------------------------------------------------
// The host's registry values.

void setHostValue(const char* name, DWORD type, const void* data, DWORD size) {
  const rotavue_dll::HostKey key;
  ASSERT_NE(key.get(), nullptr);
  ASSERT_EQ(::RegSetValueExA(key.get(), name, 0, type, static_cast<const BYTE*>(data), size),
            ERROR_SUCCESS);
}

void setHostText(const char* name, DWORD type, const std::string& text) {
  setHostValue(name, type, text.c_str(), static_cast<DWORD>(text.size() + 1));
}

// ---------------------------------------------------------------------------
// The file system.

void makeDirectory(const std::string& path) {
  ASSERT_TRUE(::CreateDirectoryA(path.c_str(), nullptr)) << path << ": " << ::GetLastError();
}

void writeFile(const std::string& path, const std::string& contents = "") {
  const HANDLE file = ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE) << path << ": " << ::GetLastError();
  DWORD written = 0;
  ::WriteFile(file, contents.data(), static_cast<DWORD>(contents.size()), &written, nullptr);
  ::CloseHandle(file);
  ASSERT_EQ(written, contents.size());
}

bool exists(const std::string& path) {
  return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

struct Entry {
  std::string name;
  DWORD attributes;
};

// The entries of `directory` (ending in "\") in the system's enumeration
// order, without "." and "..".
std::vector<Entry> entriesOf(const std::string& directory) {
  std::vector<Entry> entries;
  WIN32_FIND_DATAA data{};
  const HANDLE search = ::FindFirstFileA((directory + "*").c_str(), &data);
  if (search == INVALID_HANDLE_VALUE) return entries;
  do {
    const std::string name = data.cFileName;
    if (name != "." && name != "..") entries.push_back({name, data.dwFileAttributes});
  } while (::FindNextFileA(search, &data));
  ::FindClose(search);
  return entries;
}

std::size_t positionOf(const std::vector<Entry>& entries, const std::string& name) {
  return static_cast<std::size_t>(
      std::find_if(entries.begin(), entries.end(),
                   [&](const Entry& entry) { return entry.name == name; }) -
      entries.begin());
}

void removeTree(const std::string& directory) {
  for (const Entry& entry : entriesOf(directory)) {
    const std::string path = directory + entry.name;
    ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if ((entry.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
      removeTree(path + "\\");
    else
      ::DeleteFileA(path.c_str());
  }
  ::RemoveDirectoryA(directory.c_str());
}

// The position line that stores the image at `path`.
std::string positionLine(const std::string& path) {
  const std::size_t slash = path.rfind('\\') + 1;
  return path.substr(0, slash) + "#" + path.substr(slash) + "\r\n";
}

// ---------------------------------------------------------------------------

class DllFlows : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(module_.loaded()) << "LoadLibraryA(\"Rotavue.dll\") failed: " << ::GetLastError();
    ASSERT_TRUE(dll_.complete());
    deleteHostKey();
    static int serial = 0;
    char temp[MAX_PATH] = {};
    ASSERT_GT(::GetTempPathA(MAX_PATH, temp), 0u);
    root_ = std::string(temp) + "rotavue-flows-" + std::to_string(::GetCurrentProcessId()) + "-" +
            std::to_string(++serial) + "\\";
    removeTree(root_);
    makeDirectory(root_);
    host_ = root_ + "host\\";
    makeDirectory(host_);
    handle_ = dll_.dllstartup(0, 0);
    ASSERT_NE(handle_, 0u);
  }

  void TearDown() override {
    dll_.dllshutdown(handle_);
    deleteHostKey();
    removeTree(root_);
  }

  void publishHostDirectory() { setHostText("DirPath", REG_SZ, host_); }

  // A new image tree under the temporary directory; its path ends in "\".
  std::string tree(const std::string& name, const std::vector<std::string>& files) {
    const std::string top = root_ + name + "\\";
    makeDirectory(top);
    for (const std::string& file : files) {
      const std::size_t slash = file.rfind('\\');
      if (slash != std::string::npos && !exists(top + file.substr(0, slash)))
        makeDirectory(top + file.substr(0, slash));
      writeFile(top + file);
    }
    return top;
  }

  // A new folder under the temporary directory whose path, ending in "\",
  // is `length` characters long; "" when the system refuses to create it.
  std::string folderOfLength(std::size_t length, char fill) {
    std::string folder = root_;
    while (folder.size() < length) {
      const std::size_t room = length - folder.size();
      folder += std::string(room <= 61 ? room - 1 : 50, fill) + "\\";
      if (!::CreateDirectoryA(folder.c_str(), nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS)
        return std::string();
    }
    return folder;
  }

  std::string positionFile(const std::string& nickname) const {
    return host_ + nickname + "Rotavue.setup";
  }

  std::string getImage(const std::string& nickname, const std::string& directory,
                       const char* interval = "0") {
    return copied(dll_.GetImage(handle_, nickname.c_str(), directory.c_str(), interval));
  }

  rotavue_dll::Module module_;
  rotavue_dll::Exports dll_{module_};
  std::string root_;
  std::string host_;
  std::uint32_t handle_ = 0;
};

TEST_F(DllFlows, GetImageRotatesThroughTheTreeAndStoresEachPosition) {
  publishHostDirectory();
  const std::string single = tree("single", {"a.jpg"});
  EXPECT_EQ(readFile(positionFile("One")), "<missing>");
  EXPECT_EQ(getImage("One", single), single + "a.jpg");
  EXPECT_EQ(readFile(positionFile("One")), single + "#a.jpg\r\n");
  EXPECT_EQ(getImage("One", single), "");
  EXPECT_EQ(readFile(positionFile("One")), "#\r\n");
  EXPECT_EQ(getImage("One", single), single + "a.jpg");
  EXPECT_EQ(readFile(positionFile("One")), single + "#a.jpg\r\n");

  // Two images, one a level down, and a file that is no image; the order of
  // the root's entries is the system's.
  const std::string nested = tree("nested", {"a.jpg", "notes.txt", "sub\\b.jpg"});
  const std::vector<Entry> entries = entriesOf(nested);
  const bool fileFirst = positionOf(entries, "a.jpg") < positionOf(entries, "sub");
  const std::string a = nested + "a.jpg";
  const std::string b = nested + "sub\\b.jpg";
  const std::string first = fileFirst ? a : b;
  const std::string second = fileFirst ? b : a;
  const std::vector<std::string> results = {first, second, "", first};
  const std::vector<std::string> lines = {positionLine(first), positionLine(second), "#\r\n",
                                          positionLine(first)};

  // The root given with and without its trailing "\" walks alike.
  const std::string bare = nested.substr(0, nested.size() - 1);
  for (std::size_t step = 0; step < results.size(); ++step) {
    EXPECT_EQ(getImage("Two", nested), results[step]) << step;
    EXPECT_EQ(readFile(positionFile("Two")), lines[step]) << step;
    EXPECT_EQ(getImage("Bare", bare), results[step]) << step;
    EXPECT_EQ(readFile(positionFile("Bare")), lines[step]) << step;
  }

  // Every save replaced its file in one step: nothing else is left beside it.
  std::set<std::string> names;
  for (const Entry& entry : entriesOf(host_)) names.insert(entry.name);
  EXPECT_EQ(names,
            (std::set<std::string>{"OneRotavue.setup", "TwoRotavue.setup", "BareRotavue.setup"}));
}

// A shuffle: each image once a cycle, never twice in a row, stored as the
// position; a state file held open by another program stops it.
TEST_F(DllFlows, GetShuffledImageShowsEachImageOncePerCycle) {
  publishHostDirectory();
  const std::string pics = tree("pics", {"a.jpg", "b.png", "sub\\c.gif", "notes.txt"});
  const std::string cycleFile = host_ + "MixRotavue.cycle";
  const auto function = module_.function<rotavue_dll::ImageFunction>("GetShuffledImage");
  const auto shuffle = [&] { return copied(function(handle_, "Mix", pics.c_str(), "0")); };
  std::vector<std::string> shown = {""};
  for (int refresh = 0; refresh < 9; ++refresh) {
    shown.push_back(shuffle());
    EXPECT_NE(shown.back(), shown[shown.size() - 2]);
  }
  for (auto cycle = shown.begin() + 1; cycle != shown.end(); cycle += 3)
    EXPECT_EQ(std::set<std::string>(cycle, cycle + 3),
              (std::set<std::string>{pics + "a.jpg", pics + "b.png", pics + "sub\\c.gif"}));
  const std::string state = readFile(cycleFile);
  const HANDLE held = ::CreateFileA(cycleFile.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  EXPECT_EQ(shuffle(), "Cannot open file " + cycleFile);
  ::CloseHandle(held);
  EXPECT_EQ(readFile(cycleFile), state);
  EXPECT_EQ(readFile(positionFile("Mix")), positionLine(shown.back()));
}

TEST_F(DllFlows, LongPositionPathsRotateOrShowTheSavesError) {
  const std::string pics = tree("pics", {"a.jpg", "b.jpg"});
  const std::vector<Entry> entries = entriesOf(pics);
  const bool aFirst = positionOf(entries, "a.jpg") < positionOf(entries, "b.jpg");
  const std::string first = pics + (aFirst ? "a.jpg" : "b.jpg");
  const std::string second = pics + (aFirst ? "b.jpg" : "a.jpg");

  // Position paths of 240 to 268 characters and of 300, each once with a
  // long nickname and once with a deep host folder. The host's file calls
  // open a path below MAX_PATH (its NUL included): there the rotation moves;
  // from there on every refresh shows the save's error and nothing is written.
  int creatable = 0;
  for (std::size_t length = 240; length <= 300; length += length < 268 ? 1 : 32) {
    for (const bool deep : {false, true}) {
      SCOPED_TRACE((deep ? "deep folder, path of " : "long nickname, path of ") +
                   std::to_string(length));
      const std::size_t suffix = std::string("Rotavue.setup").size();
      const std::size_t folderLength = deep ? length - 1 - suffix : 120;
      const std::string folder = folderOfLength(folderLength, deep ? 'd' : 'n');
      if (folder.empty()) continue;
      const std::string nickname(length - folder.size() - suffix, deep ? 'D' : 'N');
      const std::string position = folder + nickname + "Rotavue.setup";
      ASSERT_EQ(position.size(), length);
      // Whether the system lets the plain write create this file at all.
      const HANDLE probe = ::CreateFileA(position.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                         CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
      const bool opens = length < MAX_PATH;
      if (opens && probe == INVALID_HANDLE_VALUE) continue;
      if (probe != INVALID_HANDLE_VALUE) ::CloseHandle(probe);
      ::DeleteFileA(position.c_str());
      creatable += opens ? 1 : 0;
      const std::vector<std::string> results =
          opens ? std::vector<std::string>{first, second}
                : std::vector<std::string>(2, "Cannot create file " + position);

      setHostText("DirPath", REG_SZ, folder);
      for (const std::string& result : results) {
        EXPECT_EQ(getImage(nickname, pics), result);
        EXPECT_EQ(readFile(position), opens ? positionLine(result) : "<missing>");
      }
      std::vector<std::string> files;
      for (const Entry& entry : entriesOf(folder))
        if ((entry.attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) files.push_back(entry.name);
      EXPECT_EQ(files, opens ? std::vector<std::string>{nickname + "Rotavue.setup"}
                             : std::vector<std::string>{});
      ::DeleteFileA(position.c_str());
    }
  }
  // Every path shorter than the limit can be created in a short folder.
  EXPECT_GE(creatable, 20);
}

TEST_F(DllFlows, HugePositionFileIsReadOnlyToItsFirstLine) {
  publishHostDirectory();
  const std::string pics = tree("pics", {"a.jpg", "b.jpg"});
  const std::vector<Entry> entries = entriesOf(pics);
  const bool aFirst = positionOf(entries, "a.jpg") < positionOf(entries, "b.jpg");
  const std::string first = pics + (aFirst ? "a.jpg" : "b.jpg");
  const std::string second = pics + (aFirst ? "b.jpg" : "a.jpg");

  // The stored line, then three gigabytes.
  const std::string huge = positionFile("Huge");
  writeFile(huge, positionLine(first) + "more\r\n");
  const HANDLE file = ::CreateFileA(huge.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  LARGE_INTEGER size{};
  size.QuadPart = 3LL << 30;
  const bool extended = ::SetFilePointerEx(file, size, nullptr, FILE_BEGIN) && ::SetEndOfFile(file);
  ::CloseHandle(file);
  ASSERT_TRUE(extended) << ::GetLastError();

  EXPECT_EQ(copied(dll_.returnCurrentImage(handle_, "Huge", "0")), first);
  EXPECT_EQ(getImage("Huge", pics), second);
  EXPECT_EQ(readFile(huge), positionLine(second));
}

TEST_F(DllFlows, ReportingFunctionsReadWhatTheLastRefreshStored) {
  publishHostDirectory();
  const std::string pics = tree("pics", {"a.jpg"});
  const std::uint32_t reporter = dll_.dllstartup(0, 0);
  auto current = [&] { return copied(dll_.returnCurrentImage(reporter, "Shared", "0")); };
  auto currentName = [&] { return copied(dll_.returnCurrentImageName(reporter, "Shared", "0")); };

  EXPECT_EQ(current(), "");
  EXPECT_EQ(currentName(), "");
  EXPECT_EQ(getImage("Shared", pics), pics + "a.jpg");
  EXPECT_EQ(current(), pics + "a.jpg");
  EXPECT_EQ(currentName(), "a.jpg");
  EXPECT_EQ(getImage("Shared", pics), "");
  EXPECT_EQ(current(), "");
  EXPECT_EQ(currentName(), "");

  // Only the first line of a file the host left counts.
  writeFile(positionFile("Shared"), "C:\\pics\\#b.png\r\nD:\\other\\#c.jpg\r\n");
  EXPECT_EQ(current(), "C:\\pics\\b.png");
  EXPECT_EQ(currentName(), "b.png");
  EXPECT_EQ(getImage("Shared", pics), "");  // the stored image is not in this tree
  EXPECT_EQ(readFile(positionFile("Shared")), "#\r\n");
  EXPECT_EQ(dll_.dllshutdown(reporter), 0);
}

TEST_F(DllFlows, RegistryFailuresReachTheHostAsText) {
  const std::string pics = tree("pics", {"a.jpg"});
  auto allThree = [&] {
    return std::vector<std::string>{getImage("Reg", pics),
                                    copied(dll_.returnCurrentImage(handle_, "Reg", "0")),
                                    copied(dll_.returnCurrentImageName(handle_, "Reg", "0"))};
  };
  const std::string noRegistry = "Unable to access the registry";
  EXPECT_EQ(allThree(), std::vector<std::string>(3, noRegistry)) << "no key";

  setHostText("Other", REG_SZ, host_);
  EXPECT_EQ(allThree(), std::vector<std::string>(3, noRegistry)) << "key without DirPath";

  const DWORD number = 42;
  setHostValue("DirPath", REG_DWORD, &number, sizeof number);
  EXPECT_EQ(allThree(), std::vector<std::string>(3, "Invalid data type for 'DirPath'"));
  EXPECT_TRUE(entriesOf(host_).empty());

  publishHostDirectory();  // the cause gone, the next refresh works
  EXPECT_EQ(getImage("Reg", pics), pics + "a.jpg");
}

TEST_F(DllFlows, ExpandableDirPathIsUsedLiterally) {
  char expanded[MAX_PATH] = {};
  ASSERT_GT(::ExpandEnvironmentStringsA("%APPDATA%\\Host\\LitRotavue.setup", expanded, MAX_PATH),
            0u);
  ASSERT_EQ(std::string(expanded).find('%'), std::string::npos) << expanded;
  ::DeleteFileA(expanded);

  char previous[MAX_PATH] = {};
  ASSERT_GT(::GetCurrentDirectoryA(MAX_PATH, previous), 0u);
  ASSERT_TRUE(::SetCurrentDirectoryA(root_.c_str()));
  setHostText("DirPath", REG_EXPAND_SZ, "%APPDATA%\\Host\\");
  const std::string pics = tree("pics", {"a.jpg"});

  // Relative to the current directory, where no "%APPDATA%" directory is.
  EXPECT_EQ(getImage("Lit", pics), "Cannot create file %APPDATA%\\Host\\LitRotavue.setup");
  EXPECT_EQ(copied(dll_.returnCurrentImage(handle_, "Lit", "0")), "");

  makeDirectory(root_ + "%APPDATA%");
  makeDirectory(root_ + "%APPDATA%\\Host");
  EXPECT_EQ(getImage("Lit", pics), pics + "a.jpg");
  EXPECT_EQ(readFile(root_ + "%APPDATA%\\Host\\LitRotavue.setup"), pics + "#a.jpg\r\n");
  EXPECT_EQ(copied(dll_.returnCurrentImage(handle_, "Lit", "0")), pics + "a.jpg");
  EXPECT_FALSE(exists(expanded)) << expanded;

  ::SetCurrentDirectoryA(previous);
}

TEST_F(DllFlows, FoldersKeptOutAreTakenAsImages) {
  publishHostDirectory();
  // A hidden directory named like an image, beside a plain image: both are
  // images of the root, and the directory is never entered.
  const std::string mixed = tree("mixed", {"a.jpg", "x.jpg\\inner.jpg"});
  ASSERT_TRUE(::SetFileAttributesA((mixed + "x.jpg").c_str(), FILE_ATTRIBUTE_HIDDEN));
  const std::vector<Entry> entries = entriesOf(mixed);
  ASSERT_EQ(entries.at(positionOf(entries, "x.jpg")).attributes,
            static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN));
  const bool fileFirst = positionOf(entries, "a.jpg") < positionOf(entries, "x.jpg");
  const std::string first = mixed + (fileFirst ? "a.jpg" : "x.jpg");
  const std::string second = mixed + (fileFirst ? "x.jpg" : "a.jpg");
  EXPECT_EQ(getImage("Mixed", mixed), first);
  EXPECT_EQ(getImage("Mixed", mixed), second);
  EXPECT_EQ(readFile(positionFile("Mixed")), positionLine(second));
  EXPECT_EQ(getImage("Mixed", mixed), "");
  EXPECT_EQ(getImage("Mixed", mixed), first);

  // A tree whose only entry is such a directory: the count walk and the
  // indexed walk agree with the image walk. Which bits the system keeps on a
  // directory is its own affair (Wine drops archive and offline there), so
  // the expectation follows the attribute word the enumeration delivers.
  const DWORD keptOut = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_DEVICE |
                        FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_OFFLINE | 0x40000 | 0x400000;
  int takenAsImage = 0;
  for (const DWORD attribute :
       {FILE_ATTRIBUTE_HIDDEN, FILE_ATTRIBUTE_SYSTEM, FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM,
        FILE_ATTRIBUTE_ARCHIVE, FILE_ATTRIBUTE_NOT_CONTENT_INDEXED, FILE_ATTRIBUTE_OFFLINE}) {
    const std::string name = "only" + std::to_string(attribute);
    const std::string only = tree(name, {"x.jpg\\inner.jpg"});
    ASSERT_TRUE(::SetFileAttributesA((only + "x.jpg").c_str(), attribute));
    const DWORD reported = entriesOf(only).at(0).attributes;
    const bool entered = (reported & keptOut) == 0;
    takenAsImage += entered ? 0 : 1;
    const std::string expected = only + (entered ? "x.jpg\\inner.jpg" : "x.jpg");
    EXPECT_EQ(copied(dll_.GetRandomImage(handle_, name.c_str(), only.c_str(), "0")), expected)
        << "attribute word " << reported;
    EXPECT_EQ(readFile(positionFile(name)), positionLine(expected))
        << "attribute word " << reported;
    EXPECT_EQ(getImage(name + "Seq", only), expected) << "attribute word " << reported;
  }
  EXPECT_GE(takenAsImage, 3);  // hidden, system and both at least
}

// Windows sets the read-only bit on every customised folder and on known
// folders such as Pictures\Camera Roll: it says nothing about the content,
// and the folder is entered.
TEST_F(DllFlows, ReadOnlyFoldersAreEntered) {
  publishHostDirectory();
  const std::string pics = tree("pics", {"Camera Roll\\photo.jpg"});
  const std::string folder = pics + "Camera Roll";
  ASSERT_EQ(folder_attributes::makeFolderReadOnly(folder),
            static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY));
  const std::string photo = folder + "\\photo.jpg";
  EXPECT_EQ(getImage("Roll", pics), photo);
  EXPECT_EQ(readFile(positionFile("Roll")), positionLine(photo));
  EXPECT_EQ(copied(dll_.GetRandomImage(handle_, "RollRandom", pics.c_str(), "0")), photo);
  folder_attributes::makeFolderWritable(folder);
}

TEST_F(DllFlows, MissingRootYieldsTheSystemMessageAndClearsThePosition) {
  publishHostDirectory();
  const std::string pics = tree("pics", {"a.jpg"});
  const std::string missing = root_ + "nothere";
  ASSERT_EQ(getImage("Gone", pics), pics + "a.jpg");

  // The random pick finds nothing to count and leaves the position alone.
  EXPECT_EQ(copied(dll_.GetRandomImage(handle_, "Gone", missing.c_str(), "0")), kNoImages);
  EXPECT_EQ(readFile(positionFile("Gone")), pics + "#a.jpg\r\n");

  const std::string message = systemMessage(ERROR_PATH_NOT_FOUND);
  ASSERT_FALSE(message.empty());
  EXPECT_EQ(getImage("Gone", missing), message);
  EXPECT_EQ(readFile(positionFile("Gone")), "#\r\n");
  EXPECT_EQ(getImage("Gone", missing + "\\"), message);
  EXPECT_EQ(readFile(positionFile("Gone")), "#\r\n");
  EXPECT_EQ(getImage("Gone", pics), pics + "a.jpg");
}

TEST_F(DllFlows, WallpaperMessageAndBadIntervals) {
  publishHostDirectory();
  const std::string pics = tree("pics", {"a.jpg"});
  EXPECT_EQ(copied(dll_.ChangeWallpaper(handle_, "Wall", pics.c_str(), "0")), kWallpaper);
  EXPECT_EQ(copied(dll_.ChangeWallpaper(handle_, "Wall", pics.c_str(), "3600")), kWallpaper);
  EXPECT_EQ(copied(dll_.ChangeWallpaper(handle_, "Wall", pics.c_str(), "3600")), kWallpaper);
  const std::uint32_t fresh = dll_.dllstartup(0, 0);
  EXPECT_EQ(copied(dll_.ChangeWallpaper(fresh, "Wall", pics.c_str(), "abc")), "");

  EXPECT_EQ(getImage("Bad", pics, "abc"), std::string("GetImage:") + kBadInterval);
  EXPECT_EQ(copied(dll_.GetRandomImage(fresh, "Bad", pics.c_str(), "abc")), kBadInterval);
  EXPECT_EQ(copied(dll_.returnCurrentImage(fresh, "Bad", "abc")), kBadInterval);
  EXPECT_EQ(copied(dll_.returnCurrentImageName(fresh, "Bad", "abc")), kBadInterval);
  EXPECT_TRUE(entriesOf(host_).empty());  // a bad interval touches no file
  EXPECT_EQ(dll_.dllshutdown(fresh), 0);
}

TEST_F(DllFlows, ReleasedHandleGetsEmptyTexts) {
  publishHostDirectory();
  const std::string pics = tree("pics", {"a.jpg", "b.jpg"});
  const std::uint32_t meter = dll_.dllstartup(0, 0);
  const std::string first = copied(dll_.GetImage(meter, "Released", pics.c_str(), "0"));
  ASSERT_NE(first, "");
  const std::string stored = readFile(positionFile("Released"));
  EXPECT_EQ(dll_.dllshutdown(meter), 0);

  for (const std::uint32_t stale : {meter, 0u, 0xFFFFFFFFu}) {
    EXPECT_EQ(copied(dll_.GetImage(stale, "Released", pics.c_str(), "0")), "") << stale;
    EXPECT_EQ(copied(dll_.GetRandomImage(stale, "Released", pics.c_str(), "0")), "") << stale;
    EXPECT_EQ(copied(dll_.ChangeWallpaper(stale, "Released", pics.c_str(), "0")), "") << stale;
    EXPECT_EQ(copied(dll_.returnCurrentImage(stale, "Released", "0")), "") << stale;
    EXPECT_EQ(copied(dll_.returnCurrentImageName(stale, "Released", "0")), "") << stale;
    EXPECT_EQ(dll_.dllshutdown(stale), 0) << stale;
  }
  EXPECT_EQ(readFile(positionFile("Released")), stored);  // no refresh ran
  // The live handle of the fixture is untouched by the release of another.
  EXPECT_EQ(getImage("Released", pics), pics + (first == pics + "a.jpg" ? "b.jpg" : "a.jpg"));
}

}  // namespace
