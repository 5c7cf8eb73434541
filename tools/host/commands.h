// The commands of rotavue-host, one file each (info.cpp, run.cpp,
// check.cpp, one_shot.cpp for next, random, shuffle and current), and the program's
// body (main.cpp) that the entry point of the system seam calls. Each
// command prints to standard output, reports its failures on standard error
// and returns its exit status (command_line.h); whether the output could be
// written is checked once, by hostMain.
#pragma once

#include <string>
#include <vector>

#include "command_line.h"
#include "layout.h"
#include "system.h"

namespace rotavue_host {

int infoCommand(const InfoOptions& options);
int runCommand(const RunOptions& options);
int checkCommand(const CheckOptions& options);
int oneShotCommand(const OneShotOptions& options);

// The folder `given` (UTF-8, in its normal form) in the text the module is
// given, once the tool's own check of the folder itself, the one `check`
// makes, finds that the walks can read it. False, with "PATH: MESSAGE" on
// standard error, when it has no such text or cannot be read: exit status 3.
bool readableFolder(const std::string& given, std::string& ansi);

// Why the folder `dirPath` (UTF-8) is not to be created: it lies inside the
// user's home folder (homeFolder), which does not exist and which the tool
// never creates; "" when nothing stands in the way.
std::string homeProblem(const std::string& dirPath);

// Creates the folder `dirPath` (UTF-8), ends it in the separator and shows
// it to this process's module as DirPath for as long as `published` lives.
// False, with the reason on standard error, when it cannot be published.
bool publishOwnDirPath(std::string& dirPath, PrivateDirPath& published);

// Parses `arguments` (UTF-8, the program's name left out), runs the command
// and returns the exit status: 1 when standard output could not be written,
// whatever the command returned; a standard output that is missing
// altogether (standardOutputMissing) is no failure.
int hostMain(const std::vector<std::string>& arguments);

// A text in double quotes, as the commands show the module's texts. For a
// text that is not const, argument-dependent lookup would find the better
// match std::quoted, which escapes every backslash of a Windows path: the
// second form keeps it out.
inline std::string quoted(const std::string& text) { return "\"" + text + "\""; }
inline std::string quoted(std::string& text) {
  return quoted(static_cast<const std::string&>(text));
}

}  // namespace rotavue_host
