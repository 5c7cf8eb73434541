// Everything the module needs of the operating system, behind one seam.
//
// Two backends implement these declarations with the same names:
// win32/platform_win32.cpp (the real Windows calls, ANSI forms) and
// posix/platform_posix.cpp (Linux, for the native build and its tests). CMake
// compiles exactly one of them. Errors cross the seam as `SystemError`, which
// each backend builds in one place from GetLastError or errno.
//
// The clock, the directory enumeration and the file writes go through
// `hooks()`, so that tests can replace them with a fixed clock, an in-memory
// tree or a failing disk without touching the system.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace rotavue::platform {

// The path separator that the module appends to and looks for in paths:
// "\" on Windows, "/" on POSIX.
extern const char kPathSeparator;

// Attribute words, as the Windows find data carries them. An attribute word
// of exactly kAttributeDirectory marks a plain directory.
inline constexpr std::uint32_t kAttributeReadOnly = 1;
inline constexpr std::uint32_t kAttributeHidden = 2;
inline constexpr std::uint32_t kAttributeSystem = 4;
inline constexpr std::uint32_t kAttributeDirectory = 16;
inline constexpr std::uint32_t kAttributeArchive = 32;
inline constexpr std::uint32_t kAttributeNormal = 128;
inline constexpr std::uint32_t kAttributeReparsePoint = 1024;

// A failure code of the system (GetLastError or errno).
struct SystemError {
  std::uint32_t code = 0;
};

// The error of the last failed system call on this thread.
SystemError lastSystemError();

// The code the system reports for a path that does not exist.
SystemError pathNotFoundError();

// The system's message text for a failure code, exactly as the system gives
// it (FormatMessageA on Windows, strerror on POSIX); "" when it has none.
std::string systemMessage(SystemError error);

// ---------------------------------------------------------------------------
// Directory enumeration, with find-first / find-next / close semantics.

// One entry of a directory. `name` is the entry's own name, NUL-terminated,
// valid until the next call on the enumeration that delivered it.
struct DirectoryEntry {
  std::uint32_t attributes = 0;
  const char* name = "";
};

// An open enumeration of one directory; destroying it closes it.
class Enumeration {
 public:
  virtual ~Enumeration() = default;
  // Delivers the next entry; false when none is left or the enumeration fails.
  virtual bool next(DirectoryEntry& entry) = 0;
};

// Opens the enumeration of a search pattern (a directory followed by "*.*")
// and delivers its first entry. Returns null and sets `error` on failure.
using OpenEnumerationFunction = std::unique_ptr<Enumeration> (*)(const char* searchPattern,
                                                                 DirectoryEntry& first,
                                                                 SystemError& error);

// ---------------------------------------------------------------------------
// Files.

// Outcome of writing a whole new file.
struct WriteOutcome {
  bool created = false;     // false: the file could not be created
  std::size_t written = 0;  // bytes actually written
};

// Creates (or truncates) the file at `path`, writes `size` bytes in one
// write and closes it.
using WriteNewFileFunction = WriteOutcome (*)(const std::string& path, const char* data,
                                              std::size_t size);

// True when a file (not a directory) exists at `path` and its last-write time
// converts to a local date and time.
bool fileExists(const std::string& path);

// Reads the file at `path` from its start through the end of its first line,
// opening it for reading with write-sharing denied. Reads short chunks and
// stops after the first one that holds a CR, LF or NUL byte, or at the end of
// the file: `contents` then holds the first line, its end and at most the
// rest of that chunk, however large the file. False when it cannot be opened
// or read.
bool readFirstLine(const std::string& path, std::string& contents);

// Replaces `target` by `source` in one step (the source name disappears).
// False, with both files as they were, when it cannot.
using ReplaceFileFunction = bool (*)(const std::string& source, const std::string& target);

// Removes a file; false when it could not be removed.
bool removeFile(const std::string& path);

// A number that differs between processes running at the same time.
std::uint32_t processId();

// A number that differs between threads running at the same time, in this
// process or any other.
std::uint32_t threadId();

// ---------------------------------------------------------------------------
// Registry.

inline constexpr std::uint32_t kRegistryString = 1;        // REG_SZ
inline constexpr std::uint32_t kRegistryExpandString = 2;  // REG_EXPAND_SZ
inline constexpr std::uint32_t kRegistryBinary = 3;        // REG_BINARY
inline constexpr std::uint32_t kRegistryDword = 4;         // REG_DWORD

struct RegistryValue {
  enum class Status {
    kOk,              // `type` and `data` hold the value
    kUnavailable,     // key missing, not openable, or value missing
    kDataUnreadable,  // the value exists but its data could not be read
  };
  Status status = Status::kUnavailable;
  std::uint32_t type = 0;
  std::string data;  // the raw bytes, as stored (for strings: NUL included)
};

// Reads a value under HKEY_CURRENT_USER, opening the key read-only.
// `keyPath` has no leading separator, e.g. "Software\Glintora\General".
RegistryValue readUserRegistryValue(const std::string& keyPath, const std::string& valueName);

// ---------------------------------------------------------------------------
// Time.

// System time as a file time: 100-nanosecond units since 1 January 1601 UTC.
using SystemFileTimeFunction = std::uint64_t (*)();
// Calendar time in whole seconds since 1 January 1970, as `time` gives it.
using CalendarSecondsFunction = std::int64_t (*)();

// ---------------------------------------------------------------------------
// Replaceable hooks. The defaults are the backend's real calls.

struct Hooks {
  SystemFileTimeFunction systemFileTime;
  CalendarSecondsFunction calendarSeconds;
  OpenEnumerationFunction openEnumeration;
  WriteNewFileFunction writeNewFile;
  ReplaceFileFunction replaceFile;
};

// The hooks in force for the whole module.
Hooks& hooks();
// The backend's real calls.
const Hooks& systemHooks();

}  // namespace rotavue::platform
