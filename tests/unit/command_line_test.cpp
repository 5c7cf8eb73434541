// Tests of rotavue-host's command line: each command's options reach the
// options it runs with, help is given where it is asked for, a value is a
// value even where it looks like a request for help, and bad usage throws.
#include "command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace rotavue_host {
namespace {

TEST(CommandLine, ParsesTheDocumentedCommandLine) {
  const CommandLine defaults = parseCommandLine({"check"});
  EXPECT_EQ(defaults.command, Command::kCheck);
  EXPECT_EQ(defaults.check.folder, "");
  EXPECT_FALSE(defaults.check.json);
  EXPECT_FALSE(defaults.check.all);

  const CommandLine check = parseCommandLine({"check", "--json", "--folder", "C:\\pics", "--all"});
  EXPECT_EQ(check.check.folder, "C:\\pics");
  EXPECT_TRUE(check.check.json);
  EXPECT_TRUE(check.check.all);
  EXPECT_EQ(parseCommandLine({"check", "--folder=a b"}).check.folder, "a b");
  // A value is a value, even where it looks like a request for help.
  EXPECT_EQ(parseCommandLine({"check", "--folder=-h"}).check.folder, "-h");
  EXPECT_EQ(parseCommandLine({"check", "--folder", "-h"}).check.folder, "-h");
  EXPECT_EQ(parseCommandLine({"info", "--module", "m"}).info.module, "m");
  EXPECT_EQ(parseCommandLine({"info", "m"}).info.module, "m");

  const CommandLine run =
      parseCommandLine({"run", "--module", "m", "--dir-path", "d", "--folder", "f", "--meter",
                        "GetImage,a", "--meter", "GetImage,b", "--ticks", "3", "--tick-ms=0"});
  EXPECT_EQ(run.command, Command::kRun);
  EXPECT_EQ(run.run.shared.module, "m");
  EXPECT_EQ(run.run.shared.dirPath, "d");
  EXPECT_EQ(run.run.shared.folder, "f");
  EXPECT_EQ(run.run.meters, (std::vector<std::string>{"GetImage,a", "GetImage,b"}));
  EXPECT_EQ(run.run.ticks, 3u);
  EXPECT_EQ(run.run.tickMs, 0u);

  const CommandLine next = parseCommandLine(
      {"next", "--nickname", "desk", "--wrap-marker", "--dir-path", "d", "--folder", "f"});
  EXPECT_EQ(next.command, Command::kOneShot);
  EXPECT_EQ(next.oneShot.function, OneShot::kNext);
  EXPECT_EQ(next.oneShot.nickname, "desk");
  EXPECT_TRUE(next.oneShot.wrapMarker);
  EXPECT_EQ(next.oneShot.shared.dirPath, "d");
  EXPECT_EQ(next.oneShot.shared.folder, "f");
  EXPECT_EQ(parseCommandLine({"random", "--nickname=r", "--folder=f"}).oneShot.function,
            OneShot::kRandom);
  EXPECT_EQ(parseCommandLine({"current", "--nickname=c"}).oneShot.function, OneShot::kCurrent);
  EXPECT_EQ(parseCommandLine({"shuffle", "--nickname=s", "--folder=f"}).oneShot.function,
            OneShot::kShuffle);

  for (const std::vector<std::string>& help : std::vector<std::vector<std::string>>{
           {"check", "--help"}, {"check", "--json", "-h"}, {"help", "check"}, {"help", "next"}}) {
    const CommandLine line = parseCommandLine(help);
    EXPECT_EQ(line.command, Command::kShowText);
    const std::string topic = help[0] == "help" ? help[1] : help[0];
    EXPECT_NE(line.text.find("Usage: rotavue-host " + topic), std::string::npos) << line.text;
  }

  for (const std::vector<std::string>& bad : std::vector<std::vector<std::string>>{
           {},
           {"check", "--bogus"},
           {"check", "pics", "--folder", "f"},
           {"check", "--folder"},
           {"check", "--folder="},
           {"check", "--folder", ""},
           {"check", "--json=1"},
           {"check", "--json", "pics", "extra"},
           {"run", "--ticks", "-1"},
           {"run", "--meter", "GetImage,a", "GetImage,b"},
           {"run", "--version"},
           {"--version", "run"},
           {"info", "a", "b"},
           {"info", "a", "--module", "b"},
           {"next", "--folder", "f"},
           {"next", "--nickname=", "--folder=f"},
           {"next", "--nickname=n"},
           {"current", "--nickname=c", "--folder", "f"},
           {"random", "--nickname=r", "--folder=f", "--wrap-marker"},
           {"shuffle", "--nickname=s", "--folder=f", "--wrap-marker"},
           {"shuffle", "--nickname=s"}}) {
    EXPECT_THROW(parseCommandLine(bad), UsageError) << (bad.empty() ? "" : bad.back());
  }
}

}  // namespace
}  // namespace rotavue_host
