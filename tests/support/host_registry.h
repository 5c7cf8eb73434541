// Test support: plays the host's part in the registry. The host maintains
// the value "DirPath" under HKEY_CURRENT_USER\Software\Glintora\General;
// these helpers create, change and delete that key and value as the host (or
// a confused user) might. Natively they write the registry-export file that
// stands in for the registry, at a private path set in ROTAVUE_REGISTRY for
// the fixture's lifetime; on Windows they use the registry API. The
// destructor removes the key again, so tests start from no key.
#pragma once

#include <cstdint>
#include <string>

namespace rotavue::testing {

class HostRegistry {
 public:
  HostRegistry();
  ~HostRegistry();
  HostRegistry(const HostRegistry&) = delete;
  HostRegistry& operator=(const HostRegistry&) = delete;

  void setDirPath(const std::string& text);        // REG_SZ
  void setDirPathExpand(const std::string& text);  // REG_EXPAND_SZ
  void setDirPathDword(std::uint32_t number);      // REG_DWORD
  void removeDirPath();                            // the key stays, without the value
  void removeKey();                                // no key at all
  // The key exists with another value but without "DirPath".
  void setOtherValueOnly();
};

}  // namespace rotavue::testing
