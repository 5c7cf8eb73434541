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
#include <algorithm>
#include <cctype>
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
    "shuffle, current), run's host folder cannot be written, --wallpaper failed\n"
    "(Windows), next, random or shuffle gave up waiting for the lock (--wait), or\n"
    "the output could not be written; 2 bad usage, or no arguments; 3 a folder\n"
    "cannot be read or resolved (check, next, random, shuffle) or cannot be given\n"
    "to the module (no name in the ANSI code page and no short name); 128 and the\n"
    "signal's number (130 Ctrl-C, 143 SIGTERM, 129 SIGHUP, 131 SIGQUIT) when a\n"
    "signal stopped run, next, random, shuffle or current, once it has cleaned up.\n";

// Which files count as images and which folders the walks pass over, in one
// line that the help of every command that walks a folder ends its text
// with (docs/host.md tells the rest: system folders, junctions, cloud
// files).
const char kImagesAndSkippedFolders[] =
    "Images: .jpg .bmp .gif .ico .png, any case; hidden and linked folders skipped.\n";

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
    "own in --dir-path, else in \"host\" beside the program (installed, or where\n"
    "that cannot be written: in the per-user folder). Folders are taken in their\n"
    "absolute, normal form, letter case as written. Each command's --help ends\n"
    "with an example.\n";

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

// A folder whose name is stored in a position file's line.
CLI::Validator storable() { return CLI::Validator(lineBreakProblem, "", "no line break"); }

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

// The tool sets the desktop wallpaper itself on Windows, whose desktop has
// one way to do it; on Linux each desktop has its own tool, which a script
// gives the path printed.
bool wallpaperOffered() { return rotavue::platform::kPathSeparator == '\\'; }

const char kWallpaperOption[] =
    "also set it as the wallpaper; STYLE: fill, fit,\n"
    "stretch, tile, center, span (default: the user's)";
const char kWallpaperRecipes[] =
    "For the wallpaper, give the path to the desktop's own tool (docs/scripting.md).\n";

// --wallpaper [STYLE] of `command`, where it is offered; on Linux the
// command's help points to the recipes instead.
void addWallpaperOption(CLI::App& command, OneShotOptions& options, std::string& details) {
  if (!wallpaperOffered()) {
    details += kWallpaperRecipes;
    return;
  }
  const CLI::Option* wallpaper =
      command.add_option("--wallpaper", options.wallpaperStyle, kWallpaperOption)
          ->type_name("[STYLE]")
          ->expected(0, 1)
          ->check(
              CLI::IsMember({"fill", "fit", "stretch", "tile", "center", "span"}, CLI::ignore_case)
                  .description(""));
  // IsMember checks the letter case away but keeps the value as given.
  command.final_callback([&options, wallpaper] {
    options.wallpaper = wallpaper->count() > 0;
    for (char& c : options.wallpaperStyle)
      c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  });
}

// The commands and an example, for a program started without arguments.
std::string shortHelp(const CLI::App& app) {
  std::string text = std::string("Usage: ") + kProgramName + " COMMAND [OPTIONS]\n\nCommands:\n";
  for (const CLI::App* command : app.get_subcommands([](const CLI::App*) { return true; })) {
    const std::string& name = command->get_name();
    text += "  " + name + std::string(name.size() < 10 ? 10 - name.size() : 1, ' ') +
            command->get_description() + '\n';
  }
  return text + "\nExample:\n  " + kProgramName + " next --nickname desk --folder " +
         picturesExample() + "\n\nEvery option and exit status: " + kProgramName +
         " --help; a command's: " + kProgramName + " COMMAND --help\n";
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
  return command.add_option("--folder", folder, description)
      ->type_name("DIR")
      ->check(notEmpty())
      ->check(storable());
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
      ->check(notEmpty())
      ->check(storable());
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
  addModuleOptions(*run, options.shared, "(default: \"host\" beside it, else per-user)");
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
  run->footer(footer(
      std::string(
          "Calls dllstartup once per meter, then each meter's function at every tick,\n"
          "printing each changed result with its position line; dllshutdown at the end.\n"
          "SPEC: FUNCTION,NICKNAME[,DIRECTORY[,INTERVAL]], or FUNCTION,NICKNAME[,INTERVAL]\n"
          "for returnCurrentImage[Name]; DIRECTORY defaults to --folder, INTERVAL to 0 s.\n"
          "Without --meter: GetImage,demo returnCurrentImageName,demo GetRandomImage,random\n"
          "GetShuffledImage,shuffle.\n") +
          kImagesAndSkippedFolders,
      "0 done, 1 failed, 2 bad usage, 3 bad folder, 128+N stopped.",
      "run --folder " + picturesExample() + " --meter GetImage,desk"));
  return run;
}

CLI::App* addCheckCommand(CLI::App& app, CheckOptions& options) {
  CLI::App* check = app.add_subcommand("check", "tell what a rotation shows of a folder, and why");
  addPlainAlias(*check, "DIR", options.folder,
                addFolderOption(*check, options.folder, "the same as DIR"),
                std::string("the folder ") + kPicturesDefault);
  check->add_flag("--all", options.all, "list every entry")->disable_flag_override();
  check->add_flag("--json", options.json, "print one JSON object (UTF-8) instead")
      ->disable_flag_override();
  check->footer(footer(checkHelpText() + kImagesAndSkippedFolders,
                       "0 done, 1 output not written, 2 bad usage, 3 DIR cannot be read.",
                       "check " + picturesExample()));
  return check;
}

// next, random, shuffle and current, which `parsed` marks with their
// function when CLI11 selects them.
CLI::App* addOneShotCommand(CLI::App& app, OneShotOptions& options, OneShot function,
                            const std::string& name, const std::string& description,
                            std::string details) {
  CLI::App* command = app.add_subcommand(name, description);
  addModuleOptions(*command, options.shared, "(default: the host's, else the per-user folder)");
  if (function != OneShot::kCurrent)
    addFolderOption(*command, options.shared.folder, "the image folder")->required();
  command->add_option("--nickname", options.nickname, "the rotation's nickname")
      ->type_name("NAME")
      ->required()
      ->check(CLI::Validator(nicknameProblem, "", "a name inside DirPath"));
  if (function != OneShot::kCurrent)
    command
        ->add_option("--wait", options.waitSeconds,
                     "how long to wait for the lock (default " +
                         std::to_string(kDefaultWaitSeconds) + "; 0: no)")
        ->type_name("SECONDS")
        ->check(wholeNumber());
  if (function == OneShot::kNext)
    command->add_flag("--wrap-marker", options.wrapMarker, "print the wrap-around's empty line")
        ->disable_flag_override();
  addWallpaperOption(*command, options, details);
  command->parse_complete_callback([&options, function] { options.function = function; });
  const std::string example = name + " --nickname desk";
  command->footer(
      footer(function == OneShot::kCurrent ? details : details + kImagesAndSkippedFolders,
             function == OneShot::kCurrent
                 ? "0 printed, 1 no image or none stored, 2 bad usage, 128+N stopped."
                 : "0 printed, 1 no image, 2 bad usage, 3 bad DIR, 128+N stopped.",
             function == OneShot::kCurrent ? example : example + " --folder " + picturesExample()));
  return command;
}

// The command that `arguments` name before CLI11 parses them, so that an
// unknown one is named: the program takes no option with a value, so its
// first argument that is no option is the command.
void checkCommandName(const CLI::App& app, const std::vector<std::string>& arguments) {
  const auto command = std::find_if(arguments.begin(), arguments.end(),
                                    [](const std::string& a) { return a.empty() || a[0] != '-'; });
  if (command == arguments.end()) return;
  std::vector<std::string> names;
  for (const CLI::App* known : app.get_subcommands([](const CLI::App*) { return true; }))
    names.push_back(known->get_name());
  if (std::find(names.begin(), names.end(), *command) != names.end()) return;
  std::string list;
  for (std::size_t i = 0; i < names.size(); ++i)
    list += (i == 0 ? "" : i + 1 == names.size() ? " and " : ", ") + names[i];
  throw UsageError{"'" + *command + "' is no command; the commands are " + list};
}

}  // namespace

std::string lineBreakProblem(const std::string& text) {
  return text.find_first_of("\r\n") == std::string::npos
             ? std::string()
             : "holds a line break (CR or LF), which a position file's line cannot hold";
}

std::string nicknameProblem(const std::string& nickname) {
  if (nickname.empty()) return "empty";
  if (!lineBreakProblem(nickname).empty()) return lineBreakProblem(nickname);
  const std::string separators =
      rotavue::platform::kPathSeparator == '/' ? std::string("/") : std::string("\\/");
  const char first = nickname[0];
  const char* problem = nullptr;
  if (separators.find(first) != std::string::npos) {
    problem = "starts with a separator";
  } else if (nickname.size() >= 2 && nickname[1] == ':' &&
             ((first >= 'A' && first <= 'Z') || (first >= 'a' && first <= 'z'))) {
    problem = "starts with a drive";
  } else {
    for (std::size_t start = 0; start != std::string::npos;) {
      const std::size_t end = nickname.find_first_of(separators, start);
      if (nickname.compare(start, end == std::string::npos ? end : end - start, "..") == 0)
        problem = "has a '..' part";
      start = end == std::string::npos ? end : end + 1;
    }
  }
  if (problem == nullptr) return std::string();
  std::string text = "'";
  text.append(nickname).append("' ").append(problem);
  return text.append(", which would put its position file outside DirPath");
}

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
  // Before the commands, which take it over: -? as Windows users type it
  // (/? there, as CLI11 takes /option for --option on Windows).
  app.set_help_flag("-h,-?,--help", "Print this help message and exit");
  app.add_flag("--version", "print the version (the only argument)");
  app.footer(std::string(kWhereThingsAre) + "\n" + kDirPathPlace + "\n" + kExitStatuses);
  const std::pair<const CLI::App*, Command> commands[] = {
      {addInfoCommand(app, line.info), Command::kInfo},
      {addRunCommand(app, line.run), Command::kRun},
      {addCheckCommand(app, line.check), Command::kCheck},
      {addOneShotCommand(
           app, line.oneShot, OneShot::kNext, "next",
           "print the next image of a rotation, and move it on",
           "Runs one refresh of GetImage over DIR and prints the image's full path, in\n"
           "UTF-8; a widget with the same nickname then shows the image after it. At the\n"
           "wrap-around it refreshes again and prints the first image (--wrap-marker: an\n"
           "empty line); a name that is no file is passed over with a warning. Other\n"
           "answers go to standard error as \"rotavue-host: PATH: MESSAGE\". Calls on one\n"
           "folder of positions take turns, each waiting at most --wait.\n"),
       Command::kOneShot},
      {addOneShotCommand(
           app, line.oneShot, OneShot::kRandom, "random",
           "print a random image, stored as the position",
           "Runs one refresh of GetRandomImage over DIR and prints the image's full path\n"
           "as one line, in UTF-8; it becomes the nickname's position, as a widget's\n"
           "random pick does. The pick depends only on the clock's second, the nickname\n"
           "and the number of images, so that meters refreshing together agree: calls\n"
           "of one nickname within the same second print the same image. Any other\n"
           "answer goes to standard error as \"rotavue-host: PATH: MESSAGE\".\n"),
       Command::kOneShot},
      {addOneShotCommand(
           app, line.oneShot, OneShot::kShuffle, "shuffle",
           "print a shuffle's next image, each once per cycle",
           "Runs one refresh of GetShuffledImage over DIR and prints the image's full\n"
           "path, in UTF-8; it becomes the nickname's position. Each image comes once per\n"
           "cycle, in an order of the nickname's own drawn anew each cycle; the cycle's\n"
           "state lives in <nickname>Rotavue.cycle beside the position, across restarts.\n"
           "A name that is no file is passed over with a warning. Other answers go to\n"
           "standard error as \"rotavue-host: PATH: MESSAGE\". Calls on one folder of\n"
           "positions take turns, each waiting at most --wait.\n"),
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

  if (arguments.empty()) {
    line.command = Command::kShortHelp;
    line.text = shortHelp(app);
    return line;
  }
  checkCommandName(app, arguments);

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
