// POSIX backend of the platform seam, for the native (Linux) build.
//
// Directory entries get Windows-style attribute words: 16 for a plain
// directory, 16 + 2 (hidden) for a directory whose name starts with ".", 16 +
// 1024 (reparse point) for a symbolic link to a directory, so that the walks
// never follow links into loops, 1024 alone for any other symbolic link (to
// a file, or dangling), as Windows marks a link to a file, and 128 for
// everything else. A name that holds CR or LF is delivered as unreachable.
// The registry is stood in for by a text file in the registry-export format
// (registry_file.h).
#include <dirent.h>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <ctime>

#include "platform/platform.h"
#include "platform/posix/file_descriptor.h"
#include "platform/posix/registry_file.h"

namespace rotavue::platform {

const char kPathSeparator = '/';
const std::size_t kPathLimit = PATH_MAX;
const std::size_t kImagePathBytesLimit = 1024;

std::string ansiToUtf8(const std::string& text) { return text; }

std::size_t hostPathLength(const std::string& path) { return path.size(); }

const char kPathLengthUnit[] = "bytes";

bool exactAnsiText(std::u16string_view text, std::string& ansi) {
  ansi.clear();
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t code = text[i];
    if (code >= 0xD800 && code < 0xE000) {
      const bool paired =
          code < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000;
      if (!paired) {
        ansi.clear();
        return false;
      }
      code = 0x10000 + ((code - 0xD800) << 10) + (text[++i] - 0xDC00);
    }
    if (code < 0x80) {
      ansi += static_cast<char>(code);
    } else if (code < 0x800) {
      ansi += static_cast<char>(0xC0 | (code >> 6));
      ansi += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
      ansi += static_cast<char>(0xE0 | (code >> 12));
      ansi += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      ansi += static_cast<char>(0x80 | (code & 0x3F));
    } else {
      ansi += static_cast<char>(0xF0 | (code >> 18));
      ansi += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
      ansi += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      ansi += static_cast<char>(0x80 | (code & 0x3F));
    }
  }
  return true;
}

bool exactAnsiPath(std::u16string_view path, std::string& ansi) {
  return exactAnsiText(path, ansi);
}

SystemError lastSystemError() { return SystemError{static_cast<std::uint32_t>(errno)}; }

SystemError pathNotFoundError() { return SystemError{ENOENT}; }

std::string systemMessage(SystemError error) {
  char buffer[256];
  // The GNU strerror_r returns the text, which may or may not be `buffer`.
  const char* text = strerror_r(static_cast<int>(error.code), buffer, sizeof buffer);
  return text != nullptr ? std::string(text) : std::string();
}

namespace {

bool isDotOrDotDot(const char* name) {
  return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

class DirectoryStream final : public Enumeration {
 public:
  explicit DirectoryStream(DIR* stream) : stream_(stream) {}
  DirectoryStream(const DirectoryStream&) = delete;
  DirectoryStream& operator=(const DirectoryStream&) = delete;
  ~DirectoryStream() override { ::closedir(stream_); }

  bool next(DirectoryEntry& entry) override {
    // readdir is safe on a stream that no other thread uses.
    const dirent* record = ::readdir(stream_);  // NOLINT(concurrency-mt-unsafe)
    if (record == nullptr) return false;
    entry.name = record->d_name;
    entry.attributes = attributesOf(*record);
    entry.unreachable = std::strpbrk(record->d_name, "\r\n") != nullptr;
    return true;
  }

 private:
  std::uint32_t attributesOf(const dirent& record) const {
    unsigned char type = record.d_type;
    if (type == DT_REG) return kAttributeNormal;
    if (type == DT_UNKNOWN) {
      struct stat status {};
      if (::fstatat(::dirfd(stream_), record.d_name, &status, AT_SYMLINK_NOFOLLOW) != 0)
        return kAttributeNormal;
      type = S_ISDIR(status.st_mode) ? DT_DIR : S_ISLNK(status.st_mode) ? DT_LNK : DT_REG;
    }
    if (type == DT_DIR) {
      if (record.d_name[0] == '.' && !isDotOrDotDot(record.d_name))
        return kAttributeDirectory | kAttributeHidden;
      return kAttributeDirectory;
    }
    if (type == DT_LNK) {
      struct stat target {};
      if (::fstatat(::dirfd(stream_), record.d_name, &target, 0) == 0 && S_ISDIR(target.st_mode))
        return kAttributeDirectory | kAttributeReparsePoint;
      return kAttributeReparsePoint;
    }
    return kAttributeNormal;
  }

  DIR* stream_;
};

// The directory part of a search pattern: everything up to and including the
// last separator. POSIX has no wildcard enumeration, so the pattern's last
// component ("*.*") is ignored and the whole directory is listed.
std::string directoryOfPattern(const char* searchPattern) {
  std::string directory(searchPattern);
  const std::size_t separator = directory.rfind(kPathSeparator);
  directory.erase(separator == std::string::npos ? 0 : separator + 1);
  if (directory.empty()) directory = ".";
  return directory;
}

std::unique_ptr<Enumeration> openDirectoryEnumeration(const char* searchPattern,
                                                      DirectoryEntry& first, SystemError& error) {
  DIR* stream = ::opendir(directoryOfPattern(searchPattern).c_str());
  if (stream == nullptr) {
    error = lastSystemError();
    return nullptr;
  }
  auto enumeration = std::make_unique<DirectoryStream>(stream);
  errno = 0;
  if (!enumeration->next(first)) {
    // Every readable directory holds "." and ".."; an empty listing is a
    // read failure.
    error = SystemError{static_cast<std::uint32_t>(errno != 0 ? errno : ENOENT)};
    return nullptr;
  }
  return enumeration;
}

WriteOutcome writeNewFileOnDisk(const std::string& path, Creation creation, const char* data,
                                std::size_t size) {
  const int how = creation == Creation::kExclusive ? O_EXCL : O_TRUNC;
  FileDescriptor file(::open(path.c_str(), O_WRONLY | O_CREAT | how | O_CLOEXEC, 0644));
  WriteOutcome outcome;
  if (!file.isOpen()) {
    outcome.nameTaken = errno == EEXIST;
    return outcome;
  }
  outcome.created = true;
  const ssize_t written = ::write(file.get(), data, size);
  outcome.written = written > 0 ? static_cast<std::size_t>(written) : 0;
  outcome.flushed = ::fsync(file.get()) == 0;
  if (!file.close()) outcome.written = 0;
  return outcome;
}

bool replaceFileOnDisk(const std::string& source, const std::string& target) {
  return ::rename(source.c_str(), target.c_str()) == 0;
}

// The first line of a position file fits one chunk: a directory and a file
// name within the system's path limit.
constexpr std::size_t kLineChunkSize = 1024;

bool holdsLineEnd(const char* chunk, std::size_t size) {
  return std::any_of(chunk, chunk + size,
                     [](char c) { return c == '\r' || c == '\n' || c == '\0'; });
}

std::uint64_t systemFileTimeNow() {
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME, &now);
  constexpr std::uint64_t kSecondsFrom1601To1970 = 11644473600ULL;
  return (static_cast<std::uint64_t>(now.tv_sec) + kSecondsFrom1601To1970) * 10000000ULL +
         static_cast<std::uint64_t>(now.tv_nsec) / 100;
}

std::int64_t calendarSecondsNow() { return static_cast<std::int64_t>(std::time(nullptr)); }

// File names are UTF-8, in which no byte of a multi-byte character is below
// 0x80: there are no double-byte characters to step over.
bool isNeverLeadByte(unsigned char) { return false; }

}  // namespace

bool fileExists(const std::string& path) {
  struct stat status {};
  return ::stat(path.c_str(), &status) == 0 && !S_ISDIR(status.st_mode);
}

// stat follows links, as fileExists does.
bool fileExistsFollowingLinks(const std::string& path) { return fileExists(path); }

bool readFirstLine(const std::string& path, std::size_t limit, std::string& contents) {
  FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!file.isOpen()) return false;
  contents.clear();
  char chunk[kLineChunkSize];
  while (contents.size() < limit) {
    const ssize_t got = ::read(file.get(), chunk, std::min(sizeof chunk, limit - contents.size()));
    if (got < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (got == 0) break;
    contents.append(chunk, static_cast<std::size_t>(got));
    if (holdsLineEnd(chunk, static_cast<std::size_t>(got))) break;
  }
  return true;
}

bool removeFile(const std::string& path) { return ::unlink(path.c_str()) == 0; }

std::uint32_t processId() { return static_cast<std::uint32_t>(::getpid()); }

// At most 256 bytes come whole from one call, once the generator is ready.
bool systemRandomBytes(void* buffer, std::size_t size) {
  return size <= 256 && ::getrandom(buffer, size, 0) == static_cast<ssize_t>(size);
}

RegistryValue readUserRegistryValue(const std::string& keyPath, const std::string& valueName) {
  return readRegistryFileValue(registryFilePath(), "HKEY_CURRENT_USER\\" + keyPath, valueName);
}

const Hooks& systemHooks() {
  static const Hooks real{systemFileTimeNow,  calendarSecondsNow, openDirectoryEnumeration,
                          writeNewFileOnDisk, replaceFileOnDisk,  isNeverLeadByte};
  return real;
}

}  // namespace rotavue::platform
