// The functions the module exports to the host, with the host's calling
// conventions: C for the two argument-less functions `init` and `dlltype`,
// stdcall for all others (on 32-bit Windows; elsewhere the platform's one
// convention). Rotavue.def pins their undecorated names in the DLL.
//
// Every text returned lives as long as the module (constant texts) or as
// long as the instance (result texts); the host must not free any of them.
#pragma once

#include <cstdint>

#if defined(_WIN32)
#define ROTAVUE_EXPORT
#define ROTAVUE_CDECL __cdecl
#define ROTAVUE_STDCALL __stdcall
#else
#define ROTAVUE_EXPORT __attribute__((visibility("default")))
#define ROTAVUE_CDECL
#define ROTAVUE_STDCALL
#endif

extern "C" {

ROTAVUE_EXPORT const char* ROTAVUE_CDECL init();
ROTAVUE_EXPORT const char* ROTAVUE_STDCALL getparam(const char* functionName);
ROTAVUE_EXPORT const char* ROTAVUE_STDCALL getinfo(std::int32_t index);
ROTAVUE_EXPORT std::int32_t ROTAVUE_CDECL dlltype();
ROTAVUE_EXPORT std::uint32_t ROTAVUE_STDCALL dllstartup(std::uint32_t first, std::uint32_t second);
ROTAVUE_EXPORT std::int32_t ROTAVUE_STDCALL dllshutdown(std::uint32_t instance);

ROTAVUE_EXPORT const char* ROTAVUE_STDCALL GetImage(std::uint32_t instance, const char* nickname,
                                                    const char* directory, const char* interval);
ROTAVUE_EXPORT const char* ROTAVUE_STDCALL GetRandomImage(std::uint32_t instance,
                                                          const char* nickname,
                                                          const char* directory,
                                                          const char* interval);
ROTAVUE_EXPORT const char* ROTAVUE_STDCALL GetShuffledImage(std::uint32_t instance,
                                                            const char* nickname,
                                                            const char* directory,
                                                            const char* interval);
ROTAVUE_EXPORT const char* ROTAVUE_STDCALL ChangeWallpaper(std::uint32_t instance,
                                                           const char* nickname,
                                                           const char* directory,
                                                           const char* interval);
ROTAVUE_EXPORT const char* ROTAVUE_STDCALL returnCurrentImage(std::uint32_t instance,
                                                              const char* nickname,
                                                              const char* interval);
ROTAVUE_EXPORT const char* ROTAVUE_STDCALL returnCurrentImageName(std::uint32_t instance,
                                                                  const char* nickname,
                                                                  const char* interval);
}
