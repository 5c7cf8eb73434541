// The table that maps the host's 32-bit instance handles to the instances
// the module owns. Every export looks its handle up here first, so that an
// unknown or released handle is answered, never dereferenced.
#pragma once

#include <cstdint>
#include <memory>

#include "host/meter_data.h"

namespace rotavue {

using InstanceHandle = std::uint32_t;

// Takes ownership of `instance` and returns its new handle, never 0 and
// never 0xFFFFFFFF, and never one handed out before.
InstanceHandle registerInstance(std::unique_ptr<meter_data> instance);

// The instance of a live handle; null for any other value. The instance
// stays valid until its handle is released.
meter_data* findInstance(InstanceHandle handle);

// Releases the instance of a live handle; false when the handle is unknown.
bool releaseInstance(InstanceHandle handle);

}  // namespace rotavue
