// The module as the host sees it: a library loaded at run time whose
// protocol exports are found by name and called with the host's calling
// conventions (C for `init` and `dlltype`, stdcall for every other export on
// 32-bit Windows; handles are 32-bit values).
#pragma once

#include <cstdint>
#include <string>
#include <type_traits>
#include <vector>

#if defined(_WIN32)
#define ROTAVUE_HOST_CDECL __cdecl
#define ROTAVUE_HOST_STDCALL __stdcall
#else
#define ROTAVUE_HOST_CDECL
#define ROTAVUE_HOST_STDCALL
#endif

namespace rotavue_host {

using InitFunction = const char*(ROTAVUE_HOST_CDECL*)();
using GetParamFunction = const char*(ROTAVUE_HOST_STDCALL*)(const char* functionName);
using GetInfoFunction = const char*(ROTAVUE_HOST_STDCALL*)(std::int32_t index);
using DllTypeFunction = std::int32_t(ROTAVUE_HOST_CDECL*)();
using StartupFunction = std::uint32_t(ROTAVUE_HOST_STDCALL*)(std::uint32_t, std::uint32_t);
using ShutdownFunction = std::int32_t(ROTAVUE_HOST_STDCALL*)(std::uint32_t instance);
// GetImage, GetRandomImage, GetShuffledImage, ChangeWallpaper: nickname,
// directory, interval.
using ThreeTextFunction = const char*(ROTAVUE_HOST_STDCALL*)(std::uint32_t instance,
                                                             const char* nickname,
                                                             const char* directory,
                                                             const char* interval);
// returnCurrentImage, returnCurrentImageName: nickname, interval.
using TwoTextFunction = const char*(ROTAVUE_HOST_STDCALL*)(std::uint32_t instance,
                                                           const char* nickname,
                                                           const char* interval);

// The fields of a text separated by `separator` ("|" in the module's
// lists); an empty text is one empty field.
std::vector<std::string> splitText(const std::string& text, char separator);

// A text returned by the module, in UTF-8 for the tool's output; "(null)"
// for a null pointer.
std::string shownText(const char* ansi);

// The image functions a meter can use, with the number of texts each takes.
enum class Arity { kUnknown, kTwoTexts, kThreeTexts };
Arity arityOf(const std::string& functionName);

class Plugin {
 public:
  Plugin() = default;
  Plugin(const Plugin&) = delete;
  Plugin& operator=(const Plugin&) = delete;
  ~Plugin();

  // Loads the module and finds the six protocol exports; false with a
  // reason in `error` when the module cannot be loaded or lacks one.
  bool load(const std::string& path, std::string& error);
  // The address of any export, by name; null when the module lacks it.
  void* symbol(const char* name) const;

  InitFunction init = nullptr;
  GetParamFunction getparam = nullptr;
  GetInfoFunction getinfo = nullptr;
  DllTypeFunction dlltype = nullptr;
  StartupFunction dllstartup = nullptr;
  ShutdownFunction dllshutdown = nullptr;

 private:
  void* module_ = nullptr;
};

// Converts an export's address to the function type the host calls it as.
template <typename Function>
Function asFunction(void* address) {
  return reinterpret_cast<Function>(address);
}

}  // namespace rotavue_host
