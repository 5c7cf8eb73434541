// Module load on POSIX: the shared library's constructor plays the part of
// the Windows process-attach notification.
#include "host/exports.h"

namespace {

__attribute__((constructor)) void onLibraryLoad() { rotavue::onModuleLoad(); }

}  // namespace
