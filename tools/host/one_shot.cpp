// `rotavue-host next`, `random`, `shuffle` and `current`: one refresh of
// GetImage, GetRandomImage, GetShuffledImage or returnCurrentImage through
// the module, for a script. Standard output gets the image's full path, with
// its long names, and a line end, or nothing (--wallpaper then sets it as the
// desktop wallpaper):
// every answer that is no image (answer.h) goes to standard error, with
// exit status 1, as "rotavue-host: PATH: MESSAGE" naming what it is about. A
// refresh of `next` that wraps around, or that answers a name that is no
// file, is followed by more, so that a script always gets an image; `shuffle`
// runs the same way, with `next`'s code (it never wraps with "", but it
// passes names that are no file likewise).
//
// The folder is given to the module in its absolute, normal form
// (normalPath), so that however it is written it is one rotation. `next`,
// `random` and `shuffle` take the lock of the folder that holds the
// nickname's position file (PositionLock) for all their refreshes, waiting at
// most --wait seconds: calls at the same time, a timer's and a hotkey's, a
// cron job's and another user's, take turns, and none shows a picture that
// another has just shown. A failure of the position file (or of shuffle's
// state file, when the text names that file) is told with the system's
// reason, which the tool finds by looking at the folder (fileProblem), since
// the module's texts give none.
//
// The tool never changes the host's settings. The position files live in
// --dir-path; without it in the host's own DirPath, which the module then
// reads as it is (so that `next --nickname desk` moves the widget "desk"),
// or, when the host has none, in the per-user folder. A folder of the
// tool's own is shown to this process's module alone (PrivateDirPath).
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
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
// (their starts), and of the registry value DirPath. The first two name the
// file.
const char kCannotCreate[] = "Cannot create file ";
const char kCannotOpen[] = "Cannot open file ";
const char kEmptyFile[] = "List index out of bounds (0)";
const char* const kPositionFileTexts[] = {kCannotCreate, kCannotOpen, "Stream write error",
                                          kEmptyFile};
const char* const kDirPathTexts[] = {"Unable to access the registry",
                                     "Invalid data type for 'DirPath'",
                                     "Failed to get data for 'DirPath'"};

// What the user can do about kEmptyFile, which does not say.
const char kEmptyFileHint[] =
    "; the position file is empty (as a power cut can leave it); delete it and the rotation "
    "starts again from the first picture";

// True when `answer` is one of the module's texts for a failure of the
// position file or of DirPath.
bool moduleFailure(const std::string& answer) {
  for (const char* start : kPositionFileTexts)
    if (answer.rfind(start, 0) == 0) return true;
  for (const char* text : kDirPathTexts)
    if (answer == text) return true;
  return false;
}

// `line` with the bytes that no position holds shown as \xHH: control
// bytes, DEL, and a byte-order mark at its start (as some editors save a
// file); `odd` tells whether there were any.
std::string escapedLine(const std::string& line, bool& odd) {
  static const char* const kMarks[] = {"\xEF\xBB\xBF", "\xFF\xFE", "\xFE\xFF"};
  std::size_t mark = 0;
  for (const char* start : kMarks)
    if (mark == 0 && line.rfind(start, 0) == 0) mark = std::strlen(start);
  std::string shown;
  odd = false;
  for (std::size_t i = 0; i < line.size(); ++i) {
    const auto byte = static_cast<unsigned char>(line[i]);
    if (i < mark || byte < 0x20 || byte == 0x7F) {
      shown += "\\x";
      shown += "0123456789ABCDEF"[byte >> 4];
      shown += "0123456789ABCDEF"[byte & 15U];
      odd = true;
    } else {
      shown += line[i];
    }
  }
  return shown;
}

// When the stored line, that `current` got as an answer of `kind`, is no
// clean position of an image, the report of it, read from the position
// file `positionFile` (ANSI) by the tool itself: the module's reading
// stops at a NUL, and a mark or a control byte would not show.
bool storedLineOdd(const std::string& positionFile, AnswerKind kind, std::string& report) {
  std::ifstream file(std::filesystem::u8path(rotavue::platform::ansiToUtf8(positionFile)),
                     std::ios::binary);
  std::string line(rotavue::kPositionLineLimit, '\0');
  file.read(&line[0], static_cast<std::streamsize>(line.size()));
  if (file.bad() || file.gcount() == 0) return false;
  line.resize(static_cast<std::size_t>(file.gcount()));
  line.erase(std::min(line.size(), line.find_first_of("\r\n")));
  bool odd = false;
  const std::string shown = rotavue::platform::ansiToUtf8(escapedLine(line, odd));
  if (!odd && kind != AnswerKind::kMessage) return false;
  report = "the stored line " + quoted(shown) + " names no image" +
           (odd ? " (odd bytes shown as \\xHH)" : "");
  return true;
}

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

// Every picture that a command prints goes through here, in its long form
// (longPathOf), which it leaves in `printed` for --wallpaper. The
// module's answer may be a short path: the ANSI code page lacks a name in
// it. The empty line of a wrap-around stays empty.
int printImage(const std::string& ansi, std::string& printed) {
  printed = ansi.empty() ? ansi : longPathOf(rotavue::platform::ansiToUtf8(ansi));
  std::cout << printed << '\n';
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

// The last separator of a path in the ANSI code page: the system's, or on
// Windows also "/", which is never the second byte of a character.
std::size_t lastSeparatorOf(const std::string& ansi) {
  const std::size_t separator = rotavue::platform::lastSeparator(ansi);
  const std::size_t slash = ansi.rfind('/');
  if (slash == std::string::npos) return separator;
  return separator == std::string::npos ? slash : std::max(separator, slash);
}

// The folder that holds the file at `ansi`, in UTF-8, without the separator
// at its end but for a root's; "." for a bare name.
std::string folderOf(const std::string& ansi) {
  const std::size_t separator = lastSeparatorOf(ansi);
  if (separator == std::string::npos) return ".";
  std::string folder = ansi.substr(0, separator);
  if (folder.empty() || folder.back() == ':') folder += ansi[separator];
  return rotavue::platform::ansiToUtf8(folder);
}

std::string fileNameOf(const std::string& ansi) {
  const std::size_t separator = lastSeparatorOf(ansi);
  return rotavue::platform::ansiToUtf8(separator == std::string::npos ? ansi
                                                                      : ansi.substr(separator + 1));
}

// What a call is about, so that each message names its subject.
struct Subjects {
  std::string shown;         // the folder as normalPath gives it, UTF-8; "" for current
  std::string folder;        // the folder as the module is given it (ANSI)
  std::string positionFile;  // ANSI; "" when DirPath cannot be used

  std::string noImage() const {
    return shown + ": no image (the rotation shows jpg, bmp, gif, ico and png)";
  }
  static std::string notFile(const std::string& answer) {
    return rotavue::platform::ansiToUtf8(answer) +
           ": not a file (a folder not entered, or a link to no file)";
  }
  std::string aboutMessage(const std::string& answer) const;
  std::string fileMessage(const std::string& answer) const;
};

// A failure of the position file, or of another file that the module keeps
// beside it and names in its message, as "FOLDER: cannot write the position
// file NAME: REASON" ("cannot read" for a load), with the reason that
// fileProblem finds, or the module's own where it finds none.
std::string Subjects::fileMessage(const std::string& answer) const {
  std::string file = positionFile;
  for (const char* start : {kCannotCreate, kCannotOpen})
    if (answer.rfind(start, 0) == 0) file = answer.substr(std::strlen(start));
  const bool writing = answer.rfind(kCannotOpen, 0) != 0 && answer != kEmptyFile;
  std::string reason = answer == kEmptyFile ? answer + kEmptyFileHint : fileProblem(file, writing);
  if (reason.empty() && answer.rfind(kCannotCreate, 0) != 0 && answer.rfind(kCannotOpen, 0) != 0)
    reason = rotavue::reportedText(answer);
  const std::string name = fileNameOf(file);
  const std::string suffix = rotavue::kPositionFileSuffix;
  const bool positionFileNamed =
      name.size() >= suffix.size() &&
      name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0;
  return folderOf(file) + ": cannot " + (writing ? "write" : "read") +
         (positionFileNamed ? " the position file " : " the state file ") + name +
         (reason.empty() ? "" : ": " + reason);
}

// A message of the module as "PATH: MESSAGE". Its texts do not always name
// their subject: a failure of the position file is about that file (or of
// shuffle's state file, when the text names that file), one of
// DirPath about the registry value, and any other text (the system's message
// for a folder that could not be read) about the folder, or the sub-folder
// in which the survey's walk meets the same message, as `check` finds it.
std::string Subjects::aboutMessage(const std::string& answer) const {
  const std::string text = rotavue::reportedText(answer);
  for (const char* start : kPositionFileTexts)
    if (answer.rfind(start, 0) == 0) return fileMessage(answer);
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

// Creates `dirPath` and the folders missing above it, but never the user's
// home folder (homeProblem). "" when it exists then; else the reason.
std::string createFolder(const std::string& dirPath) {
  std::string problem = homeProblem(dirPath);
  if (!problem.empty()) return problem;
  std::error_code code;
  std::filesystem::create_directories(std::filesystem::u8path(dirPath), code);
  return code ? code.message() : std::string();
}

// Takes the lock of the folder that holds the position file, for all the
// refreshes of one call. 0 to go on; else the exit status to end with.
int takeTurn(PositionLock& lock, const Subjects& subjects, unsigned long waitSeconds) {
  if (subjects.positionFile.empty()) return 0;  // the module reports DirPath
  const std::string folder = folderOf(subjects.positionFile);
  std::string reason;
  switch (lock.acquire(folder, waitSeconds, reason)) {
    case PositionLock::Outcome::kHeld:
      return 0;
    case PositionLock::Outcome::kNotLocked:
      warn(folder + ": cannot take the lock (" + reason + "); this call does not wait for others");
      return 0;
    case PositionLock::Outcome::kGaveUp:
      return failure(folder + ": gave up after " + std::to_string(waitSeconds) +
                     " s: another call holds the lock");
    case PositionLock::Outcome::kStopped:
      break;
  }
  return stopStatus();
}

// Sets the picture printed as the desktop wallpaper: exit status 1, with
// the system's reason, when it cannot. The picture stays printed and the
// rotation has moved on, as after a print that failed.
int setWallpaper(const std::string& picture, const std::string& style) {
  std::cout.flush();
  std::string reason;
  if (setDesktopWallpaper(picture, style, reason)) return kExitDone;
  return failure(picture + ": cannot set the wallpaper: " + reason);
}

}  // namespace

std::string homeProblem(const std::string& dirPath) {
  namespace fs = std::filesystem;
  std::string home = homeFolder();
  while (home.size() > 1 && (home.back() == kPathSeparator || home.back() == '/')) home.pop_back();
  if (home.empty()) return std::string();
  const fs::path homePath = fs::u8path(home).lexically_normal();
  const fs::path folder = fs::u8path(dirPath).lexically_normal();
  std::error_code code;
  if (std::mismatch(homePath.begin(), homePath.end(), folder.begin(), folder.end()).first ==
          homePath.end() &&
      !fs::is_directory(homePath, code))
    return "the home folder " + home + " (HOME) does not exist, and is never created";
  return std::string();
}

bool publishOwnDirPath(std::string& dirPath, PrivateDirPath& published) {
  // In UTF-8 no byte of a character equals a separator.
  if (dirPath.back() != kPathSeparator && dirPath.back() != '/') dirPath += kPathSeparator;
  std::string error = createFolder(dirPath);
  if (!error.empty()) {
    std::cerr << kProgramName << ": " << dirPath.substr(0, dirPath.size() - 1)
              << ": cannot create the folder: " << error << '\n';
    return false;
  }
  if (published.publish(dirPath, error)) return true;
  std::cerr << kProgramName << ": " << error << '\n';
  return false;
}

namespace {

// The command up to the picture printed, which it leaves in `printed`.
int refreshAndPrint(const OneShotOptions& options, std::string& printed) {
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

  const Meter meter(plugin);
  const Meter reader(plugin);
  const auto position = [&] {
    return answerText(current(reader.handle(), nickname.c_str(), kInterval));
  };
  if (options.function == OneShot::kCurrent) {
    const std::string stored = position();
    const AnswerKind kind = answerKind(stored, [] { return false; });
    if (kind == AnswerKind::kImage) return printImage(stored, printed);
    if (stored.empty())
      return failure(rotavue::platform::ansiToUtf8(subjects.positionFile) +
                     ": no position is stored for the nickname " + quoted(options.nickname));
    std::string oddLine;
    if (!moduleFailure(stored) && storedLineOdd(subjects.positionFile, kind, oddLine))
      return failure(rotavue::platform::ansiToUtf8(subjects.positionFile) + ": " + oddLine);
    if (kind == AnswerKind::kNotFile)
      return failure(rotavue::reportedText(stored) + ": no such image (gone since it was stored?)");
    return failure(subjects.aboutMessage(stored));
  }

  PositionLock lock;
  if (const int ended = takeTurn(lock, subjects, options.waitSeconds); ended != 0) return ended;
  const auto refresh = [&] {
    return answerText(asFunction<ThreeTextFunction>(refreshAddress)(
        meter.handle(), nickname.c_str(), subjects.folder.c_str(), kInterval));
  };
  const auto positionCleared = [&] { return position().empty(); };
  if (options.function == OneShot::kRandom) {
    // A second refresh in the same second would make the same pick.
    const std::string answer = refresh();
    const AnswerKind kind = answerKind(answer, positionCleared);
    if (kind == AnswerKind::kImage) return printImage(answer, printed);
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
    if (kind == AnswerKind::kImage) return printImage(answer, printed);
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
    if (options.wrapMarker && !outside) return printImage("", printed);
    wrapped = true;
    outside = false;
  }
  return stopStatus();
}

}  // namespace

// The wallpaper is set once the module's private DirPath has gone with
// refreshAndPrint: while it lives, the user's registry is redirected, and
// the system cannot reach its own settings.
int oneShotCommand(const OneShotOptions& options) {
  std::string printed;
  const int status = refreshAndPrint(options, printed);
  if (status != kExitDone || !options.wallpaper || printed.empty() || stopStatus() != 0)
    return status;
  return setWallpaper(printed, options.wallpaperStyle);
}

}  // namespace rotavue_host
