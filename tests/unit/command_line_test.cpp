// Tests of rotavue-host's command line: each command's options reach the
// options it runs with, help is given where it is asked for, a value is a
// value even where it looks like a request for help, and bad usage throws.
#include "command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/platform.h"

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

  const CommandLine next = parseCommandLine({"next", "--nickname", "desk", "--wrap-marker",
                                             "--dir-path", "d", "--folder", "f", "--wait=0"});
  EXPECT_EQ(next.command, Command::kOneShot);
  EXPECT_EQ(next.oneShot.function, OneShot::kNext);
  EXPECT_EQ(next.oneShot.nickname, "desk");
  EXPECT_TRUE(next.oneShot.wrapMarker);
  EXPECT_EQ(next.oneShot.shared.dirPath, "d");
  EXPECT_EQ(next.oneShot.shared.folder, "f");
  EXPECT_EQ(parseCommandLine({"random", "--nickname=r", "--folder=f"}).oneShot.function,
            OneShot::kRandom);
  EXPECT_EQ(parseCommandLine({"current", "--nickname=c"}).oneShot.function, OneShot::kCurrent);
  EXPECT_EQ(next.oneShot.waitSeconds, 0u);
  EXPECT_EQ(parseCommandLine({"random", "--nickname=a/b", "--folder=f"}).oneShot.waitSeconds, 60u);
  EXPECT_EQ(parseCommandLine({"shuffle", "--nickname=s", "--folder=f"}).oneShot.function,
            OneShot::kShuffle);

  // --wallpaper [STYLE], in any letter case, where the tool sets wallpapers
  // (Windows).
  const std::vector<std::string> styled = {"current", "--nickname=c", "--wallpaper", "FIT"};
  if (rotavue::platform::kPathSeparator == '\\') {
    EXPECT_EQ(parseCommandLine(styled).oneShot.wallpaperStyle, "fit");
    EXPECT_TRUE(parseCommandLine({"current", "--nickname=c", "--wallpaper"}).oneShot.wallpaper);
  } else {
    EXPECT_THROW(parseCommandLine(styled), UsageError);
  }
  EXPECT_FALSE(next.oneShot.wallpaper);
  EXPECT_EQ(parseCommandLine({}).command, Command::kShortHelp);

  for (const std::vector<std::string>& help :
       std::vector<std::vector<std::string>>{{"check", "--help"},
                                             {"check", "--json", "-h"},
                                             {"help", "check"},
                                             {"help", "next"},
                                             {"next", "-?"}}) {
    const CommandLine line = parseCommandLine(help);
    EXPECT_EQ(line.command, Command::kShowText);
    const std::string topic = help[0] == "help" ? help[1] : help[0];
    EXPECT_NE(line.text.find("Usage: rotavue-host " + topic), std::string::npos) << line.text;
  }

  for (const std::vector<std::string>& bad : std::vector<std::vector<std::string>>{
           {"current", "--nickname=c", "--wallpaper", "tiled"},
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
           {"next", "--nickname=n", "--folder=f", "--wait=-1"},
           {"current", "--nickname=c", "--wait=1"},
           {"shuffle", "--nickname=s", "--folder=f", "--wrap-marker"},
           {"shuffle", "--nickname=s"}}) {
    EXPECT_THROW(parseCommandLine(bad), UsageError) << (bad.empty() ? "" : bad.back());
  }

  // What a position file cannot store or would put outside DirPath is
  // refused, naming the option; an unknown command is named.
  for (const auto& [bad, message] : std::vector<std::pair<std::vector<std::string>, std::string>>{
           {{"next", "--nickname=../x", "--folder=f"}, "--nickname: '../x' has a '..' part"},
           {{"random", "--nickname=/x", "--folder=f"}, "--nickname: '/x' starts with a separator"},
           {{"current", "--nickname=C:x"}, "--nickname: 'C:x' starts with a drive"},
           {{"current", "--nickname=a\nb"}, "--nickname: holds a line break"},
           {{"next", "--nickname=n", "--folder=a\rb"}, "--folder: holds a line break"},
           {{"current", "--nickname=n", "--dir-path=d\n"}, "--dir-path: holds a line break"},
           {{"nxt", "--nickname=n"}, "'nxt' is no command; the commands are info, run, check,"}}) {
    try {
      const CommandLine line = parseCommandLine(bad);
      ADD_FAILURE() << message;
    } catch (const UsageError& error) {
      EXPECT_EQ(error.message.rfind(message, 0), 0u) << error.message;
    }
  }
}

}  // namespace
}  // namespace rotavue_host
