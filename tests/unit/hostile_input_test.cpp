// Hostile calls through the exports: whatever texts, handles, registry value
// or position file the host and the user's disk present, every call answers
// with a defined text (an image path, "" or one of the module's and the
// system's messages) and writes nothing but the one position file that the
// nickname names.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <set>
#include <string>

#include "host/exports.h"
#include "platform/platform.h"
#include "support/host_registry.h"
#include "support/memory_tree.h"
#include "support/temp_directory.h"

namespace {

namespace fs = std::filesystem;
using rotavue::testing::dir;
using rotavue::testing::file;
using rotavue::testing::HostRegistry;
using rotavue::testing::MemoryTree;
using rotavue::testing::path;
using rotavue::testing::readFileBytes;
using rotavue::testing::TempDirectory;

std::set<std::string> filesIn(const std::string& directory) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(fs::path(directory)))
    names.insert(entry.path().filename().string());
  return names;
}

std::string missingPathMessage() {
  return rotavue::platform::systemMessage(rotavue::platform::pathNotFoundError());
}

class HostileInput : public ::testing::Test {
 protected:
  void SetUp() override {
    registry_.setDirPath(host_.path());
    tree_.add(root_, {dir("."), dir(".."), file("a.jpg"), file("b.png")});
    handle_ = dllstartup(0, 0);
  }
  void TearDown() override { dllshutdown(handle_); }

  HostRegistry registry_;
  TempDirectory host_;
  MemoryTree tree_;
  const std::string root_ = path({"R"});
  std::uint32_t handle_ = 0;
};

TEST_F(HostileInput, NullAndEmptyTextsReadAsEmpty) {
  EXPECT_STREQ(GetImage(handle_, "n", root_.c_str(), nullptr),
               "GetImage:'' is not a valid integer value");
  EXPECT_STREQ(GetRandomImage(handle_, "n", root_.c_str(), nullptr),
               "'' is not a valid integer value");
  EXPECT_STREQ(returnCurrentImage(handle_, "n", nullptr), "'' is not a valid integer value");
  EXPECT_STREQ(ChangeWallpaper(handle_, nullptr, nullptr, nullptr), "");
  EXPECT_STREQ(getparam(nullptr), "");

  // No directory: nothing is searched, and the rotation stores "no position".
  EXPECT_EQ(std::string(GetImage(handle_, nullptr, nullptr, "0")), missingPathMessage());
  EXPECT_EQ(readFileBytes(host_.path() + "Rotavue.setup"), "#\r\n");
  EXPECT_STREQ(GetRandomImage(handle_, "", "", "0"),
               "There are no files of type jpg, gif, png, bmp or ico in this directory");
  EXPECT_STREQ(returnCurrentImageName(handle_, nullptr, "0"), "");
  EXPECT_EQ(filesIn(host_.path()), std::set<std::string>{"Rotavue.setup"});
}

TEST_F(HostileInput, HugeTextsAreCutToTheResultBuffer) {
  const std::string huge(100000, '7');
  const std::string interval = GetImage(handle_, "n", root_.c_str(), huge.c_str());
  EXPECT_EQ(interval.size(), 1023u);
  EXPECT_EQ(interval.compare(0, 11, "GetImage:'7"), 0);

  // A nickname no file system takes: the position cannot be saved, and the
  // message names the path, cut to what the buffer holds.
  const std::string nickname(100000, 'n');
  const std::string saved = GetImage(handle_, nickname.c_str(), root_.c_str(), "0");
  EXPECT_EQ(saved.size(), 1023u);
  EXPECT_EQ(saved, ("Cannot create file " + host_.path() + nickname).substr(0, 1023));

  const std::string directory(100000, 'd');
  EXPECT_EQ(std::string(GetImage(handle_, "n", directory.c_str(), "0")), missingPathMessage());
  EXPECT_EQ(filesIn(host_.path()), std::set<std::string>{"nRotavue.setup"});
}

TEST_F(HostileInput, NicknamesAreUsedVerbatimAndWriteOnlyTheirOwnFile) {
  host_.makeDirectory("inner");
  registry_.setDirPath(host_.pathOf("inner/"));
  const std::string up = std::string("..") + rotavue::platform::kPathSeparator + "up";
  EXPECT_EQ(std::string(GetImage(handle_, up.c_str(), root_.c_str(), "0")), root_ + "a.jpg");
  EXPECT_EQ(readFileBytes(host_.path() + "upRotavue.setup"), root_ + "#a.jpg\r\n");

  for (const char* nickname : {"CON", "NUL", "..", "/", "\\", "a*b?", "<|>", "a\"b"}) {
    const std::string result = GetImage(handle_, nickname, root_.c_str(), "0");
    const bool defined =
        result == root_ + "a.jpg" || result == root_ + "b.png" || result.empty() ||
        result == "Cannot create file " + host_.pathOf("inner/") + nickname + "Rotavue.setup" ||
        result == "Cannot open file " + host_.pathOf("inner/") + nickname + "Rotavue.setup";
    EXPECT_TRUE(defined) << nickname << " -> " << result;
  }
  // Nothing but position files, and no temporary file left behind.
  for (const std::string& name : filesIn(host_.pathOf("inner/")))
    EXPECT_NE(name.find("Rotavue.setup"), std::string::npos) << name;
  for (const std::string& name : filesIn(host_.path()))
    EXPECT_TRUE(name == "inner" || name == "upRotavue.setup" ||
                name.find("Rotavue.setup") != std::string::npos)
        << name;
}

TEST_F(HostileInput, IntervalsAtAndBeyondTheLimits) {
  EXPECT_EQ(std::string(GetImage(handle_, "n", root_.c_str(), "2147483647")), root_ + "a.jpg");
  EXPECT_EQ(std::string(GetImage(handle_, "n", root_.c_str(), "2147483647")), root_ + "a.jpg");
  EXPECT_EQ(readFileBytes(host_.path() + "nRotavue.setup"), root_ + "#a.jpg\r\n");

  const std::uint32_t fresh = dllstartup(0, 0);
  EXPECT_STREQ(GetImage(fresh, "m", root_.c_str(), "-2147483648"), "");
  EXPECT_STREQ(GetImage(fresh, "m", root_.c_str(), "$80000000"), "");
  EXPECT_STREQ(GetImage(fresh, "m", root_.c_str(), "2147483648"),
               "GetImage:'2147483648' is not a valid integer value");
  EXPECT_STREQ(GetImage(fresh, "m", root_.c_str(), "99999999999999999999"),
               "GetImage:'99999999999999999999' is not a valid integer value");
  EXPECT_FALSE(fs::exists(fs::path(host_.path() + "mRotavue.setup")));
  dllshutdown(fresh);
}

TEST_F(HostileInput, DirPathThatIsAFileOrMissing) {
  host_.writeFile("plain", "x");
  for (const std::string& dirPath : {host_.pathOf("plain/"), host_.pathOf("missing/")}) {
    registry_.setDirPath(dirPath);
    EXPECT_EQ(std::string(GetImage(handle_, "n", root_.c_str(), "0")),
              "Cannot create file " + dirPath + "nRotavue.setup");
    EXPECT_STREQ(returnCurrentImage(handle_, "n", "0"), "");
  }
  EXPECT_EQ(readFileBytes(host_.pathOf("plain")), "x");
  EXPECT_EQ(filesIn(host_.path()), std::set<std::string>{"plain"});
}

TEST_F(HostileInput, OversizedAndBinaryPositionFiles) {
  // Ten megabytes without a line end: the stored "image" is never met, so the
  // rotation starts over, and a report is cut to the buffer.
  const std::string position = host_.path() + "nRotavue.setup";
  host_.writeFile("nRotavue.setup", std::string(10 * 1024 * 1024, 'z'));
  EXPECT_EQ(std::string(returnCurrentImage(handle_, "n", "0")).size(), 1023u);
  EXPECT_STREQ(GetImage(handle_, "n", root_.c_str(), "0"), "");
  EXPECT_EQ(readFileBytes(position), "#\r\n");

  std::string binary;
  for (int i = 0; i < 4096; ++i) binary += static_cast<char>((i * 37 + 11) % 256);
  host_.writeFile("nRotavue.setup", binary);
  const std::string result = GetImage(handle_, "n", root_.c_str(), "0");
  EXPECT_TRUE(result.empty() || result == root_ + "a.jpg") << result;
  const std::string stored = readFileBytes(position);
  EXPECT_TRUE(stored == "#\r\n" || stored == root_ + "#a.jpg\r\n") << stored;

  host_.writeFile("nRotavue.setup", std::string("\0#a.jpg\r\n", 9));
  EXPECT_STREQ(returnCurrentImage(handle_, "n", "0"), "List index out of bounds (0)");
}

TEST_F(HostileInput, HandlesThatWereNeverGivenOrAreReleased) {
  const std::uint32_t released = dllstartup(0, 0);
  EXPECT_EQ(dllshutdown(released), 0);
  EXPECT_EQ(dllshutdown(released), 0);
  for (const std::uint32_t handle : {0u, 1u, 0xFFFFFFFFu, released}) {
    EXPECT_STREQ(GetImage(handle, "n", root_.c_str(), "0"), "");
    EXPECT_STREQ(GetRandomImage(handle, "n", root_.c_str(), "0"), "");
    EXPECT_STREQ(returnCurrentImage(handle, "n", "0"), "");
    EXPECT_STREQ(returnCurrentImageName(handle, "n", "0"), "");
    EXPECT_STREQ(ChangeWallpaper(handle, "n", root_.c_str(), "0"), "");
    EXPECT_EQ(dllshutdown(handle), 0);
  }
  EXPECT_TRUE(filesIn(host_.path()).empty());
}

TEST(HostileTrees, HundredThousandEntriesInOneFolder) {
  HostRegistry registry;
  TempDirectory host;
  registry.setDirPath(host.path());
  MemoryTree tree;
  const std::string root = path({"Big"});
  std::vector<rotavue::testing::TreeEntry> entries{dir("."), dir("..")};
  for (int i = 0; i < 100000; ++i)
    entries.push_back(file("p" + std::to_string(i) + (i % 4 == 3 ? ".txt" : ".jpg")));
  tree.add(root, entries);

  const std::uint32_t handle = dllstartup(0, 0);
  host.writeFile("bigRotavue.setup", root + "#p99997.jpg\r\n");
  EXPECT_EQ(std::string(GetImage(handle, "big", root.c_str(), "0")), root + "p99998.jpg");
  const std::string picked = GetRandomImage(handle, "big", root.c_str(), "0");
  EXPECT_EQ(picked.compare(0, root.size() + 1, root + "p"), 0) << picked;
  EXPECT_EQ(tree.openEnumerations(), 0);
  dllshutdown(handle);
}

TEST(HostileTrees, TreeDeeperThanThePathLimit) {
  HostRegistry registry;
  TempDirectory host;
  registry.setDirPath(host.path());
  TempDirectory pictures;
  // As deep as the file system lets a path be made, then the walks meet
  // directories whose names they can no longer form.
  std::string relative;
  for (int depth = 0; depth < 400; ++depth) {
    const std::string next = relative + "level" + std::to_string(depth) + "/";
    std::error_code error;
    fs::create_directory(fs::path(pictures.pathOf(next)), error);
    if (error) break;
    relative = next;
  }
  pictures.writeFile("top.jpg");
  // Where the system refuses the deepest names (the ANSI calls stop at
  // MAX_PATH), the walk reports the system's message; either way the one
  // reachable image is selected and stored.
  const std::string top = pictures.path() + "top.jpg";
  const auto imageOrMessage = [&](const std::string& result) {
    return result == top || (!result.empty() && result.find(pictures.path()) == std::string::npos);
  };
  const std::uint32_t handle = dllstartup(0, 0);
  const std::string first = GetImage(handle, "deep", pictures.path().c_str(), "0");
  EXPECT_TRUE(imageOrMessage(first)) << first;
  EXPECT_EQ(std::string(returnCurrentImage(handle, "deep", "0")), top);
  const std::string random = GetRandomImage(handle, "deep", pictures.path().c_str(), "0");
  EXPECT_TRUE(imageOrMessage(random)) << random;
  EXPECT_EQ(std::string(returnCurrentImage(handle, "deep", "0")), top);
  dllshutdown(handle);
}

}  // namespace
