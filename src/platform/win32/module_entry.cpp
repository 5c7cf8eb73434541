// The DLL entry point. Process attach pins the module in the process; thread
// attach and detach and process detach do nothing.
//
// The module links its C++ runtime statically, and that runtime takes a TLS
// slot and kernel handles when it attaches, which it never gives back: it
// offers no call to release them, and they are not the module's to free. A
// host that loads and frees the module again and again (as hosts do when
// skins are refreshed) would lose them on every load and be ended by the
// runtime once the process's TLS slots run out. Pinned, the module is mapped
// and attached once, on the first load, and stays until the process exits;
// later loads and frees only count references. Pinning neither waits nor
// loads a library, so it is allowed under the loader lock.
#include <windows.h>

namespace {

// Keeps the module loaded until the process exits. A failure leaves the
// module as it is: it still works, as an ordinary DLL.
void pinModule(HINSTANCE module) {
  HMODULE pinned = nullptr;
  ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_PIN | GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                       reinterpret_cast<LPCWSTR>(module), &pinned);
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) pinModule(module);
  return TRUE;
}
