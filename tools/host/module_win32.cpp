// The host simulator's system seam on Windows: LoadLibraryA/GetProcAddress
// for the module, the real registry for the host's DirPath value, and the
// console's output code page.
#include <windows.h>

#include "module.h"

namespace rotavue_host {

const char kDefaultModuleName[] = "Rotavue.dll";
const char kPathSeparator = '\\';

namespace {

std::string systemMessage(DWORD code) {
  char buffer[512] = {};
  const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                      nullptr, code, 0, buffer, sizeof buffer, nullptr);
  std::string text(buffer, length);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text.empty() ? "error " + std::to_string(code) : text;
}

}  // namespace

void* loadModule(const std::string& path, std::string& error) {
  HMODULE module = LoadLibraryA(path.c_str());
  if (module == nullptr) error = systemMessage(GetLastError());
  return reinterpret_cast<void*>(module);
}

void* findSymbol(void* module, const char* name) {
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module), name));
}

void unloadModule(void* module) { FreeLibrary(static_cast<HMODULE>(module)); }

bool publishDirPath(const std::string& dirPath, std::string& where, std::string& error) {
  where = "HKEY_CURRENT_USER\\Software\\Glintora\\General";
  HKEY key = nullptr;
  LONG status = RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Glintora\\General", 0, nullptr, 0,
                                KEY_SET_VALUE, nullptr, &key, nullptr);
  if (status == ERROR_SUCCESS) {
    status =
        RegSetValueExA(key, "DirPath", 0, REG_SZ, reinterpret_cast<const BYTE*>(dirPath.c_str()),
                       static_cast<DWORD>(dirPath.size() + 1));
    RegCloseKey(key);
  }
  if (status != ERROR_SUCCESS) error = systemMessage(static_cast<DWORD>(status));
  return status == ERROR_SUCCESS;
}

std::string executableDirectory() {
  char buffer[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameA(nullptr, buffer, MAX_PATH);
  std::string path(buffer, length);
  const std::size_t separator = path.find_last_of("\\/");
  return separator == std::string::npos ? std::string(".\\") : path.substr(0, separator + 1);
}

void sleepMilliseconds(unsigned long milliseconds) { Sleep(milliseconds); }

namespace {

bool isConsole(DWORD standardHandle) {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(standardHandle), &mode) != 0;
}

}  // namespace

bool standardErrorIsTerminal() { return isConsole(STD_ERROR_HANDLE); }

Utf8ConsoleOutput::Utf8ConsoleOutput() {
  if (!isConsole(STD_OUTPUT_HANDLE)) return;
  previousCodePage_ = GetConsoleOutputCP();
  if (previousCodePage_ == CP_UTF8 || SetConsoleOutputCP(CP_UTF8) == 0) previousCodePage_ = 0;
}

Utf8ConsoleOutput::~Utf8ConsoleOutput() {
  if (previousCodePage_ != 0) SetConsoleOutputCP(previousCodePage_);
}

}  // namespace rotavue_host
