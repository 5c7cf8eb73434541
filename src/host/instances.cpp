// The handle table. The host may run meters on several threads, so the table
// is guarded; an instance itself is used by one thread at a time.
#include "host/instances.h"

#include <mutex>
#include <unordered_map>

namespace rotavue {

namespace {

// Handles start far from the small integers a confused host might pass.
constexpr InstanceHandle kFirstHandle = 0x52560001U;

struct InstanceTable {
  std::mutex lock;
  std::unordered_map<InstanceHandle, std::unique_ptr<meter_data>> instances;
  InstanceHandle nextHandle = kFirstHandle;
};

InstanceTable& table() {
  static InstanceTable instances;
  return instances;
}

}  // namespace

InstanceHandle registerInstance(std::unique_ptr<meter_data> instance) {
  InstanceTable& instances = table();
  const std::lock_guard<std::mutex> guard(instances.lock);
  InstanceHandle handle = instances.nextHandle;
  while (handle == 0 || handle == 0xFFFFFFFFU || instances.instances.count(handle) != 0) ++handle;
  instances.nextHandle = handle + 1;
  instances.instances.emplace(handle, std::move(instance));
  return handle;
}

meter_data* findInstance(InstanceHandle handle) {
  InstanceTable& instances = table();
  const std::lock_guard<std::mutex> guard(instances.lock);
  const auto found = instances.instances.find(handle);
  return found == instances.instances.end() ? nullptr : found->second.get();
}

bool releaseInstance(InstanceHandle handle) {
  InstanceTable& instances = table();
  const std::lock_guard<std::mutex> guard(instances.lock);
  return instances.instances.erase(handle) != 0;
}

}  // namespace rotavue
