// Reader of the registry-export text that stands in for the registry on
// POSIX; the format is described in registry_file.h.
#include "platform/posix/registry_file.h"

#include <fcntl.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <vector>

#include "platform/posix/file_descriptor.h"

namespace rotavue::platform {

namespace {

// The whole file; false when it cannot be opened or read. Read through a
// buffer on the stack, since every refresh reads the registry twice and a
// stream's own buffer would be the largest allocation of a refresh.
bool readWholeFile(const std::string& path, std::string& contents) {
  const FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!file.isOpen()) return false;
  contents.clear();
  char buffer[4096];
  for (;;) {
    const ssize_t got = ::read(file.get(), buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return got == 0;
    contents.append(buffer, static_cast<std::size_t>(got));
  }
}

bool equalIgnoringCase(const std::string& left, const std::string& right) {
  if (left.size() != right.size()) return false;
  for (std::size_t i = 0; i < left.size(); ++i) {
    if (std::toupper(static_cast<unsigned char>(left[i])) !=
        std::toupper(static_cast<unsigned char>(right[i])))
      return false;
  }
  return true;
}

// Splits the text into logical lines: CR LF or LF ends a line, and a line
// whose last character is "\" outside quotes continues on the next (regedit
// wraps long hex data so).
std::vector<std::string> logicalLines(const std::string& text) {
  std::vector<std::string> lines;
  std::string current;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const bool continues = !line.empty() && line.back() == '\\' &&
                           (!current.empty() || line.find("=hex") != std::string::npos);
    if (continues) {
      line.pop_back();
      current += line;
    } else if (!current.empty()) {
      std::size_t first = line.find_first_not_of(" \t");
      current += first == std::string::npos ? std::string() : line.substr(first);
      lines.push_back(current);
      current.clear();
    } else {
      lines.push_back(line);
    }
    start = end + 1;
  }
  if (!current.empty()) lines.push_back(current);
  return lines;
}

// Reads a quoted text starting at `pos` (at the opening quote). Returns false
// when it is not closed.
bool readQuoted(const std::string& line, std::size_t& pos, std::string& out) {
  if (pos >= line.size() || line[pos] != '"') return false;
  ++pos;
  out.clear();
  while (pos < line.size()) {
    const char c = line[pos++];
    if (c == '"') return true;
    if (c == '\\' && pos < line.size()) {
      out += line[pos++];
    } else {
      out += c;
    }
  }
  return false;
}

bool parseHexBytes(const std::string& text, std::string& bytes) {
  bytes.clear();
  std::size_t pos = 0;
  while (pos < text.size()) {
    while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t' || text[pos] == ',')) ++pos;
    if (pos >= text.size()) break;
    std::size_t end = pos;
    while (end < text.size() && std::isxdigit(static_cast<unsigned char>(text[end]))) ++end;
    if (end == pos || end - pos > 2) return false;
    bytes += static_cast<char>(std::strtoul(text.substr(pos, end - pos).c_str(), nullptr, 16));
    pos = end;
  }
  return true;
}

std::string narrowUtf16(const std::string& bytes) {
  std::string text;
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    const unsigned unit = static_cast<unsigned char>(bytes[i]) |
                          (static_cast<unsigned>(static_cast<unsigned char>(bytes[i + 1])) << 8);
    text += unit < 256 ? static_cast<char>(unit) : '?';
  }
  return text;
}

// Parses the data after "=" into a value; false when it is not understood.
bool parseData(const std::string& data, RegistryValue& value) {
  if (!data.empty() && data[0] == '"') {
    std::size_t pos = 0;
    std::string text;
    if (!readQuoted(data, pos, text)) return false;
    value.type = kRegistryString;
    value.data = text + '\0';
    return true;
  }
  if (data.compare(0, 6, "dword:") == 0) {
    const std::string digits = data.substr(6);
    if (digits.empty() || digits.size() > 8) return false;
    for (char c : digits)
      if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
    const unsigned long number = std::strtoul(digits.c_str(), nullptr, 16);
    value.type = kRegistryDword;
    value.data.clear();
    for (int shift = 0; shift < 32; shift += 8)
      value.data += static_cast<char>((number >> shift) & 0xFF);
    return true;
  }
  if (data.compare(0, 4, "hex:") == 0) {
    value.type = kRegistryBinary;
    return parseHexBytes(data.substr(4), value.data);
  }
  if (data.compare(0, 4, "hex(") == 0) {
    const std::size_t close = data.find("):", 4);
    if (close == std::string::npos) return false;
    value.type =
        static_cast<std::uint32_t>(std::strtoul(data.substr(4, close - 4).c_str(), nullptr, 16));
    if (!parseHexBytes(data.substr(close + 2), value.data)) return false;
    if (value.type == kRegistryExpandString || value.type == 7)
      value.data = narrowUtf16(value.data);
    return true;
  }
  return false;
}

}  // namespace

// The module never changes the environment, so reading it races with nothing
// of its own.
std::string registryFilePath() {
  const auto environment = [](const char* name) -> std::string {
    const char* value = std::getenv(name);  // NOLINT(concurrency-mt-unsafe)
    return value != nullptr ? value : "";
  };
  if (std::string explicitPath = environment("ROTAVUE_REGISTRY"); !explicitPath.empty())
    return explicitPath;
  std::string base = environment("XDG_CONFIG_HOME");
  if (base.empty()) {
    const std::string home = environment("HOME");
    base = home.empty() ? std::string(".config") : home + "/.config";
  }
  return base + "/glintora/registry.reg";
}

RegistryValue parseRegistryText(const std::string& text, const std::string& keyPath,
                                const std::string& valueName) {
  RegistryValue found;
  bool inKey = false;
  for (const std::string& line : logicalLines(text)) {
    if (line.empty() || line[0] == ';') continue;
    if (line[0] == '[') {
      const std::size_t close = line.rfind(']');
      const std::string name =
          line.substr(1, close == std::string::npos ? std::string::npos : close - 1);
      inKey = !name.empty() && name[0] != '-' && equalIgnoringCase(name, keyPath);
      continue;
    }
    if (!inKey) continue;
    std::string name;
    std::size_t pos = 0;
    if (line[0] == '@') {
      pos = 1;
    } else if (!readQuoted(line, pos, name)) {
      continue;
    }
    if (pos >= line.size() || line[pos] != '=') continue;
    if (!equalIgnoringCase(name, valueName)) continue;
    RegistryValue value;
    if (line.compare(pos + 1, std::string::npos, "-") == 0) continue;
    value.status = parseData(line.substr(pos + 1), value) ? RegistryValue::Status::kOk
                                                          : RegistryValue::Status::kDataUnreadable;
    found = value;
  }
  return found;
}

RegistryValue readRegistryFileValue(const std::string& filePath, const std::string& keyPath,
                                    const std::string& valueName) {
  std::string text;
  if (!readWholeFile(filePath, text)) return RegistryValue{};
  return parseRegistryText(text, keyPath, valueName);
}

}  // namespace rotavue::platform
