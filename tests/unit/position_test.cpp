// The position store on the real file system, with the host's registry
// value set up as the host would: how the registry value locates the file
// and every way it can fail, the exact bytes of each kind of save, the rules
// for reading a position line back, and that a failed save leaves the old
// file whole and no stray file beside it.
#include "position/position.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>

#include "host/meter_data.h"
#include "platform/platform.h"
#include "support/hooks_guard.h"
#include "support/host_registry.h"
#include "support/memory_tree.h"
#include "support/temp_directory.h"

namespace {

using rotavue::meter_data;
using rotavue::WalkStatus;
using rotavue::testing::HostRegistry;
using rotavue::testing::readFileBytes;
using rotavue::testing::TempDirectory;

const char kNickname[] = "Holiday";
const char kFileName[] = "HolidayRotavue.setup";
const char kRegistryUnavailable[] = "Unable to access the registry";
const char kInvalidType[] = "Invalid data type for 'DirPath'";

// The names held by a directory.
std::set<std::string> entriesOf(const std::string& directory) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(directory))
    names.insert(entry.path().filename().string());
  return names;
}

class PositionStore : public ::testing::Test {
 protected:
  void SetUp() override { registry_.setDirPath(host_.path()); }

  std::string positionFile() const { return host_.path() + kFileName; }

  // An instance whose walk has just selected `directory` + `file`.
  static meter_data selection(WalkStatus status, std::int32_t counter, const std::string& directory,
                              const std::string& file) {
    meter_data instance;
    instance.walkStatus = status;
    instance.walkCounter = counter;
    instance.imageDirectory = directory;
    instance.imageFileName = file;
    return instance;
  }

  std::string load(const std::string& contents, std::string* errorText = nullptr) {
    host_.writeFile(kFileName, contents);
    meter_data instance;
    const std::string line = rotavue::loadPosition(instance, kNickname);
    if (errorText != nullptr) *errorText = instance.errorText;
    return line;
  }

  TempDirectory host_;
  HostRegistry registry_;
};

TEST_F(PositionStore, RegistryFailuresWriteNothing) {
  struct Setup {
    const char* what;
    void (*apply)(HostRegistry&);
    const char* message;
  };
  const Setup setups[] = {
      {"key missing", [](HostRegistry& r) { r.removeKey(); }, kRegistryUnavailable},
      {"value missing", [](HostRegistry& r) { r.removeDirPath(); }, kRegistryUnavailable},
      {"other value only", [](HostRegistry& r) { r.setOtherValueOnly(); }, kRegistryUnavailable},
      {"number", [](HostRegistry& r) { r.setDirPathDword(1); }, kInvalidType},
  };
  const std::string pics = rotavue::testing::path({"pics"});
  for (const Setup& setup : setups) {
    SCOPED_TRACE(setup.what);
    setup.apply(registry_);

    meter_data reader;
    reader.positionFilePath = "before";
    EXPECT_EQ(rotavue::loadPosition(reader, kNickname), "");
    EXPECT_EQ(reader.errorText, setup.message);
    EXPECT_EQ(reader.positionFilePath, "before");

    // The walk found nothing new, yet a save that cannot locate its file
    // leaves the selection alone.
    meter_data writer = selection(WalkStatus::kNotFound, 0, pics, "a.jpg");
    rotavue::savePosition(writer, kNickname);
    EXPECT_EQ(writer.errorText, setup.message);
    EXPECT_EQ(writer.imageDirectory, pics);
    EXPECT_EQ(writer.imageFileName, "a.jpg");
    EXPECT_TRUE(entriesOf(host_.path()).empty());
    registry_.setDirPath(host_.path());
  }
}

TEST_F(PositionStore, DirPathIsUsedVerbatim) {
  const char sep = rotavue::platform::kPathSeparator;
  {
    // REG_EXPAND_SZ is not expanded.
    host_.makeDirectory("%APPDATA%");
    const std::string literal = host_.path() + "%APPDATA%" + sep;
    registry_.setDirPathExpand(literal);
    meter_data instance = selection(WalkStatus::kExit, 0, "d" + std::string(1, sep), "a.jpg");
    EXPECT_EQ(rotavue::loadPosition(instance, kNickname), "#");
    EXPECT_EQ(instance.positionFilePath, literal + kFileName);
    rotavue::savePosition(instance, kNickname);
    EXPECT_EQ(instance.errorText, "");
    EXPECT_EQ(readFileBytes(host_.pathOf("%APPDATA%/HolidayRotavue.setup")),
              "d" + std::string(1, sep) + "#a.jpg\r\n");
  }
  {
    // Empty: the bare file name, relative to the current directory.
    registry_.setDirPath("");
    meter_data instance;
    instance.errorText = "kept";
    EXPECT_EQ(rotavue::loadPosition(instance, "NoSuchRotavueTestNick"), "#");
    EXPECT_EQ(instance.positionFilePath, "NoSuchRotavueTestNickRotavue.setup");
    EXPECT_EQ(instance.errorText, "kept");
  }
  {
    // No separator is inserted, and the nickname is taken as it is.
    std::string bare = host_.path();
    bare.pop_back();
    registry_.setDirPath(bare);
    meter_data instance;
    rotavue::loadPosition(instance, kNickname);
    EXPECT_EQ(instance.positionFilePath, bare + kFileName);
    registry_.setDirPath(host_.path());
    rotavue::loadPosition(instance, "a b.");
    EXPECT_EQ(instance.positionFilePath, host_.path() + "a b.Rotavue.setup");
  }
}

TEST_F(PositionStore, SavedBytes) {
  const std::string pics = rotavue::testing::path({"C:", "pics"});
  {
    meter_data instance = selection(WalkStatus::kExit, 0, pics, "a.jpg");
    rotavue::savePosition(instance, kNickname);
    EXPECT_EQ(instance.errorText, "");
    EXPECT_EQ(instance.positionFilePath, positionFile());
    const std::string bytes = readFileBytes(positionFile());
    EXPECT_EQ(bytes, pics + "#a.jpg\r\n");
    EXPECT_EQ(bytes.size(), 16U);
  }
  for (const WalkStatus status : {WalkStatus::kFound, WalkStatus::kNotFound}) {
    host_.writeFile(kFileName, std::string(100, 'o'));
    meter_data instance = selection(status, 0, pics, "b.jpg");
    rotavue::savePosition(instance, kNickname);
    EXPECT_EQ(readFileBytes(positionFile()), "#\r\n") << rotavue::walkStatusText(status);
    EXPECT_EQ(instance.imageDirectory, "");
    EXPECT_EQ(instance.imageFileName, "");
  }
  {
    // The indexed walk reached its target.
    meter_data instance = selection(WalkStatus::kNotFound, -1, pics, "c#1.png");
    rotavue::savePosition(instance, kNickname);
    EXPECT_EQ(readFileBytes(positionFile()), pics + "#c#1.png\r\n");
    EXPECT_EQ(instance.imageFileName, "c#1.png");
  }
  {
    // An indexed walk that ran out of images before its target.
    meter_data instance = selection(WalkStatus::kNotFound, 2, pics, "c.png");
    rotavue::savePosition(instance, kNickname);
    EXPECT_EQ(readFileBytes(positionFile()), "#\r\n");
  }
  EXPECT_EQ(entriesOf(host_.path()), std::set<std::string>{kFileName});
}

TEST_F(PositionStore, ReadingTheFirstLine) {
  const std::string line = rotavue::testing::path({"C:", "pics"}) + "#a.jpg";
  EXPECT_EQ(load(line + "\r\nx\r\n"), line);
  EXPECT_EQ(load(line + "\nx\n"), line);
  EXPECT_EQ(load(line + "\rx\r"), line);
  EXPECT_EQ(load(line), line);
  EXPECT_EQ(load("#\r\n"), "#");
  EXPECT_EQ(load(std::string("ab\0cd\r\n", 7)), "ab");
  EXPECT_EQ(load("\r\nsecond\r\n"), "");
  EXPECT_EQ(load("\nsecond"), "");

  std::string error;
  EXPECT_EQ(load("", &error), "");
  EXPECT_EQ(error, "List index out of bounds (0)");
  EXPECT_EQ(load(std::string("\0line\r\n", 7), &error), "");
  EXPECT_EQ(error, "List index out of bounds (0)");

  host_.remove(kFileName);
  meter_data instance;
  instance.errorText = "earlier";
  EXPECT_EQ(rotavue::loadPosition(instance, kNickname), "#");
  EXPECT_EQ(instance.errorText, "earlier");
  EXPECT_EQ(instance.positionFilePath, positionFile());
}

TEST_F(PositionStore, FirstLinesOfAnyLength) {
  // The file is read in chunks up to the first line end: lines that end
  // inside, at and after a chunk's end, a CR LF split between two chunks, a
  // NUL far into the line, and files without any line end.
  for (const std::size_t length : {511U, 512U, 1023U, 1024U, 1025U, 4096U, 70000U}) {
    SCOPED_TRACE(length);
    const std::string line = std::string(length - 6, 'd') + "#a.jpg";
    EXPECT_EQ(load(line + "\r\n" + std::string(3000, 'x') + "\r\n"), line);
    EXPECT_EQ(load(line + "\n"), line);
    EXPECT_EQ(load(line), line);
    EXPECT_EQ(load(line + std::string(1, '\0') + "\r\n"), line);
    EXPECT_EQ(load(line + std::string(1, '\0') + std::string(3000, 'x')), line);
  }
}

TEST_F(PositionStore, DirectoryNamedLikeThePositionFile) {
  host_.makeDirectory(kFileName);
  meter_data instance = selection(WalkStatus::kExit, 0, rotavue::testing::path({"p"}), "a.jpg");
  EXPECT_EQ(rotavue::loadPosition(instance, kNickname), "#");
  EXPECT_EQ(instance.errorText, "");
  rotavue::savePosition(instance, kNickname);
  EXPECT_EQ(instance.errorText, "Cannot create file " + positionFile());
  EXPECT_TRUE(std::filesystem::is_directory(positionFile()));
  EXPECT_EQ(entriesOf(host_.path()), std::set<std::string>{kFileName});
}

// Replacement disks for the atomic save.
std::string lastWritePath;

rotavue::platform::WriteOutcome refuseCreate(const std::string& path, const char*, std::size_t) {
  lastWritePath = path;
  return {};
}

rotavue::platform::WriteOutcome writeAllButOne(const std::string& path, const char* data,
                                               std::size_t size) {
  lastWritePath = path;
  rotavue::platform::WriteOutcome outcome =
      rotavue::platform::systemHooks().writeNewFile(path, data, size - 1);
  EXPECT_TRUE(std::filesystem::exists(path));
  return outcome;
}

TEST_F(PositionStore, FailedSaveLeavesTheOldFileWhole) {
  const std::string old = rotavue::testing::path({"old"}) + "#z.jpg\r\n";
  const std::string pics = rotavue::testing::path({"pics"});
  struct Disk {
    rotavue::platform::WriteNewFileFunction write;
    std::string message;
  };
  const Disk disks[] = {{refuseCreate, "Cannot create file " + positionFile()},
                        {writeAllButOne, "Stream write error"}};
  for (const Disk& disk : disks) {
    SCOPED_TRACE(disk.message);
    host_.writeFile(kFileName, old);
    rotavue::testing::HooksGuard guard;
    rotavue::platform::hooks().writeNewFile = disk.write;
    lastWritePath.clear();
    meter_data instance = selection(WalkStatus::kExit, 0, pics, "a.jpg");
    rotavue::savePosition(instance, kNickname);
    EXPECT_EQ(instance.errorText, disk.message);
    EXPECT_EQ(readFileBytes(positionFile()), old);
    EXPECT_EQ(entriesOf(host_.path()), std::set<std::string>{kFileName});
    // The line went to a file of its own beside the position file.
    EXPECT_NE(lastWritePath, positionFile());
    EXPECT_EQ(std::filesystem::path(lastWritePath).parent_path(),
              std::filesystem::path(positionFile()).parent_path());
  }
  // With the disk restored the same save succeeds.
  meter_data instance = selection(WalkStatus::kExit, 0, pics, "a.jpg");
  rotavue::savePosition(instance, kNickname);
  EXPECT_EQ(instance.errorText, "");
  EXPECT_EQ(readFileBytes(positionFile()), pics + "#a.jpg\r\n");
}

}  // namespace
