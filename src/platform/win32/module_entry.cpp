// The DLL entry point: process attach seeds the generator; thread attach and
// detach and process detach do nothing.
#include <windows.h>

#include "host/exports.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) rotavue::onModuleLoad();
  return TRUE;
}
