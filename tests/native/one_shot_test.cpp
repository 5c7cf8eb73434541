// Tests of `rotavue-host next`, `random`, `shuffle` and `current` as a
// script runs them, on the real file system: the images they print, one
// refresh per call, where the position files go, what a folder however
// written, a dangling link and each failure give, and the lock that makes
// calls on one nickname take turns; no command changes the registry file.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "host_program.h"
#include "platform/posix/file_descriptor.h"

namespace {

namespace fs = std::filesystem;
using rotavue::testing::HostCheck;
using rotavue::testing::Outcome;
using rotavue::testing::pathExists;
using rotavue::testing::readFileBytes;
using rotavue::testing::TempDirectory;

// One refresh per call, in the order of the directory's own listing; the
// position files go to --dir-path, else the host's DirPath, else the
// per-user folder, and the registry file never changes.
TEST_F(HostCheck, NextRandomAndCurrentPrintTheRotationsImages) {
  for (const char* name : {"b.jpg", "a.png", "c.gif", "notes.txt"}) tree_.writeFile(name);
  std::vector<std::string> order;
  for (const fs::directory_entry& entry : fs::directory_iterator(tree_.path()))
    if (entry.path().extension() != ".txt") order.push_back(entry.path().string() + "\n");
  const std::string registry = readFileBytes(std::getenv("ROTAVUE_REGISTRY"));
  const TempDirectory own;
  const auto oneShot = [&](const char* command, const char* nickname, std::vector<std::string> more,
                           const std::string& folder = "") {
    more.insert(more.begin(), {command, "--nickname", nickname, "--dir-path", own.path()});
    if (command != std::string("current"))
      more.push_back("--folder=" + (folder.empty() ? tree_.path() : folder));
    return run(more);
  };
  for (const std::string& image : {order[0], order[1], order[2], order[0]})
    EXPECT_EQ(oneShot("next", "n", {}).out, image);
  for (const std::string& line : {order[0], order[1], order[2], std::string("\n"), order[0]})
    EXPECT_EQ(oneShot("next", "m", {"--wrap-marker"}).out, line);
  // A folder however written is one rotation, printed in its normal form.
  std::string doubled = tree_.path();
  doubled.insert(doubled.find('/', 1), "/");
  EXPECT_EQ(oneShot("next", "n", {}, fs::relative(tree_.path()).string()).out, order[1]);
  EXPECT_EQ(oneShot("next", "n", {}, doubled).out, order[2]);
  EXPECT_EQ(oneShot("current", "n", {}).out, order[2]);
  EXPECT_NE(std::find(order.begin(), order.end(), oneShot("random", "r", {}).out), order.end());
  // shuffle prints each image once in a cycle.
  std::vector<std::string> shuffled;
  for (int call = 0; call < 3; ++call) shuffled.push_back(oneShot("shuffle", "s", {}).out);
  EXPECT_TRUE(std::is_permutation(shuffled.begin(), shuffled.end(), order.begin()));

  EXPECT_EQ(run({"next", "--nickname", "desk", "--folder", tree_.path()}).out, order[0]);
  EXPECT_TRUE(pathExists(host_.pathOf("deskRotavue.setup")));
  registry_.removeKey();
  ::setenv("XDG_STATE_HOME", own.pathOf("state").c_str(), 1);  // NOLINT(concurrency-mt-unsafe)
  EXPECT_EQ(run({"next", "--nickname", "desk", "--folder", tree_.path()}).out, order[0]);
  ::unsetenv("XDG_STATE_HOME");  // NOLINT(concurrency-mt-unsafe)
  EXPECT_TRUE(pathExists(own.pathOf("state/rotavue/deskRotavue.setup")));
  registry_.setDirPath(host_.path());
  EXPECT_EQ(run({"run", "--ticks=1", "--tick-ms=0", "--dir-path", own.path()}).status, 0);
  EXPECT_EQ(readFileBytes(std::getenv("ROTAVUE_REGISTRY")), registry);

  // A dangling link is passed over with a warning, and a call that meets
  // nothing else names it.
  tree_.writeFile("links/a.jpg");
  fs::create_symlink("gone", tree_.pathOf("links/x.jpg"));
  for (int call = 0; call < 2; ++call)
    EXPECT_EQ(oneShot("next", "l", {}, tree_.pathOf("links")).out, tree_.pathOf("links/a.jpg\n"));
  tree_.makeDirectory("dangling");
  fs::create_symlink("gone", tree_.pathOf("dangling/x.jpg"));
  const std::string dangling = tree_.pathOf("dangling");
  tree_.writeFile("empty/notes.txt");
  const std::string empty = tree_.pathOf("empty");
  const std::string nowhere = tree_.pathOf("nowhere");
  const struct {
    std::vector<std::string> arguments;
    int status;
    std::string err;  // or its end
  } failures[] = {
      {{"next", "--nickname=e", "--folder", empty},
       1,
       "rotavue-host: " + empty + ": no image (the rotation shows jpg, bmp, gif, ico and png)\n"},
      {{"next", "--nickname=d", "--folder", dangling},
       1,
       "rotavue-host: " + dangling + "/x.jpg: not a file"},
      {{"shuffle", "--nickname=d", "--folder", dangling}, 1, "again without an image\n"},
      {{"current", "--nickname=nobody"},
       1,
       host_.path() + "nobodyRotavue.setup: no position is stored for the nickname \"nobody\"\n"},
      {{"random", "--nickname=e", "--folder", nowhere},
       3,
       "rotavue-host: " + nowhere + ": No such file or directory\n"},
      {{"next", "--folder", empty}, 2, "rotavue-host: --nickname is required (see --help)\n"},
      {{"current", "--nickname=n", "--folder", empty}, 2, "(see --help)\n"},
  };
  for (const auto& failure : failures) {
    const Outcome outcome = run(failure.arguments);
    EXPECT_EQ(outcome.status, failure.status) << outcome.err;
    EXPECT_EQ(outcome.out, "");
    EXPECT_NE(outcome.err.find(failure.err), std::string::npos) << outcome.err;
  }
}

// Calls of next on one nickname take turns, by the lock of its position file.
TEST_F(HostCheck, NextWaitsWhileTheLockIsHeld) {
  tree_.writeFile("a.jpg");
  const TempDirectory state;
  const std::vector<std::string> next = {"next", "--nickname=n", "--folder", tree_.path()};
  ::setenv("XDG_STATE_HOME", state.path().c_str(), 1);  // NOLINT(concurrency-mt-unsafe)
  ASSERT_EQ(run(next).status, 0);                       // which leaves the lock file there
  const rotavue::platform::FileDescriptor lock(
      ::open(fs::directory_iterator(state.pathOf("rotavue"))->path().c_str(), O_RDONLY));
  ASSERT_EQ(::flock(lock.get(), LOCK_EX), 0);
  FILE* out = start(next);
  ::unsetenv("XDG_STATE_HOME");  // NOLINT(concurrency-mt-unsafe)
  char line[4096];
  ASSERT_NE(std::fgets(line, sizeof line, out), nullptr);
  pollfd printed{::fileno(out), POLLIN, 0};
  EXPECT_EQ(::poll(&printed, 1, 300), 0);
  ::flock(lock.get(), LOCK_UN);
  ASSERT_NE(std::fgets(line, sizeof line, out), nullptr);
  EXPECT_EQ(line, tree_.path() + "a.jpg\n");
  EXPECT_EQ(WEXITSTATUS(::pclose(out)), 0);
}

}  // namespace
