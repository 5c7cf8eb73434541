// What the host simulator needs of the operating system, behind one seam:
// loading the module and finding its exports, publishing the host's
// directory where the module looks for it, locating the executable and
// sleeping between ticks. module_win32.cpp and module_posix.cpp implement
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

}  // namespace rotavue_host
