// Hostile trees on the real POSIX file system: a tree nested deeper than any
// path the system accepts, and one folder of 100,000 entries. The walks must
// end, report what they cannot reach, and never crash.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "host/exports.h"
#include "platform/platform.h"
#include "support/host_registry.h"
#include "support/temp_directory.h"

namespace {

using rotavue::testing::HostRegistry;
using rotavue::testing::TempDirectory;

TEST(HostileRealTrees, DeeperThanThePathLimit) {
  HostRegistry registry;
  TempDirectory host;
  registry.setDirPath(host.path());
  TempDirectory pictures;
  // Nested through directory descriptors, past PATH_MAX, with an image at the
  // bottom that no path can name.
  int level = ::open(pictures.path().c_str(), O_RDONLY | O_DIRECTORY);
  ASSERT_GE(level, 0);
  for (int depth = 0; depth < 400; ++depth) {
    ASSERT_EQ(::mkdirat(level, "level-of-a-deep-tree", 0755), 0) << std::strerror(errno);
    const int next = ::openat(level, "level-of-a-deep-tree", O_RDONLY | O_DIRECTORY);
    ::close(level);
    ASSERT_GE(next, 0);
    level = next;
  }
  const int image = ::openat(level, "bottom.jpg", O_CREAT | O_WRONLY, 0644);
  ::close(image);
  ::close(level);

  const std::string tooLong =
      rotavue::platform::systemMessage(rotavue::platform::SystemError{ENAMETOOLONG});
  const std::uint32_t handle = dllstartup(0, 0);
  EXPECT_EQ(std::string(GetImage(handle, "deep", pictures.path().c_str(), "0")), tooLong);
  EXPECT_STREQ(GetRandomImage(handle, "deep", pictures.path().c_str(), "0"),
               "There are no files of type jpg, gif, png, bmp or ico in this directory");
  // The unreachable bottom hides nothing else: the one image counted is
  // picked, stored and shown.
  pictures.writeFile("top.jpg");
  const std::string random = GetRandomImage(handle, "deep", pictures.path().c_str(), "0");
  EXPECT_EQ(random, pictures.path() + "top.jpg");
  EXPECT_STREQ(returnCurrentImage(handle, "deep", "0"), (pictures.path() + "top.jpg").c_str());
  // The rotation shows it too, and the failure text where it wraps.
  EXPECT_EQ(std::string(GetImage(handle, "deep", pictures.path().c_str(), "0")), tooLong);
  EXPECT_EQ(std::string(GetImage(handle, "deep", pictures.path().c_str(), "0")),
            pictures.path() + "top.jpg");
  dllshutdown(handle);
  // No path names the bottom of the tree, so it is removed level by level
  // through descriptors before TempDirectory removes the rest.
  std::vector<int> chain{::open(pictures.path().c_str(), O_RDONLY | O_DIRECTORY)};
  for (int depth = 0; depth < 400; ++depth)
    chain.push_back(::openat(chain.back(), "level-of-a-deep-tree", O_RDONLY | O_DIRECTORY));
  ::unlinkat(chain.back(), "bottom.jpg", 0);
  while (chain.size() > 1) {
    ::close(chain.back());
    chain.pop_back();
    EXPECT_EQ(::unlinkat(chain.back(), "level-of-a-deep-tree", AT_REMOVEDIR), 0);
  }
  ::close(chain.back());
}

TEST(HostileRealTrees, HundredThousandFilesInOneFolder) {
  HostRegistry registry;
  TempDirectory host;
  registry.setDirPath(host.path());
  TempDirectory pictures;
  for (int i = 0; i < 100000; ++i) {
    const std::string name =
        pictures.path() + "p" + std::to_string(i) + (i % 4 == 3 ? ".txt" : ".jpg");
    const int fd = ::open(name.c_str(), O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(fd, 0);
    ::close(fd);
  }
  const std::uint32_t handle = dllstartup(0, 0);
  const std::string first = GetImage(handle, "big", pictures.path().c_str(), "0");
  EXPECT_EQ(first.compare(0, pictures.path().size() + 1, pictures.path() + "p"), 0) << first;
  const std::string second = GetImage(handle, "big", pictures.path().c_str(), "0");
  EXPECT_NE(second, first);
  EXPECT_EQ(second.compare(0, pictures.path().size() + 1, pictures.path() + "p"), 0) << second;
  const std::string random = GetRandomImage(handle, "big", pictures.path().c_str(), "0");
  EXPECT_EQ(random.substr(random.size() - 4), ".jpg") << random;
  dllshutdown(handle);
}

}  // namespace
