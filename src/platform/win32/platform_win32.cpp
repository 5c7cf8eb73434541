// Windows backend of the platform seam: the real calls, in their ANSI forms
// and with the arguments the host's module has always used, so that paths,
// attribute words and message texts are byte for byte the system's own.
#include <windows.h>

#include <algorithm>
#include <ctime>

#include "platform/platform.h"

namespace rotavue::platform {

const char kPathSeparator = '\\';

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

class RegistryKey {
 public:
  RegistryKey() = default;
  RegistryKey(const RegistryKey&) = delete;
  RegistryKey& operator=(const RegistryKey&) = delete;
  ~RegistryKey() {
    if (key_ != nullptr) ::RegCloseKey(key_);
  }
  HKEY* receiver() { return &key_; }
  HKEY get() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

class FindEnumeration final : public Enumeration {
 public:
  FindEnumeration() = default;
  FindEnumeration(const FindEnumeration&) = delete;
  FindEnumeration& operator=(const FindEnumeration&) = delete;
  ~FindEnumeration() override {
    if (handle_ != INVALID_HANDLE_VALUE) ::FindClose(handle_);
  }

  bool open(const char* searchPattern, DirectoryEntry& first) {
    handle_ = ::FindFirstFileExA(searchPattern, FindExInfoStandard, &data_, FindExSearchNameMatch,
                                 nullptr, 0);
    if (handle_ == INVALID_HANDLE_VALUE) return false;
    deliver(first);
    return true;
  }

  bool next(DirectoryEntry& entry) override {
    if (::FindNextFileA(handle_, &data_) == 0) return false;
    deliver(entry);
    return true;
  }

 private:
  void deliver(DirectoryEntry& entry) const {
    entry.attributes = data_.dwFileAttributes;
    entry.name = data_.cFileName;
  }

  HANDLE handle_ = INVALID_HANDLE_VALUE;
  WIN32_FIND_DATAA data_{};
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

WriteOutcome writeNewFileOnDisk(const std::string& path, const char* data, std::size_t size) {
  FileHandle file(::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  WriteOutcome outcome;
  if (!file.isOpen()) return outcome;
  outcome.created = true;
  DWORD written = 0;
  if (::WriteFile(file.get(), data, static_cast<DWORD>(size), &written, nullptr) == 0) written = 0;
  outcome.written = written;
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

}  // namespace

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

bool readFirstLine(const std::string& path, std::string& contents) {
  FileHandle file(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.isOpen()) return false;
  contents.clear();
  char chunk[kLineChunkSize];
  for (;;) {
    DWORD got = 0;
    if (::ReadFile(file.get(), chunk, sizeof chunk, &got, nullptr) == 0) return false;
    if (got == 0) return true;
    contents.append(chunk, got);
    if (holdsLineEnd(chunk, got)) return true;
  }
}

bool removeFile(const std::string& path) { return ::DeleteFileA(path.c_str()) != 0; }

std::uint32_t processId() { return static_cast<std::uint32_t>(::GetCurrentProcessId()); }

// The system keeps a thread's identifier unique throughout the system while
// the thread runs.
std::uint32_t threadId() { return static_cast<std::uint32_t>(::GetCurrentThreadId()); }

RegistryValue readUserRegistryValue(const std::string& keyPath, const std::string& valueName) {
  RegistryValue value;
  RegistryKey key;
  if (::RegOpenKeyExA(HKEY_CURRENT_USER, keyPath.c_str(), 0, KEY_READ, key.receiver()) !=
      ERROR_SUCCESS)
    return value;
  if (::RegQueryValueExA(key.get(), valueName.c_str(), nullptr, nullptr, nullptr, nullptr) !=
      ERROR_SUCCESS)
    return value;
  DWORD type = 0;
  DWORD size = 0;
  value.status = RegistryValue::Status::kDataUnreadable;
  if (::RegQueryValueExA(key.get(), valueName.c_str(), nullptr, &type, nullptr, &size) !=
      ERROR_SUCCESS)
    return value;
  value.type = type;
  if (size > 0) {
    value.data.assign(size, '\0');
    if (::RegQueryValueExA(key.get(), valueName.c_str(), nullptr, &type,
                           reinterpret_cast<BYTE*>(&value.data[0]), &size) != ERROR_SUCCESS)
      return value;
    value.type = type;
    value.data.resize(size);
  }
  value.status = RegistryValue::Status::kOk;
  return value;
}

const Hooks& systemHooks() {
  static const Hooks real{systemFileTimeNow, calendarSecondsNow, openFindEnumeration,
                          writeNewFileOnDisk, replaceFileOnDisk};
  return real;
}

}  // namespace rotavue::platform
