// The command line of rotavue-host: one subcommand each for info, run,
// check, next, random, shuffle and current, each with its own --help, parsed by
// CLI11 into the options below; --version alone; `help` for the usage.
// Every text here is UTF-8, as the program's entry point hands the
// arguments over; the commands convert what they pass to the module.
#pragma once

#include <string>
#include <vector>

namespace rotavue_host {

// Exit statuses, as --help and docs/command-line.md list them.
inline constexpr int kExitDone = 0;
inline constexpr int kExitFailed = 1;  // the module or DirPath failed, no image, or the output
inline constexpr int kExitUsage = 2;   // bad usage
inline constexpr int kExitFolder = 3;  // a folder cannot be read or given to the module

// The program's name in its messages and its usage.
extern const char kProgramName[];

// The module's file name as the host looks for it beside itself.
extern const char kDefaultModuleName[];

// A bad command line: `message` in one line, exit status 2.
struct UsageError {
  std::string message;
};

// A folder that cannot be resolved as the system means it (normalPath):
// `message` ("PATH: REASON") in one line, exit status 3.
struct FolderError {
  std::string message;
};

// How long next and random wait for the lock by default: long enough for
// the calls of a crowd to take their turns, short enough that a stuck
// holder (a stopped process) does not hang a timer's unit.
inline constexpr unsigned long kDefaultWaitSeconds = 60;

// Why a text cannot be a nickname, or "": the nickname is joined to DirPath
// as it is, so it may name a sub-folder ("a/b"; on Windows "a\b" too), but
// neither start with a separator or a drive ("C:") nor hold a ".." part,
// which would put its position file outside that folder, nor a line break.
std::string nicknameProblem(const std::string& nickname);

// Why a folder or a nickname cannot be stored in a position file's one
// line, or "": it holds CR or LF.
std::string lineBreakProblem(const std::string& text);

// The options of the commands that load the module and call it over a
// folder. Empty: the default (layout.h).
struct ModuleOptions {
  std::string module;   // default: kDefaultModuleName
  std::string dirPath;  // run: default the folder "host"; see OneShotOptions
  std::string
      folder;  // run: default the example folder "pictures"; next, random, shuffle: required
};

struct RunOptions {
  ModuleOptions shared;
  std::vector<std::string> meters;  // the --meter SPECs, as given
  unsigned long ticks = 6;
  unsigned long tickMs = 1000;
};

struct InfoOptions {
  std::string module;  // --module or MODULE; empty: the default (layout.h)
};

struct CheckOptions {
  std::string folder;  // DIR or --folder; empty: the example folder "pictures"
  bool json = false;
  bool all = false;
};

// next, random, shuffle and current: one refresh of GetImage,
// GetRandomImage, GetShuffledImage or returnCurrentImage, whose image is
// printed. Without --dir-path the host's own DirPath is used when it has
// one, else the per-user folder.
enum class OneShot { kNext, kRandom, kCurrent, kShuffle };

struct OneShotOptions {
  OneShot function = OneShot::kNext;
  ModuleOptions shared;  // current takes no --folder
  std::string nickname;
  bool wrapMarker = false;  // next: print the wrap-around's "" line
  // next, random: how long to wait while another call holds the lock.
  unsigned long waitSeconds = kDefaultWaitSeconds;
  // --wallpaper (Windows): set the picture printed as the desktop
  // wallpaper, with the style `wallpaperStyle` (fill, fit, stretch, tile,
  // center or span, in lower case), or the user's when it is empty.
  bool wallpaper = false;
  std::string wallpaperStyle;
};

// kShortHelp: no arguments at all, as when the program is double-clicked:
// the short help, shown by showShortHelp (system.h), and exit status 2.
enum class Command { kShowText, kShortHelp, kInfo, kRun, kCheck, kOneShot };

struct CommandLine {
  Command command = Command::kShowText;
  std::string text;  // kShowText, kShortHelp: the help or version text
  InfoOptions info;
  RunOptions run;
  CheckOptions check;
  OneShotOptions oneShot;
};

// Parses the arguments after the program's name. --help (or -h or -?, and on
// Windows /? or /help, where an option may stand) and `help` give the usage
// to print, --version alone the version, no arguments the short help (the
// commands and an example); bad usage throws UsageError with CLI11's
// message.
CommandLine parseCommandLine(const std::vector<std::string>& arguments);

}  // namespace rotavue_host
