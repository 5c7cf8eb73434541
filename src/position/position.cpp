// Locating, reading and writing a nickname's position file.
#include "position/position.h"

#include <cstdint>
#include <cstring>
#include <optional>

#include "host/errors.h"
#include "platform/platform.h"

namespace rotavue {

namespace {

using platform::RegistryValue;

const char kRegistryUnavailable[] = "Unable to access the registry";

// The text of the "DirPath" value; raises for a value that is no string or
// whose data could not be read.
std::string dirPathText(const RegistryValue& value) {
  if (value.status == RegistryValue::Status::kDataUnreadable)
    throw Exception("Failed to get data for 'DirPath'");
  if (value.data.empty()) return std::string();
  if (value.type != platform::kRegistryString && value.type != platform::kRegistryExpandString)
    throw Exception("Invalid data type for 'DirPath'");
  return value.data.substr(0, value.data.find('\0'));
}

// Reads the registry value and sets `positionFilePath`. False, with
// `errorText` set, when the key or the value cannot be reached; raises for a
// value that cannot be used.
bool locatePositionFile(meter_data& instance, const std::string& nickname,
                        const RegistryValue& value) {
  if (value.status == RegistryValue::Status::kUnavailable) {
    instance.errorText = kRegistryUnavailable;
    return false;
  }
  instance.positionFilePath = dirPathText(value) + nickname + kPositionFileSuffix;
  return true;
}

// A temporary file's name for a save of the file at `path` (a position
// file, "...NICKRotavue.setup"): the same path with its extension (".setup",
// from the last ".") replaced by six base-32 digits of the system's random
// generator, so "...NICKRotavue" and the digits; none when the generator
// fails. It lies in the same directory and is exactly as long as the file
// it replaces, so it reaches no path limit that the file does not, and a
// temporary file that a killed process leaves behind says whose it is. It
// holds no ".", so it is never a position file's name.
std::optional<std::string> temporaryPathFor(const std::string& path) {
  constexpr int kDigits = 6;
  static const char kBase32[] = "0123456789abcdefghijklmnopqrstuv";
  std::uint64_t number = 0;
  if (!platform::systemRandomBytes(&number, sizeof number)) return std::nullopt;
  char digits[kDigits];
  for (char& digit : digits) {
    digit = kBase32[number & 31U];
    number >>= 5;
  }
  std::string temporary = path.substr(0, path.rfind('.'));
  return temporary.append(digits, kDigits);
}

// True when a write put all `size` bytes on the disk: a write that the
// system could not flush may leave, after a power cut, an empty file or one
// of NUL bytes, which no load can read, so it fails as a short write does.
bool writtenWhole(const platform::WriteOutcome& outcome, std::size_t size) {
  return outcome.written >= size && outcome.flushed;
}

// The plain save: `contents` over the file at `path` in one write. A file
// that cannot be created is left as it was; after a short write it holds
// what was written.
void writeInPlace(const std::string& path, const std::string& contents) {
  const platform::WriteOutcome outcome = platform::hooks().writeNewFile(
      path, platform::Creation::kReplace, contents.data(), contents.size());
  if (!outcome.created) throw Exception("Cannot create file " + path);
  if (!writtenWhole(outcome, contents.size())) throw Exception("Stream write error");
}

// How many temporary names a save tries before it writes in place. A name is
// taken only by another save that runs at the same time or by one that a
// crash ended between creating its file and renaming it.
constexpr int kTemporaryNameTries = 3;

// Replaces the file at `path` by `contents` in one step where it can: readers
// see the old line or the new one, and a short write leaves the old file
// whole. The temporary file is created only where no file of its name exists,
// so no two saves ever write one file, whichever hosts or machines they run
// on. Where no temporary file can be created beside it (nor named: the
// system's random generator failed), or where it cannot take the position
// file's place (a folder in which the user may write the file but create no
// other, a name that is a stream of another file), the plain save does the
// work, so a save fails only where the plain save fails too. A path that the
// host's file calls cannot open fails as the plain save's create does, though
// the system might let a rename write it.
void replaceFileContents(const std::string& path, const std::string& contents) {
  if (!platform::hostCanOpenPath(path)) throw Exception("Cannot create file " + path);
  for (int attempt = 0; attempt < kTemporaryNameTries; ++attempt) {
    const std::optional<std::string> temporary = temporaryPathFor(path);
    if (!temporary) break;
    const platform::WriteOutcome outcome = platform::hooks().writeNewFile(
        *temporary, platform::Creation::kExclusive, contents.data(), contents.size());
    if (outcome.nameTaken) continue;
    if (!outcome.created) break;
    if (!writtenWhole(outcome, contents.size())) {
      platform::removeFile(*temporary);
      throw Exception("Stream write error");
    }
    if (platform::hooks().replaceFile(*temporary, path)) return;
    platform::removeFile(*temporary);
    break;
  }
  writeInPlace(path, contents);
}

}  // namespace

std::string firstLineOf(const std::string& contents) {
  const std::size_t textLength = ::strnlen(contents.data(), contents.size());
  if (textLength == 0) throw Exception("List index out of bounds (0)");
  std::size_t lineEnd = 0;
  while (lineEnd < textLength && contents[lineEnd] != '\r' && contents[lineEnd] != '\n') ++lineEnd;
  return contents.substr(0, lineEnd);
}

std::string positionFileOf(const std::string& nickname) {
  meter_data located;
  try {
    const RegistryValue value = platform::readUserRegistryValue(kRegistryKey, kRegistryValueName);
    if (locatePositionFile(located, nickname, value)) return located.positionFilePath;
  } catch (const Exception&) {
    // A value that cannot be used locates nothing.
  }
  return std::string();
}

std::string loadPosition(meter_data& instance, const std::string& nickname) {
  const RegistryValue value = platform::readUserRegistryValue(kRegistryKey, kRegistryValueName);
  try {
    if (!locatePositionFile(instance, nickname, value)) return std::string();
    const std::string& path = instance.positionFilePath;
    if (!platform::fileExists(path)) return "#";
    std::string contents;
    if (!platform::readFirstLine(path, kPositionLineLimit, contents))
      throw Exception("Cannot open file " + path);
    return firstLineOf(contents);
  } catch (const Exception& failure) {
    instance.errorText = failure.message();
    return std::string();
  }
}

void savePosition(meter_data& instance, const std::string& nickname) {
  const RegistryValue value = platform::readUserRegistryValue(kRegistryKey, kRegistryValueName);
  try {
    if (!locatePositionFile(instance, nickname, value)) return;
    if (instance.walkStatus != WalkStatus::kExit && instance.walkCounter != -1) {
      instance.imageDirectory.clear();
      instance.imageFileName.clear();
    }
    replaceFileContents(instance.positionFilePath,
                        instance.imageDirectory + "#" + instance.imageFileName + "\r\n");
  } catch (const Exception& failure) {
    instance.errorText = failure.message();
  }
}

std::string nicknameFilePath(const std::string& nickname, const char* suffix) {
  const RegistryValue value = platform::readUserRegistryValue(kRegistryKey, kRegistryValueName);
  if (value.status == RegistryValue::Status::kUnavailable) throw Exception(kRegistryUnavailable);
  return dirPathText(value) + nickname + suffix;
}

void replaceFileAtomically(const std::string& path, const std::string& contents) {
  replaceFileContents(path, contents);
}

}  // namespace rotavue
