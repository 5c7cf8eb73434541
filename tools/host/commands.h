// The commands of rotavue-host, one file each (info.cpp, run.cpp,
// check.cpp), and the program's body (main.cpp) that the entry point of the
// system seam calls. Each command prints to standard output, reports its
// failures on standard error and returns its exit status (command_line.h);
// whether the output could be written is checked once, by hostMain.
#pragma once

#include <string>
#include <vector>

#include "command_line.h"

namespace rotavue_host {

int infoCommand(const InfoOptions& options);
int runCommand(const RunOptions& options);
int checkCommand(const CheckOptions& options);

// Parses `arguments` (UTF-8, the program's name left out), runs the command
// and returns the exit status: 1 when standard output could not be written,
// whatever the command returned.
int hostMain(const std::vector<std::string>& arguments);

// A text in double quotes, as the commands show the module's texts.
inline std::string quoted(const std::string& text) { return "\"" + text + "\""; }

}  // namespace rotavue_host
