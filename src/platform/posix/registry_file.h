// The POSIX stand-in for the Windows registry: a text file in the
// registry-export format, which the host simulator and the tests write as
// the host writes its registry.
//
//   Windows Registry Editor Version 5.00
//
//   [HKEY_CURRENT_USER\Software\Glintora\General]
//   "DirPath"="/home/me/.config/glintora/"
//   "Count"=dword:00000001
//   "Expanded"=hex(2):25,00,41,00,00,00
//
// Key paths and value names match without regard to letter case, as in the
// registry. `"text"` values are REG_SZ (escapes \\ and \"), `dword:` is
// REG_DWORD, `hex:` REG_BINARY and `hex(N):` type N; the UTF-16 data of
// hex(2) and hex(7) is narrowed to 8-bit text. A later definition of a value
// replaces an earlier one; `[-key]` sections and `"name"=-` are ignored.
#pragma once

#include <string>

#include "platform/platform.h"

namespace rotavue::platform {

// The file that holds the stand-in registry: $ROTAVUE_REGISTRY, else
// glintora/registry.reg under $XDG_CONFIG_HOME (or ~/.config).
std::string registryFilePath();

// Reads one value of one key (its full path, root included) from the file.
RegistryValue readRegistryFileValue(const std::string& filePath, const std::string& keyPath,
                                    const std::string& valueName);

// Parses registry-export text; exposed for tests.
RegistryValue parseRegistryText(const std::string& text, const std::string& keyPath,
                                const std::string& valueName);

}  // namespace rotavue::platform
