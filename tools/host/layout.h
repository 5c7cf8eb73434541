// Where rotavue-host finds what it uses when no option names it: the module
// it loads, the example folder its commands walk, and run's host folder.
// The build tree and the Windows zip keep the module and the example folder
// beside the program; `cmake --install` lays them out as a system does
// (bin/rotavue-host, the module under the library folder's rotavue/, the
// example folder under share/rotavue/), at paths from the program's folder
// that CMake configures. A module beside the program tells which layout is
// in use. Every path is UTF-8, as the tool keeps them.
#pragma once

#include <string>

namespace rotavue_host {

// The module to load: beside the program, else where the install put it.
std::string defaultModulePath();

// The example folder "pictures", from the same place as the module.
std::string exampleFolder();

// The folder of run's own positions: "host" beside the program; for an
// installed program, whose folder the user may not write, "host" in the
// per-user folder (perUserDirectory).
std::string defaultHostFolder();

}  // namespace rotavue_host
