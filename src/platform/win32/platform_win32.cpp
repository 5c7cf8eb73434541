// Windows backend of the platform seam: the real calls, with the arguments
// the host's module has always used, so that paths, attribute words and
// message texts are byte for byte the system's own.
//
// Texts cross to the host in the ANSI code page, so file names and the host's
// directory are read in UTF-16 and converted here, exactly or not at all: a
// name whose conversion would change it (a best-fit substitution, a character
// outside the code page) is given as its short name instead, which the host
// can open. Every other call uses the ANSI forms.
#include <windows.h>

// RtlGenRandom; it needs windows.h first.
#include <ntsecapi.h>

#include <algorithm>
#include <ctime>
#include <cwchar>

#include "platform/platform.h"
#include "platform/win32/registry_key.h"

namespace rotavue::platform {

const char kPathSeparator = '\\';
const std::size_t kPathLimit = MAX_PATH;
const std::size_t kImagePathBytesLimit = static_cast<std::size_t>(-1);
const char kPathLengthUnit[] = "characters";

SystemError lastSystemError() { return SystemError{static_cast<std::uint32_t>(::GetLastError())}; }

SystemError pathNotFoundError() { return SystemError{ERROR_PATH_NOT_FOUND}; }

namespace {

class LocalMemory {
 public:
  LocalMemory() = default;
  LocalMemory(const LocalMemory&) = delete;
  LocalMemory& operator=(const LocalMemory&) = delete;
  ~LocalMemory() {
    if (text_ != nullptr) ::LocalFree(text_);
  }
  char** receiver() { return &text_; }
  const char* text() const { return text_; }

 private:
  char* text_ = nullptr;
};

class FileHandle {
 public:
  explicit FileHandle(HANDLE handle) : handle_(handle) {}
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;
  ~FileHandle() {
    if (isOpen()) ::CloseHandle(handle_);
  }
  HANDLE get() const { return handle_; }
  bool isOpen() const { return handle_ != INVALID_HANDLE_VALUE; }
  bool close() {
    const HANDLE handle = handle_;
    handle_ = INVALID_HANDLE_VALUE;
    return handle == INVALID_HANDLE_VALUE || ::CloseHandle(handle) != 0;
  }

 private:
  HANDLE handle_;
};

// Names and paths are at most this many UTF-16 units long on the stack; a
// longer text (a long DirPath) takes the heap.
constexpr int kStackUnits = 600;

std::u16string_view viewOf(const wchar_t* text, std::size_t length) {
  return {reinterpret_cast<const char16_t*>(text), length};
}

// The ANSI code page's conversion, checked by converting back. The
// default-character flag would be simpler, but the system refuses it for
// UTF-8 (65001), which may be the ANSI code page.
bool convertToAnsiExactly(std::u16string_view name, std::string& ansi) {
  ansi.clear();
  if (name.empty()) return true;
  const auto* wide = reinterpret_cast<const wchar_t*>(name.data());
  const int length = static_cast<int>(name.size());
  const int size = ::WideCharToMultiByte(CP_ACP, 0, wide, length, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return false;
  ansi.resize(static_cast<std::size_t>(size));
  if (::WideCharToMultiByte(CP_ACP, 0, wide, length, &ansi[0], size, nullptr, nullptr) != size)
    return false;
  // Converting back never gives more UTF-16 units than there are bytes.
  wchar_t onStack[kStackUnits];
  std::wstring onHeap;
  wchar_t* back = onStack;
  if (size > kStackUnits) {
    onHeap.resize(static_cast<std::size_t>(size));
    back = &onHeap[0];
  }
  const int backLength = ::MultiByteToWideChar(CP_ACP, 0, ansi.data(), size, back, size);
  return backLength == length && std::equal(wide, wide + length, back);
}

std::string convertTo(UINT codePage, std::u16string_view text) {
  const auto* wide = reinterpret_cast<const wchar_t*>(text.data());
  const int length = static_cast<int>(text.size());
  std::string converted;
  const int size = ::WideCharToMultiByte(codePage, 0, wide, length, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return converted;
  converted.resize(static_cast<std::size_t>(size));
  ::WideCharToMultiByte(codePage, 0, wide, length, &converted[0], size, nullptr, nullptr);
  return converted;
}

std::wstring wideFromAnsi(const char* text) {
  std::wstring wide;
  const int size = ::MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
  if (size <= 0) return wide;
  wide.resize(static_cast<std::size_t>(size));
  ::MultiByteToWideChar(CP_ACP, 0, text, -1, &wide[0], size);
  wide.resize(static_cast<std::size_t>(size) - 1);
  return wide;
}

// Enumerates in UTF-16 and names each entry to the host in the ANSI code
// page (chooseEntryName): the entry's own name, its short name, or, when
// neither converts exactly, its long name in UTF-8, marked unreachable.
class FindEnumeration final : public Enumeration {
 public:
  FindEnumeration() = default;
  FindEnumeration(const FindEnumeration&) = delete;
  FindEnumeration& operator=(const FindEnumeration&) = delete;
  ~FindEnumeration() override {
    if (handle_ != INVALID_HANDLE_VALUE) ::FindClose(handle_);
  }

  bool open(const char* searchPattern, DirectoryEntry& first) {
    handle_ = ::FindFirstFileExW(wideFromAnsi(searchPattern).c_str(), FindExInfoStandard, &data_,
                                 FindExSearchNameMatch, nullptr, 0);
    if (handle_ == INVALID_HANDLE_VALUE) return false;
    deliver(first);
    return true;
  }

  bool next(DirectoryEntry& entry) override {
    if (::FindNextFileW(handle_, &data_) == 0) return false;
    deliver(entry);
    return true;
  }

 private:
  void deliver(DirectoryEntry& entry) {
    entry.attributes = data_.dwFileAttributes;
    const std::u16string_view longName = viewOf(data_.cFileName, std::wcslen(data_.cFileName));
    const std::u16string_view shortName =
        viewOf(data_.cAlternateFileName, std::wcslen(data_.cAlternateFileName));
    entry.unreachable = chooseEntryName(longName, shortName, convertToAnsiExactly, name_) ==
                        EntryNameForm::kUnreachable;
    if (entry.unreachable) name_ = convertTo(CP_UTF8, longName);
    entry.name = name_.c_str();
  }

  HANDLE handle_ = INVALID_HANDLE_VALUE;
  WIN32_FIND_DATAW data_{};
  std::string name_;
};

std::unique_ptr<Enumeration> openFindEnumeration(const char* searchPattern, DirectoryEntry& first,
                                                 SystemError& error) {
  auto enumeration = std::make_unique<FindEnumeration>();
  if (!enumeration->open(searchPattern, first)) {
    error = lastSystemError();
    return nullptr;
  }
  return enumeration;
}

WriteOutcome writeNewFileOnDisk(const std::string& path, Creation creation, const char* data,
                                std::size_t size) {
  const DWORD how = creation == Creation::kExclusive ? CREATE_NEW : CREATE_ALWAYS;
  FileHandle file(::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, how,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  WriteOutcome outcome;
  if (!file.isOpen()) {
    const DWORD error = ::GetLastError();
    outcome.nameTaken = error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS;
    return outcome;
  }
  outcome.created = true;
  DWORD written = 0;
  if (::WriteFile(file.get(), data, static_cast<DWORD>(size), &written, nullptr) == 0) written = 0;
  outcome.written = written;
  outcome.flushed = ::FlushFileBuffers(file.get()) != 0;
  if (!file.close()) outcome.written = 0;
  return outcome;
}

bool replaceFileOnDisk(const std::string& source, const std::string& target) {
  return ::MoveFileExA(source.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

// The first line of a position file fits one chunk: a directory and a file
// name within the system's path limit.
constexpr DWORD kLineChunkSize = 1024;

bool holdsLineEnd(const char* chunk, DWORD size) {
  return std::any_of(chunk, chunk + size,
                     [](char c) { return c == '\r' || c == '\n' || c == '\0'; });
}

std::uint64_t systemFileTimeNow() {
  FILETIME now{};
  ::GetSystemTimeAsFileTime(&now);
  return (static_cast<std::uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
}

std::int64_t calendarSecondsNow() { return static_cast<std::int64_t>(std::time(nullptr)); }

bool isAnsiLeadByte(unsigned char byte) { return ::IsDBCSLeadByte(byte) != 0; }

// The host's directory in the ANSI code page: its exact form or that of its
// short path (exactAnsiPath), else the conversion the ANSI registry call
// would have given, which then fails where that would have failed.
std::string ansiDirectoryOf(std::u16string_view directory) {
  std::string ansi;
  if (exactAnsiPath(directory, ansi)) return ansi;
  return convertTo(CP_ACP, directory);
}

}  // namespace

std::string ansiToUtf8(const std::string& text) {
  if (text.empty()) return text;
  const int length = static_cast<int>(text.size());
  const int units = ::MultiByteToWideChar(CP_ACP, 0, text.data(), length, nullptr, 0);
  if (units <= 0) return std::string();
  std::wstring wide(static_cast<std::size_t>(units), L'\0');
  ::MultiByteToWideChar(CP_ACP, 0, text.data(), length, &wide[0], units);
  return convertTo(CP_UTF8, viewOf(wide.data(), wide.size()));
}

bool exactAnsiText(std::u16string_view text, std::string& ansi) {
  return chooseEntryName(text, {}, convertToAnsiExactly, ansi) != EntryNameForm::kUnreachable;
}

bool exactAnsiPath(std::u16string_view path, std::string& ansi) {
  if (exactAnsiText(path, ansi)) return true;
  const std::wstring wide(reinterpret_cast<const wchar_t*>(path.data()), path.size());
  const DWORD size = ::GetShortPathNameW(wide.c_str(), nullptr, 0);
  if (size > 0) {
    std::wstring shortPath(size, L'\0');
    const DWORD length = ::GetShortPathNameW(wide.c_str(), &shortPath[0], size);
    if (length > 0 && length < size && exactAnsiText(viewOf(shortPath.data(), length), ansi))
      return true;
  }
  ansi.clear();
  return false;
}

std::size_t hostPathLength(const std::string& path) {
  if (path.empty()) return 0;
  const int units =
      ::MultiByteToWideChar(CP_ACP, 0, path.data(), static_cast<int>(path.size()), nullptr, 0);
  // A text the code page cannot convert fails the ANSI calls at any length.
  return units > 0 ? static_cast<std::size_t>(units) : kPathLimit;
}

std::string systemMessage(SystemError error) {
  LocalMemory text;
  const DWORD length =
      ::FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM, nullptr,
                       error.code, 0, reinterpret_cast<char*>(text.receiver()), 0, nullptr);
  if (length == 0 || text.text() == nullptr) return std::string();
  return std::string(text.text(), length);
}

bool fileExists(const std::string& path) {
  WIN32_FIND_DATAA data{};
  const HANDLE search = ::FindFirstFileA(path.c_str(), &data);
  if (search == INVALID_HANDLE_VALUE) return false;
  ::FindClose(search);
  if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return false;
  FILETIME local{};
  WORD dosDate = 0;
  WORD dosTime = 0;
  return ::FileTimeToLocalFileTime(&data.ftLastWriteTime, &local) != 0 &&
         ::FileTimeToDosDateTime(&local, &dosDate, &dosTime) != 0;
}

// Without FILE_FLAG_OPEN_REPARSE_POINT the open follows links. Only the
// attributes are asked for, so a file that may not be read exists all the
// same.
bool fileExistsFollowingLinks(const std::string& path) {
  FileHandle file(::CreateFileW(wideFromAnsi(path.c_str()).c_str(), FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  BY_HANDLE_FILE_INFORMATION information{};
  return file.isOpen() && ::GetFileInformationByHandle(file.get(), &information) != 0 &&
         (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool readFirstLine(const std::string& path, std::size_t limit, std::string& contents) {
  FileHandle file(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.isOpen()) return false;
  contents.clear();
  char chunk[kLineChunkSize];
  while (contents.size() < limit) {
    const auto wanted =
        static_cast<DWORD>(std::min<std::size_t>(sizeof chunk, limit - contents.size()));
    DWORD got = 0;
    if (::ReadFile(file.get(), chunk, wanted, &got, nullptr) == 0) return false;
    if (got == 0) break;
    contents.append(chunk, got);
    if (holdsLineEnd(chunk, got)) break;
  }
  return true;
}

bool removeFile(const std::string& path) { return ::DeleteFileA(path.c_str()) != 0; }

std::uint32_t processId() { return static_cast<std::uint32_t>(::GetCurrentProcessId()); }

// RtlGenRandom, exported by advapi32 as SystemFunction036.
bool systemRandomBytes(void* buffer, std::size_t size) {
  return ::RtlGenRandom(buffer, static_cast<ULONG>(size)) != FALSE;
}

RegistryValue readUserRegistryValue(const std::string& keyPath, const std::string& valueName) {
  RegistryValue value;
  RegistryKey key;
  if (::RegOpenKeyExA(HKEY_CURRENT_USER, keyPath.c_str(), 0, KEY_READ, key.receiver()) !=
      ERROR_SUCCESS)
    return value;
  const std::wstring name = wideFromAnsi(valueName.c_str());
  if (::RegQueryValueExW(key.get(), name.c_str(), nullptr, nullptr, nullptr, nullptr) !=
      ERROR_SUCCESS)
    return value;
  DWORD type = 0;
  DWORD size = 0;
  value.status = RegistryValue::Status::kDataUnreadable;
  if (::RegQueryValueExW(key.get(), name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
    return value;
  value.type = type;
  if (size > 0) {
    std::string data(size, '\0');
    if (::RegQueryValueExW(key.get(), name.c_str(), nullptr, &type,
                           reinterpret_cast<BYTE*>(&data[0]), &size) != ERROR_SUCCESS)
      return value;
    value.type = type;
    data.resize(size);
    if (type == REG_SZ || type == REG_EXPAND_SZ) {
      // The text is read in UTF-16, up to its first NUL, and handed on in the
      // ANSI code page with one NUL, as the ANSI call would give it.
      std::u16string text(data.size() / 2, u'\0');
      std::copy(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(text.size() * 2),
                reinterpret_cast<char*>(&text[0]));
      text.resize(std::min(text.size(), text.find(u'\0')));
      value.data = ansiDirectoryOf(text);
      value.data += '\0';
    } else {
      value.data = std::move(data);
    }
  }
  value.status = RegistryValue::Status::kOk;
  return value;
}

const Hooks& systemHooks() {
  static const Hooks real{systemFileTimeNow,  calendarSecondsNow, openFindEnumeration,
                          writeNewFileOnDisk, replaceFileOnDisk,  isAnsiLeadByte};
  return real;
}

}  // namespace rotavue::platform
