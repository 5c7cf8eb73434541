// An open registry key of the Windows backend, closed when it goes; the host
// simulator's system seam uses it too.
#pragma once

#include <windows.h>

namespace rotavue::platform {

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

}  // namespace rotavue::platform
