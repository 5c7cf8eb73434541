// What the host simulator needs of the operating system, behind one seam:
// loading the module and finding its exports, publishing the host's
// directory where the module looks for it, locating the executable,
// sleeping between ticks, and the terminal and console that `check` writes
// to. module_win32.cpp and module_posix.cpp implement
// it; CMake compiles exactly one of them.
#pragma once

#include <string>

namespace rotavue_host {

// The module's file name as the host looks for it beside itself.
extern const char kDefaultModuleName[];
// The separator the host appends to directories.
extern const char kPathSeparator;

// Loads the module at `path`; null with a reason in `error` on failure.
void* loadModule(const std::string& path, std::string& error);
// The address of the export `name`, or null.
void* findSymbol(void* module, const char* name);
void unloadModule(void* module);

// Writes `dirPath` as the host's registry value DirPath (HKEY_CURRENT_USER,
// Software\Glintora\General, REG_SZ). `where` names the place written to.
bool publishDirPath(const std::string& dirPath, std::string& where, std::string& error);

// The directory of the running executable, ending in the separator.
std::string executableDirectory();

void sleepMilliseconds(unsigned long milliseconds);

// True when standard error is a terminal (a console on Windows).
bool standardErrorIsTerminal();

// While it lives, a console on standard output shows UTF-8 text: on Windows
// its output code page is UTF-8, and the previous one comes back at the end.
// Output to a file or a pipe is left alone.
class Utf8ConsoleOutput {
 public:
  Utf8ConsoleOutput();
  ~Utf8ConsoleOutput();
  Utf8ConsoleOutput(const Utf8ConsoleOutput&) = delete;
  Utf8ConsoleOutput& operator=(const Utf8ConsoleOutput&) = delete;

 private:
  unsigned previousCodePage_ = 0;
};

}  // namespace rotavue_host
