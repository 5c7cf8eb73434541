// The host's registry on POSIX: the key and its values are kept here and
// written out, after every change, as the registry-export file that the
// module reads in place of the registry. The file lies at a private path
// named in ROTAVUE_REGISTRY while the fixture lives; the previous setting of
// that variable comes back afterwards.
#include "support/host_registry.h"

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <stdexcept>

namespace rotavue::testing {

namespace {

const char kKeySection[] = "[HKEY_CURRENT_USER\\Software\\Glintora\\General]";

struct RegistryState {
  std::string filePath;
  std::optional<std::string> savedVariable;
  bool keyExists = false;
  // Value name -> the data part of its line, as written after "=".
  std::map<std::string, std::string> values;
};

RegistryState state;

std::string quoted(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  return out + "\"";
}

std::string hexByte(unsigned value) {
  char digits[3];
  std::snprintf(digits, sizeof digits, "%02x", value & 0xFFU);
  return digits;
}

void writeFile() {
  std::string text = "Windows Registry Editor Version 5.00\r\n\r\n";
  if (state.keyExists) {
    text += kKeySection;
    text += "\r\n";
    for (const auto& [name, data] : state.values) text += quoted(name) + "=" + data + "\r\n";
  }
  std::ofstream stream(state.filePath, std::ios::binary | std::ios::trunc);
  stream << text;
  if (!stream) throw std::runtime_error("cannot write " + state.filePath);
}

void setValue(const std::string& name, const std::string& data) {
  state.keyExists = true;
  state.values[name] = data;
  writeFile();
}

}  // namespace

HostRegistry::HostRegistry() {
  static unsigned created = 0;
  state = RegistryState{};
  state.filePath =
      (std::filesystem::temp_directory_path() / ("rotavue-registry-" + std::to_string(::getpid()) +
                                                 "-" + std::to_string(++created) + ".reg"))
          .string();
  if (const char* previous = std::getenv("ROTAVUE_REGISTRY")) state.savedVariable = previous;
  ::setenv("ROTAVUE_REGISTRY", state.filePath.c_str(), 1);
  writeFile();
}

HostRegistry::~HostRegistry() {
  std::remove(state.filePath.c_str());
  if (state.savedVariable)
    ::setenv("ROTAVUE_REGISTRY", state.savedVariable->c_str(), 1);
  else
    ::unsetenv("ROTAVUE_REGISTRY");
}

void HostRegistry::setDirPath(const std::string& text) { setValue("DirPath", quoted(text)); }

void HostRegistry::setDirPathExpand(const std::string& text) {
  // REG_EXPAND_SZ is exported as UTF-16LE bytes, NUL included.
  std::string data = "hex(2):";
  for (unsigned char c : text) data += hexByte(c) + ",00,";
  setValue("DirPath", data + "00,00");
}

void HostRegistry::setDirPathDword(std::uint32_t number) {
  char digits[9];
  std::snprintf(digits, sizeof digits, "%08x", static_cast<unsigned>(number));
  setValue("DirPath", std::string("dword:") + digits);
}

void HostRegistry::removeDirPath() {
  state.values.erase("DirPath");
  writeFile();
}

void HostRegistry::removeKey() {
  state.keyExists = false;
  state.values.clear();
  writeFile();
}

void HostRegistry::setOtherValueOnly() {
  state.values.clear();
  setValue("Other", quoted("x"));
}

}  // namespace rotavue::testing
