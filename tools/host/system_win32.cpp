// The host simulator's system seam on Windows: the wide entry point (wmain,
// linked with -municode, so that the arguments come in UTF-16 without
// shell32), LoadLibraryW/GetProcAddress for the module, a private registry
// key that stands for the host's for this process alone, the per-user
// folder, the console's output code page and control handler, and a named
// mutex per folder of position files. The tool's paths are UTF-8 and reach the system in UTF-16;
// the module's texts are converted to the ANSI code page exactly, or as short paths, by the
// module's own platform rules.
#include <windows.h>

// ConvertStringSecurityDescriptorToSecurityDescriptorW; it needs windows.h
// first.
#include <sddl.h>

#include <atomic>
#include <cstdlib>
#include <cwchar>
#include <limits>
#include <memory>
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

Utf8ConsoleOutput::Utf8ConsoleOutput() {
  if (!isConsole(STD_OUTPUT_HANDLE) && !isConsole(STD_ERROR_HANDLE)) return;
  previousCodePage_ = ::GetConsoleOutputCP();
  if (previousCodePage_ == CP_UTF8 || ::SetConsoleOutputCP(CP_UTF8) == 0) previousCodePage_ = 0;
}

Utf8ConsoleOutput::~Utf8ConsoleOutput() {
  if (previousCodePage_ != 0) ::SetConsoleOutputCP(previousCodePage_);
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
