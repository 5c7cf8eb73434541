// Tests of the image walk over in-memory trees: which entries it descends
// into and which it takes as images, its walk order, the sequential and the
// indexed selection, its early stops, and how a level ends on a failure.
// Every tree lists its entries in an order that no sorting would give, so
// that the order of the walk can only come from the enumeration.
#include "walk/walk.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "host/errors.h"
#include "host/meter_data.h"
#include "platform/platform.h"
#include "support/memory_tree.h"

namespace rotavue {
namespace {

using testing::dir;
using testing::Fault;
using testing::file;
using testing::MemoryTree;
using testing::path;

// A find-first failure other than a missing path (access denied on Windows,
// an I/O error on POSIX).
constexpr std::uint32_t kFailureCode = 5;

std::string selection(const meter_data& data) { return data.imageDirectory + data.imageFileName; }

meter_data sequential(const std::string& root, const std::string& previousDirectory,
                      const std::string& previousFile, WalkStatus status = WalkStatus::kNotFound) {
  meter_data data;
  data.walkStatus = status;
  walkImages(data, root, previousDirectory, previousFile, 0);
  return data;
}

meter_data indexed(const std::string& root, std::int32_t target) {
  meter_data data;
  walkImages(data, root, "", "", target);
  return data;
}

// Every image of the tree in walk order: the first one as a walk from
// "FOUND" selects it, the others as the indexed walk reaches them.
std::vector<std::string> walkOrder(const std::string& root) {
  std::vector<std::string> order;
  const meter_data first = sequential(root, "", "", WalkStatus::kFound);
  if (first.walkStatus != WalkStatus::kExit) return order;
  order.push_back(selection(first));
  for (std::int32_t target = 1; target < 64; ++target) {
    const meter_data reached = indexed(root, target);
    if (reached.walkCounter != -1) break;
    order.push_back(selection(reached));
  }
  return order;
}

TEST(ImageWalk, EntersDirectoriesWithoutAnExcludingBit) {
  MemoryTree tree;
  const std::string root = path({"R"});
  const std::string plain = path({"R", "plain"});
  const std::string readOnly = path({"R", "readonly"});
  const std::string archived = path({"R", "archive.gif"});
  tree.add(root, {file(".", 18), file("..", 17), file("a.jpg"), dir("hidden.jpg", 18),
                  dir("readonly", 17), dir("system.png", 20), dir("plain"), dir("archive.gif", 48),
                  dir("link.ico", 1040), dir("hidden", 18), dir("offline.bmp", 16 | 4096),
                  file("z.bmp", 32)});
  // Were any of the directories kept out entered, their images would show.
  for (const char* name :
       {"hidden.jpg", "system.png", "link.ico", "hidden", "offline.bmp", ".", ".."})
    tree.add(path({"R", name}), {file("inside.jpg")});
  tree.add(plain, {dir("."), dir(".."), file("p.png")});
  tree.add(readOnly, {file("r.jpg")});
  tree.add(archived, {file("v.png")});

  // A directory kept out goes through the image-name test as a file would.
  EXPECT_EQ(walkOrder(root),
            (std::vector<std::string>{root + "a.jpg", root + "hidden.jpg", readOnly + "r.jpg",
                                      root + "system.png", plain + "p.png", archived + "v.png",
                                      root + "link.ico", root + "offline.bmp", root + "z.bmp"}));
  const meter_data whole = indexed(root, 100);
  EXPECT_EQ(whole.walkCounter, 9);
  EXPECT_EQ(whole.errorText, "");
  for (const std::string& pattern : tree.opened())
    EXPECT_TRUE(pattern == root + "*.*" || pattern == plain + "*.*" ||
                pattern == readOnly + "*.*" || pattern == archived + "*.*")
        << pattern;
  EXPECT_EQ(tree.openEnumerations(), 0);
}

// Every attribute bit alone, and with the directory bit alone and in pairs:
// a directory is entered exactly when it has the directory bit and none of
// hidden, system, device, reparse point, offline and the two recall bits,
// and the count walk counts what the image walk meets.
TEST(ImageWalk, EachAttributeBitAloneAndInPairsWithTheDirectoryBit) {
  const std::uint32_t excluding = 2 | 4 | 64 | 1024 | 4096 | 0x40000 | 0x400000;
  const int directoryBit = 4;
  std::vector<std::uint32_t> words{16u};
  for (int bit = 0; bit < 32; ++bit) {
    if (bit == directoryBit) continue;
    words.push_back(1u << bit);
    words.push_back(16u | 1u << bit);
    for (int other = bit + 1; other < 32; ++other)
      if (other != directoryBit) words.push_back(16u | 1u << bit | 1u << other);
  }
  MemoryTree tree;
  int entered = 0;
  for (const std::uint32_t word : words) {
    SCOPED_TRACE(::testing::Message() << "attribute word 0x" << std::hex << word);
    const std::string root = path({"W" + std::to_string(word)});
    const std::string inner = path({"W" + std::to_string(word), "x.png"});
    tree.add(root, {file("a.jpg"), dir("x.png", word), file("z.gif")});
    tree.add(inner, {file("in1.jpg"), file("in2.bmp")});
    const bool expected = (word & 16u) != 0 && (word & excluding) == 0;
    entered += expected ? 1 : 0;
    EXPECT_EQ(isEnteredDirectory(word), expected);
    const std::vector<std::string> order = walkOrder(root);
    EXPECT_EQ(order, expected ? (std::vector<std::string>{root + "a.jpg", inner + "in1.jpg",
                                                          inner + "in2.bmp", root + "z.gif"})
                              : (std::vector<std::string>{root + "a.jpg", root + "x.png",
                                                          root + "z.gif"}));
    meter_data counted;
    countImages(counted, root);
    EXPECT_EQ(counted.imageCount, static_cast<std::int32_t>(order.size()));
    EXPECT_EQ(counted.errorText, "");
  }
  // The directory bit alone, with each of the 24 bits that do not matter, and
  // with each pair of them.
  EXPECT_EQ(entered, 1 + 24 + 24 * 23 / 2);
  EXPECT_EQ(tree.openEnumerations(), 0);
}

TEST(ImageWalk, FollowsTheEnumerationOrderAcrossLevels) {
  MemoryTree tree;
  const std::string root = path({"R"});
  tree.add(root, {file("first.bmp"), dir("m"), file("z.jpg"), file("notes.txt"), dir("b"),
                  file("a.jpg"), dir("empty"), file("c.png")});
  tree.add(path({"R", "m"}), {file("2.png"), dir("deep"), file("1.gif")});
  tree.add(path({"R", "m", "deep"}), {file("y.ico")});
  tree.add(path({"R", "b"}), {file("q.jpg")});
  tree.add(path({"R", "empty"}), {dir("."), dir("..")});

  EXPECT_EQ(walkOrder(root),
            (std::vector<std::string>{root + "first.bmp", path({"R", "m"}) + "2.png",
                                      path({"R", "m", "deep"}) + "y.ico",
                                      path({"R", "m"}) + "1.gif", root + "z.jpg",
                                      path({"R", "b"}) + "q.jpg", root + "a.jpg", root + "c.png"}));
  EXPECT_EQ(tree.openEnumerations(), 0);
}

TEST(ImageWalk, IndexedModeCountsFromTheStartingCounter) {
  MemoryTree tree;
  const std::string root = path({"R"});
  const std::string sub = path({"R", "sub"});
  tree.add(root, {file("e.jpg"), dir("sub"), file("b.gif"), file("skip.txt"), file("a.png")});
  tree.add(sub, {file("d.bmp"), file("c.ico")});

  const meter_data second = indexed(root, 1);
  EXPECT_EQ(second.walkCounter, -1);
  EXPECT_EQ(selection(second), sub + "d.bmp");
  EXPECT_EQ(second.walkStatus, WalkStatus::kNotFound);
  EXPECT_EQ(selection(indexed(root, 3)), root + "b.gif");
  const meter_data last = indexed(root, 4);
  EXPECT_EQ(last.walkCounter, -1);
  EXPECT_EQ(selection(last), root + "a.png");
  // Past the end the counter stops at the number of images.
  EXPECT_EQ(indexed(root, 5).walkCounter, 5);
  EXPECT_EQ(indexed(root, 1000).walkCounter, 5);

  // The image taken is the one at targetIndex minus the starting counter.
  meter_data shifted;
  shifted.walkCounter = 2;
  walkImages(shifted, root, "", "", 3);
  EXPECT_EQ(shifted.walkCounter, -1);
  EXPECT_EQ(selection(shifted), sub + "d.bmp");
  EXPECT_EQ(tree.openEnumerations(), 0);
}

TEST(ImageWalk, SequentialModeSelectsTheSuccessorOfThePreviousImage) {
  MemoryTree tree;
  const std::string root = path({"R"});
  const std::string sub = path({"R", "sub"});
  tree.add(root, {file("b.jpg"), dir("sub"), file("a.gif")});
  tree.add(sub, {file("d.png"), file("c.jpg")});

  struct Case {
    std::string previousDirectory, previousFile;
    WalkStatus status;
    std::string selected;
  };
  const std::vector<Case> cases = {
      {root, "b.jpg", WalkStatus::kExit, sub + "d.png"},    // first image of the next level
      {sub, "d.png", WalkStatus::kExit, sub + "c.jpg"},     // same level
      {sub, "c.jpg", WalkStatus::kExit, root + "a.gif"},    // back in the parent
      {root, "a.gif", WalkStatus::kFound, root + "a.gif"},  // previous is the last image
      {root, "gone.jpg", WalkStatus::kNotFound, root + "a.gif"},
      {root, "B.JPG", WalkStatus::kNotFound, root + "a.gif"},  // letter case counts
      {root, "", WalkStatus::kExit, sub + "d.png"},            // empty: the second image
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.previousDirectory + c.previousFile);
    const meter_data data = sequential(root, c.previousDirectory, c.previousFile);
    EXPECT_EQ(data.walkStatus, c.status);
    EXPECT_EQ(selection(data), c.selected);
    EXPECT_EQ(data.walkCounter, 0);
  }
  const meter_data fromFound = sequential(root, "", "", WalkStatus::kFound);
  EXPECT_EQ(fromFound.walkStatus, WalkStatus::kExit);
  EXPECT_EQ(selection(fromFound), root + "b.jpg");
  EXPECT_EQ(tree.openEnumerations(), 0);
}

TEST(ImageWalk, PreviousImageCountsOnlyInThePreviousDirectory) {
  MemoryTree tree;
  const std::string root = path({"R"});
  const std::string sub = path({"R", "sub"});
  tree.add(root, {file("x.jpg"), dir("sub"), file("z.gif")});
  tree.add(sub, {file("x.jpg"), file("y.png")});

  EXPECT_EQ(selection(sequential(root, sub, "x.jpg")), sub + "y.png");
  EXPECT_EQ(selection(sequential(root, root, "x.jpg")), sub + "x.jpg");
  const meter_data otherCase = sequential(root, sub, "X.jpg");
  EXPECT_EQ(otherCase.walkStatus, WalkStatus::kNotFound);
  EXPECT_EQ(selection(otherCase), root + "z.gif");
}

TEST(ImageWalk, FewOrNoImages) {
  MemoryTree tree;
  const std::string one = path({"One"});
  tree.add(one, {dir("sub"), file("notes.txt")});
  tree.add(path({"One", "sub"}), {file("only.png")});
  const meter_data single = sequential(one, "", "");
  EXPECT_EQ(single.walkStatus, WalkStatus::kFound);
  EXPECT_EQ(selection(single), path({"One", "sub"}) + "only.png");

  const std::string none = path({"None"});
  tree.add(none, {dir("."), dir(".."), file("readme.txt"), dir("sub"), file("a.jpeg")});
  tree.add(path({"None", "sub"}), {dir("."), dir(".."), file("b.tif"), file("c.jpg.bak")});
  for (const WalkStatus status : {WalkStatus::kNotFound, WalkStatus::kFound}) {
    for (const std::int32_t target : {0, 1}) {
      meter_data data;
      data.walkStatus = status;
      data.imageDirectory = "keep";
      data.imageFileName = "me.jpg";
      walkImages(data, none, none, "", target);
      EXPECT_EQ(data.walkStatus, status);
      EXPECT_EQ(data.walkCounter, 0);
      EXPECT_EQ(selection(data), "keepme.jpg");
      EXPECT_EQ(data.errorText, "");
    }
  }
  EXPECT_EQ(tree.openEnumerations(), 0);
}

// A walk that starts stopped takes the first entry of its top level only.
TEST(ImageWalk, StartingStoppedChangesNothingButWalkContinue) {
  MemoryTree tree;
  const std::string root = path({"R"});
  tree.add(root, {file("a.jpg"), dir("sub"), file("b.jpg")});
  tree.add(path({"R", "sub"}), {file("c.jpg")});

  struct Start {
    WalkStatus status;
    std::int32_t counter, target;
  };
  for (const Start start :
       {Start{WalkStatus::kExit, 0, 0}, Start{WalkStatus::kExit, 0, 2},
        Start{WalkStatus::kNotFound, -1, 0}, Start{WalkStatus::kFound, -1, 2}}) {
    const std::size_t delivered = tree.entriesDelivered();
    const std::size_t opened = tree.opened().size();
    meter_data data;
    data.walkStatus = start.status;
    data.walkCounter = start.counter;
    data.walkContinue = 0;
    data.imageDirectory = "keep";
    data.imageFileName = "me.jpg";
    walkImages(data, root, root, "", start.target);
    EXPECT_EQ(data.walkContinue, 1);
    EXPECT_EQ(data.walkStatus, start.status);
    EXPECT_EQ(data.walkCounter, start.counter);
    EXPECT_EQ(selection(data), "keepme.jpg");
    EXPECT_EQ(data.errorText, "");
    EXPECT_EQ(tree.entriesDelivered() - delivered, 1u);
    EXPECT_EQ(tree.opened().size() - opened, 1u);
  }
  EXPECT_EQ(tree.openEnumerations(), 0);
}

// Once the selection is made, each level still open takes one more entry (the
// find-next that ends its turn) and stops at it.
TEST(ImageWalk, StopsRightAfterTheSelection) {
  MemoryTree tree;
  const std::string root = path({"R"});
  const std::string sub = path({"R", "sub"});
  tree.add(root, {file("a.jpg"), dir("sub"), file("f.jpg"), file("g.jpg"), dir("later")});
  tree.add(sub, {file("b.jpg"), file("c.jpg"), file("d.jpg"), dir("inner")});
  tree.add(path({"R", "sub", "inner"}), {file("e.jpg")});
  tree.add(path({"R", "later"}), {file("h.jpg")});

  const meter_data successor = sequential(root, root, "a.jpg");
  EXPECT_EQ(successor.walkStatus, WalkStatus::kExit);
  EXPECT_EQ(selection(successor), sub + "b.jpg");
  // a.jpg, sub; b.jpg, c.jpg; then f.jpg in the top level.
  EXPECT_EQ(tree.entriesDelivered(), 5u);
  EXPECT_EQ(tree.opened(), (std::vector<std::string>{root + "*.*", sub + "*.*"}));

  // The indexed walk leaves its level at the target without a find-next.
  const meter_data target = indexed(root, 1);
  EXPECT_EQ(selection(target), sub + "b.jpg");
  EXPECT_EQ(tree.entriesDelivered(), 5u + 4u);
  EXPECT_EQ(tree.opened().size(), 4u);
  EXPECT_EQ(tree.openEnumerations(), 0);
}

TEST(ImageWalk, FailedFindFirstEndsOnlyItsLevel) {
  MemoryTree tree;
  const std::string root = path({"R"});
  tree.add(root, {file("a.jpg"), dir("missing"), dir("locked"), dir("later"), file("c.jpg")});
  tree.failOpen(path({"R", "locked"}), kFailureCode);
  tree.add(path({"R", "later"}), {file("b.png")});
  const std::string failure = platform::systemMessage(platform::SystemError{kFailureCode});
  const std::string notFound = platform::systemMessage(platform::pathNotFoundError());
  ASSERT_NE(failure, notFound);

  const meter_data successor = sequential(root, root, "a.jpg");
  EXPECT_EQ(successor.walkStatus, WalkStatus::kExit);
  EXPECT_EQ(selection(successor), path({"R", "later"}) + "b.png");
  EXPECT_EQ(successor.errorText, failure);
  const meter_data whole = indexed(root, 100);
  EXPECT_EQ(whole.walkCounter, 3);
  EXPECT_EQ(whole.errorText, failure);

  // At the top level the walk ends with nothing visited.
  tree.failOpen(path({"Locked"}), kFailureCode);
  for (const std::string& top : {path({"Locked"}), path({"Absent"}), std::string()}) {
    const std::size_t opened = tree.opened().size();
    meter_data data;
    data.walkContinue = 0;
    walkImages(data, top, "", "", 0);
    EXPECT_EQ(data.errorText, top == path({"Locked"}) ? failure : notFound) << top;
    EXPECT_EQ(data.walkContinue, 1);
    EXPECT_EQ(data.walkStatus, WalkStatus::kNotFound);
    EXPECT_EQ(selection(data), "");
    // An empty directory text is not searched at all.
    EXPECT_EQ(tree.opened().size() - opened, top.empty() ? 0u : 1u) << top;
  }
  EXPECT_EQ(tree.openEnumerations(), 0);
}

TEST(ImageWalk, AccessViolationEndsOnlyItsLevel) {
  MemoryTree tree;
  const std::string root = path({"R"});
  const std::string faulty = path({"R", "faulty"});
  tree.add(root, {file("a.jpg"), dir("first"), dir("faulty"), file("e.jpg")});
  tree.raiseAt(path({"R", "first"}), 0, Fault::kAccessViolation, "fault at find-first");
  tree.add(faulty, {file("b.jpg"), file("c.jpg"), file("d.jpg")});
  tree.raiseAt(faulty, 2, Fault::kAccessViolation, "fault at find-next");

  const meter_data reached = indexed(root, 1);
  EXPECT_EQ(selection(reached), faulty + "b.jpg");
  EXPECT_EQ(reached.errorText, "fault at find-first");
  EXPECT_EQ(selection(indexed(root, 2)), faulty + "c.jpg");
  const meter_data after = indexed(root, 3);
  EXPECT_EQ(after.walkCounter, -1);
  EXPECT_EQ(selection(after), root + "e.jpg");
  EXPECT_EQ(after.errorText, "fault at find-next");
  EXPECT_EQ(indexed(root, 100).walkCounter, 4);
  EXPECT_EQ(tree.openEnumerations(), 0);
}

TEST(ImageWalk, OtherErrorsPassOutOfEveryLevel) {
  MemoryTree tree;
  const std::string root = path({"R"});
  tree.add(root, {file("a.jpg"), dir("sub"), file("c.jpg")});
  tree.add(path({"R", "sub"}), {file("b.jpg"), dir("deeper"), file("never.jpg")});
  tree.add(path({"R", "sub", "deeper"}), {file("x.jpg"), file("y.jpg")});
  tree.raiseAt(path({"R", "sub", "deeper"}), 1, Fault::kException, "general failure");

  meter_data data;
  try {
    walkImages(data, root, "", "", 100);
    ADD_FAILURE() << "the error did not pass out of the walk";
  } catch (const EAccessViolation&) {
    ADD_FAILURE() << "wrong error class";
  } catch (const Exception& error) {
    EXPECT_EQ(error.message(), "general failure");
  }
  EXPECT_EQ(data.walkCounter, 3);
  EXPECT_EQ(data.errorText, "");
  EXPECT_EQ(tree.openEnumerations(), 0);
}

TEST(ImageWalk, TrailingSeparatorMakesNoDifference) {
  MemoryTree tree;
  const std::string root = path({"R"});
  const std::string sub = path({"R", "sub"});
  tree.add(root, {file("a.jpg"), dir("sub")});
  tree.add(sub, {file("b.jpg")});

  const std::string bare = root.substr(0, root.size() - 1);
  for (const std::string& given : {root, bare}) {
    SCOPED_TRACE(given);
    const std::size_t opened = tree.opened().size();
    const meter_data data = sequential(given, root, "a.jpg");
    EXPECT_EQ(data.walkStatus, WalkStatus::kExit);
    EXPECT_EQ(selection(data), sub + "b.jpg");
    EXPECT_EQ(std::vector<std::string>(tree.opened().begin() + opened, tree.opened().end()),
              (std::vector<std::string>{root + "*.*", sub + "*.*"}));
  }
}

// Each level starts with walkContinue 1 and runs to its own end; the end of
// a nested level (walkContinue 0) does not end the level around it.
TEST(ImageWalk, EachLevelRunsOnItsOwnWalkContinue) {
  MemoryTree tree;
  const std::string root = path({"R"});
  tree.add(root, {dir("a"), dir("b"), file("y.jpg")});
  tree.add(path({"R", "a"}), {file("x.jpg")});
  tree.add(path({"R", "b"}), {dir("c")});
  tree.add(path({"R", "b", "c"}), {file("w.jpg")});

  meter_data data;
  data.walkContinue = 0;
  walkImages(data, root, "", "", 100);
  EXPECT_EQ(data.walkCounter, 3);
  EXPECT_EQ(data.walkContinue, 0);
  EXPECT_EQ(selection(data), root + "y.jpg");
  EXPECT_EQ(tree.openEnumerations(), 0);
}

}  // namespace
}  // namespace rotavue
