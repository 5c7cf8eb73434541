// The host's registry on Windows: the key and value are written with the
// registry API, as the host writes them, under HKEY_CURRENT_USER. The key is
// deleted when the fixture is created and again when it is destroyed.
#include "support/host_registry.h"

#include <windows.h>

#include <stdexcept>

namespace rotavue::testing {

namespace {

const char kKeyPath[] = "Software\\Glintora\\General";

void setValue(const char* name, DWORD type, const void* data, DWORD size) {
  HKEY key = nullptr;
  if (::RegCreateKeyExA(HKEY_CURRENT_USER, kKeyPath, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE,
                        nullptr, &key, nullptr) != ERROR_SUCCESS)
    throw std::runtime_error("cannot create the host's registry key");
  const LONG result = ::RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size);
  ::RegCloseKey(key);
  if (result != ERROR_SUCCESS) throw std::runtime_error("cannot set a registry value");
}

void setText(const char* name, DWORD type, const std::string& text) {
  setValue(name, type, text.c_str(), static_cast<DWORD>(text.size() + 1));
}

}  // namespace

HostRegistry::HostRegistry() { removeKey(); }

HostRegistry::~HostRegistry() { removeKey(); }

void HostRegistry::setDirPath(const std::string& text) { setText("DirPath", REG_SZ, text); }

void HostRegistry::setDirPathExpand(const std::string& text) {
  setText("DirPath", REG_EXPAND_SZ, text);
}

void HostRegistry::setDirPathDword(std::uint32_t number) {
  const DWORD value = number;
  setValue("DirPath", REG_DWORD, &value, sizeof value);
}

void HostRegistry::removeDirPath() {
  HKEY key = nullptr;
  if (::RegCreateKeyExA(HKEY_CURRENT_USER, kKeyPath, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE,
                        nullptr, &key, nullptr) != ERROR_SUCCESS)
    throw std::runtime_error("cannot create the host's registry key");
  ::RegDeleteValueA(key, "DirPath");
  ::RegCloseKey(key);
}

void HostRegistry::removeKey() {
  ::RegDeleteKeyA(HKEY_CURRENT_USER, kKeyPath);
  ::RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Glintora");
}

void HostRegistry::setOtherValueOnly() {
  removeKey();
  setText("Other", REG_SZ, "x");
}

}  // namespace rotavue::testing
