// `rotavue-host next`, `random` and `current`: one refresh of GetImage,
// GetRandomImage or returnCurrentImage through the module, for a script.
// Standard output gets the image's full path and a line end, or nothing:
// every answer that is no image (answer.h) goes to standard error, with
// exit status 1. A refresh of `next` that wraps around is followed by one
// more, so that a script always gets an image.
//
// The tool never changes the host's settings. The position files live in
// --dir-path; without it in the host's own DirPath, which the module then
// reads as it is (so that `next --nickname desk` moves the widget "desk"),
// or, when the host has none, in the per-user folder. A folder of the
// tool's own is shown to this process's module alone (PrivateDirPath).
#include <filesystem>
#include <iostream>
#include <string>
#include <system_error>

#include "answer.h"
#include "commands.h"
#include "module.h"
#include "platform/platform.h"
#include "plugin.h"
#include "position/position.h"

namespace rotavue_host {

namespace {

// Every call refreshes.
const char kInterval[] = "0";

// True when the host has published a DirPath, looked up as the module looks
// it up: the key and the value exist, whatever they hold (the module reports
// a value it cannot use).
bool hostHasDirPath() {
  return rotavue::platform::readUserRegistryValue(rotavue::kRegistryKey,
                                                  rotavue::kRegistryValueName)
             .status != rotavue::platform::RegistryValue::Status::kUnavailable;
}

// Shows the module where the position files live: --dir-path, else the
// host's DirPath as it is, else the per-user folder.
bool publishPositionFolder(const std::string& given, PrivateDirPath& published) {
  std::string dirPath = given;
  if (dirPath.empty()) {
    if (hostHasDirPath()) return true;
    dirPath = perUserDirectory();
    if (dirPath.empty()) {
      std::cerr << kProgramName
                << ": the host has no DirPath, and the environment names no per-user folder "
                   "(LOCALAPPDATA, XDG_STATE_HOME or HOME); give --dir-path\n";
      return false;
    }
  }
  return publishOwnDirPath(dirPath, published);
}

// An instance of the module, shut down at the end.
class Meter {
 public:
  explicit Meter(const Plugin& plugin) : plugin_(plugin), handle_(plugin.dllstartup(0, 1)) {}
  ~Meter() { plugin_.dllshutdown(handle_); }
  Meter(const Meter&) = delete;
  Meter& operator=(const Meter&) = delete;
  std::uint32_t handle() const { return handle_; }

 private:
  const Plugin& plugin_;
  std::uint32_t handle_;
};

// The module's texts are ANSI; a null text (which the module never returns)
// is a message like any other.
std::string answerText(const char* text) { return text != nullptr ? text : "(null)"; }

int printImage(const std::string& ansi) {
  std::cout << rotavue::platform::ansiToUtf8(ansi) << '\n';
  return kExitDone;
}

// A message instead of an image, on standard error; exit status 1.
int failure(const std::string& message) {
  std::cerr << kProgramName << ": " << message << '\n';
  return kExitFailed;
}

// What the module answered instead of an image.
std::string messageOf(const std::string& ansi) {
  const std::string text = rotavue::platform::ansiToUtf8(ansi);
  return namesImage(ansi) ? text + ": no such image (gone since it was stored?)" : text;
}

}  // namespace

bool publishOwnDirPath(std::string& dirPath, PrivateDirPath& published) {
  // In UTF-8 no byte of a character equals a separator.
  if (dirPath.back() != kPathSeparator && dirPath.back() != '/') dirPath += kPathSeparator;
  std::error_code ignored;  // a folder that is missing shows in the module's answers
  std::filesystem::create_directories(std::filesystem::u8path(dirPath), ignored);
  std::string error;
  if (published.publish(dirPath, error)) return true;
  std::cerr << kProgramName << ": cannot publish DirPath " << quoted(dirPath) << ": " << error
            << '\n';
  return false;
}

int oneShotCommand(const OneShotOptions& options) {
  const std::string modulePath =
      options.shared.module.empty() ? defaultModulePath() : options.shared.module;
  std::string nickname;
  if (!ansiTextOf(options.nickname, nickname))
    throw UsageError{"--nickname: '" + options.nickname + "' has no form in the ANSI code page"};
  const std::string given = options.shared.folder.empty() ? exampleFolder() : options.shared.folder;
  std::string folder;
  if (options.function != OneShot::kCurrent && !readableFolder(given, folder)) return kExitFolder;

  Plugin plugin;
  std::string error;
  if (!plugin.load(modulePath, error)) return failure(error);
  const char* const name = options.function == OneShot::kNext     ? "GetImage"
                           : options.function == OneShot::kRandom ? "GetRandomImage"
                                                                  : "returnCurrentImage";
  void* const refreshAddress = plugin.symbol(name);
  const auto current = asFunction<TwoTextFunction>(plugin.symbol("returnCurrentImage"));
  if (refreshAddress == nullptr || current == nullptr)
    return failure("the module does not offer " +
                   std::string(refreshAddress == nullptr ? name : "returnCurrentImage"));

  PrivateDirPath published;
  if (!publishPositionFolder(options.shared.dirPath, published)) return kExitFailed;

  const Meter meter(plugin);
  const Meter reader(plugin);
  const auto position = [&] {
    return answerText(current(reader.handle(), nickname.c_str(), kInterval));
  };
  if (options.function == OneShot::kCurrent) {
    const std::string stored = position();
    if (answerKind(stored, [] { return false; }) == AnswerKind::kImage) return printImage(stored);
    return failure(stored.empty()
                       ? "no position is stored for the nickname " + quoted(options.nickname)
                       : messageOf(stored));
  }

  const auto refresh = [&] {
    return answerText(asFunction<ThreeTextFunction>(refreshAddress)(
        meter.handle(), nickname.c_str(), folder.c_str(), kInterval));
  };
  const auto positionCleared = [&] { return position().empty(); };
  const auto noImageAfter = [&](const std::string& answer) {
    return failure(answer.empty()
                       ? "no image in " + given + " (the rotation shows jpg, bmp, gif, ico and png)"
                       : messageOf(answer));
  };
  // A rotation that starts from no position and wraps has no image to show.
  const bool fromStart = options.wrapMarker && positionCleared();
  const std::string first = refresh();
  const AnswerKind kind = answerKind(first, positionCleared);
  if (kind == AnswerKind::kImage) return printImage(first);
  if (kind == AnswerKind::kMessage || options.function == OneShot::kRandom)
    return failure(messageOf(first));
  if (fromStart) return noImageAfter(first);
  const auto warnOfWrap = [&] {
    if (!first.empty()) std::cerr << kProgramName << ": warning: " << messageOf(first) << '\n';
  };
  if (options.wrapMarker) {
    warnOfWrap();
    return printImage("");
  }
  const std::string second = refresh();
  if (answerKind(second, positionCleared) != AnswerKind::kImage) return noImageAfter(second);
  warnOfWrap();
  return printImage(second);
}

}  // namespace rotavue_host
