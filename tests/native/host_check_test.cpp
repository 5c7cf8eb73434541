// Tests of `rotavue-host check` as a user runs it, on the real file system:
// the program is started with its command line, and its exit status, its
// JSON object (parsed back) and its readable report are checked against
// what the module shows of the same tree through its exports. On Linux a
// dot-folder is hidden and a symbolic link to a folder is a link. So are
// `next`, `random` and `current` with the lock of a nickname, `run` stopped
// by SIGINT, and that no command changes the registry file.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <vector>

#include "host/exports.h"
#include "platform/posix/file_descriptor.h"
#include "support/host_registry.h"
#include "support/temp_directory.h"

namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using rotavue::testing::pathExists;
using rotavue::testing::readFileBytes;
using rotavue::testing::TempDirectory;

struct Outcome {
  int status = -1;
  std::string out;
  std::string err;
};

std::string shellQuoted(const std::string& text) {
  std::string quoted = "'";
  for (const char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

class HostCheck : public ::testing::Test {
 protected:
  void SetUp() override { registry_.setDirPath(host_.path()); }

  // Runs rotavue-host with `arguments`, its output captured in files, or
  // written to `output` when one is given.
  Outcome run(const std::vector<std::string>& arguments, const std::string& output = "") {
    std::string command = shellQuoted(ROTAVUE_HOST_PROGRAM);
    for (const std::string& argument : arguments) command += " " + shellQuoted(argument);
    const std::string out = output.empty() ? output_.pathOf("out") : output;
    const std::string err = output_.pathOf("err");
    command += " >" + shellQuoted(out) + " 2>" + shellQuoted(err) + " </dev/null";
    const int raw = std::system(command.c_str());  // NOLINT(concurrency-mt-unsafe)
    Outcome outcome;
    outcome.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    if (output.empty()) outcome.out = readFileBytes(out);
    outcome.err = readFileBytes(err);
    return outcome;
  }

  // Starts rotavue-host with `arguments` and the environment `variables`;
  // its standard output comes through the pipe, whose first line is its
  // process number.
  FILE* start(const std::vector<std::string>& arguments, const std::string& variables = "") {
    std::string command =
        "echo $$; exec env " + variables + " " + shellQuoted(ROTAVUE_HOST_PROGRAM);
    for (const std::string& argument : arguments) command += " " + shellQuoted(argument);
    return ::popen((command + " 2>" + shellQuoted(output_.pathOf("err"))).c_str(), "r");
  }

  json checkJson(const std::string& folder) {
    const Outcome outcome = run({"check", "--json", "--folder", folder});
    EXPECT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_EQ(outcome.err, "");
    return json::parse(outcome.out);
  }

  // The distinct images of one full GetImage cycle through the exports.
  std::set<std::string> rotation(const std::string& root) {
    const std::uint32_t handle = dllstartup(0, 0);
    std::set<std::string> images;
    for (int call = 0; call < 100; ++call) {
      const std::string result = GetImage(handle, "cycle", root.c_str(), "0");
      if (result.compare(0, root.size(), root) != 0 || !images.insert(result).second) break;
    }
    dllshutdown(handle);
    return images;
  }

  rotavue::testing::HostRegistry registry_;
  TempDirectory host_;
  TempDirectory output_;
  TempDirectory tree_;
};

TEST_F(HostCheck, CountsWhatTheRotationShowsAndNamesEachReason) {
  const std::string root = tree_.path();
  for (const char* name :
       {"a.jpg", "notes.txt", "pics.jpeg", "w.WEBP", "sub/b.png", "sub/deeper/c.GIF", ".dot/d.jpg",
        ".dot/e.png", ".dot/.inner/f.jpg", ".dot/x.tif"})
    tree_.writeFile(name);
  fs::create_directory_symlink(root + "sub", root + "link");
  fs::create_directory_symlink(root + "sub", root + "shortcut.png");
  fs::create_symlink(root + "a.jpg", root + "filelink.jpg");
  fs::create_symlink(root + "gone", root + "dangling.jpg");

  const json report = checkJson(root);
  // a.jpg, sub/b.png, sub/deeper/c.GIF and the link filelink.jpg; the
  // module also answers the links shortcut.png (a folder kept out, named
  // like an image) and dangling.jpg, which are no files.
  EXPECT_EQ(report["images"], 4);
  EXPECT_EQ(std::set<std::string>(report["not_files"].begin(), report["not_files"].end()),
            (std::set<std::string>{root + "shortcut.png", root + "dangling.jpg"}));
  EXPECT_EQ(report["images"], rotation(root).size() - 2);
  EXPECT_EQ(report["folder"], root);
  EXPECT_EQ(report["folders_entered"], 3);
  EXPECT_EQ(report["longest_path"], root + "sub/deeper/c.GIF");

  std::map<std::string, json> skipped;
  for (const json& folder : report["skipped_folders"]) {
    EXPECT_EQ(folder.size(), 3u);
    skipped[folder["path"]] = folder;
  }
  EXPECT_EQ(
      skipped,
      (std::map<std::string, json>{
          {root + ".dot", {{"path", root + ".dot"}, {"reasons", {"hidden"}}, {"images_inside", 3}}},
          {root + "link",
           {{"path", root + "link"}, {"reasons", {"link"}}, {"images_inside", nullptr}}},
          {root + "shortcut.png",
           {{"path", root + "shortcut.png"}, {"reasons", {"link"}}, {"images_inside", nullptr}}},
      }));
  EXPECT_EQ(report["other_pictures"], (json{{"jpeg", 1}, {"webp", 1}}));
  EXPECT_EQ(report["unreachable_names"], json::array());
  EXPECT_EQ(report["unreadable_folders"], json::array());
  EXPECT_EQ(report["long_paths"], 0);
  EXPECT_TRUE(report["refresh_ms"].is_number());
  EXPECT_GE(report["refresh_ms"].get<double>(), 0.0);
}

// Run as its own ctest entry, without the capabilities that read every
// folder.
TEST_F(HostCheck, UnreadableFolderIsListedWithTheSystemsMessage) {
  tree_.writeFile("a.jpg");
  tree_.writeFile("locked/b.jpg");
  const std::string locked = tree_.pathOf("locked");
  ASSERT_EQ(::chmod(locked.c_str(), 0), 0);
  if (DIR* opened = ::opendir(locked.c_str())) {
    ::closedir(opened);
    GTEST_SKIP() << "this process reads a folder of mode 0";
  }
  const json report = checkJson(tree_.path());
  ::chmod(locked.c_str(), 0755);
  EXPECT_EQ(report["images"], 1);
  EXPECT_EQ(report["unreadable_folders"],
            json::array({{{"path", locked}, {"message", "Permission denied"}}}));
}

TEST_F(HostCheck, ExitStatusTellsBadUsageFromAFolderThatCannotBeRead) {
  tree_.writeFile("plain.txt");
  const Outcome missing = run({"check", "--folder", tree_.pathOf("nowhere")});
  EXPECT_EQ(missing.status, 3);
  EXPECT_EQ(missing.out, "");
  EXPECT_EQ(missing.err,
            "rotavue-host: " + tree_.pathOf("nowhere") + ": No such file or directory\n");
  EXPECT_EQ(run({"check", "--json", "--folder", tree_.pathOf("plain.txt")}).status, 3);

  for (const std::vector<std::string>& bad :
       std::vector<std::vector<std::string>>{{"check", "--bogus"},
                                             {"check", tree_.path()},
                                             {"check", "--folder"},
                                             {"check", "--folder="},
                                             {"check", "--json", "--all", "--verbose"}}) {
    const Outcome outcome = run(bad);
    EXPECT_EQ(outcome.status, 2) << bad.back();
    EXPECT_EQ(outcome.out, "") << bad.back();
    EXPECT_NE(outcome.err.find("(see --help)"), std::string::npos) << outcome.err;
  }

  // A folder named like a request for help is checked, not helped.
  for (const std::vector<std::string>& hyphen : std::vector<std::vector<std::string>>{
           {"check", "--folder=-h"}, {"check", "--folder", "-h"}}) {
    const Outcome outcome = run(hyphen);
    EXPECT_EQ(outcome.status, 3) << hyphen.back();
    EXPECT_EQ(outcome.err,
              "rotavue-host: " + fs::current_path().string() + "/-h: No such file or directory\n");
  }

  const Outcome help = run({"check", "--help"});
  EXPECT_EQ(help.status, 0);
  for (const char* key : {"folder", "images", "folders_entered", "longest_path", "skipped_folders",
                          "other_pictures", "unreachable_names", "unreadable_folders", "long_paths",
                          "refresh_ms", "Usage: rotavue-host check [OPTIONS]", "Exit status:"})
    EXPECT_NE(help.out.find(key), std::string::npos) << key;
}

// Output that cannot be written fails the command, whatever it printed.
TEST_F(HostCheck, OutputThatCannotBeWrittenExitsOne) {
  tree_.writeFile("a.jpg");
  for (const std::vector<std::string>& command : std::vector<std::vector<std::string>>{
           {"check", "--json", "--folder", tree_.path()},
           {"info"},
           {"run", "--ticks", "1", "--tick-ms", "0", "--dir-path", host_.path()},
           {"next", "--nickname", "n", "--folder", tree_.path(), "--dir-path", host_.path()},
           {"--version"}}) {
    const Outcome outcome = run(command, "/dev/full");
    EXPECT_EQ(outcome.status, 1) << command[0];
    EXPECT_EQ(outcome.err, "rotavue-host: cannot write the output: No space left on device\n");
  }
}

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

// SIGINT stops `run` at its next tick, which tears down as at the end: no
// private registry file is left in the temporary folder.
TEST_F(HostCheck, SigintStopsRunAndLeavesNothingBehind) {
  const TempDirectory temporary;
  const auto previous = std::signal(SIGINT, SIG_DFL);  // as for a job in the foreground
  FILE* out = start({"run", "--ticks=99", "--tick-ms=60000", "--dir-path", host_.path()},
                    "TMPDIR=" + shellQuoted(temporary.path()));
  std::signal(SIGINT, previous);
  char line[4096];
  ASSERT_NE(std::fgets(line, sizeof line, out), nullptr);
  const pid_t process = std::atoi(line);
  ASSERT_NE(std::fgets(line, sizeof line, out), nullptr);
  EXPECT_FALSE(fs::is_empty(temporary.path()));
  ::kill(process, SIGINT);
  while (std::fgets(line, sizeof line, out) != nullptr) {
  }
  EXPECT_EQ(WEXITSTATUS(::pclose(out)), 130);
  EXPECT_TRUE(fs::is_empty(temporary.path()));
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

TEST_F(HostCheck, ReadableReportCutsItsListsUnlessAll) {
  for (int i = 0; i < 12; ++i) tree_.writeFile(".hidden" + std::to_string(i) + "/a.jpg");
  tree_.writeFile("shown.jpg");

  const Outcome cut = run({"check", "--folder", tree_.path()});
  EXPECT_EQ(cut.status, 0);
  // Off a terminal there is no progress line.
  EXPECT_EQ(cut.err, "");
  EXPECT_EQ(
      cut.out.rfind("Folder: " + tree_.path() + "\n  images shown              1 in 1 folders", 0),
      0u)
      << cut.out;
  EXPECT_NE(
      cut.out.find("  skipped folders           12, with 12 images inside that are never shown\n"),
      std::string::npos)
      << cut.out;
  EXPECT_NE(cut.out.find("\n  \xE2\x80\xA6 and 2 more\n"), std::string::npos) << cut.out;

  const Outcome all = run({"check", "--all", "--folder", tree_.path()});
  EXPECT_EQ(all.status, 0);
  EXPECT_EQ(all.out.find("\xE2\x80\xA6"), std::string::npos);
  for (int i = 0; i < 12; ++i) {
    EXPECT_NE(
        all.out.find("       1  hidden   " + tree_.path() + ".hidden" + std::to_string(i) + "\n"),
        std::string::npos)
        << i;
  }
}

}  // namespace
