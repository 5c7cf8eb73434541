// rotavue-host: plays the Glintora host for the Rotavue module. It loads the
// module at run time, asks it what it offers (`info`), or publishes the
// host's DirPath, starts meters and drives them through an update loop,
// printing every result as it changes together with the nickname's stored
// position (`run`). `check` tells what the rotation shows of a folder and
// why pictures never appear. Run `rotavue-host --help` for the commands and
// options.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "check_report.h"
#include "module.h"
#include "platform/platform.h"
#include "plugin.h"

namespace rotavue_host {
namespace {

const char kProgram[] = "rotavue-host";

// A bad command line; reported in one line, exit status 2.
struct UsageError {
  std::string message;
};

void printUsage(std::ostream& out) {
  out << "Usage:\n"
         "  rotavue-host info [MODULE]\n"
         "  rotavue-host run [OPTIONS]\n"
         "  rotavue-host check [--folder DIR] [--json] [--all]\n"
         "  rotavue-host --help\n"
         "  rotavue-host --version\n"
         "\n"
         "Plays the Glintora host for the Rotavue module: loads the module at run time\n"
         "and calls its exports by name, as the host does.\n"
         "\n"
         "info [MODULE]\n"
         "  Prints the function list (init), the parameters of each function (getparam),\n"
         "  the information table rows 0 to 6 (getinfo) and the plug-in type (dlltype).\n"
         "  MODULE defaults to "
      << kDefaultModuleName
      << " beside this program.\n"
         "\n"
         "run [OPTIONS]\n"
         "  Publishes DirPath, calls dllstartup once per meter, then on every tick calls\n"
         "  each meter's function and prints its result whenever it changes, with the\n"
         "  nickname's position line (first line of <DirPath><nickname>Rotavue.setup, or\n"
         "  \"(none)\"); at the end calls dllshutdown for each meter.\n"
         "  --module PATH    the module (default: "
      << kDefaultModuleName
      << " beside this program)\n"
         "  --dir-path PATH  the host directory published as DirPath, where the position\n"
         "                   files live; created; a trailing separator is added\n"
         "                   (default: the folder \"host\" beside this program)\n"
         "  --meter SPEC     a meter, repeatable; SPEC has comma-separated fields:\n"
         "                     GetImage,NICKNAME[,DIRECTORY[,INTERVAL]]\n"
         "                     GetRandomImage,NICKNAME[,DIRECTORY[,INTERVAL]]\n"
         "                     ChangeWallpaper,NICKNAME[,DIRECTORY[,INTERVAL]]\n"
         "                     returnCurrentImage,NICKNAME[,INTERVAL]\n"
         "                     returnCurrentImageName,NICKNAME[,INTERVAL]\n"
         "                   DIRECTORY defaults to --folder, INTERVAL (seconds, passed\n"
         "                   as text) to 0. Fields are split at \",\" so drive letters\n"
         "                   (C:\\pictures) are fine; a DIRECTORY holding \",\" is not.\n"
         "  --folder PATH    the image folder of meters without DIRECTORY (default: the\n"
         "                   example folder \"pictures\" beside this program)\n"
         "  --ticks N        number of update-loop ticks (default 6)\n"
         "  --tick-ms MS     milliseconds between ticks (default 1000)\n"
         "  Options also take the form --option=VALUE.\n"
         "  Without --meter: GetImage,demo  returnCurrentImageName,demo\n"
         "  GetRandomImage,random, all over --folder with interval 0.\n"
         "\n";
  printCheckUsage(out);
  out << "\n"
         "DirPath is written as the host writes it: on Windows to the registry value\n"
         "HKEY_CURRENT_USER\\Software\\Glintora\\General\\DirPath; on Linux to the\n"
         "registry-export file $ROTAVUE_REGISTRY, else\n"
         "$XDG_CONFIG_HOME/glintora/registry.reg, else ~/.config/glintora/registry.reg.\n"
         "\n"
         "Exit status: 0 done, 1 the module or DirPath failed, 2 bad arguments\n"
         "(check: see above).\n";
}

std::vector<std::string> split(const std::string& text, char separator) {
  std::vector<std::string> fields;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find(separator, start)) != std::string::npos; start = end + 1)
    fields.push_back(text.substr(start, end - start));
  fields.push_back(text.substr(start));
  return fields;
}

std::string textOf(const char* text) { return text != nullptr ? text : "(null)"; }

std::string quote(const std::string& text) { return "\"" + text + "\""; }

// ---------------------------------------------------------------------------
// info

int infoCommand(const std::string& modulePath) {
  Plugin plugin;
  std::string error;
  if (!plugin.load(modulePath, error)) {
    std::cerr << kProgram << ": " << error << '\n';
    return 1;
  }
  const std::string functions = textOf(plugin.init());
  std::cout << "module: " << modulePath << '\n'
            << "plug-in type (dlltype): " << plugin.dlltype() << '\n'
            << "functions (init): " << quote(functions) << '\n';
  for (const std::string& name : split(functions, '|')) {
    const std::string list = textOf(plugin.getparam(name.c_str()));
    std::vector<std::string> parameters = split(list, '|');
    if (parameters.back().empty()) parameters.pop_back();
    std::cout << "  " << name << '(';
    for (std::size_t i = 0; i < parameters.size(); ++i)
      std::cout << (i > 0 ? ", " : "") << parameters[i];
    std::cout << ")   getparam: " << quote(list) << '\n';
  }
  static const char* const kRows[] = {"display name", "author",      "version",       "first date",
                                      "second date",  "web address", "e-mail address"};
  std::cout << "information (getinfo):\n";
  for (std::int32_t row = 0; row < 7; ++row) {
    std::cout << "  " << row << ' ' << kRows[row] << ": " << quote(textOf(plugin.getinfo(row)))
              << '\n';
  }
  return 0;
}

// ---------------------------------------------------------------------------
// run

struct Meter {
  std::string function;
  std::string nickname;
  std::string directory;  // empty: the --folder
  std::string interval = "0";
  Arity arity = Arity::kUnknown;
  void* address = nullptr;
  std::uint32_t handle = 0;
  bool shown = false;
  std::string lastResult;

  std::string label() const { return function + " [" + nickname + "]"; }

  std::string call() const {
    if (arity == Arity::kTwoTexts)
      return textOf(
          asFunction<TwoTextFunction>(address)(handle, nickname.c_str(), interval.c_str()));
    return textOf(asFunction<ThreeTextFunction>(address)(handle, nickname.c_str(),
                                                         directory.c_str(), interval.c_str()));
  }
};

struct RunOptions {
  std::string module;
  std::string dirPath;
  std::string folder;
  std::vector<Meter> meters;
  unsigned long ticks = 6;
  unsigned long tickMs = 1000;
};

Meter parseMeter(const std::string& spec) {
  const std::vector<std::string> fields = split(spec, ',');
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
  if (fields.size() == most) meter.interval = fields.back();
  return meter;
}

unsigned long parseCount(const std::string& option, const std::string& text) {
  const bool digits = !text.empty() && text.size() <= 9 &&
                      text.find_first_not_of("0123456789") == std::string::npos;
  if (!digits) throw UsageError{option + ": '" + text + "' is not a whole number"};
  return std::strtoul(text.c_str(), nullptr, 10);
}

RunOptions parseRunOptions(const std::vector<std::string>& arguments) {
  RunOptions options;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    std::string option = arguments[i];
    std::string value;
    bool hasValue = false;
    if (const std::size_t equals = option.find('=');
        option.rfind("--", 0) == 0 && equals != std::string::npos) {
      value = option.substr(equals + 1);
      option.erase(equals);
      hasValue = true;
    }
    const auto takeValue = [&]() {
      if (hasValue) return value;
      if (i + 1 >= arguments.size()) throw UsageError{option + " needs a value"};
      return arguments[++i];
    };
    if (option == "--module") {
      options.module = takeValue();
    } else if (option == "--dir-path") {
      options.dirPath = takeValue();
      if (options.dirPath.empty()) throw UsageError{"--dir-path: empty path"};
    } else if (option == "--folder") {
      options.folder = takeValue();
    } else if (option == "--meter") {
      options.meters.push_back(parseMeter(takeValue()));
    } else if (option == "--ticks") {
      options.ticks = parseCount(option, takeValue());
    } else if (option == "--tick-ms") {
      options.tickMs = parseCount(option, takeValue());
    } else {
      throw UsageError{"run: unknown option '" + arguments[i] + "'"};
    }
  }
  const std::string here = executableDirectory();
  if (options.module.empty()) options.module = here + kDefaultModuleName;
  if (options.dirPath.empty()) options.dirPath = here + "host";
  // As the module reads texts: a separator byte that is the second byte of a
  // double-byte character ends no directory.
  if (!rotavue::platform::endsInSeparator(options.dirPath) && options.dirPath.back() != '/')
    options.dirPath += kPathSeparator;
  if (options.folder.empty()) options.folder = here + "pictures";
  if (options.meters.empty()) {
    options.meters = {parseMeter("GetImage,demo"), parseMeter("returnCurrentImageName,demo"),
                      parseMeter("GetRandomImage,random")};
  }
  for (Meter& meter : options.meters) {
    if (meter.arity == Arity::kThreeTexts && meter.directory.empty())
      meter.directory = options.folder;
  }
  return options;
}

// The first line of the nickname's position file, or "(none)".
std::string positionLine(const std::string& dirPath, const std::string& nickname) {
  std::ifstream file(dirPath + nickname + "Rotavue.setup", std::ios::binary);
  if (!file) return "(none)";
  std::string line;
  std::getline(file, line);
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return quote(line);
}

int runCommand(RunOptions options) {
  Plugin plugin;
  std::string error;
  if (!plugin.load(options.module, error)) {
    std::cerr << kProgram << ": " << error << '\n';
    return 1;
  }
  const std::vector<std::string> offered = split(textOf(plugin.init()), '|');
  for (Meter& meter : options.meters) {
    bool listed = false;
    for (const std::string& name : offered) listed = listed || name == meter.function;
    meter.address = listed ? plugin.symbol(meter.function.c_str()) : nullptr;
    if (meter.address == nullptr) {
      std::cerr << kProgram << ": the module does not offer " << meter.function << '\n';
      return 1;
    }
  }
  std::error_code ignored;  // a missing directory shows in the module's results
  std::filesystem::create_directories(options.dirPath, ignored);
  std::string where;
  if (!publishDirPath(options.dirPath, where, error)) {
    std::cerr << kProgram << ": cannot publish DirPath: " << error << '\n';
    return 1;
  }
  std::cout << "module: " << options.module << '\n'
            << "DirPath: " << quote(options.dirPath) << " written to " << where << '\n';

  for (std::size_t i = 0; i < options.meters.size(); ++i) {
    Meter& meter = options.meters[i];
    meter.handle = plugin.dllstartup(0, static_cast<std::uint32_t>(i + 1));
    std::cout << "meter " << i + 1 << ": " << meter.function << " nickname "
              << quote(meter.nickname);
    if (meter.arity == Arity::kThreeTexts) std::cout << " directory " << quote(meter.directory);
    std::cout << " interval " << quote(meter.interval) << ", dllstartup -> handle " << meter.handle
              << '\n';
  }

  for (unsigned long tick = 1; tick <= options.ticks; ++tick) {
    for (Meter& meter : options.meters) {
      const std::string result = meter.call();
      if (meter.shown && result == meter.lastResult) continue;
      meter.shown = true;
      meter.lastResult = result;
      std::cout << "tick " << tick << ": " << meter.label() << " -> " << quote(result) << '\n'
                << "        position of " << meter.nickname << ": "
                << positionLine(options.dirPath, meter.nickname) << '\n';
    }
    std::cout.flush();
    if (tick < options.ticks) sleepMilliseconds(options.tickMs);
  }

  for (const Meter& meter : options.meters) {
    std::cout << "dllshutdown(" << meter.handle << ") for " << meter.label() << " -> "
              << plugin.dllshutdown(meter.handle) << '\n';
  }
  return 0;
}

int dispatch(const std::vector<std::string>& arguments) {
  if (arguments.empty()) throw UsageError{"missing command: info, run or check"};
  const std::string& command = arguments[0];
  const std::vector<std::string> rest(arguments.begin() + 1, arguments.end());
  for (const std::string& argument : arguments) {
    if (argument == "--help" || argument == "-h" || command == "help") {
      printUsage(std::cout);
      return 0;
    }
  }
  if (command == "--version") {
    if (!rest.empty()) throw UsageError{"--version takes no arguments"};
    std::cout << kProgram << ' ' << ROTAVUE_VERSION << '\n';
    return 0;
  }
  if (command == "info") {
    if (rest.size() > 1) throw UsageError{"info takes at most one MODULE"};
    if (!rest.empty() && rest[0].rfind("-", 0) == 0)
      throw UsageError{"info: unknown option '" + rest[0] + "'"};
    return infoCommand(rest.empty() ? executableDirectory() + kDefaultModuleName : rest[0]);
  }
  if (command == "run") return runCommand(parseRunOptions(rest));
  if (command == "check") {
    CheckOptions options;
    std::string problem;
    if (!parseCheckOptions(rest, options, problem)) throw UsageError{problem};
    return checkCommand(std::move(options));
  }
  throw UsageError{"unknown command '" + command + "'"};
}

}  // namespace
}  // namespace rotavue_host

int main(int argc, char** argv) {
  try {
    return rotavue_host::dispatch(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const rotavue_host::UsageError& error) {
    std::cerr << rotavue_host::kProgram << ": " << error.message << " (see --help)\n";
    return 2;
  } catch (const std::exception& error) {
    std::cerr << rotavue_host::kProgram << ": " << error.what() << '\n';
    return 1;
  }
}
