// Reading and writing the state file of a nickname's shuffle.
#include "position/cycle.h"

#include <algorithm>
#include <cstring>

#include "host/errors.h"
#include "platform/platform.h"
#include "position/position.h"

namespace rotavue {

namespace {

constexpr char kVersionMark = '1';
constexpr std::size_t kHexDigits = 16;
// "1 " + key + " " + threshold; a longer first line is no state line.
constexpr std::size_t kLineLength = 2 + kHexDigits + 1 + kHexDigits;

void appendHex(std::string& line, std::uint64_t value) {
  for (int shift = 60; shift >= 0; shift -= 4) line += "0123456789abcdef"[(value >> shift) & 15U];
}

// The value of 16 hexadecimal digits (of either case) at `text`; none when
// one of them is no such digit.
std::optional<std::uint64_t> hexValue(const char* text) {
  std::uint64_t value = 0;
  for (std::size_t i = 0; i < kHexDigits; ++i) {
    const char c = text[i];
    const int digit = c >= '0' && c <= '9'   ? c - '0'
                      : c >= 'a' && c <= 'f' ? c - 'a' + 10
                      : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                             : -1;
    if (digit < 0) return std::nullopt;
    value = (value << 4) | static_cast<std::uint64_t>(digit);
  }
  return value;
}

// The state of a first line; none when it is not a state line.
std::optional<CycleState> parseCycleLine(const std::string& line) {
  const bool noThreshold = line.size() == kLineLength - kHexDigits + 1;
  if ((line.size() != kLineLength && !noThreshold) || line[0] != kVersionMark || line[1] != ' ' ||
      line[2 + kHexDigits] != ' ')
    return std::nullopt;
  const std::optional<std::uint64_t> key = hexValue(line.c_str() + 2);
  if (!key) return std::nullopt;
  CycleState state{*key, std::nullopt};
  const char* threshold = line.c_str() + 3 + kHexDigits;
  if (noThreshold) return threshold[0] == '-' ? std::optional<CycleState>(state) : std::nullopt;
  state.threshold = hexValue(threshold);
  return state.threshold ? std::optional<CycleState>(state) : std::nullopt;
}

}  // namespace

std::optional<CycleState> loadCycleState(meter_data& instance, const std::string& nickname) {
  try {
    const std::string path = nicknameFilePath(nickname, kCycleFileSuffix);
    if (!platform::fileExists(path)) return std::nullopt;
    std::string contents;
    if (!platform::readFirstLine(path, kLineLength + 2, contents))
      throw Exception("Cannot open file " + path);
    // The first line, as a position file's is read: up to CR, LF or NUL.
    std::string line(contents.data(), ::strnlen(contents.data(), contents.size()));
    line.erase(std::min(line.find_first_of("\r\n"), line.size()));
    return parseCycleLine(line);
  } catch (const Exception& failure) {
    instance.errorText = failure.message();
    return std::nullopt;
  }
}

void saveCycleState(meter_data& instance, const std::string& nickname, const CycleState& state) {
  std::string line(1, kVersionMark);
  line += ' ';
  appendHex(line, state.key);
  line += ' ';
  if (state.threshold)
    appendHex(line, *state.threshold);
  else
    line += '-';
  try {
    replaceFileAtomically(nicknameFilePath(nickname, kCycleFileSuffix), line + "\r\n");
  } catch (const Exception& failure) {
    instance.errorText = failure.message();
  }
}

std::string cycleFileOf(const std::string& nickname) {
  try {
    return nicknameFilePath(nickname, kCycleFileSuffix);
  } catch (const Exception&) {
    return std::string();
  }
}

}  // namespace rotavue
