// Tests of `rotavue-host next`, `random`, `shuffle` and `current` as a
// script runs them, on the real file system: the images they print, one
// refresh per call, where the position files go, what a folder however
// written, a dangling link and each failure give, and the lock that makes
// calls on one folder of position files take turns; no command changes the
// registry file, and a kill at any moment leaves a whole position file.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <regex>
#include <set>
#include <string>
#include <thread>
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
  // Position files that a power cut, or an editor, left unreadable.
  host_.writeFile("blankRotavue.setup");
  host_.writeFile("markRotavue.setup", "\xEF\xBB\xBF#\r\n");
  host_.writeFile("markedRotavue.setup", "\xEF\xBB\xBF" + tree_.path() + "#a.png\r\n");
  const std::string blank =
      "blankRotavue.setup: List index out of bounds (0); the position file is "
      "empty (as a power cut can leave it); delete it and the rotation starts "
      "again from the first picture\n";
  // ".." goes up from where a link leads, as the system goes.
  tree_.writeFile("real/other/x.jpg");
  tree_.makeDirectory("real/a");
  fs::create_directory_symlink(tree_.pathOf("real/a"), tree_.pathOf("link"));
  EXPECT_EQ(oneShot("next", "u", {}, tree_.pathOf("link/../other")).out,
            tree_.pathOf("real/other/x.jpg\n"));
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
      {{"next", "--nickname=blank", "--folder", empty}, 1, blank},
      {{"current", "--nickname=blank"}, 1, blank},
      {{"current", "--nickname=mark"},
       1,
       "markRotavue.setup: the stored line \"\\xEF\\xBB\\xBF#\" names no image (odd bytes"},
      {{"current", "--nickname=marked"}, 1, "the stored line \"\\xEF\\xBB\\xBF" + tree_.path()},
      {{"next", "--nickname=g", "--folder", tree_.pathOf("gone/../a")},
       3,
       "rotavue-host: " + tree_.pathOf("gone/../a") + ": No such file or directory\n"},
      {{"next", "--nickname=d", "--folder", empty, "--dir-path", tree_.pathOf("empty/notes.txt")},
       1,
       tree_.pathOf("empty/notes.txt") + ": cannot create the folder: "},
      {{"current", "--nickname=../n"}, 2, "--nickname: '../n' has a '..' part"},
      {{"next", "--folder", empty}, 2, "rotavue-host: --nickname is required (see --help)\n"},
      {{"current", "--nickname=n", "--folder", empty}, 2, "(see --help)\n"},
  };
  for (const auto& failure : failures) {
    const Outcome outcome = run(failure.arguments);
    EXPECT_EQ(outcome.status, failure.status) << outcome.err;
    EXPECT_EQ(outcome.out, "");
    EXPECT_NE(outcome.err.find(failure.err), std::string::npos) << outcome.err;
  }
  // A home folder that does not exist is never made, for a call's folder nor for run's.
  const std::string home = tree_.pathOf("nohome");
  for (const std::vector<std::string>& call : std::vector<std::vector<std::string>>{
           {"next", "--nickname=h", "--folder", empty}, {"run", "--ticks=1", "--tick-ms=0"}}) {
    std::vector<std::string> arguments = call;
    arguments.insert(arguments.end(), {"--dir-path", home + "/x"});
    EXPECT_EQ(run(arguments, "", "env HOME=" + home).status, 1) << call[0];
  }
  EXPECT_FALSE(fs::exists(home));
}

// Calls on one folder of position files take turns, whatever their user or
// environment, since the lock is the folder's own; a call gives up after
// --wait seconds, naming the folder. A position file that cannot be written
// is told with the system's reason.
TEST_F(HostCheck, CallsOnOneFolderTakeTurnsWhateverTheirUserOrEnvironment) {
  tree_.writeFile("a.jpg");
  const std::string folder = host_.path().substr(0, host_.path().size() - 1);
  const std::vector<std::string> next = {"next",       "--nickname=n", "--folder",
                                         tree_.path(), "--dir-path",   folder};
  const rotavue::platform::FileDescriptor lock(::open(folder.c_str(), O_RDONLY | O_DIRECTORY));
  ASSERT_EQ(::flock(lock.get(), LOCK_EX), 0);
  const TempDirectory state;
  const std::string nobody =
      "setpriv --reuid=65534 --regid=65534 --clear-groups --inh-caps=-all --bounding-set=-all";
  std::vector<std::pair<std::string, std::string>> callers = {
      {"env XDG_STATE_HOME=" + state.pathOf("a"), "0"},
      {"env XDG_STATE_HOME=" + state.pathOf("b") + " HOME=" + state.path(), "0"},
      {"", "1"}};
  if (::geteuid() == 0) callers.emplace_back(nobody, "0");
  for (const auto& [prefix, wait] : callers) {
    std::vector<std::string> arguments = next;
    arguments.insert(arguments.end(), {"--wait", wait});
    const Outcome outcome = run(arguments, "", prefix);
    EXPECT_EQ(outcome.status, 1) << prefix;
    EXPECT_EQ(outcome.err, "rotavue-host: " + folder + ": gave up after " + wait +
                               " s: another call holds the lock\n")
        << prefix;
  }

  FILE* out = start(next);
  char line[4096];
  ASSERT_NE(std::fgets(line, sizeof line, out), nullptr);
  pollfd printed{::fileno(out), POLLIN, 0};
  EXPECT_EQ(::poll(&printed, 1, 300), 0);
  ::flock(lock.get(), LOCK_UN);
  ASSERT_NE(std::fgets(line, sizeof line, out), nullptr);
  EXPECT_EQ(line, tree_.path() + "a.jpg\n");
  EXPECT_EQ(WEXITSTATUS(::pclose(out)), 0);

  if (::geteuid() != 0) GTEST_SKIP() << "another user's call needs root to start it";
  const Outcome readOnly = run(next, "", nobody);
  EXPECT_EQ(readOnly.status, 1);
  EXPECT_EQ(readOnly.err,
            "rotavue-host: " + folder +
                ": cannot write the position file nRotavue.setup: Permission denied\n");
}

// A process killed at any moment never damages a position file: after each
// kill it is missing (before the first save) or holds a whole line, and a
// temporary file left behind says whose it is.
TEST_F(HostCheck, NextKilledAtAnyMomentLeavesAWholePositionFile) {
  std::set<std::string> whole = {"<missing>", "#\r\n"};
  for (const char* name : {"a.jpg", "b.jpg", "c.jpg"}) {
    tree_.writeFile(name);
    whole.insert(tree_.path() + "#" + name + "\r\n");
  }
  // Started as start() does it, and killed anywhere from its start to a
  // little after the end of a whole call.
  const auto startNext = [&] {
    FILE* out = start({"next", "--nickname=k", "--folder", tree_.path()});
    char line[64];
    EXPECT_NE(std::fgets(line, sizeof line, out), nullptr);
    return std::make_pair(out, static_cast<pid_t>(std::atoi(line)));
  };
  const auto started = std::chrono::steady_clock::now();
  ::pclose(startNext().first);
  const auto span = (std::chrono::steady_clock::now() - started) * 5 / 4;
  const unsigned seed = std::random_device{}();
  std::mt19937 random(seed);
  for (int kill = 0; kill < 300; ++kill) {
    const auto [out, process] = startNext();
    std::this_thread::sleep_for(span * std::uniform_real_distribution<>(0, 1)(random));
    ::kill(process, SIGKILL);
    ::pclose(out);
    ASSERT_EQ(whole.count(readFileBytes(host_.pathOf("kRotavue.setup"))), 1u)
        << readFileBytes(host_.pathOf("kRotavue.setup")) << " after kill " << kill << ", seed "
        << seed;
  }
  for (const fs::directory_entry& entry : fs::directory_iterator(host_.path()))
    EXPECT_TRUE(std::regex_match(entry.path().filename().string(),
                                 std::regex("kRotavue(\\.setup|[0-9a-v]{6})")))
        << entry.path();
}

}  // namespace
