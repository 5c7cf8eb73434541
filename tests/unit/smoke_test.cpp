// The module answers the protocol's questions; a first check that the build
// links the core and GoogleTest in both presets.
#include <gtest/gtest.h>

#include "host/exports.h"

TEST(Protocol, FunctionListHasNoTrailingSeparator) {
  EXPECT_STREQ(init(), "GetImage|returnCurrentImage|returnCurrentImageName|GetRandomImage|ChangeWallpaper");
}
