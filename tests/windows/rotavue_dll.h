// Test support for the Windows tests that load the real Rotavue.dll, as the
// host does: the module is loaded from beside the test program and every
// export is looked up by its undecorated name and called with the host's
// calling conventions (C for init and dlltype, stdcall for the others).
// These tests link nothing of the module itself. They play the host's part
// in the registry too (the value DirPath that locates the position files),
// and compare results with the system's own message texts.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

namespace rotavue_dll {

using InitFunction = const char*(__cdecl*)();
using TypeFunction = std::int32_t(__cdecl*)();
using ParamFunction = const char*(__stdcall*)(const char*);
using InfoFunction = const char*(__stdcall*)(std::int32_t);
using StartupFunction = std::uint32_t(__stdcall*)(std::uint32_t, std::uint32_t);
using ShutdownFunction = std::int32_t(__stdcall*)(std::uint32_t);
using ImageFunction = const char*(__stdcall*)(std::uint32_t, const char*, const char*, const char*);
using ReportFunction = const char*(__stdcall*)(std::uint32_t, const char*, const char*);

// The loaded module; unloaded again when the object goes.
class Module {
 public:
  Module() : handle_(::LoadLibraryA("Rotavue.dll")) {}
  ~Module() {
    if (handle_ != nullptr) ::FreeLibrary(handle_);
  }
  Module(const Module&) = delete;
  Module& operator=(const Module&) = delete;

  bool loaded() const { return handle_ != nullptr; }
  FARPROC address(const char* name) const {
    return handle_ != nullptr ? ::GetProcAddress(handle_, name) : nullptr;
  }
  // The export as a typed pointer; null when the name does not resolve.
  template <typename Function>
  Function function(const char* name) const {
    // Through the generic function type, which the compiler accepts as a
    // stand-in for any other.
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(address(name)));
  }
  // The full path of the file the loader took.
  std::string path() const {
    char buffer[MAX_PATH] = {};
    const DWORD length = ::GetModuleFileNameA(handle_, buffer, MAX_PATH);
    return std::string(buffer, length);
  }

 private:
  HMODULE handle_;
};

// Every export of the module, resolved once.
struct Exports {
  explicit Exports(const Module& module)
      : init(module.function<InitFunction>("init")),
        getparam(module.function<ParamFunction>("getparam")),
        getinfo(module.function<InfoFunction>("getinfo")),
        dlltype(module.function<TypeFunction>("dlltype")),
        dllstartup(module.function<StartupFunction>("dllstartup")),
        dllshutdown(module.function<ShutdownFunction>("dllshutdown")),
        GetImage(module.function<ImageFunction>("GetImage")),
        GetRandomImage(module.function<ImageFunction>("GetRandomImage")),
        ChangeWallpaper(module.function<ImageFunction>("ChangeWallpaper")),
        returnCurrentImage(module.function<ReportFunction>("returnCurrentImage")),
        returnCurrentImageName(module.function<ReportFunction>("returnCurrentImageName")) {}

  bool complete() const {
    return init && getparam && getinfo && dlltype && dllstartup && dllshutdown && GetImage &&
           GetRandomImage && ChangeWallpaper && returnCurrentImage && returnCurrentImageName;
  }

  InitFunction init;
  ParamFunction getparam;
  InfoFunction getinfo;
  TypeFunction dlltype;
  StartupFunction dllstartup;
  ShutdownFunction dllshutdown;
  ImageFunction GetImage;
  ImageFunction GetRandomImage;
  ImageFunction ChangeWallpaper;
  ReportFunction returnCurrentImage;
  ReportFunction returnCurrentImageName;
};

// A text returned by the module, copied as the host copies it; a null
// pointer, which the module must never return, shows as "<null>".
inline std::string copied(const char* text) { return text != nullptr ? text : "<null>"; }

// The host's key under HKEY_CURRENT_USER.
inline constexpr char kHostKeyPath[] = "Software\\Glintora\\General";

inline void deleteHostKey() { ::RegDeleteKeyA(HKEY_CURRENT_USER, kHostKeyPath); }

// The host's key, opened for writing and created when missing; closed when
// the object goes.
class HostKey {
 public:
  HostKey() {
    if (::RegCreateKeyExA(HKEY_CURRENT_USER, kHostKeyPath, 0, nullptr, REG_OPTION_NON_VOLATILE,
                          KEY_WRITE, nullptr, &key_, nullptr) != ERROR_SUCCESS)
      key_ = nullptr;
  }
  ~HostKey() {
    if (key_ != nullptr) ::RegCloseKey(key_);
  }
  HostKey(const HostKey&) = delete;
  HostKey& operator=(const HostKey&) = delete;
  HKEY get() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

// Publishes the host's directory as the host does (REG_SZ); false when the
// key cannot be written.
inline bool publishDirPath(const std::string& directory) {
  const HostKey key;
  return key.get() != nullptr &&
         ::RegSetValueExA(key.get(), "DirPath", 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(directory.c_str()),
                          static_cast<DWORD>(directory.size() + 1)) == ERROR_SUCCESS;
}

// The same in UTF-16, for a directory whose name no ANSI code page holds.
inline bool publishDirPath(const std::wstring& directory) {
  const HostKey key;
  return key.get() != nullptr &&
         ::RegSetValueExW(
             key.get(), L"DirPath", 0, REG_SZ, reinterpret_cast<const BYTE*>(directory.c_str()),
             static_cast<DWORD>((directory.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

// The whole file, read as a host reads it, or "<missing>".
inline std::string readFile(const std::string& path) {
  const HANDLE file = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return "<missing>";
  std::string contents;
  char buffer[4096];
  DWORD got = 0;
  while (::ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0)
    contents.append(buffer, got);
  ::CloseHandle(file);
  return contents;
}

// The system's own text for a failure code, exactly as it gives it.
inline std::string systemMessage(DWORD code) {
  char* text = nullptr;
  const DWORD length =
      ::FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM, nullptr, code,
                       0, reinterpret_cast<char*>(&text), 0, nullptr);
  const std::string message(text != nullptr ? text : "", length);
  if (text != nullptr) ::LocalFree(text);
  return message;
}

}  // namespace rotavue_dll
