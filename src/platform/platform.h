// Everything the module needs of the operating system, behind one seam.
//
// Two backends implement these declarations with the same names:
// win32/platform_win32.cpp (the real Windows calls, ANSI forms) and
// posix/platform_posix.cpp (Linux, for the native build and its tests). CMake
// compiles exactly one of them. Errors cross the seam as `SystemError`, which
// each backend builds in one place from GetLastError or errno.
//
// The clock, the directory enumeration, the file writes and the code page's
// lead-byte rule go through `hooks()`, so that tests can replace them with a
// fixed clock, an in-memory tree, a failing disk or a double-byte code page
// without touching the system.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace rotavue::platform {

// The path separator that the module appends to and looks for in paths:
// "\" on Windows, "/" on POSIX.
extern const char kPathSeparator;

// ---------------------------------------------------------------------------
// Texts in the ANSI code page.
//
// The host speaks the system's ANSI code page. In a double-byte code page
// (932, 936, 949, 950) a lead byte starts a character of two bytes, and the
// second byte may have the value of "\": such a byte is part of a character,
// never a separator. "#" and "." are never second bytes in these code pages,
// so searching for them byte by byte is exact. On POSIX (UTF-8) no byte of a
// multi-byte character is below 0x80, so "/" is never inside a character.

// The length at which a path can no longer be opened by the host's file
// calls, counted as they count it (hostPathLength): a path of kPathLimit
// units or more fails (MAX_PATH, 260 UTF-16 units, on Windows; PATH_MAX,
// 4096 bytes, on POSIX; both count the terminating NUL).
extern const std::size_t kPathLimit;

// The length of an ANSI path as the system's file calls count it: on
// Windows the ANSI calls convert the path to UTF-16 first, so a character of
// two bytes in a double-byte code page counts once; on POSIX, bytes.
std::size_t hostPathLength(const std::string& path);

// True when the host's ANSI file calls can open a path of this text: its
// length as they count it is below kPathLimit. The one rule for the position
// file's save and for the report of paths too long to show.
inline bool hostCanOpenPath(const std::string& path) { return hostPathLength(path) < kPathLimit; }

// The length in bytes from which the walks pass over an image, as if it were
// not there: natively 1024, since the result text holds 1023 bytes and a
// longer path would reach the host cut. On Windows no such limit (the
// largest size_t): the host cannot open a path of kPathLimit characters,
// which every path of 1024 bytes reaches first, and the walks show such an
// image as they always did. It is not kPathLimit, which also decides whether
// a position file can be saved.
extern const std::size_t kImagePathBytesLimit;

// The unit in which hostPathLength counts, for reports: "characters" on
// Windows (UTF-16 units, of which a character outside the Basic Multilingual
// Plane takes two), "bytes" on POSIX.
extern const char kPathLengthUnit[];

// The exact form of a UTF-16 text in the ANSI code page, that is one that
// converts back to the same text; false, with `ansi` empty, when it has none
// (a best-fit substitution, a character outside the code page, an unpaired
// surrogate). On POSIX the ANSI code page is UTF-8.
bool exactAnsiText(std::u16string_view text, std::string& ansi);

// The text in which the host's ANSI file calls reach the existing file or
// folder at `path` (UTF-16, as the system names it): its exact form, else
// the exact form of its short path. False, with `ansi` empty, when it has
// neither: its name is outside the code page and it does not exist or has
// no short name. The module reads DirPath through it, and rotavue-host
// converts the folders it is given with it. POSIX has no short names.
bool exactAnsiPath(std::u16string_view path, std::string& ansi);

// A text of the ANSI code page in UTF-8, for reports. On POSIX, where names
// are UTF-8 already, the bytes as they are: a name that is not valid UTF-8
// stays as it is, and whoever prints it decides how to show it.
std::string ansiToUtf8(const std::string& text);

// True when `text` ends in the path separator as a character of its own (not
// as the second byte of a double-byte character).
bool endsInSeparator(const std::string& text);

// The position of the last path separator of `text` that is a character of
// its own; std::string::npos when it has none.
std::size_t lastSeparator(const std::string& text);

// Attribute words, as the Windows find data carries them. Which directories
// the walks enter is decided in walk/walk.h (isEnteredDirectory).
inline constexpr std::uint32_t kAttributeReadOnly = 1;
inline constexpr std::uint32_t kAttributeHidden = 2;
inline constexpr std::uint32_t kAttributeSystem = 4;
inline constexpr std::uint32_t kAttributeDirectory = 16;
inline constexpr std::uint32_t kAttributeArchive = 32;
inline constexpr std::uint32_t kAttributeDevice = 64;
inline constexpr std::uint32_t kAttributeNormal = 128;
inline constexpr std::uint32_t kAttributeReparsePoint = 1024;
inline constexpr std::uint32_t kAttributeOffline = 4096;
inline constexpr std::uint32_t kAttributeRecallOnOpen = 0x40000;
inline constexpr std::uint32_t kAttributeRecallOnDataAccess = 0x400000;

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

// One entry of a directory. `name` is the entry's own name as the host must
// see it, NUL-terminated, valid until the next call on the enumeration that
// delivered it.
//
// An entry whose name has no exact form in the ANSI code page, and no short
// name that has one, cannot be opened by the host: it is delivered as
// `unreachable`, with its long name in UTF-8 in `name` for reports, and the
// walks pass over it as if it were not there. So is, natively, a name that
// holds CR or LF, which would cut the position file's line (Windows allows
// neither in a name).
struct DirectoryEntry {
  std::uint32_t attributes = 0;
  const char* name = "";
  bool unreachable = false;
};

// How an entry is named to the host (see `chooseEntryName`).
enum class EntryNameForm {
  kLongName,     // the entry's own name, converted exactly
  kShortName,    // its short (8.3) name, converted exactly
  kUnreachable,  // neither converts exactly
};

// Converts a UTF-16 name to the ANSI code page into `ansi`; true when the
// conversion is exact, that is when converting `ansi` back gives `name`
// again (best-fit substitutions, characters outside the code page and
// unpaired surrogates all fail this).
using AnsiConversionFunction = bool (*)(std::u16string_view name, std::string& ansi);

// Names an entry whose names the system gives in UTF-16: its long name when
// that converts exactly, else its short name (empty when it has none) when
// that converts exactly, else unreachable. `ansi` receives the chosen form.
// A name made of ASCII characters alone is copied without calling `convert`.
EntryNameForm chooseEntryName(std::u16string_view longName, std::u16string_view shortName,
                              AnsiConversionFunction convert, std::string& ansi);

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

// How a file is created for writing.
enum class Creation {
  kReplace,    // create it, or empty the file of that name
  kExclusive,  // create it only where no file of that name exists
};

// Outcome of writing a whole new file.
struct WriteOutcome {
  bool created = false;     // false: the file could not be created
  bool nameTaken = false;   // not created, since the name exists (kExclusive)
  std::size_t written = 0;  // bytes actually written
  bool flushed = false;     // the system reported the data on the disk
};

// Creates the file at `path` as `creation` says, writes `size` bytes in one
// write, flushes them to the disk (FlushFileBuffers, fsync) and closes it:
// a file that a power cut may leave empty or full of NUL bytes is never
// reported as written whole.
using WriteNewFileFunction = WriteOutcome (*)(const std::string& path, Creation creation,
                                              const char* data, std::size_t size);

// True when a file (not a directory) exists at `path` and its last-write time
// converts to a local date and time.
bool fileExists(const std::string& path);

// True when a file (not a directory) exists at `path` once every link on
// the way is followed: on Windows the path is opened (CreateFileW,
// OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS) where fileExists looks at the
// directory entry itself, which for a link to no file, or to a folder, is
// the link. So a dangling link is no file, as natively. The host's tool
// tells its answers and its survey's images by it; the position file's load
// keeps fileExists.
bool fileExistsFollowingLinks(const std::string& path);

// Reads the file at `path` from its start through the end of its first line,
// opening it for reading with write-sharing denied. Reads short chunks and
// stops after the first one that holds a CR, LF or NUL byte, at the end of
// the file, or at `limit` bytes: `contents` then holds the first line, its
// end and at most the rest of that chunk, and never more than `limit` bytes,
// however large the file. False when it cannot be opened or read.
bool readFirstLine(const std::string& path, std::size_t limit, std::string& contents);

// Replaces `target` by `source` in one step (the source name disappears).
// False, with both files as they were, when it cannot.
using ReplaceFileFunction = bool (*)(const std::string& source, const std::string& target);

// Removes a file; false when it could not be removed.
bool removeFile(const std::string& path);

// A number that differs between processes running at the same time.
std::uint32_t processId();

// Fills `buffer` with `size` bytes of the system's cryptographic random
// generator (RtlGenRandom on Windows, getrandom on Linux), which no clock
// and no other process's seed predicts; false when it cannot.
bool systemRandomBytes(void* buffer, std::size_t size);

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

// True when `byte` starts a double-byte character in the ANSI code page.
using LeadByteFunction = bool (*)(unsigned char byte);

// ---------------------------------------------------------------------------
// Replaceable hooks. The defaults are the backend's real calls.

struct Hooks {
  SystemFileTimeFunction systemFileTime;
  CalendarSecondsFunction calendarSeconds;
  OpenEnumerationFunction openEnumeration;
  WriteNewFileFunction writeNewFile;
  ReplaceFileFunction replaceFile;
  LeadByteFunction isLeadByte;
};

// The hooks in force for the whole module.
Hooks& hooks();
// The backend's real calls.
const Hooks& systemHooks();

}  // namespace rotavue::platform
