// The per-instance record that `dllstartup` hands to the host, its refresh
// gate and its result text.
//
// One `meter_data` serves one meter of the host. It carries the rotation's
// working state between calls: the selected image, the status of the walk in
// progress, the last error, the time of the last refresh and the text last
// returned to the host. The host receives the address of `resultText` and
// must have copied it before its next call on the same instance; the buffer
// itself lives as long as the instance, so a text once returned is never
// freed under the host.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace rotavue {

// The status of a sequential image walk.
enum class WalkStatus {
  kNotFound,  // "NOTFOUND": the previous image has not been met yet
  kFound,     // "FOUND": the next image met is the one to select
  kExit,      // "EXIT": the successor is selected; every level stops
};

// The literal text of a walk status: "NOTFOUND", "FOUND" or "EXIT".
const char* walkStatusText(WalkStatus status);

inline constexpr std::size_t kResultBufferSize = 1024;

struct meter_data {
  std::string positionFilePath;
  std::int32_t walkCounter = 0;
  std::string imageDirectory;
  std::string imageFileName;
  WalkStatus walkStatus = WalkStatus::kNotFound;
  std::string errorText;
  std::int32_t imageCount = 0;
  std::int32_t walkContinue = 1;
  std::array<char, kResultBufferSize> resultText{};
  std::uint64_t lastRefresh = 0;
};

// A new instance with the initial values of every field.
std::unique_ptr<meter_data> createInstance();

// Parses an update interval: leading spaces, then a decimal number with an
// optional sign in the signed 32-bit range, or a hexadecimal number after
// "$", "x", "X", "0x" or "0X" whose value fits in 32 bits (taken as signed),
// and nothing after. Empty when the text is not such a number.
std::optional<std::int32_t> parseInterval(const char* text);

// The refresh gate. True when the interval has elapsed since `lastRefresh`,
// in which case `lastRefresh` becomes the current time. Raises `Exception`
// "'<text>' is not a valid integer value" for an interval that does not
// parse, leaving the instance unchanged.
bool isRefreshDue(meter_data& instance, const char* intervalText);

// Copies `text` verbatim into `resultText`: at most 1023 bytes, then a NUL.
void writeResult(meter_data& instance, const std::string& text);
void writeResult(meter_data& instance, const char* text);

// Gives the instance an empty result buffer. The buffer is cleared in place,
// so that no text the host may still hold is ever freed.
void renewResult(meter_data& instance);

}  // namespace rotavue
