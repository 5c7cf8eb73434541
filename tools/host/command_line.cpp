// The command line of rotavue-host, set up with CLI11.
//
// Each command is a subcommand with its own options and --help. Options that
// several commands share are defined once, by the helpers below, so that
// every command that drives the module takes --module, --dir-path and
// (but for current) --folder alike. CLI11's own exit codes (100 and up) never leave this
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
    "Exit status: 0 done; 1 the module or DirPath failed, no image (next, random,\n"
    "current), or the output could not be written; 2 bad usage; 3 a folder cannot\n"
    "be read (check, next, random) or cannot be given to the module (no name in\n"
    "the ANSI code page and no short name); 130 or 143 after SIGINT or SIGTERM\n"
    "(Ctrl-C) during run, next, random or current, once it has cleaned up.\n";

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

CLI::Option* addFolderOption(CLI::App& command, std::string& folder,
                             const std::string& description) {
  return command.add_option("--folder", folder, description)->type_name("DIR")->check(notEmpty());
}

// The options of every command that loads the module; `dirPathDefault`
// says where the position files live without --dir-path.
void addModuleOptions(CLI::App& command, ModuleOptions& options,
                      const std::string& dirPathDefault) {
  command
      .add_option("--module", options.module,
                  "the module " + besideProgram(std::string(kDefaultModuleName)))
      ->type_name("PATH")
      ->check(notEmpty());
  command
      .add_option("--dir-path", options.dirPath,
                  "the folder of the position files, shown to the module as\n"
                  "DirPath; created; a trailing separator is added\n" +
                      dirPathDefault)
      ->type_name("PATH")
      ->check(notEmpty());
}

const char kDirPathPlace[] =
    "The host keeps its folder in DirPath: on Windows the registry value\n"
    "HKEY_CURRENT_USER\\Software\\Glintora\\General\\DirPath; on Linux that value in\n"
    "the registry-export file $ROTAVUE_REGISTRY, else\n"
    "$XDG_CONFIG_HOME/glintora/registry.reg, else ~/.config/glintora/registry.reg.\n"
    "rotavue-host never changes it: a folder of its own is shown to the module of\n"
    "its own process alone (on Windows through a private registry key, on Linux\n"
    "through a private registry file), and the host's value stays as it was.\n";

const char kOneShotDetails[] =
    "The result goes to standard output as one line, in UTF-8: the image's full\n"
    "path. An answer that is no image (a message, a tree without images, no\n"
    "position stored) goes to standard error instead, as \"rotavue-host: PATH:\n"
    "MESSAGE\", with exit status 1. Folders are taken in their absolute, normal\n"
    "form. next and random wait for each other's calls on the same nickname.\n"
    "\n"
    "The position files live in --dir-path. Without it, in the host's DirPath\n"
    "when the host has one, so that a widget's nickname is shared; else in the\n"
    "per-user folder: %LOCALAPPDATA%\\Rotavue\\ on Windows, $XDG_STATE_HOME/rotavue/\n"
    "or ~/.local/state/rotavue/ on Linux.\n";

const char kNextDetails[] =
    "Runs one refresh of GetImage (interval 0) over --folder. It moves the shared\n"
    "rotation: a widget with the same nickname shows, at its next refresh, the\n"
    "image after the one printed. At the wrap-around (the module answers \"\", or\n"
    "the message of a sub-folder it could not read, and stores \"#\") it refreshes\n"
    "once more and prints the first image; a message seen there is a warning on\n"
    "standard error. --wrap-marker prints the empty line instead. A name that is\n"
    "no file (a dangling link) is a warning too, and the next one is taken.\n";

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
  addModuleOptions(*run, options.shared, besideProgram("the folder \"host\""));
  addFolderOption(*run, options.shared.folder,
                  "the image folder of meters without DIRECTORY\n" +
                      besideProgram("the example folder \"pictures\""));
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

// next, random and current, which `parsed` marks with their function when
// CLI11 selects them.
CLI::App* addOneShotCommand(CLI::App& app, OneShotOptions& options, OneShot function,
                            const std::string& name, const std::string& description,
                            const std::string& details) {
  CLI::App* command = app.add_subcommand(name, description);
  addModuleOptions(*command, options.shared,
                   "(default: the host's DirPath, else the per-user folder)");
  if (function != OneShot::kCurrent)
    addFolderOption(*command, options.shared.folder, "the image folder")->required();
  command->add_option("--nickname", options.nickname, "the rotation's nickname")
      ->type_name("NAME")
      ->required()
      ->check(CLI::Validator(
          [](const std::string& value) { return value.empty() ? std::string("empty") : ""; }, "",
          "not empty"));
  if (function == OneShot::kNext)
    command->add_flag("--wrap-marker", options.wrapMarker, "print the wrap-around's empty line")
        ->disable_flag_override();
  command->parse_complete_callback([&options, function] { options.function = function; });
  command->footer(details + "\n" + kOneShotDetails + "\n" + kDirPathPlace + "\n" + kExitStatuses);
  return command;
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
      {addCheckCommand(app, line.check), Command::kCheck},
      {addOneShotCommand(app, line.oneShot, OneShot::kNext, "next",
                         "print the next image of a rotation, and move it on", kNextDetails),
       Command::kOneShot},
      {addOneShotCommand(
           app, line.oneShot, OneShot::kRandom, "random",
           "print a random image, stored as the rotation's place",
           "Runs one refresh of GetRandomImage (interval 0) over --folder; the\n"
           "image becomes the nickname's position, as a widget's random pick does.\n"
           "The pick depends only on the clock's second and the number of images,\n"
           "so calls within the same second print the same image, as meters that\n"
           "refresh together show the same one.\n"),
       Command::kOneShot},
      {addOneShotCommand(app, line.oneShot, OneShot::kCurrent, "current",
                         "print the image at which a rotation stands",
                         "Runs one refresh of returnCurrentImage: the image stored as the\n"
                         "nickname's position, which the last refresh of any meter or command\n"
                         "with this nickname showed. It lists no folder.\n"),
       Command::kOneShot}};
  std::string helpTopic;
  CLI::App* help = app.add_subcommand("help", "print this usage, or that of COMMAND");
  const std::vector<std::string> topics = {"info", "run", "check", "next", "random", "current"};
  help->add_option("COMMAND", helpTopic, "info, run, check, next, random or current")
      ->check(CLI::IsMember(topics));

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
