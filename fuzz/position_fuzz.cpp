// Fuzz target: reading a position file and splitting its line. Whatever
// bytes a position file holds, the first line has no line end or NUL in it,
// and splitting it loses no byte: the stored directory, "#" and the stored
// file name give the line back.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "host/errors.h"
#include "host/image_functions.h"
#include "position/position.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string contents(reinterpret_cast<const char*>(data), size);
  std::string line;
  try {
    line = rotavue::firstLineOf(contents);
  } catch (const rotavue::Exception& failure) {
    if (failure.message() != "List index out of bounds (0)") std::abort();
    if (!contents.empty() && contents[0] != '\0') std::abort();
    return 0;
  }
  if (line.find_first_of(std::string("\r\n\0", 3)) != std::string::npos) std::abort();
  if (contents.compare(0, line.size(), line) != 0) std::abort();

  const auto [directory, file] = rotavue::splitPosition(line);
  if (line.find('#') == std::string::npos) {
    if (!directory.empty() || file != line) std::abort();
  } else if (directory + "#" + file != line) {
    std::abort();
  }
  return 0;
}
