// Tests of `rotavue-host check` as a user runs it, on the real file system:
// the program is started with its command line, and its exit status, its
// JSON object (parsed back) and its readable report are checked against
// what the module shows of the same tree through its exports. On Linux a
// dot-folder is hidden and a symbolic link to a folder is a link. So are
// output that cannot be written, for every command, and `run` stopped by
// SIGINT.
#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <vector>

#include "host_program.h"

namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using rotavue::testing::HostCheck;
using rotavue::testing::Outcome;
using rotavue::testing::shellQuoted;
using rotavue::testing::TempDirectory;

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
      }));
  // Links are never looked into, so they are no skipped folder "with 0 images".
  EXPECT_EQ(std::set<std::string>(report["linked_folders"].begin(), report["linked_folders"].end()),
            (std::set<std::string>{root + "link", root + "shortcut.png"}));
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
                                             {"check", tree_.path(), "--folder=x"},
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

// SIGINT, and SIGHUP (the terminal closed) alike, stop `run` at its next
// tick, which tears down as at the end: no private registry file is left in
// the temporary folder.
TEST_F(HostCheck, SigintStopsRunAndLeavesNothingBehind) {
  for (const int signal : {SIGINT, SIGHUP}) {
    const TempDirectory temporary;
    const auto previous = std::signal(signal, SIG_DFL);  // as for a job in the foreground
    FILE* out = start({"run", "--ticks=99", "--tick-ms=60000", "--dir-path", host_.path()},
                      "TMPDIR=" + shellQuoted(temporary.path()));
    std::signal(signal, previous);
    char line[4096];
    ASSERT_NE(std::fgets(line, sizeof line, out), nullptr);
    const pid_t process = std::atoi(line);
    ASSERT_NE(std::fgets(line, sizeof line, out), nullptr);
    EXPECT_FALSE(fs::is_empty(temporary.path()));
    ::kill(process, signal);
    while (std::fgets(line, sizeof line, out) != nullptr) {
    }
    EXPECT_EQ(WEXITSTATUS(::pclose(out)), 128 + signal);
    EXPECT_TRUE(fs::is_empty(temporary.path()));
  }
}

TEST_F(HostCheck, ReadableReportCutsItsListsUnlessAll) {
  for (int i = 0; i < 12; ++i) tree_.writeFile(".hidden" + std::to_string(i) + "/a.jpg");
  tree_.writeFile("shown.jpg");

  const Outcome cut = run({"check", "--folder", tree_.path()});
  EXPECT_EQ(cut.status, 0);
  // Off a terminal there is no progress line.
  EXPECT_EQ(cut.err, "");
  EXPECT_EQ(cut.out.rfind(
                "Folder: " + tree_.path() + "\n  images shown                  1 in 1 folder ", 0),
            0u)
      << cut.out;
  EXPECT_NE(cut.out.find("  skipped folders               12, with 12 images inside that are never "
                         "shown\n"),
            std::string::npos)
      << cut.out;
  EXPECT_NE(cut.out.find("\n  \xE2\x80\xA6 and 2 more\n"), std::string::npos) << cut.out;

  const Outcome all = run({"check", "--all", tree_.path()});
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
