// The instance record, its refresh gate and its result-text rules.
#include "host/meter_data.h"

#include <cstring>

#include "host/errors.h"
#include "platform/platform.h"

namespace rotavue {

const char* walkStatusText(WalkStatus status) {
  switch (status) {
    case WalkStatus::kFound:
      return "FOUND";
    case WalkStatus::kExit:
      return "EXIT";
    case WalkStatus::kNotFound:
      break;
  }
  return "NOTFOUND";
}

std::unique_ptr<meter_data> createInstance() { return std::make_unique<meter_data>(); }

namespace {

int hexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool isDecimalDigit(char c) { return c >= '0' && c <= '9'; }

std::optional<std::int32_t> parseHexDigits(const char* digits) {
  if (*digits == '\0') return std::nullopt;
  std::uint64_t value = 0;
  for (const char* p = digits; *p != '\0'; ++p) {
    const int digit = hexDigitValue(*p);
    if (digit < 0) return std::nullopt;
    value = value * 16 + static_cast<std::uint64_t>(digit);
    if (value > 0xFFFFFFFFULL) return std::nullopt;
  }
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
}

std::optional<std::int32_t> parseDecimalDigits(const char* digits, bool negative) {
  if (*digits == '\0') return std::nullopt;
  const std::uint64_t limit = negative ? 2147483648ULL : 2147483647ULL;
  std::uint64_t value = 0;
  for (const char* p = digits; *p != '\0'; ++p) {
    if (!isDecimalDigit(*p)) return std::nullopt;
    value = value * 10 + static_cast<std::uint64_t>(*p - '0');
    if (value > limit) return std::nullopt;
  }
  const std::int64_t signedValue =
      negative ? -static_cast<std::int64_t>(value) : static_cast<std::int64_t>(value);
  return static_cast<std::int32_t>(signedValue);
}

}  // namespace

std::optional<std::int32_t> parseInterval(const char* text) {
  const char* p = text;
  while (*p == ' ') ++p;
  if (*p == '$' || *p == 'x' || *p == 'X') return parseHexDigits(p + 1);
  if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) return parseHexDigits(p + 2);
  bool negative = false;
  if (*p == '+' || *p == '-') {
    negative = *p == '-';
    ++p;
  }
  return parseDecimalDigits(p, negative);
}

bool isRefreshDue(meter_data& instance, const char* intervalText) {
  const std::optional<std::int32_t> interval = parseInterval(intervalText);
  if (!interval)
    throw Exception("'" + std::string(intervalText) + "' is not a valid integer value");
  const std::uint64_t now = platform::hooks().systemFileTime();
  // Two's-complement arithmetic that wraps modulo 2^64, as the gate has
  // always computed it: a negative interval lies below `lastRefresh`.
  const std::uint64_t span =
      static_cast<std::uint64_t>(static_cast<std::int64_t>(*interval)) * 10000000ULL;
  const std::uint64_t threshold = instance.lastRefresh + span;
  if (threshold > now) return false;
  instance.lastRefresh = now;
  return true;
}

void writeResult(meter_data& instance, const char* text) {
  const std::size_t length = ::strnlen(text, kResultBufferSize - 1);
  std::memcpy(instance.resultText.data(), text, length);
  instance.resultText[length] = '\0';
}

void writeResult(meter_data& instance, const std::string& text) {
  const std::size_t length =
      text.size() < kResultBufferSize - 1 ? text.size() : kResultBufferSize - 1;
  std::memcpy(instance.resultText.data(), text.data(), length);
  instance.resultText[length] = '\0';
}

void renewResult(meter_data& instance) { instance.resultText.fill('\0'); }

}  // namespace rotavue
