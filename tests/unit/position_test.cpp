// The position store on the real file system, with the host's registry
// value set up as the host would: how the registry value locates the file
// and every way it can fail, the exact bytes of each kind of save, the rules
// for reading a position line back (however long its first line), that a
// short write leaves the old file whole and no stray file beside it, and
// that a save whose temporary file cannot serve falls back to the plain
// write, with that write's own failures.
#include "position/position.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

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
  // NUL far into the line, and files without any line end. A line longer
  // than the limit is cut there.
  const std::size_t limit = rotavue::kPositionLineLimit;
  for (const std::size_t length :
       std::initializer_list<std::size_t>{511, 512, 1023, 1024, 1025, 4096, limit, limit + 1}) {
    SCOPED_TRACE(length);
    const std::string line = std::string(length - 6, 'd') + "#a.jpg";
    const std::string read = line.substr(0, limit);
    EXPECT_EQ(load(line + "\r\n" + std::string(3000, 'x') + "\r\n"), read);
    EXPECT_EQ(load(line + "\n"), read);
    EXPECT_EQ(load(line), read);
    EXPECT_EQ(load(line + std::string(1, '\0') + "\r\n"), read);
    EXPECT_EQ(load(line + std::string(1, '\0') + std::string(3000, 'x')), read);
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

// A disk for the save that records every write and replacement, and fails
// those it is told to: the writes of the position file itself (the plain
// save) apart from all others (the temporary file), and lets a rival writer
// take the save's next `namesTaken` temporary names just before it does.
enum class Fault { kNone, kRefuseCreate, kShortWrite, kNotFlushed };

struct FaultyDisk {
  std::string positionPath;
  Fault temporaryWrite = Fault::kNone;
  Fault positionWrite = Fault::kNone;
  bool refuseReplace = false;
  int namesTaken = 0;
  std::vector<std::string> writes;
  std::vector<std::pair<std::string, std::string>> replacements;
};

FaultyDisk disk;

rotavue::platform::WriteOutcome faultyWrite(const std::string& path,
                                            rotavue::platform::Creation creation, const char* data,
                                            std::size_t size) {
  disk.writes.push_back(path);
  const Fault fault = path == disk.positionPath ? disk.positionWrite : disk.temporaryWrite;
  if (fault == Fault::kRefuseCreate) return {};
  const auto& real = rotavue::platform::systemHooks().writeNewFile;
  if (path != disk.positionPath && disk.namesTaken > 0 && disk.namesTaken--)
    real(path, rotavue::platform::Creation::kReplace, "rival", 5);
  auto outcome = real(path, creation, data, fault == Fault::kShortWrite ? size - 1 : size);
  outcome.flushed = outcome.flushed && fault != Fault::kNotFlushed;
  return outcome;
}

bool faultyReplace(const std::string& source, const std::string& target) {
  disk.replacements.emplace_back(source, target);
  return !disk.refuseReplace && rotavue::platform::systemHooks().replaceFile(source, target);
}

class AtomicSave : public PositionStore {
 protected:
  void SetUp() override {
    PositionStore::SetUp();
    disk = FaultyDisk{};
    disk.positionPath = positionFile();
    rotavue::platform::hooks().writeNewFile = faultyWrite;
    rotavue::platform::hooks().replaceFile = faultyReplace;
    host_.writeFile(kFileName, oldLine());
  }

  // Saves "pics" + "a.jpg" after a walk that ended "EXIT"; returns errorText.
  std::string save() {
    meter_data instance = selection(WalkStatus::kExit, 0, pics(), "a.jpg");
    rotavue::savePosition(instance, kNickname);
    return instance.errorText;
  }

  static std::string pics() { return rotavue::testing::path({"pics"}); }
  static std::string oldLine() { return rotavue::testing::path({"old"}) + "#z.jpg\r\n"; }
  static std::string newLine() { return pics() + "#a.jpg\r\n"; }

  rotavue::testing::HooksGuard guard_;
};

TEST_F(AtomicSave, ReplacesThePositionFileThroughOneTemporaryFile) {
  EXPECT_EQ(save(), "");
  EXPECT_EQ(readFileBytes(positionFile()), newLine());
  EXPECT_EQ(entriesOf(host_.path()), std::set<std::string>{kFileName});
  // One write, of a file of its own beside the position file, and no plain
  // write after it.
  ASSERT_EQ(disk.writes.size(), 1U);
  const std::string temporary = disk.writes.front();
  EXPECT_NE(temporary, positionFile());
  EXPECT_EQ(std::filesystem::path(temporary).parent_path(),
            std::filesystem::path(positionFile()).parent_path());
  ASSERT_EQ(disk.replacements.size(), 1U);
  EXPECT_EQ(disk.replacements.front(), std::make_pair(temporary, positionFile()));
}

TEST_F(AtomicSave, TemporaryNamesAreShortAndNeverMeetAnotherSavesFiles) {
  // Nicknames that end like one another, like the suffix, and like
  // temporary names.
  const std::vector<std::string> nicknames = {
      "", "a", "ab", "Holiday", "Holiday0", "HolidayRotavue.setup", "Holiday.tmp"};
  std::set<std::string> temporaries;
  std::set<std::string> positionFiles;
  for (const std::string& nickname : nicknames) {
    disk.writes.clear();
    meter_data instance = selection(WalkStatus::kExit, 0, pics(), "a.jpg");
    rotavue::savePosition(instance, nickname);
    EXPECT_EQ(instance.errorText, "") << nickname;
    ASSERT_EQ(disk.writes.size(), 1U) << nickname;
    const std::filesystem::path temporary(disk.writes.front());
    const std::filesystem::path position(instance.positionFilePath);
    positionFiles.insert(position.filename().string());
    temporaries.insert(temporary.filename().string());
    EXPECT_EQ(temporary.parent_path(), position.parent_path()) << nickname;
    // NICKRotavue and six base-32 digits: as long as the position file's name.
    const std::string name = temporary.filename().string();
    EXPECT_EQ(name.size(), position.filename().string().size()) << name;
    EXPECT_EQ(name.find_first_not_of("0123456789abcdefghijklmnopqrstuv", nickname.size() + 7),
              std::string::npos)
        << name;
    EXPECT_EQ(name.substr(0, nickname.size() + 7), nickname + "Rotavue") << name;
  }
  EXPECT_EQ(temporaries.size(), nicknames.size());
  for (const std::string& temporary : temporaries) {
    EXPECT_EQ(positionFiles.count(temporary), 0U) << temporary;
    const std::string suffix = "Rotavue.setup";
    EXPECT_FALSE(temporary.size() >= suffix.size() &&
                 temporary.compare(temporary.size() - suffix.size(), suffix.size(), suffix) == 0)
        << temporary << " is named like a position file";
  }
  EXPECT_EQ(entriesOf(host_.path()).size(), nicknames.size());

  // A save on another thread, which runs while this one lives, uses another
  // temporary file.
  disk.writes.clear();
  std::thread other([this] { save(); });
  other.join();
  save();
  ASSERT_EQ(disk.writes.size(), 2U);
  EXPECT_NE(disk.writes[0], disk.writes[1]);
}

TEST_F(AtomicSave, FallsBackToThePlainWriteWhereTheTemporaryFileCannotServe) {
  struct Case {
    const char* what;
    Fault temporaryWrite;
    bool refuseReplace;
  };
  for (const Case& c : {Case{"temporary file refused", Fault::kRefuseCreate, false},
                        Case{"replacement refused", Fault::kNone, true}}) {
    SCOPED_TRACE(c.what);
    host_.writeFile(kFileName, oldLine());
    disk.temporaryWrite = c.temporaryWrite;
    disk.refuseReplace = c.refuseReplace;
    disk.writes.clear();
    EXPECT_EQ(save(), "");
    EXPECT_EQ(readFileBytes(positionFile()), newLine());
    EXPECT_EQ(entriesOf(host_.path()), std::set<std::string>{kFileName});
    ASSERT_EQ(disk.writes.size(), 2U);
    EXPECT_NE(disk.writes[0], positionFile());
    EXPECT_EQ(disk.writes[1], positionFile());
  }
}

TEST_F(AtomicSave, ATakenTemporaryNameLeadsToAnotherOrToThePlainWrite) {
  for (int taken = 1; taken <= 3; ++taken) {
    SCOPED_TRACE(taken);
    disk.writes.clear();
    disk.namesTaken = taken;
    EXPECT_EQ(save(), "");
    EXPECT_EQ(readFileBytes(positionFile()), newLine());
    // A new name after each taken one; after three the plain write does the work.
    ASSERT_EQ(disk.writes.size(), taken + 1U);
    EXPECT_EQ(disk.writes.back() == positionFile(), taken == 3);
    for (int rival = 0; rival < taken; ++rival) {
      EXPECT_EQ(readFileBytes(disk.writes[rival]), "rival");
      rotavue::platform::removeFile(disk.writes[rival]);
    }
  }
  EXPECT_EQ(entriesOf(host_.path()), std::set<std::string>{kFileName});
}

TEST_F(AtomicSave, ThePlainWriteKeepsItsOwnFailures) {
  const std::string refused = "Cannot create file " + positionFile();
  const std::string shortLine = newLine().substr(0, newLine().size() - 1);
  struct Case {
    const char* what;
    Fault temporaryWrite;
    bool refuseReplace;
    Fault positionWrite;
    std::string error;
    std::string left;  // the position file afterwards
  };
  const Case cases[] = {
      {"nothing can be created", Fault::kRefuseCreate, false, Fault::kRefuseCreate, refused,
       oldLine()},
      {"no temporary file, plain write short", Fault::kRefuseCreate, false, Fault::kShortWrite,
       "Stream write error", shortLine},
      {"no replacement, position file refused", Fault::kNone, true, Fault::kRefuseCreate, refused,
       oldLine()},
      {"no replacement, plain write short", Fault::kNone, true, Fault::kShortWrite,
       "Stream write error", shortLine},
      {"temporary file not flushed", Fault::kNotFlushed, false, Fault::kNone, "Stream write error",
       oldLine()},
      {"no replacement, plain write not flushed", Fault::kNone, true, Fault::kNotFlushed,
       "Stream write error", newLine()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    host_.writeFile(kFileName, oldLine());
    disk.temporaryWrite = c.temporaryWrite;
    disk.refuseReplace = c.refuseReplace;
    disk.positionWrite = c.positionWrite;
    EXPECT_EQ(save(), c.error);
    EXPECT_EQ(readFileBytes(positionFile()), c.left);
    EXPECT_EQ(entriesOf(host_.path()), std::set<std::string>{kFileName});
  }
}

TEST_F(AtomicSave, ShortTemporaryWriteLeavesTheOldFileWhole) {
  disk.temporaryWrite = Fault::kShortWrite;
  EXPECT_EQ(save(), "Stream write error");
  EXPECT_EQ(readFileBytes(positionFile()), oldLine());
  EXPECT_EQ(entriesOf(host_.path()), std::set<std::string>{kFileName});
  // The position file itself was never opened for writing.
  EXPECT_EQ(disk.writes.size(), 1U);
  EXPECT_TRUE(disk.replacements.empty());

  // With the disk restored the same save succeeds.
  disk.temporaryWrite = Fault::kNone;
  EXPECT_EQ(save(), "");
  EXPECT_EQ(readFileBytes(positionFile()), newLine());
}

}  // namespace
