// `rotavue-host info`: what the module tells the host about itself, through
// the protocol exports alone (init, getparam, getinfo, dlltype).
#include <cstdint>
#include <iostream>
#include <string>
#include <vector>

#include "commands.h"
#include "plugin.h"
#include "system.h"

namespace rotavue_host {

int infoCommand(const InfoOptions& options) {
  const std::string modulePath = options.module.empty() ? defaultModulePath() : options.module;
  Plugin plugin;
  std::string error;
  if (!plugin.load(modulePath, error)) {
    std::cerr << kProgramName << ": " << error << '\n';
    return kExitFailed;
  }
  const std::string functions = shownText(plugin.init());
  std::cout << "module: " << modulePath << '\n'
            << "plug-in type (dlltype): " << plugin.dlltype() << '\n'
            << "functions (init): " << quoted(functions) << '\n';
  for (const std::string& name : splitText(functions, '|')) {
    const std::string list = shownText(plugin.getparam(name.c_str()));
    std::vector<std::string> parameters = splitText(list, '|');
    if (parameters.back().empty()) parameters.pop_back();
    std::cout << "  " << name << '(';
    for (std::size_t i = 0; i < parameters.size(); ++i)
      std::cout << (i > 0 ? ", " : "") << parameters[i];
    std::cout << ")   getparam: " << quoted(list) << '\n';
  }
  static const char* const kRows[] = {"display name", "author",      "version",       "first date",
                                      "second date",  "web address", "e-mail address"};
  std::cout << "information (getinfo):\n";
  for (std::int32_t row = 0; row < 7; ++row)
    std::cout << "  " << row << ' ' << kRows[row] << ": " << quoted(shownText(plugin.getinfo(row)))
              << '\n';
  return kExitDone;
}

}  // namespace rotavue_host
