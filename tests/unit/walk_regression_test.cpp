// Regression tests for trees that fuzzing found to break the walks.
#include <gtest/gtest.h>

#include "host/meter_data.h"
#include "support/memory_tree.h"
#include "walk/walk.h"

namespace rotavue {
namespace {

using testing::dir;
using testing::file;
using testing::MemoryTree;
using testing::path;

// A sub-directory entry without a name named the level itself: the walks
// descended into the same directory until the stack ran out.
TEST(WalkRegression, DirectoryEntryWithoutNameIsNotDescended) {
  MemoryTree tree;
  const std::string root = path({"R"});
  tree.add(root, {dir("."), dir(""), file("a.jpg"), dir("sub")});
  tree.add(path({"R", "sub"}), {dir("."), dir(".."), file("b.png")});

  meter_data counted;
  countImages(counted, root);
  EXPECT_EQ(counted.imageCount, 2);

  meter_data walked;
  walkImages(walked, root, "", "", 1);
  EXPECT_EQ(walked.walkCounter, -1);
  EXPECT_EQ(walked.imageDirectory + walked.imageFileName, path({"R", "sub"}) + "b.png");
  EXPECT_EQ(tree.openEnumerations(), 0);
  EXPECT_EQ(tree.opened().size(), 4u);
}

}  // namespace
}  // namespace rotavue
