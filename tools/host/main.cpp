// rotavue-host: plays the Glintora host for the Rotavue module. It loads the
// module at run time, asks it what it offers (`info`), or shows it a host
// folder of its own, starts meters and drives them through an update loop,
// printing every result as it changes together with the nickname's stored
// position (`run`). `check` tells what the rotation shows of a folder and
// why pictures never appear. `next`, `random`, `shuffle` and `current` run
// one refresh for a script and print the image. Run `rotavue-host --help`
// for the commands and options.
//
// This file is the program's body: the entry point (main or wmain, in the
// system seam) hands over the arguments in UTF-8; the command line is
// parsed in command_line.cpp and each command lives in a file of its own.
#include <cerrno>
#include <cstring>
#include <exception>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "command_line.h"
#include "commands.h"
#include "system.h"

namespace rotavue_host {

namespace {

int runCommandOf(const CommandLine& line) {
  switch (line.command) {
    case Command::kShowText:
      std::cout << line.text;
      return kExitDone;
    case Command::kShortHelp:
      showShortHelp(line.text);
      return kExitUsage;
    case Command::kInfo:
      return infoCommand(line.info);
    case Command::kRun:
      return runCommand(line.run);
    case Command::kCheck:
      return checkCommand(line.check);
    case Command::kOneShot:
      return oneShotCommand(line.oneShot);
  }
  return kExitFailed;
}

// True when everything written to standard output has reached it. A failed
// write (a full disk, a closed pipe) leaves the stream failed, and errno
// tells why: after it the commands make no system call that sets errno
// before this test (the clean-up of a PrivateDirPath keeps it).
bool outputWritten(std::string& reason) {
  std::cout.flush();
  if (std::cout) return true;
  const int error = errno;
  // The program runs one thread.
  reason = error != 0 ? std::strerror(error) : "";  // NOLINT(concurrency-mt-unsafe)
  return false;
}

}  // namespace

int hostMain(const std::vector<std::string>& arguments) {
  // Every message, a usage error's too, reaches a console in UTF-16.
  const Utf8ConsoleOutput console;
  try {
    const CommandLine line = parseCommandLine(arguments);
    int status = kExitDone;
    // The commands that publish a private DirPath tear it down on a signal.
    std::optional<StopOnSignals> stops;
    if (line.command == Command::kRun || line.command == Command::kOneShot) stops.emplace();
    {
      status = runCommandOf(line);
      std::string reason;
      if (!outputWritten(reason) && !standardOutputMissing()) {
        std::cerr << kProgramName << ": cannot write the output"
                  << (reason.empty() ? "" : ": " + reason) << '\n';
        status = kExitFailed;
      }
    }
    return stopStatus() != 0 ? stopStatus() : status;
  } catch (const UsageError& error) {
    std::cerr << kProgramName << ": " << error.message << " (see --help)\n";
    return kExitUsage;
  } catch (const FolderError& error) {
    std::cerr << kProgramName << ": " << error.message << '\n';
    return kExitFolder;
  } catch (const std::exception& error) {
    std::cerr << kProgramName << ": " << error.what() << '\n';
    return kExitFailed;
  }
}

}  // namespace rotavue_host
