// The hooks in force: the backend's real calls until a test replaces them.
#include "platform/platform.h"

namespace rotavue::platform {

Hooks& hooks() {
  static Hooks current = systemHooks();
  return current;
}

}  // namespace rotavue::platform
