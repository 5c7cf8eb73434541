// Locating, reading and writing a nickname's position file.
#include "position/position.h"

#include <atomic>
#include <cstring>

#include "host/errors.h"
#include "platform/platform.h"

namespace rotavue {

namespace {

using platform::RegistryValue;

const char kRegistryKey[] = "Software\\Glintora\\General";
const char kRegistryValueName[] = "DirPath";
const char kPositionFileSuffix[] = "Rotavue.setup";
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

// A name beside `path` that no other save, in this process or another, uses
// at the same time.
std::string temporaryPathFor(const std::string& path) {
  static std::atomic<std::uint32_t> saves{0};
  return path + "." + std::to_string(platform::processId()) + "-" +
         std::to_string(saves.fetch_add(1) + 1) + ".tmp";
}

// Replaces the file at `path` by `contents` in one step: readers see the old
// line or the new one, and a failed write leaves the old file whole.
void replaceFileContents(const std::string& path, const std::string& contents) {
  const std::string temporary = temporaryPathFor(path);
  const platform::WriteOutcome outcome =
      platform::hooks().writeNewFile(temporary, contents.data(), contents.size());
  if (!outcome.created) throw Exception("Cannot create file " + path);
  if (outcome.written < contents.size()) {
    platform::removeFile(temporary);
    throw Exception("Stream write error");
  }
  if (!platform::replaceFile(temporary, path)) {
    platform::removeFile(temporary);
    throw Exception("Cannot create file " + path);
  }
}

}  // namespace

std::string firstLineOf(const std::string& contents) {
  const std::size_t textLength = ::strnlen(contents.data(), contents.size());
  if (textLength == 0) throw Exception("List index out of bounds (0)");
  std::size_t lineEnd = 0;
  while (lineEnd < textLength && contents[lineEnd] != '\r' && contents[lineEnd] != '\n') ++lineEnd;
  return contents.substr(0, lineEnd);
}

std::string loadPosition(meter_data& instance, const std::string& nickname) {
  const RegistryValue value = platform::readUserRegistryValue(kRegistryKey, kRegistryValueName);
  try {
    if (!locatePositionFile(instance, nickname, value)) return std::string();
    const std::string& path = instance.positionFilePath;
    if (!platform::fileExists(path)) return "#";
    std::string contents;
    if (!platform::readFirstLine(path, contents)) throw Exception("Cannot open file " + path);
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

}  // namespace rotavue
