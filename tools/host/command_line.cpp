// The command line of rotavue-host, set up with CLI11.
//
// Each command is a subcommand with its own options and --help. Options that
// several commands share are defined once, by the helpers below, so that
// every command that drives the module takes --module, --dir-path and
// --folder alike. CLI11's own exit codes (100 and up) never leave this
// file: bad usage becomes a UsageError, a request for help the text to show.
#include "command_line.h"

#include <CLI/CLI.hpp>
#include <string>
#include <utility>
#include <vector>

#include "check_report.h"

namespace rotavue_host {

const char kProgramName[] = "rotavue-host";
const char kDefaultModuleName[] = ROTAVUE_MODULE_FILE_NAME;

namespace {

const char kExitStatuses[] =
    "Exit status: 0 done; 1 the module or DirPath failed, or the output could not\n"
    "be written; 2 bad usage; 3 a folder cannot be read (check) or cannot be given\n"
    "to the module (no name in the ANSI code page and no short name).\n";

// An empty path would name the current folder, or the root of the drive.
CLI::Validator notEmpty() {
  return CLI::Validator(
      [](const std::string& value) { return value.empty() ? std::string("empty path") : ""; }, "",
      "not empty");
}

// Digits only, at most nine: no sign, no base, no overflow.
CLI::Validator wholeNumber() {
  return CLI::Validator(
      [](const std::string& value) {
        const bool digits = !value.empty() && value.size() <= 9 &&
                            value.find_first_not_of("0123456789") == std::string::npos;
        return digits ? std::string() : "'" + value + "' is not a whole number";
      },
      "", "whole number");
}

std::string besideProgram(const std::string& what) {
  return "(default: " + what + " beside this program)";
}

void addFolderOption(CLI::App& command, std::string& folder, const std::string& description) {
  command.add_option("--folder", folder, description)->type_name("DIR")->check(notEmpty());
}

// The options of every command that loads the module and starts meters.
void addModuleOptions(CLI::App& command, ModuleOptions& options) {
  command
      .add_option("--module", options.module,
                  "the module " + besideProgram(std::string(kDefaultModuleName)))
      ->type_name("PATH")
      ->check(notEmpty());
  command
      .add_option("--dir-path", options.dirPath,
                  "the host directory published as DirPath, where the position\n"
                  "files live; created; a trailing separator is added\n" +
                      besideProgram("the folder \"host\""))
      ->type_name("PATH")
      ->check(notEmpty());
  addFolderOption(command, options.folder,
                  "the image folder of meters without DIRECTORY\n" +
                      besideProgram("the example folder \"pictures\""));
}

const char kDirPathPlace[] =
    "DirPath is written as the host writes it: on Windows to the registry value\n"
    "HKEY_CURRENT_USER\\Software\\Glintora\\General\\DirPath, in UTF-16; on Linux to\n"
    "the registry-export file $ROTAVUE_REGISTRY, else\n"
    "$XDG_CONFIG_HOME/glintora/registry.reg, else ~/.config/glintora/registry.reg.\n";

const char kRunDetails[] =
    "Publishes DirPath, calls dllstartup once per meter, then on every tick calls\n"
    "each meter's function and prints its result whenever it changes, with the\n"
    "nickname's position line (first line of <DirPath><nickname>Rotavue.setup, or\n"
    "\"(none)\"); at the end calls dllshutdown for each meter.\n"
    "\n"
    "SPEC has comma-separated fields:\n"
    "  GetImage,NICKNAME[,DIRECTORY[,INTERVAL]]\n"
    "  GetRandomImage,NICKNAME[,DIRECTORY[,INTERVAL]]\n"
    "  ChangeWallpaper,NICKNAME[,DIRECTORY[,INTERVAL]]\n"
    "  returnCurrentImage,NICKNAME[,INTERVAL]\n"
    "  returnCurrentImageName,NICKNAME[,INTERVAL]\n"
    "DIRECTORY defaults to --folder, INTERVAL (seconds, passed as text) to 0.\n"
    "Fields are split at \",\" so drive letters (C:\\pictures) are fine; a\n"
    "DIRECTORY holding \",\" is not. Without --meter: GetImage,demo\n"
    "returnCurrentImageName,demo GetRandomImage,random, all over --folder with\n"
    "interval 0. Folders reach the module in the ANSI code page, as their exact\n"
    "name or else their short name.\n";

CLI::App* addInfoCommand(CLI::App& app, InfoOptions& options) {
  CLI::App* info = app.add_subcommand("info", "print what the module offers the host");
  info->add_option("MODULE", options.module,
                   "the module " + besideProgram(std::string(kDefaultModuleName)))
      ->check(notEmpty());
  info->footer(
      "Prints the function list (init), the parameters of each function (getparam),\n"
      "the information table rows 0 to 6 (getinfo) and the plug-in type (dlltype).\n"
      "\n" +
      std::string(kExitStatuses));
  return info;
}

CLI::App* addRunCommand(CLI::App& app, RunOptions& options) {
  CLI::App* run = app.add_subcommand("run", "drive meters through the host's update loop");
  addModuleOptions(*run, options.shared);
  run->add_option("--meter", options.meters, "a meter, repeatable (see SPEC below)")
      ->type_name("SPEC")
      ->allow_extra_args(false);
  run->add_option("--ticks", options.ticks, "number of update-loop ticks (default 6)")
      ->type_name("N")
      ->check(wholeNumber());
  run->add_option("--tick-ms", options.tickMs, "milliseconds between ticks (default 1000)")
      ->type_name("MS")
      ->check(wholeNumber());
  run->footer(std::string(kRunDetails) + "\n" + kDirPathPlace + "\n" + kExitStatuses);
  return run;
}

CLI::App* addCheckCommand(CLI::App& app, CheckOptions& options) {
  CLI::App* check =
      app.add_subcommand("check", "tell what the rotation shows of a folder, and why not more");
  addFolderOption(*check, options.folder,
                  "the folder " + besideProgram("the example folder \"pictures\""));
  check->add_flag("--all", options.all, "list every entry")->disable_flag_override();
  check->add_flag("--json", options.json, "print one JSON object (UTF-8) instead")
      ->disable_flag_override();
  check->footer(checkHelpText() + "\n" + kExitStatuses);
  return check;
}

}  // namespace

CommandLine parseCommandLine(const std::vector<std::string>& arguments) {
  CommandLine line;
  if (!arguments.empty() && arguments[0] == "--version") {
    if (arguments.size() > 1) throw UsageError{"--version takes no arguments"};
    line.text = std::string(kProgramName) + ' ' + ROTAVUE_VERSION + '\n';
    return line;
  }

  CLI::App app(
      "Plays the Glintora host for the Rotavue module: loads the module at run time\n"
      "and calls its exports by name, as the host does.\n",
      kProgramName);
  app.require_subcommand(1);
  app.add_flag("--version", "print the version (the only argument)");
  app.footer(std::string(kDirPathPlace) + "\n" + kExitStatuses);
  const std::pair<const CLI::App*, Command> commands[] = {
      {addInfoCommand(app, line.info), Command::kInfo},
      {addRunCommand(app, line.run), Command::kRun},
      {addCheckCommand(app, line.check), Command::kCheck}};
  std::string helpTopic;
  CLI::App* help = app.add_subcommand("help", "print this usage, or that of COMMAND");
  help->add_option("COMMAND", helpTopic, "info, run or check")
      ->check(CLI::IsMember({"info", "run", "check"}));

  // CLI11 takes the arguments last first.
  std::vector<std::string> reversed(arguments.rbegin(), arguments.rend());
  try {
    app.parse(reversed);
  } catch (const CLI::CallForHelp&) {
    line.text = app.help();  // the selected command's, if any
    return line;
  } catch (const CLI::ParseError& error) {
    throw UsageError{error.what()};
  }
  for (const auto& [command, which] : commands)
    if (command->parsed()) line.command = which;
  if (help->parsed()) {
    line.text = helpTopic.empty()
                    ? app.get_formatter()->make_help(&app, kProgramName, CLI::AppFormatMode::Normal)
                    : app.get_subcommand(helpTopic)->help(kProgramName);
  }
  return line;
}

}  // namespace rotavue_host
