// The exported protocol and image functions.
//
// Each export first maps its handle back to the instance, reads a null text
// from the host as "", and lets nothing unwind into the host: an unknown or
// released handle is answered with an empty text.
#include "host/exports.h"

#include <cstddef>
#include <exception>

#include "host/image_functions.h"
#include "host/instances.h"

namespace {

const char kFunctionList[] =
    "GetImage|returnCurrentImage|returnCurrentImageName|GetRandomImage|ChangeWallpaper|"
    "GetShuffledImage";
const char kThreeParameters[] = "Nickname|Directory Name|Update Interval (Seconds)|";
const char kNicknameParameter[] = "Nickname|";
const char kEmptyText[] = "";

const char* const kInformation[] = {
    "Rotavue Plugin",                // display name
    "Morvanek",                      // author
    "0.1",                           // version
    "10/04/04",                      // first date
    "24/04/04",                      // second, later date
    "https://rotavue.example.org/",  // author's web address
    "morvanek@rotavue.example.org",  // author's e-mail address
};

const char* textOrEmpty(const char* text) { return text != nullptr ? text : kEmptyText; }

// The C library's upper-casing in its default locale: a to z become A to Z,
// every other byte stays. Written out, so that a host that changed the
// process's locale does not change which names match.
char upperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// Compares two texts byte by byte after upper-casing each byte.
bool equalIgnoringCase(const char* left, const char* right) {
  std::size_t i = 0;
  while (upperAscii(left[i]) == upperAscii(right[i])) {
    if (left[i] == '\0') return true;
    ++i;
  }
  return false;
}

template <typename Call>
const char* withInstance(std::uint32_t handle, Call call) noexcept {
  try {
    rotavue::meter_data* instance = rotavue::findInstance(handle);
    if (instance == nullptr) return kEmptyText;
    return call(*instance);
  } catch (...) {
    return kEmptyText;
  }
}

}  // namespace

extern "C" {

const char* ROTAVUE_CDECL init() { return kFunctionList; }

const char* ROTAVUE_STDCALL getparam(const char* functionName) {
  const char* name = textOrEmpty(functionName);
  if (equalIgnoringCase(name, "GetImage") || equalIgnoringCase(name, "GetRandomImage") ||
      equalIgnoringCase(name, "ChangeWallpaper") || equalIgnoringCase(name, "GetShuffledImage"))
    return kThreeParameters;
  if (equalIgnoringCase(name, "returnCurrentImage") ||
      equalIgnoringCase(name, "returnCurrentImageName"))
    return kNicknameParameter;
  return kEmptyText;
}

const char* ROTAVUE_STDCALL getinfo(std::int32_t index) {
  const auto row = static_cast<std::uint32_t>(index);
  return row < sizeof kInformation / sizeof kInformation[0] ? kInformation[row] : kEmptyText;
}

std::int32_t ROTAVUE_CDECL dlltype() { return 1; }

std::uint32_t ROTAVUE_STDCALL dllstartup(std::uint32_t, std::uint32_t) {
  try {
    return rotavue::registerInstance(rotavue::createInstance());
  } catch (...) {
    return 0;
  }
}

std::int32_t ROTAVUE_STDCALL dllshutdown(std::uint32_t instance) {
  try {
    rotavue::releaseInstance(instance);
  } catch (...) {
  }
  return 0;
}

const char* ROTAVUE_STDCALL GetImage(std::uint32_t instance, const char* nickname,
                                     const char* directory, const char* interval) {
  return withInstance(instance, [&](rotavue::meter_data& meter) {
    return rotavue::getImage(meter, textOrEmpty(nickname), textOrEmpty(directory),
                             textOrEmpty(interval));
  });
}

const char* ROTAVUE_STDCALL GetRandomImage(std::uint32_t instance, const char* nickname,
                                           const char* directory, const char* interval) {
  return withInstance(instance, [&](rotavue::meter_data& meter) {
    return rotavue::getRandomImage(meter, textOrEmpty(nickname), textOrEmpty(directory),
                                   textOrEmpty(interval));
  });
}

const char* ROTAVUE_STDCALL GetShuffledImage(std::uint32_t instance, const char* nickname,
                                             const char* directory, const char* interval) {
  return withInstance(instance, [&](rotavue::meter_data& meter) {
    return rotavue::getShuffledImage(meter, textOrEmpty(nickname), textOrEmpty(directory),
                                     textOrEmpty(interval));
  });
}

const char* ROTAVUE_STDCALL ChangeWallpaper(std::uint32_t instance, const char*, const char*,
                                            const char* interval) {
  return withInstance(instance, [&](rotavue::meter_data& meter) {
    return rotavue::changeWallpaper(meter, textOrEmpty(interval));
  });
}

const char* ROTAVUE_STDCALL returnCurrentImage(std::uint32_t instance, const char* nickname,
                                               const char* interval) {
  return withInstance(instance, [&](rotavue::meter_data& meter) {
    return rotavue::returnCurrentImage(meter, textOrEmpty(nickname), textOrEmpty(interval));
  });
}

const char* ROTAVUE_STDCALL returnCurrentImageName(std::uint32_t instance, const char* nickname,
                                                   const char* interval) {
  return withInstance(instance, [&](rotavue::meter_data& meter) {
    return rotavue::returnCurrentImageName(meter, textOrEmpty(nickname), textOrEmpty(interval));
  });
}

}  // extern "C"
