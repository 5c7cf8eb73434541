// The six image functions end to end through the exported functions and
// their handles: the rotation and its position file on disk, the reporting
// functions, the random pick reproduced from a fixed clock, the shuffle, the
// wallpaper placeholder, and every failure path that reaches the host as
// text. Image trees are in memory (so that their walk order is known); the
// registry value and the position files are real.
#include "host/image_functions.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <random>
#include <regex>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "host/exports.h"
#include "host/instances.h"
#include "platform/platform.h"
#include "support/hooks_guard.h"
#include "support/host_registry.h"
#include "support/memory_tree.h"
#include "support/temp_directory.h"
#include "walk/walk.h"

namespace {

using rotavue::testing::dir;
using rotavue::testing::file;
using rotavue::testing::readFileBytes;

const char kNick[] = "Rota";
const char kBadInterval[] = "'abc' is not a valid integer value";
const char kNoRegistry[] = "Unable to access the registry";

// The image that the random image function picks at `seconds` for kNick.
std::int32_t expectedPick(std::int64_t seconds, std::int32_t imageCount) {
  return rotavue::drawRandomIndex(seconds, kNick, imageCount);
}

// The exported functions, their texts taken as strings for comparison.
std::string image(std::uint32_t h, const char* nick, const char* directory, const char* interval) {
  return GetImage(h, nick, directory, interval);
}
std::string randomImage(std::uint32_t h, const char* nick, const char* directory,
                        const char* interval) {
  return GetRandomImage(h, nick, directory, interval);
}
std::string shuffled(std::uint32_t h, const char* nick, const char* directory,
                     const char* interval) {
  return GetShuffledImage(h, nick, directory, interval);
}
std::string placeholder(std::uint32_t h, const char* nick, const char* directory,
                        const char* interval) {
  return ChangeWallpaper(h, nick, directory, interval);
}
std::string currentImage(std::uint32_t h, const char* nick, const char* interval) {
  return returnCurrentImage(h, nick, interval);
}
std::string currentName(std::uint32_t h, const char* nick, const char* interval) {
  return returnCurrentImageName(h, nick, interval);
}

class ImageFunctions : public ::testing::Test {
 protected:
  ImageFunctions() {
    registry_.setDirPath(host_.path());
    // Walk order: a.jpg, s/b.png, c.gif.
    tree_.add(root_,
              {dir("."), dir(".."), file("a.jpg"), dir("s"), file("notes.txt"), file("c.gif")});
    tree_.add(sub_, {dir("."), dir(".."), file("b.png")});
  }
  ~ImageFunctions() override {
    for (const std::uint32_t handle : handles_) dllshutdown(handle);
  }

  std::uint32_t meter() {
    handles_.push_back(dllstartup(0, 0));
    return handles_.back();
  }
  std::string positionFile() const { return host_.path() + kNick + "Rotavue.setup"; }
  std::string stored() const { return readFileBytes(positionFile()); }
  void store(const std::string& bytes) const { host_.writeFile("RotaRotavue.setup", bytes); }
  static std::string line(const std::string& directory, const std::string& name) {
    return directory + "#" + name + "\r\n";
  }
  std::string next(std::uint32_t handle, const char* interval = "0") const {
    return image(handle, kNick, root_.c_str(), interval);
  }

  rotavue::testing::TempDirectory host_;
  rotavue::testing::HostRegistry registry_;
  rotavue::testing::FakeClock clock_;
  rotavue::testing::MemoryTree tree_;
  const std::string root_ = rotavue::testing::path({"M:", "pics"});
  const std::string sub_ = rotavue::testing::path({"M:", "pics", "s"});
  const std::vector<std::string> order_ = {root_ + "a.jpg", sub_ + "b.png", root_ + "c.gif"};
  std::vector<std::uint32_t> handles_;
};

TEST_F(ImageFunctions, RotationWrapsWithOneEmptyResult) {
  const std::uint32_t handle = meter();
  const std::string expected[][2] = {
      {order_[0], line(root_, "a.jpg")}, {order_[1], line(sub_, "b.png")},
      {order_[2], line(root_, "c.gif")}, {"", "#\r\n"},
      {order_[0], line(root_, "a.jpg")}, {order_[1], line(sub_, "b.png")},
  };
  for (const auto& [result, bytes] : expected) {
    EXPECT_EQ(next(handle), result);
    EXPECT_EQ(stored(), bytes);
  }
  // A new instance carries on where the last one stopped.
  EXPECT_EQ(next(meter()), order_[2]);
}

TEST_F(ImageFunctions, SmallAndMissingTrees) {
  const std::uint32_t handle = meter();
  tree_.add(root_, {file("only.bmp")});
  EXPECT_EQ(next(handle), root_ + "only.bmp");
  EXPECT_EQ(next(handle), "");
  EXPECT_EQ(stored(), "#\r\n");
  EXPECT_EQ(next(handle), root_ + "only.bmp");
  EXPECT_EQ(stored(), line(root_, "only.bmp"));

  tree_.add(root_, {file("notes.txt"), dir("empty")});
  tree_.add(root_ + "empty" + rotavue::platform::kPathSeparator, {dir("."), dir("..")});
  EXPECT_EQ(next(handle), "");
  EXPECT_EQ(stored(), "#\r\n");

  // A root that does not exist, on the real file system: the system's own
  // message, and "#" stored.
  rotavue::testing::HooksGuard guard;
  rotavue::platform::hooks().openEnumeration = rotavue::platform::systemHooks().openEnumeration;
  store(line(root_, "a.jpg"));
  const std::string missing = host_.pathOf("missing/");
  const std::string message =
      rotavue::platform::systemMessage(rotavue::platform::pathNotFoundError());
  ASSERT_FALSE(message.empty());
  EXPECT_EQ(image(handle, kNick, missing.c_str(), "0"), message);
  EXPECT_EQ(stored(), "#\r\n");
}

TEST_F(ImageFunctions, StoredImageGoneAndOddPositionLines) {
  const std::uint32_t handle = meter();
  EXPECT_EQ(next(handle), order_[0]);
  tree_.add(root_, {dir("s"), file("c.gif")});  // a.jpg removed
  EXPECT_EQ(next(handle), "");
  EXPECT_EQ(stored(), "#\r\n");
  EXPECT_EQ(next(handle), sub_ + "b.png");

  tree_.add(root_, {file("a.jpg"), dir("s"), file("c.gif")});
  // No "#": the directory is empty and matches no level.
  store("a.jpg\r\n");
  EXPECT_EQ(next(handle), "");
  EXPECT_EQ(stored(), "#\r\n");
  store("x#y#z\r\n");
  EXPECT_EQ(next(handle), "");
  EXPECT_EQ(stored(), "#\r\n");
  // An empty stored file name, or an empty line, stands for the first image.
  store(root_ + "#\r\n");
  EXPECT_EQ(next(handle), order_[1]);
  store("\r\n");
  EXPECT_EQ(next(handle), order_[1]);

  // A directory whose name holds "#".
  const std::string hashed = rotavue::testing::path({"M:", "a#b"});
  tree_.add(hashed, {file("c.jpg"), file("d.jpg")});
  store(line(hashed, "c.jpg"));
  EXPECT_EQ(image(handle, kNick, hashed.c_str(), "0"), hashed + "d.jpg");
  EXPECT_EQ(stored(), line(hashed, "d.jpg"));
  EXPECT_EQ(currentImage(handle, kNick, "0"), hashed + "d.jpg");
  EXPECT_EQ(currentName(handle, kNick, "0"), "d.jpg");
}

TEST_F(ImageFunctions, NothingIsTouchedBetweenRefreshes) {
  const std::uint32_t handle = meter();
  const char* const first = GetImage(handle, kNick, root_.c_str(), "10");
  EXPECT_EQ(std::string(first), order_[0]);
  const std::size_t opened = tree_.opened().size();

  clock_.advanceSeconds(9);
  store(line(sub_, "b.png"));  // another instance moved the rotation on
  const char* const again = GetImage(handle, kNick, root_.c_str(), "10");
  EXPECT_EQ(again, first);
  EXPECT_EQ(std::string(again), order_[0]);
  EXPECT_EQ(stored(), line(sub_, "b.png"));
  EXPECT_EQ(tree_.opened().size(), opened);

  std::filesystem::remove(positionFile());
  EXPECT_EQ(currentImage(meter(), kNick, "10"), "");
  store(line(sub_, "b.png"));

  clock_.advanceSeconds(1);
  EXPECT_EQ(next(handle, "10"), order_[2]);
  EXPECT_EQ(stored(), line(root_, "c.gif"));
}

TEST_F(ImageFunctions, BadIntervalFailsEveryCall) {
  const std::string bytes = line(root_, "a.jpg");
  store(bytes);
  const std::uint32_t rotation = meter();
  const std::uint32_t random = meter();
  const std::uint32_t report = meter();
  const std::uint32_t wallpaper = meter();
  for (int call = 0; call < 2; ++call) {
    EXPECT_EQ(image(rotation, kNick, root_.c_str(), "abc"),
              "GetImage:'abc' is not a valid integer value");
    EXPECT_EQ(randomImage(random, kNick, root_.c_str(), "abc"), kBadInterval);
    EXPECT_EQ(shuffled(random, kNick, root_.c_str(), "abc"), kBadInterval);
    EXPECT_EQ(currentImage(report, kNick, "abc"), kBadInterval);
    EXPECT_EQ(currentName(report, kNick, "abc"), kBadInterval);
    EXPECT_EQ(placeholder(wallpaper, kNick, root_.c_str(), "abc"), "");
  }
  EXPECT_EQ(stored(), bytes);
  EXPECT_TRUE(tree_.opened().empty());
  EXPECT_EQ(rotavue::findInstance(rotation)->lastRefresh, 0U);

  // The wallpaper placeholder reports the instance's last failure instead.
  registry_.removeKey();
  EXPECT_EQ(next(wallpaper), kNoRegistry);
  EXPECT_EQ(placeholder(wallpaper, kNick, root_.c_str(), "abc"), kNoRegistry);
}

TEST_F(ImageFunctions, WallpaperMessageOnEveryCall) {
  const std::uint32_t handle = meter();
  const std::string message = "This will change the Wallpaper all in good time :-)";
  EXPECT_EQ(placeholder(handle, kNick, root_.c_str(), "10"), message);
  clock_.advanceSeconds(3);
  EXPECT_EQ(placeholder(handle, kNick, root_.c_str(), "10"), message);
  clock_.advanceSeconds(7);
  EXPECT_EQ(placeholder(handle, nullptr, nullptr, "10"), message);
  EXPECT_EQ(placeholder(meter(), kNick, root_.c_str(), "-1"), message);
  EXPECT_TRUE(tree_.opened().empty());
  EXPECT_FALSE(rotavue::testing::pathExists(positionFile()));
}

TEST_F(ImageFunctions, ReportingTheStoredPosition) {
  const std::uint32_t path = meter();
  const std::uint32_t name = meter();
  EXPECT_EQ(currentImage(path, kNick, "0"), "");
  EXPECT_EQ(currentName(name, kNick, "0"), "");
  store("#\r\n");
  EXPECT_EQ(currentImage(path, kNick, "0"), "");
  EXPECT_EQ(currentName(name, kNick, "0"), "");
  const std::string d = rotavue::testing::path({"d"});
  store(line(d, "a.jpg") + "ignored\r\n");
  EXPECT_EQ(currentImage(path, kNick, "0"), d + "a.jpg");
  EXPECT_EQ(currentName(name, kNick, "0"), "a.jpg");
  store("a.jpg\r\n");
  EXPECT_EQ(currentImage(path, kNick, "0"), "a.jpg");
  EXPECT_EQ(currentName(name, kNick, "0"), "a.jpg");
  store("x#y#z");
  EXPECT_EQ(currentImage(path, kNick, "0"), "xy#z");
  EXPECT_EQ(currentName(name, kNick, "0"), "y#z");
  store("");
  EXPECT_EQ(currentImage(path, kNick, "0"), "List index out of bounds (0)");

  store(line(d, "a.jpg"));
  registry_.removeDirPath();
  EXPECT_EQ(currentImage(path, kNick, "0"), kNoRegistry);
  EXPECT_EQ(currentName(name, kNick, "0"), kNoRegistry);
  registry_.setDirPath(host_.path());
  EXPECT_EQ(currentImage(path, kNick, "0"), d + "a.jpg");
  EXPECT_EQ(currentName(name, kNick, "0"), "a.jpg");
  EXPECT_TRUE(tree_.opened().empty());
  EXPECT_EQ(stored(), line(d, "a.jpg"));
}

TEST_F(ImageFunctions, RegistryFailuresReachTheHost) {
  const std::uint32_t handle = meter();
  for (int variant = 0; variant < 3; ++variant) {
    SCOPED_TRACE(variant);
    if (variant == 0) registry_.removeKey();
    if (variant == 1) registry_.removeDirPath();
    if (variant == 2) registry_.setOtherValueOnly();
    EXPECT_EQ(next(handle), kNoRegistry);
    EXPECT_EQ(currentImage(handle, kNick, "0"), kNoRegistry);
    EXPECT_EQ(currentName(handle, kNick, "0"), kNoRegistry);
    EXPECT_EQ(shuffled(handle, kNick, root_.c_str(), "0"), kNoRegistry);
    EXPECT_TRUE(tree_.opened().empty());
    // The random pick walks, but cannot store and reports why.
    EXPECT_EQ(randomImage(handle, kNick, root_.c_str(), "0"), kNoRegistry);
    tree_.opened_.clear();
    EXPECT_TRUE(std::filesystem::is_empty(host_.path()));
  }
  registry_.setDirPathDword(7);
  EXPECT_EQ(next(handle), "Invalid data type for 'DirPath'");
  EXPECT_TRUE(std::filesystem::is_empty(host_.path()));
}

TEST_F(ImageFunctions, RandomPickFollowsTheClock) {
  const std::uint32_t handle = meter();
  bool pickedFirst = false;
  bool pickedOther = false;
  for (int second = 0; second < 12; ++second) {
    const std::int32_t index = expectedPick(clock_.calendarSeconds(), 3);
    pickedFirst = pickedFirst || index == 0;
    pickedOther = pickedOther || index != 0;
    const std::string picked = order_[static_cast<std::size_t>(index)];
    EXPECT_EQ(randomImage(handle, kNick, root_.c_str(), "0"), picked) << second;
    const std::size_t split = picked.rfind(rotavue::platform::kPathSeparator) + 1;
    EXPECT_EQ(stored(), line(picked.substr(0, split), picked.substr(split)));
    // Within the same second the same image again.
    EXPECT_EQ(randomImage(meter(), kNick, root_.c_str(), "0"), picked);
    clock_.advanceSeconds(1);
  }
  EXPECT_TRUE(pickedFirst && pickedOther) << "the seconds tried cover both walk modes";

  tree_.add(root_, {file("one.ico")});
  EXPECT_EQ(randomImage(handle, kNick, root_.c_str(), "0"), root_ + "one.ico");
  EXPECT_EQ(stored(), line(root_, "one.ico"));

  // No image, or no directory: the position file stays as it was.
  tree_.add(root_, {file("notes.txt")});
  EXPECT_EQ(randomImage(handle, kNick, root_.c_str(), "0"), rotavue::kNoImagesMessage);
  const std::string nowhere = rotavue::testing::path({"M:", "nowhere"});
  EXPECT_EQ(randomImage(handle, kNick, nowhere.c_str(), "0"), rotavue::kNoImagesMessage);
  EXPECT_EQ(shuffled(handle, kNick, root_.c_str(), "0"), rotavue::kNoImagesMessage);
  EXPECT_EQ(stored(), line(root_, "one.ico"));
}

TEST(RandomDraw, MixesTheSecondsAndNicknameAndSpreadsSuccessivePicks) {
  EXPECT_EQ(rotavue::mixSeconds(1234567), 6457827717110365317U);
  const std::tuple<const char*, std::int64_t, std::int32_t, std::int32_t> picks[] = {
      {"Rota", 1796770000, 22, 44691},
      {"", -1, 9, 19115},
      {"Bild\xE4", (1LL << 32) + 5, 28, 57748}};
  for (const auto& [nickname, seconds, of50, of100000] : picks) {
    EXPECT_EQ(rotavue::drawRandomIndex(seconds, nickname, 50), of50) << seconds;
    EXPECT_EQ(rotavue::drawRandomIndex(seconds, nickname, 100000), of100000) << seconds;
  }
  // A meter on a fixed interval: every (pick, next pick) pair occurs, evenly.
  for (const auto& [count, interval, bound] :
       {std::tuple{8, 900, 103.4}, std::tuple{50, 10, 2722.0}}) {
    std::vector<int> pairs(static_cast<std::size_t>(count * count));
    for (std::int64_t i = 0, seconds = 1796770000; i < 20000; ++i, seconds += interval)
      ++pairs[static_cast<std::size_t>(expectedPick(seconds, count) * count +
                                       expectedPick(seconds + interval, count))];
    const double expected = 20000.0 / (count * count);
    double chiSquare = 0;
    for (const int n : pairs) chiSquare += (n - expected) * (n - expected) / expected;
    EXPECT_LT(chiSquare, bound) << count;
    EXPECT_EQ(std::count(pairs.begin(), pairs.end(), 0), 0) << count;
  }
}

TEST_F(ImageFunctions, RandomPickOverMoreThan32768Images) {
  const std::int32_t count = 40000;
  std::vector<rotavue::testing::TreeEntry> entries;
  for (std::int32_t i = 0; i < count; ++i) {
    char name[16];
    std::snprintf(name, sizeof name, "i%05d.jpg", static_cast<int>(i));
    entries.push_back(file(name));
  }
  tree_.add(root_, entries);
  // A second whose pick lies beyond the reach of a 15-bit draw.
  while (expectedPick(clock_.calendarSeconds(), count) < 32768) clock_.advanceSeconds(1);
  for (int pick = 0; pick < 2; ++pick) {
    const std::int32_t index = expectedPick(clock_.calendarSeconds(), count);
    EXPECT_EQ(randomImage(meter(), kNick, root_.c_str(), "0"),
              root_ + entries[static_cast<std::size_t>(index)].name);
    clock_.advanceSeconds(1);
  }
}

TEST_F(ImageFunctions, RandomAndRotationShareANickname) {
  while (expectedPick(clock_.calendarSeconds(), 3) == 2) clock_.advanceSeconds(1);
  const auto index = static_cast<std::size_t>(expectedPick(clock_.calendarSeconds(), 3));
  const std::uint32_t random = meter();
  const std::uint32_t rotation = meter();
  const std::uint32_t report = meter();
  EXPECT_EQ(randomImage(random, kNick, root_.c_str(), "60"), order_[index]);
  EXPECT_EQ(currentImage(report, kNick, "60"), order_[index]);
  EXPECT_EQ(next(rotation, "60"), order_[index + 1]);
  // Between its refreshes the random meter keeps its pick.
  EXPECT_EQ(randomImage(random, kNick, root_.c_str(), "60"), order_[index]);
}

// Natively the walks pass over an image whose path the result cannot hold.
TEST_F(ImageFunctions, LongResultIsCut) {
  const std::string deep = rotavue::testing::path({"M:", std::string(1100, 'd')});
  tree_.add(deep, {file("a.jpg")});
  const std::string result = image(meter(), kNick, deep.c_str(), "0");
  const bool passedOver = rotavue::platform::kImagePathBytesLimit <= deep.size() + 5;
  EXPECT_EQ(result, passedOver ? "" : (deep + "a.jpg").substr(0, 1023));
  EXPECT_EQ(stored(), passedOver ? "#\r\n" : line(deep, "a.jpg"));
}

// ---------------------------------------------------------------------------
// A folder that cannot be read hides nothing else: the image a refresh
// selected is shown, the folder's failure only where there is no image.

const std::uint32_t kAccessDenied = 5;

rotavue::platform::WriteOutcome refuseEveryFile(const std::string&, rotavue::platform::Creation,
                                                const char*, std::size_t) {
  return {};
}

class FolderFailures : public ImageFunctions {
 protected:
  FolderFailures() {
    // Walk order: a.jpg, (locked), b.png, c.gif.
    tree_.add(root_,
              {dir("."), dir(".."), file("a.jpg"), dir("locked"), file("b.png"), file("c.gif")});
    tree_.failOpen(locked_, kAccessDenied);
  }

  const std::string locked_ = rotavue::testing::path({"M:", "pics", "locked"});
  const std::string denied_ =
      rotavue::platform::systemMessage(rotavue::platform::SystemError{kAccessDenied});
  const std::vector<std::string> images_ = {root_ + "a.jpg", root_ + "b.png", root_ + "c.gif"};
};

TEST_F(FolderFailures, RotationShowsEveryImageAndTheFailureAtTheWrap) {
  ASSERT_FALSE(denied_.empty());
  const std::uint32_t handle = meter();
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    for (const std::string& expected : images_) {
      EXPECT_EQ(next(handle), expected);
      const std::size_t split = expected.rfind(rotavue::platform::kPathSeparator) + 1;
      EXPECT_EQ(stored(), line(expected.substr(0, split), expected.substr(split)));
      EXPECT_EQ(currentImage(meter(), kNick, "0"), expected);
    }
    // Where an empty result marks the wrap-around, the failure is shown.
    EXPECT_EQ(next(handle), denied_);
    EXPECT_EQ(stored(), "#\r\n");
  }
}

TEST_F(FolderFailures, FailedRootIsShown) {
  const std::uint32_t handle = meter();
  store(line(root_, "a.jpg"));
  tree_.failOpen(root_, kAccessDenied);
  EXPECT_EQ(next(handle), denied_);
  EXPECT_EQ(stored(), "#\r\n");
  EXPECT_EQ(randomImage(handle, kNick, root_.c_str(), "0"), rotavue::kNoImagesMessage);
  EXPECT_EQ(shuffled(handle, kNick, root_.c_str(), "0"), rotavue::kNoImagesMessage);
  EXPECT_EQ(stored(), "#\r\n");
}

TEST_F(FolderFailures, FailedSaveIsShownRatherThanTheImage) {
  const std::uint32_t handle = meter();
  store(line(root_, "a.jpg"));
  rotavue::testing::HooksGuard guard;
  rotavue::platform::hooks().writeNewFile = refuseEveryFile;
  const std::string cannotCreate = "Cannot create file " + positionFile();
  // The walk selected b.png past the locked folder, but it was not stored.
  EXPECT_EQ(next(handle), cannotCreate);
  EXPECT_EQ(randomImage(handle, kNick, root_.c_str(), "0"), cannotCreate);
  EXPECT_EQ(stored(), line(root_, "a.jpg"));
}

TEST_F(FolderFailures, RandomPickIsMadeAmongTheImagesCounted) {
  const std::uint32_t handle = meter();
  std::set<std::int32_t> picked;
  for (int second = 0; second < 12; ++second) {
    const std::int32_t index = expectedPick(clock_.calendarSeconds(), 3);
    picked.insert(index);
    const std::string& expected = images_[static_cast<std::size_t>(index)];
    EXPECT_EQ(randomImage(handle, kNick, root_.c_str(), "0"), expected) << second;
    EXPECT_EQ(currentImage(meter(), kNick, "0"), expected);
    clock_.advanceSeconds(1);
  }
  EXPECT_EQ(picked.size(), 3U) << "the seconds tried pick every image";
}

// ---------------------------------------------------------------------------
// The shortcuts of a refresh: on every tree that stays as it is, the same
// result, position and walk outcome as the whole walk, reading no more than
// the way to the stored image or the pick.

using rotavue::Shortcuts;
const char kSeparator = rotavue::platform::kPathSeparator;

// A random folder: images and other files, plain, hidden, empty and (with
// `failing`) unreadable sub-folders, names with "#" and folders whose names
// share a prefix, in a shuffled order.
void grow(rotavue::testing::MemoryTree& tree, std::mt19937& random, const std::string& folder,
          int depth, bool failing) {
  std::vector<rotavue::testing::TreeEntry> entries{dir("."), dir("..")};
  for (const char* name : {"1.jpg", "2#3.png", "4.GIF", "5.txt", "6.bmp", "7.ico"})
    if (random() % 2 != 0) entries.push_back(file(name));
  for (const char* name : {"a", "ab", "a#", "b", "ba"}) {
    if (depth == 0 || random() % 3 == 0) continue;
    const auto kind = random() % 6;
    entries.push_back(dir(name, kind == 0 ? 18 : 16));
    if (kind == 1 && failing) tree.failOpen(folder + name + kSeparator, kAccessDenied);
    if (kind > 1 || (kind == 1 && !failing))
      grow(tree, random, folder + name + kSeparator, depth - 1, failing);
  }
  std::shuffle(entries.begin() + 2, entries.end(), random);
  tree.add(folder, entries);
}

// The entries that a walk reads on its way to `name` in `directory`,
// stopping there: in the directory, those up to `name`; in each folder above,
// those up to and including the one that leads on, and the entry after it,
// which a level reads when the nested one returns.
std::size_t wayTo(const rotavue::testing::MemoryTree& tree, const std::string& root,
                  const std::string& directory, const std::string& name) {
  std::size_t entries = 0;
  std::string folder = root;
  for (std::size_t start = root.size();;) {
    const std::size_t end = directory.find(kSeparator, start);
    const std::string next = end == std::string::npos ? name : directory.substr(start, end - start);
    const auto& listed = tree.directories_.at(folder).entries;
    const auto index = static_cast<std::size_t>(
        std::find_if(listed.begin(), listed.end(),
                     [&](const auto& entry) { return entry.name == next; }) -
        listed.begin());
    entries += index + 1;
    if (end == std::string::npos) return entries;
    entries += index + 1 < listed.size() ? 1 : 0;
    folder += next + kSeparator;
    start = end + 1;
  }
}

TEST_F(ImageFunctions, ShortcutsChangeNoOutcome) {
  const std::string root = rotavue::testing::path({"T"});
  for (unsigned seed = 0; seed < 8; ++seed) {
    SCOPED_TRACE(seed);
    rotavue::testing::MemoryTree tree;
    std::mt19937 random(seed);
    const bool failing = seed % 2 != 0;
    grow(tree, random, root, 3, failing);
    // Every image in walk order, with the entries that a walk stopping at it
    // reads (for the first, the way to it, which is no more).
    struct Position {
      std::string line;
      std::size_t upTo = 0, way = 0;
    };
    std::vector<Position> positions;
    for (std::int32_t index = 0;; ++index) {
      rotavue::meter_data plain;
      plain.walkStatus = index == 0 ? rotavue::WalkStatus::kFound : plain.walkStatus;
      const std::size_t before = tree.entriesDelivered();
      rotavue::walkImages(plain, root, "", "", index);
      if (index == 0 ? plain.walkStatus != rotavue::WalkStatus::kExit : plain.walkCounter != -1)
        break;
      const std::size_t way = wayTo(tree, root, plain.imageDirectory, plain.imageFileName);
      positions.push_back({plain.imageDirectory + "#" + plain.imageFileName,
                           index == 0 ? way : tree.entriesDelivered() - before, way});
      if (index == 0) continue;
      // The random pick of this position, stepping over what lies before it.
      rotavue::SubtreeCounts counts;
      rotavue::meter_data picked;
      rotavue::countImages(picked, root, &counts);
      const std::size_t walkStart = tree.entriesDelivered();
      rotavue::walkImages(picked, root, "", "", index, {false, &counts});
      EXPECT_EQ(picked.walkCounter, -1);
      EXPECT_EQ(picked.imageDirectory + "#" + picked.imageFileName, positions.back().line);
      if (!failing) {
        EXPECT_LE(tree.entriesDelivered() - walkStart, way);
      }
    }
    ASSERT_GT(positions.size(), 3U);
    for (const std::string& line : {root + "#gone.jpg", root + "gone" + kSeparator + "#1.jpg",
                                    std::string("1.jpg"), root + "#"})
      positions.push_back({line});
    for (const Position& position : positions) {
      SCOPED_TRACE(position.line);
      rotavue::meter_data plain;
      rotavue::meter_data shortcut;
      store(position.line + "\r\n");
      std::size_t before = tree.entriesDelivered();
      const std::string shown =
          rotavue::getImage(plain, kNick, root.c_str(), "0", Shortcuts::kNotTaken);
      const std::size_t whole = tree.entriesDelivered() - before;
      const std::string storedAfter = stored();
      store(position.line + "\r\n");
      const std::size_t opened = tree.opened().size();
      before = tree.entriesDelivered();
      EXPECT_EQ(rotavue::getImage(shortcut, kNick, root.c_str(), "0"), shown);
      EXPECT_EQ(stored(), storedAfter);
      EXPECT_EQ(shortcut.walkStatus, plain.walkStatus);
      EXPECT_EQ(shortcut.imageDirectory + shortcut.imageFileName,
                plain.imageDirectory + plain.imageFileName);
      if (plain.walkStatus != rotavue::WalkStatus::kExit) {
        EXPECT_EQ(shortcut.errorText, plain.errorText);
      } else if (position.way != 0) {
        // The way to the stored image, then what the whole walk reads after it.
        EXPECT_LE(tree.entriesDelivered() - before, whole - position.upTo + position.way);
      }
      // The whole walk again only where the short one cannot decide.
      const auto& patterns = tree.opened();
      if (std::count(patterns.begin() + static_cast<std::ptrdiff_t>(opened), patterns.end(),
                     root + "*.*") > 1) {
        EXPECT_NE(plain.walkStatus, rotavue::WalkStatus::kExit);
      }
    }
  }
}

// Hooks the enumeration so that a refresh's second look at the root (the
// indexed walk after the count) finds the tree changed.
rotavue::testing::MemoryTree* changingTree = nullptr;
void (*change)(rotavue::testing::MemoryTree&) = nullptr;
rotavue::platform::OpenEnumerationFunction unchangedOpen = nullptr;
int rootOpens = 0;

std::unique_ptr<rotavue::platform::Enumeration> openChanging(
    const char* pattern, rotavue::platform::DirectoryEntry& first,
    rotavue::platform::SystemError& error) {
  if (pattern == rotavue::testing::path({"C"}) + "*.*" && ++rootOpens == 2) change(*changingTree);
  return unchangedOpen(pattern, first, error);
}

TEST_F(ImageFunctions, TreeChangedBetweenCountAndPick) {
  const std::string root = rotavue::testing::path({"C"});
  const std::string s1 = root + "s1" + kSeparator;
  const std::string s2 = root + "s2" + kSeparator;
  using Change = void (*)(rotavue::testing::MemoryTree&);
  const Change changes[] = {
      [](rotavue::testing::MemoryTree& tree) {  // a folder added after the last record
        tree.directories_[rotavue::testing::path({"C"})].entries.push_back(dir("z"));
        tree.add(rotavue::testing::path({"C", "z"}), {file("z.jpg")});
      },
      [](rotavue::testing::MemoryTree& tree) {  // a folder removed
        auto& entries = tree.directories_[rotavue::testing::path({"C"})].entries;
        entries.erase(entries.begin() + 1);
      },
      [](rotavue::testing::MemoryTree& tree) {  // a folder renamed
        tree.directories_[rotavue::testing::path({"C"})].entries[1].name = "s9";
        tree.add(rotavue::testing::path({"C", "s9"}), {file("b.jpg"), file("c.jpg")});
      },
      [](rotavue::testing::MemoryTree& tree) {  // an image added in a folder stepped over
        tree.directories_[rotavue::testing::path({"C", "s1"})].entries.push_back(file("x.jpg"));
      },
  };
  for (const Change changing : changes) {
    for (int second = 0; second < 16; ++second) {
      rotavue::testing::MemoryTree tree;
      tree.add(root, {file("a.jpg"), dir("s1"), dir("s2"), file("e.jpg")});
      tree.add(s1, {file("b.jpg"), file("c.jpg")});
      tree.add(s2, {file("d.jpg")});
      changingTree = &tree;
      change = changing;
      unchangedOpen = rotavue::platform::hooks().openEnumeration;
      rotavue::platform::hooks().openEnumeration = openChanging;
      rootOpens = 0;
      rotavue::meter_data instance;
      const std::string shown = rotavue::getRandomImage(instance, kNick, root.c_str(), "0");
      const std::set<std::string> met = {root + "a.jpg",
                                         s1 + "b.jpg",
                                         s1 + "c.jpg",
                                         s1 + "x.jpg",
                                         s2 + "d.jpg",
                                         root + "e.jpg",
                                         root + "s9" + kSeparator + "b.jpg",
                                         root + "s9" + kSeparator + "c.jpg",
                                         root + "z" + kSeparator + "z.jpg",
                                         ""};
      EXPECT_EQ(met.count(shown), 1U) << shown;
      EXPECT_EQ(stored(),
                shown.empty() ? "#\r\n" : line(instance.imageDirectory, instance.imageFileName));
      clock_.advanceSeconds(1);
    }
  }
}

// ---------------------------------------------------------------------------
// The shuffle.

// Trees of 1 to 300 images that change, move and are listed anew between
// refreshes: in a cycle no image comes twice, none gone comes, none that
// stayed is left out, and no cycle starts with the image that ended the last.
TEST_F(ImageFunctions, ShuffleShowsEveryImageOncePerCycle) {
  const std::string roots[] = {rotavue::testing::path({"M:", "lib"}),
                               rotavue::testing::path({"N:", "moved"})};
  for (unsigned seed = 0; seed < 6; ++seed) {
    std::mt19937 random(seed);
    const std::string nick = "shuffle" + std::to_string(seed);
    std::set<std::string> images, shown, stayed;  // paths relative to the root
    const auto add = [&] {
      images.insert((random() % 2 != 0 ? "" : std::string{'f', "01"[random() % 2], kSeparator}) +
                    std::to_string(random()) + ".jpg");
    };
    for (std::size_t size = seed < 2 ? seed + 1 : 1 + random() % 300; images.size() < size;) add();
    std::string key, last;
    for (int cycles = 0; cycles < 2;) {
      const std::string& root = roots[random() % 2];
      tree_.directories_.clear();
      tree_.directories_[root].entries = {dir("f0"), dir("f1")};
      for (const std::string& image : images) {
        const std::size_t cut = image.rfind(kSeparator) + 1;  // 0 in the root
        tree_.directories_[root + image.substr(0, cut)].entries.push_back(file(image.substr(cut)));
      }
      for (auto& [folder, listed] : tree_.directories_)
        std::shuffle(listed.entries.begin(), listed.entries.end(), random);
      const std::string image =
          shuffled(meter(), nick.c_str(), root.c_str(), "0").substr(root.size());
      const std::string state = readFileBytes(host_.path() + nick + "Rotavue.cycle").substr(0, 18);
      if (state != key) {  // this refresh began a cycle
        EXPECT_TRUE(std::includes(shown.begin(), shown.end(), stayed.begin(), stayed.end()));
        EXPECT_TRUE(key.empty() || images.size() == 1 || image != last) << image;
        cycles += key.empty() ? 0 : 1;
        key = state;
        shown.clear();
        stayed = images;
      }
      EXPECT_TRUE(shown.insert(last = image).second) << image << " twice in a cycle";
      EXPECT_EQ(images.count(image), 1U) << image;
      if (random() % 6 == 0) add();
      if (random() % 6 == 0 && images.size() > 1) {
        const std::string gone =
            *std::next(images.begin(), static_cast<std::ptrdiff_t>(random() % images.size()));
        images.erase(gone);
        stayed.erase(gone);
      }
    }
  }
}

// Refuses to write a state line, and writes everything else.
rotavue::platform::WriteOutcome writeAllButStateLines(const std::string& path,
                                                      rotavue::platform::Creation creation,
                                                      const char* data, std::size_t size) {
  if (size > 2 && data[0] == '1' && data[1] == ' ') return {};
  return rotavue::platform::systemHooks().writeNewFile(path, creation, data, size);
}

// The state file: read back when well formed, a new cycle when missing or
// malformed; when a save fails the state stays, and the pick comes again.
TEST_F(ImageFunctions, ShuffleStateFile) {
  const std::string cycleFile = host_.path() + kNick + "Rotavue.cycle";
  const auto shuffle = [this] { return shuffled(meter(), kNick, root_.c_str(), "0"); };
  const char* const contents[] = {"1 0123456789ABCDEF -\rmore", "", "2 0123456789abcdef -",
                                  "1 0123456789abcdeg -"};
  for (const char* content : contents) {
    host_.writeFile("RotaRotavue.cycle", content);
    const std::string shown = shuffle();
    EXPECT_EQ(currentImage(meter(), kNick, "0"), shown) << content;
    const std::string state = readFileBytes(cycleFile);
    EXPECT_TRUE(std::regex_match(state, std::regex("1 [0-9a-f]{16} [0-9a-f]{16}\r\n"))) << state;
    EXPECT_EQ(state.substr(2, 16) == "0123456789abcdef", content == contents[0]) << content;
  }
  const std::string state = readFileBytes(cycleFile);
  rotavue::testing::HooksGuard guard;
  rotavue::platform::hooks().writeNewFile = refuseEveryFile;
  EXPECT_EQ(shuffle(), "Cannot create file " + positionFile());
  rotavue::platform::hooks().writeNewFile = writeAllButStateLines;
  EXPECT_EQ(shuffle(), "Cannot create file " + cycleFile);
  EXPECT_EQ(readFileBytes(cycleFile), state);
  const std::string pick = currentImage(meter(), kNick, "0");
  rotavue::platform::hooks().writeNewFile = rotavue::platform::systemHooks().writeNewFile;
  EXPECT_EQ(shuffle(), pick);
}

// Two cycles in a row, or two nicknames starting in one second, have
// unrelated orders: Spearman's rho of 10,000 names.
TEST(ShuffleOrder, KeysGiveUnrelatedOrders) {
  const std::uint64_t desk = rotavue::mixSecondsAndNickname(1796770000, "desk");
  for (const std::uint64_t other :
       {rotavue::mixSeconds(desk), rotavue::mixSecondsAndNickname(1796770000, "desk2")}) {
    std::vector<std::array<std::uint64_t, 3>> names;  // hash under `other`, under `desk`, rank
    for (std::uint64_t i = 0; i < 10000; ++i) {
      const std::string name = std::to_string(i % 97) + kSeparator + std::to_string(i) + ".jpg";
      names.push_back({rotavue::shuffleHash(other, name), rotavue::shuffleHash(desk, name), 0});
    }
    std::sort(names.begin(), names.end());
    for (std::size_t r = 0; r < 10000; ++r) names[r][2] = r;
    std::sort(names.begin(), names.end(), [](const auto& a, const auto& b) { return a[1] < b[1]; });
    double squares = 0;
    for (std::size_t r = 0; r < 10000; ++r)
      squares += std::pow(static_cast<double>(r) - static_cast<double>(names[r][2]), 2);
    EXPECT_LT(std::abs(1 - 6 * squares / (1e4 * (1e8 - 1))), 0.05) << other;
  }
}

}  // namespace
