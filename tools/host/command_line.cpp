// The command line of rotavue-host, set up with CLI11.
//
// Each command is a subcommand with its own options and a short --help that
// ends with an example; what the commands share (where the defaults and the
// positions are, DirPath, every exit status) is told once, by the program's
// own --help. Options that several commands share are defined once, by the
// helpers below, so that every command that loads the module takes --module,
// and those that drive it --dir-path and (but for current) --folder alike.
// CLI11's own exit codes (100 and up) never leave this file: bad usage
// becomes a UsageError, a request for help the text to show.
#include "command_line.h"

#include <CLI/CLI.hpp>
#include <string>
#include <utility>
#include <vector>

#include "check_report.h"
#include "platform/platform.h"

namespace rotavue_host {

const char kProgramName[] = "rotavue-host";
const char kDefaultModuleName[] = ROTAVUE_MODULE_FILE_NAME;

namespace {

const char kExitStatuses[] =
    "Exit status: 0 done; 1 the module or DirPath failed, no image (next, random,\n"
    "shuffle, current), or the output could not be written; 2 bad usage; 3 a\n"
    "folder cannot be read (check, next, random, shuffle) or cannot be given to\n"
    "the module (no name in the ANSI code page and no short name); 130 or 143\n"
    "after SIGINT or SIGTERM (Ctrl-C) during run, next, random, shuffle or\n"
    "current, once it has cleaned up.\n";

// What the defaults of every command are, where they are looked for in each
// layout (layout.h) and where the positions live.
const char kWhereThingsAre[] =
    "The module and the example folder \"pictures\" are the ones that came with\n"
    "this program: beside it (a build tree, the Windows zip), else where a Linux\n"
    "install put them (rotavue/ in its library folder, and share/rotavue/).\n"
    "next, random, shuffle and current keep the positions in --dir-path, else\n"
    "in the host's DirPath when the host has one (so that a widget's nickname is\n"
    "shared), else in the per-user folder: %LOCALAPPDATA%\\Rotavue\\ on Windows,\n"
    "$XDG_STATE_HOME/rotavue/ or ~/.local/state/rotavue/ on Linux. run keeps its\n"
    "own in --dir-path, else in \"host\" beside the program (installed: in the\n"
    "per-user folder). Folders are taken in their absolute, normal form, letter\n"
    "case as written. Each command's --help ends with an example.\n";

const char kDirPathPlace[] =
    "The host keeps its folder in DirPath: on Windows the registry value\n"
    "HKEY_CURRENT_USER\\Software\\Glintora\\General\\DirPath; on Linux that value in\n"
    "the registry-export file $ROTAVUE_REGISTRY, else\n"
    "$XDG_CONFIG_HOME/glintora/registry.reg, else ~/.config/glintora/registry.reg.\n"
    "rotavue-host never changes it: a folder of its own is shown to the module of\n"
    "its own process alone (on Windows through a private registry key, on Linux\n"
    "through a private registry file), and the host's value stays as it was.\n";

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

// The defaults, in words that hold for the build tree, the Windows zip and
// an install alike, which keep them in different places (kWhereThingsAre).
const char kModuleDefault[] = "the module (default: this program's own)";
const char kPicturesDefault[] = "(default: the example folder)";

// A folder of the user's, as each system writes it, for the examples.
std::string picturesExample() {
  return rotavue::platform::kPathSeparator == '\\' ? "C:\\Users\\Ann\\Pictures" : "~/Pictures";
}

// A command's help after its options: what it does, its exit statuses in
// one line, and an example of one command.
std::string footer(const std::string& details, const std::string& exitStatuses,
                   const std::string& example) {
  return details + "Exit status: " + exitStatuses + "\n\nExample:\n  " + kProgramName + ' ' +
         example;
}

CLI::Option* addFolderOption(CLI::App& command, std::string& folder,
                             const std::string& description) {
  return command.add_option("--folder", folder, description)->type_name("DIR")->check(notEmpty());
}

CLI::Option* addModuleOption(CLI::App& command, std::string& module) {
  return command.add_option("--module", module, kModuleDefault)
      ->type_name("PATH")
      ->check(notEmpty());
}

// `name`, a plain argument that `command` takes into `value` in place of
// `option`; giving both is bad usage, checked once the command is parsed
// (the one use of its callback).
void addPlainAlias(CLI::App& command, const std::string& name, std::string& value,
                   const CLI::Option* option, const std::string& description) {
  const CLI::Option* alias =
      command.add_option(name, value, description)->type_name("")->check(notEmpty());
  command.parse_complete_callback([alias, option, name] {
    if (alias->count() > 0 && option->count() > 0)
      throw CLI::ValidationError("give " + name + " or " + option->get_name() + ", not both");
  });
}

// The options of every command that loads the module and gives it a DirPath
// of its own; `dirPathDefault` says where the position files live without
// --dir-path.
void addModuleOptions(CLI::App& command, ModuleOptions& options,
                      const std::string& dirPathDefault) {
  addModuleOption(command, options.module);
  command
      .add_option("--dir-path", options.dirPath,
                  "the folder of the position files, shown as DirPath\n" + dirPathDefault)
      ->type_name("PATH")
      ->check(notEmpty());
}

CLI::App* addInfoCommand(CLI::App& app, InfoOptions& options) {
  CLI::App* info = app.add_subcommand("info", "print what the module offers the host");
  addPlainAlias(*info, "MODULE", options.module, addModuleOption(*info, options.module),
                "the same as --module");
  info->footer(
      footer("Prints the function list (init), the parameters of each function (getparam),\n"
             "the information table rows 0 to 6 (getinfo) and the plug-in type (dlltype).\n",
             "0 done, 1 module not loaded or output not written, 2 bad usage.",
             std::string("info --module ") + kDefaultModuleName));
  return info;
}

CLI::App* addRunCommand(CLI::App& app, RunOptions& options) {
  CLI::App* run = app.add_subcommand("run", "drive meters through the host's update loop");
  addModuleOptions(*run, options.shared, "(default: \"host\" beside it; installed: per-user)");
  addFolderOption(*run, options.shared.folder,
                  std::string("the image folder of meters without DIRECTORY\n") + kPicturesDefault);
  run->add_option("--meter", options.meters, "a meter, repeatable (see SPEC below)")
      ->type_name("SPEC")
      ->allow_extra_args(false);
  run->add_option("--ticks", options.ticks, "number of update-loop ticks (default 6)")
      ->type_name("N")
      ->check(wholeNumber());
  run->add_option("--tick-ms", options.tickMs, "milliseconds between ticks (default 1000)")
      ->type_name("MS")
      ->check(wholeNumber());
  run->footer(
      footer("Calls dllstartup once per meter, then each meter's function at every tick,\n"
             "printing its result when it changes, with the nickname's position line, and\n"
             "dllshutdown at the end. A SPEC is FUNCTION,NICKNAME[,DIRECTORY[,INTERVAL]], or\n"
             "FUNCTION,NICKNAME[,INTERVAL] for returnCurrentImage(Name); DIRECTORY defaults\n"
             "to --folder, INTERVAL (seconds) to 0. Without --meter: GetImage,demo\n"
             "returnCurrentImageName,demo GetRandomImage,random GetShuffledImage,shuffle.\n",
             "0 done, 1 failed, 2 bad usage, 3 bad folder, 130/143 stopped.",
             "run --folder " + picturesExample() + " --meter GetImage,desk"));
  return run;
}

CLI::App* addCheckCommand(CLI::App& app, CheckOptions& options) {
  CLI::App* check =
      app.add_subcommand("check", "tell what the rotation shows of a folder, and why not more");
  addPlainAlias(*check, "DIR", options.folder,
                addFolderOption(*check, options.folder, "the same as DIR"),
                std::string("the folder ") + kPicturesDefault);
  check->add_flag("--all", options.all, "list every entry")->disable_flag_override();
  check->add_flag("--json", options.json, "print one JSON object (UTF-8) instead")
      ->disable_flag_override();
  check->footer(footer(checkHelpText(),
                       "0 done, 1 output not written, 2 bad usage, 3 DIR cannot be read.",
                       "check " + picturesExample()));
  return check;
}

// next, random, shuffle and current, which `parsed` marks with their
// function when CLI11 selects them.
CLI::App* addOneShotCommand(CLI::App& app, OneShotOptions& options, OneShot function,
                            const std::string& name, const std::string& description,
                            const std::string& details) {
  CLI::App* command = app.add_subcommand(name, description);
  addModuleOptions(*command, options.shared, "(default: the host's, else the per-user folder)");
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
  const std::string example = name + " --nickname desk";
  command->footer(
      footer(details,
             function == OneShot::kCurrent
                 ? "0 printed, 1 no image or none stored, 2 bad usage, 130/143 stopped."
                 : "0 printed, 1 no image, 2 bad usage, 3 bad DIR, 130/143 stopped.",
             function == OneShot::kCurrent ? example : example + " --folder " + picturesExample()));
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
  app.footer(std::string(kWhereThingsAre) + "\n" + kDirPathPlace + "\n" + kExitStatuses);
  const std::pair<const CLI::App*, Command> commands[] = {
      {addInfoCommand(app, line.info), Command::kInfo},
      {addRunCommand(app, line.run), Command::kRun},
      {addCheckCommand(app, line.check), Command::kCheck},
      {addOneShotCommand(
           app, line.oneShot, OneShot::kNext, "next",
           "print the next image of a rotation, and move it on",
           "Runs one refresh of GetImage over DIR and prints the image's full path as one\n"
           "line, in UTF-8. It moves the shared rotation: a widget with the same nickname\n"
           "shows the image after it at its next refresh. At the wrap-around it refreshes\n"
           "once more and prints the first image (--wrap-marker: the empty line instead);\n"
           "a name that is no file is passed over with a warning. Any other answer goes\n"
           "to standard error as \"rotavue-host: PATH: MESSAGE\". Calls of next,\n"
           "random and shuffle on one nickname take turns.\n"),
       Command::kOneShot},
      {addOneShotCommand(
           app, line.oneShot, OneShot::kRandom, "random",
           "print a random image, stored as the rotation's place",
           "Runs one refresh of GetRandomImage over DIR and prints the image's full path\n"
           "as one line, in UTF-8; it becomes the nickname's position, as a widget's\n"
           "random pick does. The pick depends only on the clock's second, the nickname\n"
           "and the number of images, so that meters refreshing together agree: calls\n"
           "of one nickname within the same second print the same image. Any other\n"
           "answer goes to standard error as \"rotavue-host: PATH: MESSAGE\".\n"),
       Command::kOneShot},
      {addOneShotCommand(
           app, line.oneShot, OneShot::kShuffle, "shuffle",
           "print the next image of a shuffle: every image once per cycle",
           "Runs one refresh of GetShuffledImage over DIR and prints the image's full\n"
           "path as one line, in UTF-8; it becomes the nickname's position. Each image\n"
           "comes once per cycle, in an order of the nickname's own that every cycle\n"
           "draws anew; the cycle's state lives beside the position, in\n"
           "<nickname>Rotavue.cycle, so it goes on across restarts. A name that is no\n"
           "file is passed over with a warning. Any other answer goes to standard error\n"
           "as \"rotavue-host: PATH: MESSAGE\". Calls on one nickname take turns.\n"),
       Command::kOneShot},
      {addOneShotCommand(
           app, line.oneShot, OneShot::kCurrent, "current",
           "print the image at which a rotation stands",
           "Runs one refresh of returnCurrentImage and prints the image stored as the\n"
           "nickname's position, which the last refresh of any meter or command with\n"
           "this nickname showed, as one line, in UTF-8. It lists no folder.\n"),
       Command::kOneShot}};
  std::string helpTopic;
  CLI::App* help = app.add_subcommand("help", "print this usage, or that of COMMAND");
  const std::vector<std::string> topics = {"info",   "run",     "check",  "next",
                                           "random", "shuffle", "current"};
  help->add_option("COMMAND", helpTopic, "info, run, check, next, random, shuffle or current")
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
