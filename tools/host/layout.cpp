// The layouts of layout.h. ROTAVUE_INSTALLED_MODULE_FOLDER and
// ROTAVUE_INSTALLED_DATA_FOLDER are the install's folders relative to the
// program's, each ending in "/" (empty where there is no such install, as
// on Windows).
#include "layout.h"

#include <filesystem>
#include <system_error>

#include "command_line.h"
#include "system.h"

namespace rotavue_host {

namespace {

bool moduleBesideProgram() {
  std::error_code ignored;
  return std::filesystem::exists(
      std::filesystem::u8path(executableDirectory() + kDefaultModuleName), ignored);
}

// `name` beside the program, or in the install's `folder`, without the
// "bin/.." that leads there.
std::string fromProgram(const char* folder, const std::string& name) {
  if (moduleBesideProgram()) return executableDirectory() + name;
  return std::filesystem::u8path(executableDirectory() + folder + name)
      .lexically_normal()
      .u8string();
}

}  // namespace

std::string defaultModulePath() {
  return fromProgram(ROTAVUE_INSTALLED_MODULE_FOLDER, kDefaultModuleName);
}

std::string exampleFolder() { return fromProgram(ROTAVUE_INSTALLED_DATA_FOLDER, "pictures"); }

std::string defaultHostFolder() {
  const std::string perUser = perUserDirectory();
  return (moduleBesideProgram() || perUser.empty() ? executableDirectory() : perUser) + "host";
}

}  // namespace rotavue_host
