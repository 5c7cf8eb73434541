// Fuzz target: the update-interval parser and the refresh gate. Any text the
// host passes must be either a number with exactly the value an independent
// reading gives, or rejected with the gate's message; never a crash.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "host/errors.h"
#include "host/meter_data.h"

namespace {

// An independent reading of the grammar, through strtoll/strtoull.
bool referenceParse(const std::string& text, std::int32_t& value) {
  std::size_t start = text.find_first_not_of(' ');
  if (start == std::string::npos) return false;
  std::string body = text.substr(start);
  int base = 10;
  if (body[0] == '$' || body[0] == 'x' || body[0] == 'X') {
    body.erase(0, 1);
    base = 16;
  } else if (body.size() >= 2 && body[0] == '0' && (body[1] == 'x' || body[1] == 'X')) {
    body.erase(0, 2);
    base = 16;
  }
  if (body.empty()) return false;
  for (std::size_t i = 0; i < body.size(); ++i) {
    const char c = body[i];
    const bool sign = base == 10 && i == 0 && (c == '+' || c == '-');
    const bool digit =
        base == 10 ? (c >= '0' && c <= '9')
                   : ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'));
    if (!sign && !digit) return false;
  }
  if (base == 10 && (body == "+" || body == "-")) return false;
  errno = 0;
  if (base == 16) {
    const std::size_t significant = body.find_first_not_of('0');
    if (significant != std::string::npos && body.size() - significant > 8) return false;
    value = static_cast<std::int32_t>(
        static_cast<std::uint32_t>(std::strtoull(body.c_str(), nullptr, 16)));
    return true;
  }
  const long long number = std::strtoll(body.c_str(), nullptr, 10);
  if (errno == ERANGE || number < INT32_MIN || number > INT32_MAX) return false;
  value = static_cast<std::int32_t>(number);
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const std::string cText(text.c_str());  // the host's text ends at its first NUL
  const std::optional<std::int32_t> parsed = rotavue::parseInterval(cText.c_str());
  std::int32_t expected = 0;
  const bool accepted = referenceParse(cText, expected);
  if (parsed.has_value() != accepted || (accepted && *parsed != expected)) std::abort();

  rotavue::meter_data instance;
  try {
    rotavue::isRefreshDue(instance, cText.c_str());
    if (!accepted) std::abort();
  } catch (const rotavue::Exception& failure) {
    if (accepted || failure.message() != "'" + cText + "' is not a valid integer value")
      std::abort();
  }
  return 0;
}
