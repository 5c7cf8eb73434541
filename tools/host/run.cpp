// `rotavue-host run`: shows the module a host folder of its own as DirPath,
// starts meters and drives them through the host's update loop, printing
// each result whenever it changes with the nickname's stored position, then
// shuts the meters down. Its host folder is "host" beside the program, or
// the per-user one where that cannot be written. The host's own DirPath is
// neither used nor changed, so that the demo's nicknames can never move a
// widget. A signal (StopOnSignals) ends the loop at the next tick, and the
// meters are shut down and the private DirPath removed as at the end.
//
// The command line is UTF-8; the module takes texts in the ANSI code page.
// So every text a meter passes is converted first: a folder, in its normal
// form (normalPath), to its exact form or its short path, a nickname or an
// interval to its exact form. A folder without either is an error of its
// own (exit status 3), a nickname or interval without an exact form bad
// usage.
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "commands.h"
#include "platform/platform.h"
#include "plugin.h"
#include "system.h"

namespace rotavue_host {

namespace {

struct Meter {
  std::string function;
  std::string nickname;   // UTF-8, for the output and the position file
  std::string directory;  // UTF-8; empty: the --folder
  std::string interval = "0";
  Arity arity = Arity::kUnknown;

  // The texts the module is given, in the ANSI code page.
  std::string ansiNickname;
  std::string ansiDirectory;
  std::string ansiInterval;

  void* address = nullptr;
  std::uint32_t handle = 0;
  bool shown = false;
  std::string lastResult;

  std::string label() const { return function + " [" + nickname + "]"; }

  std::string call() const {
    if (arity == Arity::kTwoTexts)
      return shownText(
          asFunction<TwoTextFunction>(address)(handle, ansiNickname.c_str(), ansiInterval.c_str()));
    return shownText(asFunction<ThreeTextFunction>(address)(
        handle, ansiNickname.c_str(), ansiDirectory.c_str(), ansiInterval.c_str()));
  }
};

Meter parseMeter(const std::string& spec) {
  const std::vector<std::string> fields = splitText(spec, ',');
  Meter meter;
  meter.function = fields[0];
  meter.arity = arityOf(meter.function);
  if (meter.arity == Arity::kUnknown)
    throw UsageError{"--meter: unknown function '" + meter.function + "'"};
  const std::size_t most = meter.arity == Arity::kThreeTexts ? 4 : 3;
  if (fields.size() < 2 || fields.size() > most)
    throw UsageError{
        "--meter: '" + spec + "' needs " +
        (most == 4 ? "FUNCTION,NICKNAME[,DIRECTORY[,INTERVAL]]" : "FUNCTION,NICKNAME[,INTERVAL]")};
  meter.nickname = fields[1];
  if (meter.arity == Arity::kThreeTexts && fields.size() > 2) meter.directory = fields[2];
  // The module takes an empty nickname; none may leave DirPath or cut a line.
  const std::string nickname = meter.nickname.empty() ? "" : nicknameProblem(meter.nickname);
  if (!nickname.empty()) throw UsageError{"--meter: the nickname " + nickname};
  if (!lineBreakProblem(meter.directory).empty())
    throw UsageError{"--meter: the directory " + lineBreakProblem(meter.directory)};
  if (fields.size() == most) meter.interval = fields.back();
  return meter;
}

std::string exactText(const std::string& text, const char* what) {
  std::string ansi;
  if (!ansiTextOf(text, ansi))
    throw UsageError{"--meter: the " + std::string(what) + " '" + text +
                     "' has no form in the ANSI code page"};
  return ansi;
}

// The first line of the nickname's position file, in UTF-8, or "(none)".
std::string positionLine(const std::string& dirPath, const std::string& nickname) {
  std::ifstream file(std::filesystem::u8path(dirPath + nickname + "Rotavue.setup"),
                     std::ios::binary);
  if (!file) return "(none)";
  std::string line;
  std::getline(file, line);
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return quoted(rotavue::platform::ansiToUtf8(line));
}

// True when `folder`, in its normal form, is "host" beside the program.
bool besideProgram(const std::string& folder) {
  return folder == normalPath(executableDirectory() + "host");
}

// Says that `folder` cannot serve as the host folder; false.
bool cannotServe(const std::string& folder, const std::string& reason) {
  std::cerr << kProgramName << ": " << folder << ": " << reason << '\n';
  return false;
}

// True when `folder` can be created, without a home folder that does not
// exist, and written; else false with the reason.
bool usableFolder(const std::string& folder, std::string& reason) {
  reason = homeProblem(folder);
  if (reason.empty()) return writableFolder(folder, reason);
  reason = "cannot be created: " + reason;
  return false;
}

// The host folder of this run, in its normal form, in `dirPath`: --dir-path
// as given; else "host" beside the program (defaultHostFolder), or, where
// that cannot be created or written (a zip unpacked under Program Files, a
// read-only share), "host" in the per-user folder; `which` then says which
// for the header. False, with the reason on standard error, when the folder
// in use cannot be created or written: no meter could save a position.
bool chooseHostFolder(const std::string& given, std::string& dirPath, std::string& which) {
  std::string reason;
  dirPath = normalPath(given.empty() ? defaultHostFolder() : given);
  if (usableFolder(dirPath, reason)) {
    if (given.empty())
      which = besideProgram(dirPath) ? "host folder: beside the program" : "host folder: per-user";
    return true;
  }
  const std::string perUser = perUserDirectory();
  if (!given.empty() || perUser.empty() || !besideProgram(dirPath))
    return cannotServe(dirPath, reason);
  const std::string beside = dirPath;
  dirPath = normalPath(perUser + "host");
  std::string perUserReason;
  if (!usableFolder(dirPath, perUserReason)) {
    cannotServe(beside, reason);
    return cannotServe(dirPath, perUserReason);
  }
  which = "host folder: per-user, since " + quoted(beside) + ' ' + reason;
  return true;
}

}  // namespace

int runCommand(const RunOptions& options) {
  const std::string modulePath =
      options.shared.module.empty() ? defaultModulePath() : options.shared.module;
  const std::string folder =
      normalPath(options.shared.folder.empty() ? exampleFolder() : options.shared.folder);

  std::vector<Meter> meters;
  for (const std::string& spec : options.meters) meters.push_back(parseMeter(spec));
  if (meters.empty()) {
    meters = {parseMeter("GetImage,demo"), parseMeter("returnCurrentImageName,demo"),
              parseMeter("GetRandomImage,random"), parseMeter("GetShuffledImage,shuffle")};
  }
  for (Meter& meter : meters) {
    meter.ansiNickname = exactText(meter.nickname, "nickname");
    meter.ansiInterval = exactText(meter.interval, "interval");
    if (meter.arity != Arity::kThreeTexts) continue;
    meter.directory = meter.directory.empty() ? folder : normalPath(meter.directory);
    std::string problem;
    if (!ansiPathOf(meter.directory, meter.ansiDirectory, problem)) {
      std::cerr << kProgramName << ": " << problem << '\n';
      return kExitFolder;
    }
  }

  Plugin plugin;
  std::string error;
  if (!plugin.load(modulePath, error)) {
    std::cerr << kProgramName << ": " << error << '\n';
    return kExitFailed;
  }
  const std::vector<std::string> offered = splitText(shownText(plugin.init()), '|');
  for (Meter& meter : meters) {
    bool listed = false;
    for (const std::string& name : offered) listed = listed || name == meter.function;
    meter.address = listed ? plugin.symbol(meter.function.c_str()) : nullptr;
    if (meter.address == nullptr) {
      std::cerr << kProgramName << ": " << modulePath << ": the module does not offer "
                << meter.function << '\n';
      return kExitFailed;
    }
  }
  std::string dirPath;
  std::string which;
  if (!chooseHostFolder(options.shared.dirPath, dirPath, which)) return kExitFailed;
  PrivateDirPath published;
  if (!publishOwnDirPath(dirPath, published)) return kExitFailed;
  std::cout << "module: " << modulePath << '\n'
            << "DirPath: " << quoted(dirPath) << " (for this run; the host's is left as it is)\n";
  if (!which.empty()) std::cout << which << '\n';

  for (std::size_t i = 0; i < meters.size(); ++i) {
    Meter& meter = meters[i];
    meter.handle = plugin.dllstartup(0, static_cast<std::uint32_t>(i + 1));
    std::cout << "meter " << i + 1 << ": " << meter.function << " nickname "
              << quoted(meter.nickname);
    if (meter.arity == Arity::kThreeTexts) {
      std::cout << " directory " << quoted(meter.directory);
      const std::string given = rotavue::platform::ansiToUtf8(meter.ansiDirectory);
      if (given != meter.directory) std::cout << " (given as " << quoted(given) << ')';
    }
    std::cout << " interval " << quoted(meter.interval) << ", dllstartup -> handle " << meter.handle
              << '\n';
  }

  for (unsigned long tick = 1; tick <= options.ticks && stopStatus() == 0; ++tick) {
    for (Meter& meter : meters) {
      const std::string result = meter.call();
      if (meter.shown && result == meter.lastResult) continue;
      meter.shown = true;
      meter.lastResult = result;
      std::cout << "tick " << tick << ": " << meter.label() << " -> " << quoted(result) << '\n'
                << "        position of " << meter.nickname << ": "
                << positionLine(dirPath, meter.nickname) << '\n';
    }
    // Output that cannot be written ends the loop; hostMain reports it.
    if (!std::cout.flush()) break;
    if (tick < options.ticks) sleepMilliseconds(options.tickMs);
  }

  for (const Meter& meter : meters) {
    std::cout << "dllshutdown(" << meter.handle << ") for " << meter.label() << " -> "
              << plugin.dllshutdown(meter.handle) << '\n';
  }
  return kExitDone;
}

}  // namespace rotavue_host
