// The host simulator's system seam on Windows: the wide entry point (wmain,
// linked with -municode, so that the arguments come in UTF-16 without
// shell32), LoadLibraryW/GetProcAddress for the module, a private registry
// key that stands for the host's for this process alone, the per-user
// folder, the console's control handler, a named mutex per folder of
// position files, the console's UTF-16 output, long names, the desktop
// wallpaper and the message box of the windowless program. The tool's paths
// are UTF-8 and reach the system in UTF-16; the module's texts are converted
// to the ANSI code page exactly, or as short paths, by the module's own
// platform rules.
#include <windows.h>

// ConvertStringSecurityDescriptorToSecurityDescriptorW; it needs windows.h
// first.
#include <sddl.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <iostream>
#include <limits>
#include <memory>
#include <streambuf>
#include <string>
#include <string_view>
#include <vector>

#include "commands.h"
#include "platform/platform.h"
#include "platform/win32/registry_key.h"
#include "system.h"

namespace rotavue_host {

using rotavue::platform::RegistryKey;

const char kPathSeparator = '\\';

namespace {

std::wstring wideOf(const std::string& utf8) {
  std::wstring wide;
  const int length = static_cast<int>(utf8.size());
  const int units = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), length, nullptr, 0);
  if (units <= 0) return wide;
  wide.resize(static_cast<std::size_t>(units));
  ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), length, &wide[0], units);
  return wide;
}

std::string utf8Of(const wchar_t* wide, std::size_t length) {
  std::string utf8;
  const int units = static_cast<int>(length);
  const int size = ::WideCharToMultiByte(CP_UTF8, 0, wide, units, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return utf8;
  utf8.resize(static_cast<std::size_t>(size));
  ::WideCharToMultiByte(CP_UTF8, 0, wide, units, &utf8[0], size, nullptr, nullptr);
  return utf8;
}

std::u16string_view viewOf(const std::wstring& wide) {
  return {reinterpret_cast<const char16_t*>(wide.data()), wide.size()};
}

std::string systemMessage(DWORD code) {
  wchar_t buffer[512] = {};
  const DWORD length = ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, code, 0, buffer, 512, nullptr);
  std::string text = utf8Of(buffer, length);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text.empty() ? "error " + std::to_string(code) : text;
}

}  // namespace

void* loadModule(const std::string& path, std::string& error) {
  HMODULE module = ::LoadLibraryW(wideOf(path).c_str());
  if (module == nullptr) error = systemMessage(::GetLastError());
  return reinterpret_cast<void*>(module);
}

void* findSymbol(void* module, const char* name) {
  return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(module), name));
}

void unloadModule(void* module) { ::FreeLibrary(static_cast<HMODULE>(module)); }

namespace {

// Deletes the private key and the keys it holds, deepest first: a key with
// sub-keys cannot be deleted.
void deleteKeyTree(const std::wstring& key) {
  for (const wchar_t* inner :
       {L"\\Software\\Glintora\\General", L"\\Software\\Glintora", L"\\Software", L""})
    ::RegDeleteKeyW(HKEY_CURRENT_USER, (key + inner).c_str());
}

const wchar_t kHostKey[] = L"Software\\Glintora\\General";

}  // namespace

// The private key's path under the real HKEY_CURRENT_USER, and whether this
// process's HKEY_CURRENT_USER is redirected to it.
struct PrivateDirPath::State {
  std::wstring key;
  bool redirected = false;

  State() = default;
  State(const State&) = delete;
  State& operator=(const State&) = delete;
  ~State() {
    if (redirected) ::RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
    if (!key.empty()) deleteKeyTree(key);
  }
};

PrivateDirPath::PrivateDirPath() = default;
PrivateDirPath::~PrivateDirPath() = default;

// The key is volatile, so that even a process that is killed leaves nothing
// behind after the user's session; the process number keeps it apart from
// the keys of other runs at the same time.
bool PrivateDirPath::publish(const std::string& dirPath, std::string& error) {
  auto state = std::make_unique<State>();
  state->key = L"Software\\Rotavue\\rotavue-host-" + std::to_wstring(::GetCurrentProcessId());
  const std::wstring value = wideOf(dirPath);
  RegistryKey privateRoot;
  RegistryKey host;
  LONG status =
      ::RegCreateKeyExW(HKEY_CURRENT_USER, state->key.c_str(), 0, nullptr, REG_OPTION_VOLATILE,
                        KEY_ALL_ACCESS, nullptr, privateRoot.receiver(), nullptr);
  if (status == ERROR_SUCCESS)
    status = ::RegCreateKeyExW(privateRoot.get(), kHostKey, 0, nullptr, REG_OPTION_VOLATILE,
                               KEY_SET_VALUE, nullptr, host.receiver(), nullptr);
  if (status == ERROR_SUCCESS)
    status = ::RegSetValueExW(host.get(), L"DirPath", 0, REG_SZ,
                              reinterpret_cast<const BYTE*>(value.c_str()),
                              static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  if (status == ERROR_SUCCESS)
    status = ::RegOverridePredefKey(HKEY_CURRENT_USER, privateRoot.get());
  if (status != ERROR_SUCCESS) {
    error = "HKEY_CURRENT_USER\\" + utf8Of(state->key.data(), state->key.size()) + ": " +
            systemMessage(static_cast<DWORD>(status));
    return false;
  }
  state->redirected = true;
  state_ = std::move(state);
  return true;
}

std::string perUserDirectory() {
  const wchar_t* base = ::_wgetenv(L"LOCALAPPDATA");  // NOLINT(concurrency-mt-unsafe)
  if (base == nullptr || *base == L'\0') return std::string();
  std::wstring path = base;
  if (path.back() != L'\\' && path.back() != L'/') path += L'\\';
  path += L"Rotavue\\";
  return utf8Of(path.data(), path.size());
}

std::string homeFolder() { return std::string(); }

bool ansiPathOf(const std::string& path, std::string& ansi, std::string& problem) {
  const std::wstring wide = wideOf(path);
  if (rotavue::platform::exactAnsiPath(viewOf(wide), ansi)) return true;
  if (::GetFileAttributesW(wide.c_str()) == INVALID_FILE_ATTRIBUTES) {
    problem = path + ": " + systemMessage(::GetLastError());
  } else {
    problem = path + ": cannot be given to the module: its name is outside the ANSI code page (" +
              std::to_string(::GetACP()) + ") and it has no short name";
  }
  return false;
}

bool ansiTextOf(const std::string& text, std::string& ansi) {
  return rotavue::platform::exactAnsiText(viewOf(wideOf(text)), ansi);
}

std::string executableDirectory() {
  std::wstring path(MAX_PATH, L'\0');
  DWORD length = 0;
  // A path longer than the buffer comes back cut to its size.
  while ((length = ::GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()))) ==
             path.size() &&
         path.size() < 32768)
    path.resize(path.size() * 2);
  path.resize(length);
  const std::size_t separator = path.find_last_of(L"\\/");
  if (separator == std::wstring::npos) return ".\\";
  return utf8Of(path.data(), separator + 1);
}

std::string normalPath(const std::string& path) {
  const std::wstring wide = wideOf(path);
  const DWORD size = ::GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  if (size == 0) return path;
  std::wstring full(size, L'\0');
  const DWORD length = ::GetFullPathNameW(wide.c_str(), size, &full[0], nullptr);
  if (length == 0 || length >= size) return path;
  full.resize(length);
  // "C:\" keeps its separator; "\\server\share\" loses it, which the
  // module's walk appends again, as it does for any other folder.
  while (full.size() > 1 && (full.back() == L'\\' || full.back() == L'/') &&
         full[full.size() - 2] != L':')
    full.pop_back();
  return utf8Of(full.data(), full.size());
}

namespace {

struct HandleCloser {
  void operator()(HANDLE handle) const { ::CloseHandle(handle); }
};
using OwnedHandle = std::unique_ptr<void, HandleCloser>;

// What the console's control handler shares with the command: the exit
// status a stop asks for, an event that wakes the command's waits, and one
// that tells the handler, on the console's closing, that the teardown is
// done. They live as long as the process, since the handler may still run
// while the program ends.
std::atomic<int> stopAsked{0};
OwnedHandle stopEvent;
OwnedHandle teardownDone;

// The handler runs on a thread of its own. Returning FALSE hands the event
// to the default handler, which ends the process.
BOOL WINAPI askToStop(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) return FALSE;
  if (stopAsked.exchange(130) != 0) return FALSE;
  ::SetEvent(stopEvent.get());
  if (event == CTRL_CLOSE_EVENT) ::WaitForSingleObject(teardownDone.get(), INFINITE);
  return TRUE;
}

}  // namespace

void sleepMilliseconds(unsigned long milliseconds) {
  if (stopEvent)
    ::WaitForSingleObject(stopEvent.get(), milliseconds);
  else
    ::Sleep(milliseconds);
}

StopOnSignals::StopOnSignals() {
  stopEvent.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  teardownDone.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  ::SetConsoleCtrlHandler(askToStop, TRUE);
}

StopOnSignals::~StopOnSignals() {
  ::SetEvent(teardownDone.get());
  ::SetConsoleCtrlHandler(askToStop, FALSE);
}

int stopStatus() { return stopAsked.load(); }

struct PositionLock::State {
  OwnedHandle mutex;
  bool held = false;

  State() = default;
  State(const State&) = delete;
  State& operator=(const State&) = delete;
  ~State() {
    if (held) ::ReleaseMutex(mutex.get());
  }
};

PositionLock::PositionLock() = default;
PositionLock::~PositionLock() = default;

namespace {

// Authenticated Users may wait on the mutex (SYNCHRONIZE) and release it
// (MUTEX_MODIFY_STATE), and nothing more: a task of another account, or one
// that runs whether the user is logged on or not, takes turns with the
// user's hotkey.
const wchar_t kMutexAccess[] = L"D:(A;;0x00100001;;;AU)";

struct LocalFreer {
  void operator()(void* memory) const { ::LocalFree(memory); }
};

// The folder at `folder` (UTF-8) opened for its attributes, following links;
// null, with the system's reason, when it cannot be.
OwnedHandle openFolder(const std::string& folder, std::string& reason) {
  const HANDLE handle = ::CreateFileW(wideOf(folder).c_str(), FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle != INVALID_HANDLE_VALUE) return OwnedHandle(handle);
  reason = systemMessage(::GetLastError());
  return OwnedHandle();
}

// The mutex name of the folder at `folder`, from its volume serial number
// and file index, which every spelling of it shares; false with the
// system's reason when it has none.
bool folderMutexName(const std::string& folder, std::wstring& name, std::string& reason) {
  const OwnedHandle opened = openFolder(folder, reason);
  if (!opened) return false;
  BY_HANDLE_FILE_INFORMATION information{};
  if (::GetFileInformationByHandle(opened.get(), &information) == 0) {
    reason = systemMessage(::GetLastError());
    return false;
  }
  if ((information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    reason = systemMessage(ERROR_DIRECTORY);
    return false;
  }
  wchar_t text[64];
  std::swprintf(text, 64, L"Global\\Rotavue-%08lx-%08lx%08lx",
                static_cast<unsigned long>(information.dwVolumeSerialNumber),
                static_cast<unsigned long>(information.nFileIndexHigh),
                static_cast<unsigned long>(information.nFileIndexLow));
  name = text;
  return true;
}

}  // namespace

// A mutex whose holder ended without releasing it (WAIT_ABANDONED) is taken
// all the same: the position file is replaced in one step, so nothing is
// left half done. The wait is cut into pieces that a DWORD of milliseconds
// holds.
PositionLock::Outcome PositionLock::acquire(const std::string& folder, unsigned long waitSeconds,
                                            std::string& reason) {
  std::wstring name;
  if (!folderMutexName(folder, name, reason)) return Outcome::kNotLocked;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  ::ConvertStringSecurityDescriptorToSecurityDescriptorW(kMutexAccess, SDDL_REVISION_1, &descriptor,
                                                         nullptr);
  const std::unique_ptr<void, LocalFreer> freed(descriptor);
  SECURITY_ATTRIBUTES attributes{static_cast<DWORD>(sizeof(SECURITY_ATTRIBUTES)), descriptor,
                                 FALSE};
  auto state = std::make_unique<State>();
  // Opening asks for no more than the descriptor grants.
  state->mutex.reset(::CreateMutexExW(descriptor != nullptr ? &attributes : nullptr, name.c_str(),
                                      0, SYNCHRONIZE | MUTEX_MODIFY_STATE));
  if (!state->mutex) {
    reason = systemMessage(::GetLastError());
    return Outcome::kNotLocked;
  }
  const ULONGLONG deadline = ::GetTickCount64() + ULONGLONG{waitSeconds} * 1000;
  const HANDLE handles[] = {state->mutex.get(), stopEvent.get()};
  for (;;) {
    const ULONGLONG now = ::GetTickCount64();
    const auto timeout =
        static_cast<DWORD>(now >= deadline ? 0 : std::min<ULONGLONG>(deadline - now, INFINITE - 1));
    const DWORD waited = ::WaitForMultipleObjects(stopEvent ? 2 : 1, handles, FALSE, timeout);
    if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED_0) break;
    if (waited == WAIT_OBJECT_0 + 1) return Outcome::kStopped;
    if (waited != WAIT_TIMEOUT) {
      reason = systemMessage(::GetLastError());
      return Outcome::kNotLocked;
    }
    if (::GetTickCount64() >= deadline) return Outcome::kGaveUp;
  }
  state->held = true;
  state_ = std::move(state);
  return Outcome::kHeld;
}

// Each test asks what the save or the load would have met, in the order in
// which the system would meet it; none writes anything. The module names the
// file in the ANSI code page.
std::string fileProblem(const std::string& path, bool writing) {
  const std::wstring file = wideOf(rotavue::platform::ansiToUtf8(path));
  if (!writing) {
    const HANDLE opened = ::CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (opened == INVALID_HANDLE_VALUE) return systemMessage(::GetLastError());
    ::CloseHandle(opened);
    return std::string();
  }
  if (!rotavue::platform::hostCanOpenPath(path)) return systemMessage(ERROR_FILENAME_EXCED_RANGE);
  const std::size_t separator = file.find_last_of(L"\\/");
  std::wstring folder = separator == std::wstring::npos ? L"." : file.substr(0, separator);
  if (folder.empty() || folder.back() == L':') folder += file[separator];
  const DWORD attributes = ::GetFileAttributesW(folder.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return systemMessage(::GetLastError());
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return systemMessage(ERROR_DIRECTORY);
  const DWORD own = ::GetFileAttributesW(file.c_str());
  if (own != INVALID_FILE_ATTRIBUTES && (own & FILE_ATTRIBUTE_DIRECTORY) != 0)
    return "a folder has its name";
  const HANDLE adding = ::CreateFileW(folder.c_str(), FILE_ADD_FILE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (adding == INVALID_HANDLE_VALUE) return systemMessage(::GetLastError());
  ::CloseHandle(adding);
  ULARGE_INTEGER available{};
  if (::GetDiskFreeSpaceExW(folder.c_str(), &available, nullptr, nullptr) != 0 &&
      available.QuadPart == 0)
    return systemMessage(ERROR_DISK_FULL);
  return std::string();
}

namespace {

bool isConsole(DWORD standardHandle) {
  DWORD mode = 0;
  return ::GetConsoleMode(::GetStdHandle(standardHandle), &mode) != 0;
}

}  // namespace

bool standardErrorIsTerminal() { return isConsole(STD_ERROR_HANDLE); }

bool standardOutputMissing() {
  const HANDLE output = ::GetStdHandle(STD_OUTPUT_HANDLE);
  return output == nullptr || output == INVALID_HANDLE_VALUE;
}

namespace {

// The length of the start of the UTF-8 text `text` that ends with a whole
// character: an unfinished one at its end, whose rest a later write brings,
// is held back. Bytes that are no UTF-8 are let through, and the conversion
// shows them as U+FFFD.
std::size_t wholeCharacters(const std::string& text) {
  for (std::size_t back = 1; back <= 3 && back <= text.size(); ++back) {
    const auto byte = static_cast<unsigned char>(text[text.size() - back]);
    if ((byte & 0xC0U) == 0x80U) continue;  // a continuation byte
    const std::size_t length = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
    return length > back ? text.size() - back : text.size();
  }
  return text.size();
}

// std::cout or std::cerr on a console: the text is kept until a line end or
// a flush, then converted from UTF-8 to UTF-16 and written with
// WriteConsoleW, which the console shows whatever its code page. The C
// runtime would hand the console one byte at a time, and a character of
// several bytes would show as several wrong ones.
class ConsoleBuffer final : public std::streambuf {
 public:
  explicit ConsoleBuffer(HANDLE console) : console_(console) {}

  // Writes what is left, an unfinished character too; false when it fails.
  bool finish() { return writeOut(pending_.size()); }

 protected:
  int_type overflow(int_type c) override {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    pending_ += traits_type::to_char_type(c);
    if (c == '\n' && !writeOut(wholeCharacters(pending_))) return traits_type::eof();
    return c;
  }

  std::streamsize xsputn(const char* text, std::streamsize count) override {
    const auto size = static_cast<std::size_t>(count);
    pending_.append(text, size);
    if (std::memchr(text, '\n', size) != nullptr && !writeOut(wholeCharacters(pending_))) return 0;
    return count;
  }

  int sync() override { return writeOut(wholeCharacters(pending_)) ? 0 : -1; }

 private:
  // Writes the first `length` bytes of the pending text, a line end as the
  // C runtime writes it (CR LF). A failed write drops them and sets errno,
  // which tells the failure as for any other output.
  bool writeOut(std::size_t length) {
    if (length == 0) return true;
    const std::wstring text = wideOf(pending_.substr(0, length));
    pending_.erase(0, length);
    std::wstring shown;
    shown.reserve(text.size() + 8);
    for (std::size_t i = 0; i < text.size(); ++i) {
      if (text[i] == L'\n' && (i == 0 || text[i - 1] != L'\r')) shown += L'\r';
      shown += text[i];
    }
    // The console takes a write of limited size; a piece never ends
    // between the two halves of a surrogate pair.
    constexpr std::size_t kPiece = 8192;
    for (std::size_t start = 0; start < shown.size();) {
      std::size_t count = std::min(kPiece, shown.size() - start);
      if (count == kPiece && shown[start + count - 1] >= 0xD800 &&
          shown[start + count - 1] < 0xDC00)
        --count;
      DWORD written = 0;
      if (::WriteConsoleW(console_, shown.data() + start, static_cast<DWORD>(count), &written,
                          nullptr) == 0 ||
          written == 0) {
        errno = EIO;
        return false;
      }
      start += written;
    }
    return true;
  }

  HANDLE console_;
  std::string pending_;
};

}  // namespace

// The buffers of the streams that are consoles, and the C runtime's buffers
// they stand in for.
struct Utf8ConsoleOutput::State {
  std::unique_ptr<ConsoleBuffer> output;
  std::unique_ptr<ConsoleBuffer> error;
  std::streambuf* runtimeOutput = nullptr;
  std::streambuf* runtimeError = nullptr;
};

Utf8ConsoleOutput::Utf8ConsoleOutput() : state_(std::make_unique<State>()) {
  if (isConsole(STD_OUTPUT_HANDLE)) {
    std::cout.flush();
    state_->output = std::make_unique<ConsoleBuffer>(::GetStdHandle(STD_OUTPUT_HANDLE));
    state_->runtimeOutput = std::cout.rdbuf(state_->output.get());
  }
  if (isConsole(STD_ERROR_HANDLE)) {
    std::cerr.flush();
    state_->error = std::make_unique<ConsoleBuffer>(::GetStdHandle(STD_ERROR_HANDLE));
    state_->runtimeError = std::cerr.rdbuf(state_->error.get());
  }
}

Utf8ConsoleOutput::~Utf8ConsoleOutput() {
  if (state_->output) {
    std::cout.flush();
    state_->output->finish();
    std::cout.rdbuf(state_->runtimeOutput);
  }
  if (state_->error) {
    std::cerr.flush();
    state_->error->finish();
    std::cerr.rdbuf(state_->runtimeError);
  }
}

std::string longPathOf(const std::string& path) {
  const std::wstring wide = wideOf(path);
  const DWORD size = ::GetLongPathNameW(wide.c_str(), nullptr, 0);
  if (size == 0) return path;
  std::wstring full(size, L'\0');
  const DWORD length = ::GetLongPathNameW(wide.c_str(), &full[0], size);
  if (length == 0 || length >= size) return path;
  return utf8Of(full.data(), length);
}

namespace {

// The values of WallpaperStyle and TileWallpaper for each --wallpaper STYLE.
struct WallpaperStyle {
  const char* name;
  const wchar_t* style;
  const wchar_t* tile;
};
const WallpaperStyle kWallpaperStyles[] = {{"fill", L"10", L"0"},   {"fit", L"6", L"0"},
                                           {"stretch", L"2", L"0"}, {"tile", L"0", L"1"},
                                           {"center", L"0", L"0"},  {"span", L"22", L"0"}};

// The system's message for the failure `code`, or "the system refused it"
// when there is no code or no message.
std::string refusalOf(DWORD code) {
  wchar_t buffer[512] = {};
  const DWORD length =
      code == 0 ? 0
                : ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, code, 0, buffer, 512, nullptr);
  std::string text = utf8Of(buffer, length);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text.empty() ? "the system refused it" : text;
}

LONG setText(HKEY key, const wchar_t* name, const wchar_t* value) {
  return ::RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                          static_cast<DWORD>((std::wcslen(value) + 1) * sizeof(wchar_t)));
}

}  // namespace

// SystemParametersInfoW sets every monitor's wallpaper, and with
// SPIF_UPDATEINIFILE keeps it in the user's profile, where it reads
// WallpaperStyle and TileWallpaper; SPIF_SENDCHANGE tells the programs
// running.
bool setDesktopWallpaper(const std::string& picture, const std::string& style,
                         std::string& reason) {
  for (const WallpaperStyle& known : kWallpaperStyles) {
    if (style != known.name) continue;
    RegistryKey desktop;
    LONG status = ::RegCreateKeyExW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", 0, nullptr, 0,
                                    KEY_SET_VALUE, nullptr, desktop.receiver(), nullptr);
    if (status == ERROR_SUCCESS) status = setText(desktop.get(), L"WallpaperStyle", known.style);
    if (status == ERROR_SUCCESS) status = setText(desktop.get(), L"TileWallpaper", known.tile);
    if (status != ERROR_SUCCESS) {
      reason = refusalOf(static_cast<DWORD>(status));
      return false;
    }
  }
  std::wstring path = wideOf(picture);
  ::SetLastError(0);
  if (::SystemParametersInfoW(SPI_SETDESKWALLPAPER, 0, &path[0],
                              SPIF_UPDATEINIFILE | SPIF_SENDCHANGE) != 0)
    return true;
  reason = refusalOf(::GetLastError());
  return false;
}

namespace {

// Creates `folder` (no separator at its end) and the folders above it where
// missing; the failure's code, or ERROR_SUCCESS.
DWORD createFolders(const std::wstring& folder) {
  const DWORD attributes = ::GetFileAttributesW(folder.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES)
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? ERROR_SUCCESS : ERROR_ALREADY_EXISTS;
  const std::size_t separator = folder.find_last_of(L"\\/");
  if (separator != std::wstring::npos && separator > 0) {
    const DWORD above = createFolders(folder.substr(0, separator));
    if (above != ERROR_SUCCESS) return above;
  }
  return ::CreateDirectoryW(folder.c_str(), nullptr) != 0 ? ERROR_SUCCESS : ::GetLastError();
}

}  // namespace

// The probe is deleted by the system when it is closed.
bool writableFolder(const std::string& folder, std::string& reason) {
  std::wstring wide = wideOf(folder);
  while (wide.size() > 1 && (wide.back() == L'\\' || wide.back() == L'/')) wide.pop_back();
  const DWORD created = createFolders(wide);
  if (created != ERROR_SUCCESS) {
    reason = "cannot be created: " + systemMessage(created);
    return false;
  }
  const std::wstring probe =
      wide + L"\\rotavue-host-probe-" + std::to_wstring(::GetCurrentProcessId()) + L".tmp";
  const HANDLE file = ::CreateFileW(probe.c_str(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    reason = "cannot be written: " + systemMessage(::GetLastError());
    return false;
  }
  ::CloseHandle(file);
  return true;
}

namespace {

// True for rotavue-hostw.exe: the program's own image is one of the GUI
// subsystem, which no console comes with.
bool windowlessProgram() {
  const auto* image = reinterpret_cast<const BYTE*>(::GetModuleHandleW(nullptr));
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(image);
  const auto* headers = reinterpret_cast<const IMAGE_NT_HEADERS*>(image + dos->e_lfanew);
  return headers->OptionalHeader.Subsystem == IMAGE_SUBSYSTEM_WINDOWS_GUI;
}

// True when the console window closes with this program, as one that a
// double-click opened does: no other process (a command prompt) is
// attached to it, and standard input reads it.
bool consoleOfItsOwn() {
  DWORD processes[2] = {};
  return isConsole(STD_INPUT_HANDLE) && ::GetConsoleProcessList(processes, 2) == 1;
}

}  // namespace

void showShortHelp(const std::string& text) {
  if (windowlessProgram()) {
    const std::wstring shown = wideOf(
        "rotavue-hostw.exe runs the commands of rotavue-host.exe without a console window, for "
        "scheduled tasks and shortcuts.\n\n" +
        text);
    if (::MessageBoxW(nullptr, shown.c_str(), L"rotavue-hostw", MB_OK | MB_ICONINFORMATION) != 0)
      return;
  }
  std::cerr << text;
  if (!consoleOfItsOwn()) return;
  std::cerr << "\nPress Enter to close this window.\n" << std::flush;
  wchar_t typed[256];
  DWORD count = 0;
  while (::ReadConsoleW(::GetStdHandle(STD_INPUT_HANDLE), typed, 256, &count, nullptr) != 0 &&
         count > 0 && std::wmemchr(typed, L'\n', count) == nullptr) {
  }
}

}  // namespace rotavue_host

// The arguments in UTF-16, as the system keeps them; GetCommandLineW with
// CommandLineToArgvW would import shell32.
int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> arguments;
  for (int i = 1; i < argc; ++i)
    arguments.push_back(rotavue_host::utf8Of(argv[i], std::wcslen(argv[i])));
  return rotavue_host::hostMain(arguments);
}
