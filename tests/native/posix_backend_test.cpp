// Tests of the POSIX backend on the real file system: the attribute words it
// gives directory entries, that the walks never descend into dot-directories
// or follow symbolic links into loops, that they pass over names with line
// breaks and paths too long for the result, the system's message for a
// missing root, that a position file of gigabytes is read only up to its
// first line, and the registry-export file that stands in for the registry.
#include <dirent.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "host/exports.h"
#include "host/meter_data.h"
#include "platform/platform.h"
#include "platform/posix/registry_file.h"
#include "position/position.h"
#include "support/host_registry.h"
#include "walk/walk.h"

namespace fs = std::filesystem;
using rotavue::platform::RegistryValue;

namespace {

class ScratchTree : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/rotavue-posix-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    root_ = pattern;
  }
  void TearDown() override { fs::remove_all(root_); }

  void touch(const std::string& relative) {
    fs::create_directories((root_ / relative).parent_path());
    std::ofstream(root_ / relative) << "x";
  }
  std::string root() const { return root_.string() + "/"; }

  std::map<std::string, std::uint32_t> attributesOfEntries(const std::string& directory) {
    std::map<std::string, std::uint32_t> seen;
    rotavue::platform::DirectoryEntry entry;
    rotavue::platform::SystemError error;
    auto enumeration =
        rotavue::platform::hooks().openEnumeration((directory + "*.*").c_str(), entry, error);
    EXPECT_NE(enumeration, nullptr);
    if (!enumeration) return seen;
    do {
      seen[entry.name] = entry.attributes;
    } while (enumeration->next(entry));
    return seen;
  }

  fs::path root_;
};

TEST_F(ScratchTree, EntriesCarryWindowsStyleAttributeWords) {
  touch("a.jpg");
  touch("plain/b.jpg");
  touch(".dotdir/c.jpg");
  touch(".dotfile.jpg");
  fs::create_directory_symlink(root_ / "plain", root_ / "link");
  fs::create_symlink(root_ / "a.jpg", root_ / "filelink.jpg");

  const auto seen = attributesOfEntries(root());
  EXPECT_EQ(seen.at("."), 16u);
  EXPECT_EQ(seen.at(".."), 16u);
  EXPECT_EQ(seen.at("plain"), 16u);
  EXPECT_EQ(seen.at(".dotdir"), 16u | 2u);
  EXPECT_EQ(seen.at("link"), 16u | 1024u);
  EXPECT_EQ(seen.at("a.jpg"), 128u);
  EXPECT_EQ(seen.at(".dotfile.jpg"), 128u);
  EXPECT_EQ(seen.at("filelink.jpg"), 1024u);
  EXPECT_EQ(seen.size(), 8u);
}

TEST_F(ScratchTree, WalksSkipDotDirectoriesAndNeverFollowDirectoryLinks) {
  touch("top/a.jpg");
  touch("top/.hidden/secret.jpg");
  // A link back up the tree: following it would never end.
  fs::create_directory_symlink(root_, root_ / "top" / "loop");

  rotavue::meter_data counted;
  rotavue::countImages(counted, root());
  EXPECT_EQ(counted.imageCount, 1);
  EXPECT_EQ(counted.errorText, "");

  rotavue::meter_data walked;
  walked.walkStatus = rotavue::WalkStatus::kFound;
  rotavue::walkImages(walked, root(), root(), "", 0);
  EXPECT_EQ(walked.walkStatus, rotavue::WalkStatus::kExit);
  EXPECT_EQ(walked.imageDirectory + walked.imageFileName, root() + "top/a.jpg");
}

// A name holding CR or LF would cut the position line, and a path of 1024
// bytes the result text: both are passed over, and a full cycle shows every
// other image once.
TEST_F(ScratchTree, LineBreaksAndPathsBeyondTheResultArePassedOver) {
  rotavue::testing::HostRegistry registry;
  registry.setDirPath(root());
  std::string deep = root();
  for (int level = 0; level < 4; ++level) deep += std::string(200, 'd') + "/";
  deep += std::string(1023 - deep.size() - 7, 'e') + "/";
  const std::string inside = deep.substr(root().size());
  for (const std::string& name :
       std::vector<std::string>{"a.jpg", "line\nfeed.jpg", "carriage\rreturn.png", "break\n/b.jpg",
                                inside + "ab.jpg", inside + "abc.jpg"})
    touch(name);
  const std::uint32_t handle = dllstartup(0, 0);
  std::multiset<std::string> shown;
  for (std::string image;
       shown.size() < 9 && !(image = GetImage(handle, "c", root().c_str(), "0")).empty();)
    shown.insert(image);
  dllshutdown(handle);
  EXPECT_EQ(shown, (std::multiset<std::string>{root() + "a.jpg", deep + "ab.jpg"}));
}

TEST_F(ScratchTree, DirectoryLinkNamedLikeAnImageCountsAsOne) {
  touch("real/a.jpg");
  fs::create_directory_symlink(root_ / "real", root_ / "shortcut.png");
  rotavue::meter_data counted;
  rotavue::countImages(counted, root());
  EXPECT_EQ(counted.imageCount, 2);
}

TEST_F(ScratchTree, MissingRootReportsTheSystemsMessage) {
  rotavue::meter_data missing;
  rotavue::walkImages(missing, root() + "nowhere", "", "", 0);
  EXPECT_EQ(missing.errorText,
            rotavue::platform::systemMessage(rotavue::platform::SystemError{ENOENT}));
  EXPECT_EQ(missing.errorText, "No such file or directory");
}

// Run as its own ctest entry, without the capabilities that read every
// directory.
TEST_F(ScratchTree, UnreadableSubdirectoryReportsTheSystemsMessage) {
  touch("locked/a.jpg");
  ::chmod((root_ / "locked").c_str(), 0);
  if (DIR* opened = ::opendir((root_ / "locked").c_str())) {
    ::closedir(opened);
    GTEST_SKIP() << "this process reads a directory of mode 0";
  }
  rotavue::meter_data locked;
  rotavue::countImages(locked, root());
  ::chmod((root_ / "locked").c_str(), 0755);
  EXPECT_EQ(locked.errorText, "Permission denied");
}

TEST_F(ScratchTree, FileExistenceIgnoresDirectories) {
  touch("present.setup");
  fs::create_directory(root_ / "dir.setup");
  EXPECT_TRUE(rotavue::platform::fileExists(root() + "present.setup"));
  EXPECT_FALSE(rotavue::platform::fileExists(root() + "dir.setup"));
  EXPECT_FALSE(rotavue::platform::fileExists(root() + "absent.setup"));
}

TEST_F(ScratchTree, FirstLineOfAHugePositionFileCostsOneShortRead) {
  rotavue::testing::HostRegistry registry;
  registry.setDirPath(root());
  const std::string path = root() + "HugeRotavue.setup";
  const std::string line = root() + "pics/#a.jpg";
  // Each file's start, then gigabytes of (sparse) NUL bytes.
  const std::uint64_t size = (std::uint64_t{4} << 30) + 7;
  struct Case {
    std::string start;
    std::string line;  // "" with `error` for no line at all
    std::string error;
  };
  const Case cases[] = {
      {line + "\r\nsecond\r\n", line, ""},
      {"\r\n" + line + "\r\n", "", ""},
      {"ab" + std::string(1, '\0') + "cd\r\n", "ab", ""},
      {line, line, ""},
      {"", "", "List index out of bounds (0)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.start);
    std::ofstream(path, std::ios::binary | std::ios::trunc) << c.start;
    ASSERT_EQ(::truncate(path.c_str(), static_cast<off_t>(size)), 0);
    std::string contents;
    ASSERT_TRUE(rotavue::platform::readFirstLine(path, rotavue::kPositionLineLimit, contents));
    EXPECT_EQ(contents.compare(0, c.start.size(), c.start), 0);
    EXPECT_LE(contents.size(), std::size_t{64} * 1024);
    rotavue::meter_data instance;
    EXPECT_EQ(rotavue::loadPosition(instance, "Huge"), c.line);
    EXPECT_EQ(instance.errorText, c.error);
  }
}

const char kKey[] = "HKEY_CURRENT_USER\\Software\\Glintora\\General";

RegistryValue parse(const std::string& text, const std::string& value = "DirPath") {
  return rotavue::platform::parseRegistryText(text, kKey, value);
}

TEST(RegistryFile, StringValuesWithEscapesAndLetterCase) {
  const RegistryValue value = parse(
      "Windows Registry Editor Version 5.00\r\n\r\n"
      "[HKEY_CURRENT_USER\\Software\\Glintora\\Other]\r\n"
      "\"DirPath\"=\"wrong\"\r\n\r\n"
      "[hkey_current_user\\software\\glintora\\general]\r\n"
      "\"dirpath\"=\"C:\\\\Host \\\"quoted\\\"\\\\\"\r\n");
  ASSERT_EQ(value.status, RegistryValue::Status::kOk);
  EXPECT_EQ(value.type, rotavue::platform::kRegistryString);
  EXPECT_EQ(value.data, std::string("C:\\Host \"quoted\"\\") + '\0');
}

TEST(RegistryFile, TypesOtherThanPlainStrings) {
  const RegistryValue number = parse(std::string("[") + kKey + "]\n\"DirPath\"=dword:0000002a\n");
  ASSERT_EQ(number.status, RegistryValue::Status::kOk);
  EXPECT_EQ(number.type, rotavue::platform::kRegistryDword);
  EXPECT_EQ(number.data, std::string("\x2a\0\0\0", 4));

  // regedit writes expandable strings as UTF-16 hex, wrapped over lines.
  const RegistryValue expandable =
      parse(std::string("[") + kKey + "]\n\"DirPath\"=hex(2):25,00,41,00,\\\n  25,00,00,00\n");
  ASSERT_EQ(expandable.status, RegistryValue::Status::kOk);
  EXPECT_EQ(expandable.type, rotavue::platform::kRegistryExpandString);
  EXPECT_EQ(expandable.data, std::string("%A%\0", 4));

  const RegistryValue binary = parse(std::string("[") + kKey + "]\n\"DirPath\"=hex:01,ff\n");
  EXPECT_EQ(binary.type, rotavue::platform::kRegistryBinary);
  EXPECT_EQ(binary.data, std::string("\x01\xff", 2));

  const RegistryValue broken = parse(std::string("[") + kKey + "]\n\"DirPath\"=dword:xyz\n");
  EXPECT_EQ(broken.status, RegistryValue::Status::kDataUnreadable);
}

TEST(RegistryFile, MissingKeyOrValueAndLaterDefinitions) {
  EXPECT_EQ(parse("").status, RegistryValue::Status::kUnavailable);
  EXPECT_EQ(parse(std::string("[") + kKey + "]\n\"Other\"=\"x\"\n").status,
            RegistryValue::Status::kUnavailable);
  EXPECT_EQ(parse(std::string("[-") + kKey + "]\n\"DirPath\"=\"x\"\n").status,
            RegistryValue::Status::kUnavailable);
  const RegistryValue later = parse(std::string("[") + kKey + "]\n\"DirPath\"=\"first\"\n[" + kKey +
                                    "]\n\"DirPath\"=\"second\"\n");
  EXPECT_EQ(later.data, std::string("second") + '\0');
}

TEST_F(ScratchTree, RegistryFileIsFoundThroughTheEnvironment) {
  const std::string file = root() + "registry.reg";
  std::ofstream(file) << "Windows Registry Editor Version 5.00\n\n[" << kKey
                      << "]\n\"DirPath\"=\"/srv/host/\"\n";
  ::setenv("ROTAVUE_REGISTRY", file.c_str(), 1);
  const RegistryValue value =
      rotavue::platform::readUserRegistryValue("Software\\Glintora\\General", "DirPath");
  ::setenv("ROTAVUE_REGISTRY", (root() + "absent.reg").c_str(), 1);
  const RegistryValue absent =
      rotavue::platform::readUserRegistryValue("Software\\Glintora\\General", "DirPath");
  ::unsetenv("ROTAVUE_REGISTRY");
  EXPECT_EQ(value.data, std::string("/srv/host/") + '\0');
  EXPECT_EQ(absent.status, RegistryValue::Status::kUnavailable);
}

}  // namespace
