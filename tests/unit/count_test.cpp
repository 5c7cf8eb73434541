// Tests of the count walk over in-memory trees: it counts exactly the images
// that the indexed image walk and the shuffle walk meet, enters the directories the image walk
// enters, leaves the selection alone, and on a failure loses only the rest of
// the level that failed.
#include <gtest/gtest.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/meter_data.h"
#include "platform/platform.h"
#include "support/memory_tree.h"
#include "walk/walk.h"

namespace rotavue {
namespace {

using testing::dir;
using testing::Fault;
using testing::file;
using testing::MemoryTree;
using testing::path;

constexpr std::uint32_t kFailureCode = 5;

// A count as the random image function prepares it.
meter_data counted(const std::string& root) {
  meter_data data;
  data.imageCount = 0;
  data.walkContinue = 1;
  countImages(data, root);
  return data;
}

TEST(CountWalk, CountsWhatTheIndexedWalkMeets) {
  MemoryTree tree;
  const std::string root = path({"R"});
  tree.add(root, {dir("."), dir(".."), file("b.JPG"), dir("y"), file("notes.txt"), file("a.Gif"),
                  dir("hidden.png", 18), dir("archive", 32), file("png"), file("x.jpeg")});
  tree.add(path({"R", "y"}), {dir("."), dir(".."), dir("z"), file("c.PNG"), file("d.jpg.bak")});
  tree.add(path({"R", "y", "z"}), {file("e.ico"), file("f.bmp")});
  tree.add(path({"R", "hidden.png"}), {file("not-counted.jpg")});
  tree.add(path({"R", "archive"}), {file("not-counted.jpg")});

  meter_data data;
  data.walkStatus = WalkStatus::kFound;
  data.walkCounter = 7;
  data.imageDirectory = "keep";
  data.imageFileName = "me.jpg";
  countImages(data, root);
  // b.JPG, e.ico, f.bmp, c.PNG, a.Gif, hidden.png, png
  EXPECT_EQ(data.imageCount, 7);
  EXPECT_EQ(data.errorText, "");
  EXPECT_EQ(data.walkContinue, 0);
  EXPECT_EQ(data.walkStatus, WalkStatus::kFound);
  EXPECT_EQ(data.walkCounter, 7);
  EXPECT_EQ(data.imageDirectory + data.imageFileName, "keepme.jpg");
  EXPECT_EQ(tree.openEnumerations(), 0);
  const std::vector<std::string> countLevels = tree.opened();
  EXPECT_EQ(countLevels, (std::vector<std::string>{root + "*.*", path({"R", "y"}) + "*.*",
                                                   path({"R", "y", "z"}) + "*.*"}));

  // The indexed walk that never reaches its target meets as many images on
  // the same levels, and reaches every target short of the count.
  meter_data whole;
  walkImages(whole, root, "", "", 1000);
  EXPECT_EQ(whole.walkCounter, data.imageCount);
  EXPECT_EQ(
      std::vector<std::string>(tree.opened().begin() + countLevels.size(), tree.opened().end()),
      countLevels);
  for (std::int32_t target = 1; target < data.imageCount; ++target) {
    meter_data reached;
    walkImages(reached, root, "", "", target);
    EXPECT_EQ(reached.walkCounter, -1) << target;
  }
  EXPECT_EQ(shuffleImages(whole, root, 1, std::nullopt).images, data.imageCount);
}

TEST(CountWalk, CountsImagesOfEveryDirectoryItEnters) {
  MemoryTree tree;
  const std::string root = path({"R"});
  tree.add(root, {file(".", 18), file("..", 1040), dir("ro.jpg", 17), dir("hid.bmp", 18),
                  dir("sys", 20), dir("arc.gif", 48), dir("link.ico", 1040), dir("plain"),
                  dir("indexed", 16 | 0x2000), dir("cloud.png", 16 | 0x400000)});
  for (const char* name :
       {"ro.jpg", "hid.bmp", "sys", "arc.gif", "link.ico", "indexed", "cloud.png", ".", ".."})
    tree.add(path({"R", name}), {file("inside.jpg"), file("more.png")});
  tree.add(path({"R", "plain"}), {file("p.jpg")});

  // Entered: ro.jpg, arc.gif, indexed (2 each) and plain (1); taken as
  // images: hid.bmp, link.ico, cloud.png.
  EXPECT_EQ(counted(root).imageCount, 10);
  EXPECT_EQ(tree.opened(),
            (std::vector<std::string>{root + "*.*", path({"R", "ro.jpg"}) + "*.*",
                                      path({"R", "arc.gif"}) + "*.*", path({"R", "plain"}) + "*.*",
                                      path({"R", "indexed"}) + "*.*"}));
  meter_data shuffled;
  EXPECT_EQ(shuffleImages(shuffled, root, 1, std::nullopt).images, 10);
}

TEST(CountWalk, FailuresLoseOnlyTheRestOfTheirLevel) {
  MemoryTree tree;
  const std::string root = path({"R"});
  tree.add(root, {file("a.jpg"), dir("locked"), dir("missing"), dir("violation"), dir("general"),
                  dir("fine"), file("z.jpg")});
  tree.add(path({"R", "fine"}), {file("f.jpg")});
  tree.failOpen(path({"R", "locked"}), kFailureCode);
  tree.add(path({"R", "violation"}), {file("v1.jpg"), file("v2.jpg")});
  tree.raiseAt(path({"R", "violation"}), 1, Fault::kAccessViolation, "access violation");
  tree.add(path({"R", "general"}), {file("g1.jpg"), file("g2.jpg"), file("g3.jpg")});
  tree.raiseAt(path({"R", "general"}), 2, Fault::kException, "general failure");

  const meter_data data = counted(root);
  // a.jpg, v1.jpg, g1.jpg, g2.jpg, f.jpg, z.jpg
  EXPECT_EQ(data.imageCount, 6);
  EXPECT_EQ(data.errorText, "general failure");
  meter_data shuffled;
  EXPECT_EQ(shuffleImages(shuffled, root, 1, std::nullopt).images, 6);
  EXPECT_EQ(shuffled.errorText, "general failure");
  EXPECT_EQ(tree.openEnumerations(), 0);

  // The find-first failure alone.
  const std::string lockedOnly = path({"L"});
  tree.add(lockedOnly, {dir("locked"), file("b.png")});
  tree.failOpen(path({"L", "locked"}), kFailureCode);
  const meter_data locked = counted(lockedOnly);
  EXPECT_EQ(locked.imageCount, 1);
  EXPECT_EQ(locked.errorText, platform::systemMessage(platform::SystemError{kFailureCode}));

  // At the top level nothing is counted and walkContinue keeps its 1.
  const std::string notFound = platform::systemMessage(platform::pathNotFoundError());
  for (const std::string& top : {path({"Absent"}), std::string()}) {
    const std::size_t opened = tree.opened().size();
    const meter_data failed = counted(top);
    EXPECT_EQ(failed.imageCount, 0);
    EXPECT_EQ(failed.walkContinue, 1);
    EXPECT_EQ(failed.errorText, notFound);
    EXPECT_EQ(tree.opened().size() - opened, top.empty() ? 0u : 1u);
  }

  // An error outside the module's classes is not the count walk's to catch.
  const std::string foreign = path({"F"});
  tree.add(foreign, {dir("sub"), file("c.jpg")});
  tree.add(path({"F", "sub"}), {file("d.jpg"), file("e.jpg")});
  tree.raiseAt(path({"F", "sub"}), 1, Fault::kStdException, "foreign");
  meter_data passed;
  EXPECT_THROW(countImages(passed, foreign), std::runtime_error);
  EXPECT_EQ(passed.imageCount, 1);
  EXPECT_EQ(tree.openEnumerations(), 0);
}

// The count walk does not set walkContinue itself: its loop tests the
// caller's value before the first entry, and every level overwrites it with
// its own find-next result after a nested level has ended.
TEST(CountWalk, RunsOnTheCallersWalkContinue) {
  MemoryTree tree;
  const std::string root = path({"R"});
  tree.add(root, {dir("a"), dir("b"), file("y.jpg")});
  tree.add(path({"R", "a"}), {file("x.jpg")});
  tree.add(path({"R", "b"}), {dir("c")});
  tree.add(path({"R", "b", "c"}), {file("w.jpg")});

  const meter_data whole = counted(root);
  EXPECT_EQ(whole.imageCount, 3);
  EXPECT_EQ(whole.walkContinue, 0);

  meter_data stopped;
  stopped.walkContinue = 0;
  countImages(stopped, root);
  EXPECT_EQ(stopped.imageCount, 0);
  EXPECT_EQ(stopped.walkContinue, 0);
  EXPECT_EQ(tree.openEnumerations(), 0);
}

}  // namespace
}  // namespace rotavue
