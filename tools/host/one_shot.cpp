// `rotavue-host next`, `random`, `shuffle` and `current`: one refresh of
// GetImage, GetRandomImage, GetShuffledImage or returnCurrentImage through
// the module, for a script.
// Standard output gets the image's full path and a line end, or nothing:
// every answer that is no image (answer.h) goes to standard error, with
// exit status 1, as "rotavue-host: PATH: MESSAGE" naming what it is about. A
// refresh of `next` that wraps around, or that answers a name that is no
// file, is followed by more, so that a script always gets an image; `shuffle`
// runs the same way, with `next`'s code (it never wraps with "", but it
// passes names that are no file likewise).
//
// The folder is given to the module in its absolute, normal form
// (normalPath), so that however it is written it is one rotation. `next`,
// `random` and `shuffle` take the lock of the nickname's position file
// (PositionLock) for all their refreshes: calls at the same time, a timer's
// and a hotkey's, take turns, and none shows a picture that another has just
// shown.
//
// The tool never changes the host's settings. The position files live in
// --dir-path; without it in the host's own DirPath, which the module then
// reads as it is (so that `next --nickname desk` moves the widget "desk"),
// or, when the host has none, in the per-user folder. A folder of the
// tool's own is shown to this process's module alone (PrivateDirPath).
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>
#include <system_error>

#include "answer.h"
#include "commands.h"
#include "host/image_functions.h"
#include "platform/platform.h"
#include "plugin.h"
#include "position/cycle.h"
#include "position/position.h"
#include "survey.h"
#include "system.h"

namespace rotavue_host {

namespace {

// Every call refreshes.
const char kInterval[] = "0";

// The texts with which the module reports a failure of the position file
// (their starts), and of the registry value DirPath.
const char* const kPositionFileTexts[] = {"Cannot create file ", "Cannot open file ",
                                          "Stream write error", "List index out of bounds (0)"};
const char* const kDirPathTexts[] = {"Unable to access the registry",
                                     "Invalid data type for 'DirPath'",
                                     "Failed to get data for 'DirPath'"};

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

void warn(const std::string& message) {
  std::cerr << kProgramName << ": warning: " << message << '\n';
}

// What a call is about, so that each message names its subject.
struct Subjects {
  std::string shown;         // the folder as normalPath gives it, UTF-8; "" for current
  std::string folder;        // the folder as the module is given it (ANSI)
  std::string positionFile;  // ANSI; "" when DirPath cannot be used
  std::string cycleFile;     // shuffle's state file beside it, likewise

  std::string noImage() const {
    return shown + ": no image (the rotation shows jpg, bmp, gif, ico and png)";
  }
  static std::string notFile(const std::string& answer) {
    return rotavue::platform::ansiToUtf8(answer) +
           ": not a file (a folder not entered, or a link to no file)";
  }
  std::string aboutMessage(const std::string& answer) const;
};

// A message of the module as "PATH: MESSAGE". Its texts do not always name
// their subject: a failure of the position file is about that file (or of
// shuffle's state file, when the text names that file), one of
// DirPath about the registry value, and any other text (the system's message
// for a folder that could not be read) about the folder, or the sub-folder
// in which the survey's walk meets the same message, as `check` finds it.
std::string Subjects::aboutMessage(const std::string& answer) const {
  const std::string text = rotavue::reportedText(answer);
  for (const char* start : kPositionFileTexts)
    if (answer.rfind(start, 0) == 0) {
      const bool aboutCycle = !cycleFile.empty() &&
                              answer.compare(std::strlen(start), std::string::npos, cycleFile) == 0;
      return rotavue::platform::ansiToUtf8(aboutCycle ? cycleFile : positionFile) + ": " + text;
    }
  for (const char* dirPathText : kDirPathTexts)
    if (answer == dirPathText)
      return std::string("HKEY_CURRENT_USER\\") + rotavue::kRegistryKey + '\\' +
             rotavue::kRegistryValueName + ": " + text;
  if (answer == rotavue::kNoImagesMessage) return noImage();
  if (!folder.empty())
    for (const rotavue::UnreadableFolder& unreadable :
         rotavue::surveyFolder(folder).unreadableFolders)
      if (unreadable.message == text) return unreadable.path + ": " + text;
  return shown + ": " + text;
}

// The name of the lock of a position file: 16 hexadecimal digits of the
// FNV-1a hash (64 bits) of its path.
std::string lockNameOf(const std::string& positionFile) {
  std::uint64_t hash = 14695981039346656037ULL;
  for (const char c : positionFile) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 1099511628211ULL;
  }
  std::string name(16, '0');
  for (std::size_t i = 16; i-- > 0; hash >>= 4) name[i] = "0123456789abcdef"[hash & 15U];
  return name;
}

}  // namespace

bool publishOwnDirPath(std::string& dirPath, PrivateDirPath& published) {
  // In UTF-8 no byte of a character equals a separator.
  if (dirPath.back() != kPathSeparator && dirPath.back() != '/') dirPath += kPathSeparator;
  std::error_code ignored;  // a folder that is missing shows in the module's answers
  std::filesystem::create_directories(std::filesystem::u8path(dirPath), ignored);
  std::string error;
  if (published.publish(dirPath, error)) return true;
  std::cerr << kProgramName << ": " << error << '\n';
  return false;
}

int oneShotCommand(const OneShotOptions& options) {
  const std::string modulePath =
      options.shared.module.empty() ? defaultModulePath() : options.shared.module;
  std::string nickname;
  if (!ansiTextOf(options.nickname, nickname))
    throw UsageError{"--nickname: '" + options.nickname + "' has no form in the ANSI code page"};
  Subjects subjects;
  if (options.function != OneShot::kCurrent) {
    subjects.shown = normalPath(options.shared.folder);
    if (!readableFolder(subjects.shown, subjects.folder)) return kExitFolder;
  }

  Plugin plugin;
  std::string error;
  if (!plugin.load(modulePath, error)) return failure(error);
  const char* const name = options.function == OneShot::kNext      ? "GetImage"
                           : options.function == OneShot::kRandom  ? "GetRandomImage"
                           : options.function == OneShot::kShuffle ? "GetShuffledImage"
                                                                   : "returnCurrentImage";
  void* const refreshAddress = plugin.symbol(name);
  const auto current = asFunction<TwoTextFunction>(plugin.symbol("returnCurrentImage"));
  if (refreshAddress == nullptr || current == nullptr)
    return failure(modulePath + ": the module does not offer " +
                   std::string(refreshAddress == nullptr ? name : "returnCurrentImage"));

  PrivateDirPath published;
  const std::string& dirPath = options.shared.dirPath;
  if (!publishPositionFolder(dirPath.empty() ? dirPath : normalPath(dirPath), published))
    return kExitFailed;
  subjects.positionFile = rotavue::positionFileOf(nickname);
  if (options.function == OneShot::kShuffle) subjects.cycleFile = rotavue::cycleFileOf(nickname);

  const Meter meter(plugin);
  const Meter reader(plugin);
  const auto position = [&] {
    return answerText(current(reader.handle(), nickname.c_str(), kInterval));
  };
  if (options.function == OneShot::kCurrent) {
    const std::string stored = position();
    const AnswerKind kind = answerKind(stored, [] { return false; });
    if (kind == AnswerKind::kImage) return printImage(stored);
    if (stored.empty())
      return failure(rotavue::platform::ansiToUtf8(subjects.positionFile) +
                     ": no position is stored for the nickname " + quoted(options.nickname));
    if (kind == AnswerKind::kNotFile)
      return failure(rotavue::reportedText(stored) + ": no such image (gone since it was stored?)");
    return failure(subjects.aboutMessage(stored));
  }

  PositionLock lock;
  if (!subjects.positionFile.empty() && !lock.acquire(lockNameOf(subjects.positionFile), error))
    return stopStatus() != 0 ? stopStatus() : failure(error);
  const auto refresh = [&] {
    return answerText(asFunction<ThreeTextFunction>(refreshAddress)(
        meter.handle(), nickname.c_str(), subjects.folder.c_str(), kInterval));
  };
  const auto positionCleared = [&] { return position().empty(); };
  if (options.function == OneShot::kRandom) {
    // A second refresh in the same second would make the same pick.
    const std::string answer = refresh();
    const AnswerKind kind = answerKind(answer, positionCleared);
    if (kind == AnswerKind::kImage) return printImage(answer);
    if (kind == AnswerKind::kNotFile) return failure(Subjects::notFile(answer));
    return failure(answer.empty() ? subjects.noImage() : subjects.aboutMessage(answer));
  }

  const std::string stored = position();
  std::string inside = subjects.folder;
  if (!rotavue::platform::endsInSeparator(inside)) inside += rotavue::platform::kPathSeparator;
  // A shuffle never starts from the stored image.
  bool outside = options.function == OneShot::kNext && namesImage(stored) &&
                 stored.compare(0, inside.size(), inside) != 0;
  if (outside)
    warn("the rotation of " + options.nickname + " was at " + rotavue::reportedText(stored) +
         ", outside " + subjects.shown + "; " + subjects.shown + " starts from its first image");
  // Two wrap-arounds in a row, or one from no position, leave no image to
  // show; a name that is no file ends the call when it comes round again.
  bool wrapped = stored.empty();
  std::string firstNotFile;
  while (stopStatus() == 0) {
    const std::string answer = refresh();
    const AnswerKind kind = answerKind(answer, positionCleared);
    if (kind == AnswerKind::kImage) return printImage(answer);
    if (kind == AnswerKind::kMessage) return failure(subjects.aboutMessage(answer));
    if (kind == AnswerKind::kNotFile) {
      if (answer == firstNotFile)
        return failure(Subjects::notFile(answer) +
                       "; the rotation came round to it again without an image");
      warn(Subjects::notFile(answer));
      if (firstNotFile.empty()) firstNotFile = answer;
      wrapped = false;
      continue;
    }
    if (wrapped)
      return failure(answer.empty() ? subjects.noImage() : subjects.aboutMessage(answer));
    if (!answer.empty()) warn(subjects.aboutMessage(answer));
    // Leaving a rotation of another folder is no wrap-around of this one.
    if (options.wrapMarker && !outside) return printImage("");
    wrapped = true;
    outside = false;
  }
  return stopStatus();
}

}  // namespace rotavue_host
