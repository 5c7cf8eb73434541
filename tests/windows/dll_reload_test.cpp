// A host that runs for weeks loads and frees the module again and again (each
// time its skins are refreshed or closed). This program plays such a host:
// it loads and frees the real Rotavue.dll, from beside itself, 1,200 times,
// now and then starting an instance, refreshing it and shutting it down. The
// process must survive, and the kernel handles, TLS slots and committed
// private memory it holds at the end must be those of the start, give or take
// a few.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <set>
#include <string>

#include "rotavue_dll.h"

namespace {

using rotavue_dll::copied;

constexpr int kLoads = 1200;
constexpr int kInstanceEvery = 40;

// What the process holds of the resources a leaking module would exhaust.
struct Usage {
  DWORD handles = 0;
  DWORD firstFreeTlsSlot = 0;  // TlsAlloc hands out the lowest free slot
  std::size_t committedPrivateBytes = 0;
};

// The number of kernel handles the process holds. Wine answers 0 for any
// process; there the value of a new handle stands in for the count, since
// Wine hands out the lowest free slot of the handle table first.
DWORD handleCount() {
  DWORD count = 0;
  if (::GetProcessHandleCount(::GetCurrentProcess(), &count) && count > 0) return count;
  const HANDLE probe = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (probe == nullptr) return 0;
  ::CloseHandle(probe);
  return static_cast<DWORD>(reinterpret_cast<std::uintptr_t>(probe) / 4);
}

std::size_t committedPrivateBytes() {
  std::size_t total = 0;
  MEMORY_BASIC_INFORMATION region{};
  const char* address = nullptr;
  while (::VirtualQuery(address, &region, sizeof region) == sizeof region) {
    if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE) total += region.RegionSize;
    const char* next = static_cast<const char*>(region.BaseAddress) + region.RegionSize;
    if (next <= address) break;
    address = next;
  }
  return total;
}

Usage measure() {
  Usage usage;
  usage.handles = handleCount();
  usage.firstFreeTlsSlot = ::TlsAlloc();
  if (usage.firstFreeTlsSlot != TLS_OUT_OF_INDEXES) ::TlsFree(usage.firstFreeTlsSlot);
  usage.committedPrivateBytes = committedPrivateBytes();
  return usage;
}

// The host's registry value and a small image tree in a temporary directory,
// both removed again at the end.
class HostScene {
 public:
  HostScene() {
    char temp[MAX_PATH] = {};
    ::GetTempPathA(MAX_PATH, temp);
    root_ = std::string(temp) + "rotavue-reload-" + std::to_string(::GetCurrentProcessId()) + "\\";
    pictures_ = root_ + "pictures\\";
    ::CreateDirectoryA(root_.c_str(), nullptr);
    ::CreateDirectoryA(pictures_.c_str(), nullptr);
    for (const char* name : {"a.jpg", "b.png"}) {
      const std::string image = pictures_ + name;
      const HANDLE file = ::CreateFileA(image.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
      if (file != INVALID_HANDLE_VALUE) ::CloseHandle(file);
      images_.insert(image);
    }
    rotavue_dll::publishDirPath(root_);
  }
  ~HostScene() {
    rotavue_dll::deleteHostKey();
    for (const std::string& image : images_) ::DeleteFileA(image.c_str());
    ::DeleteFileA((root_ + "ReloadRotavue.setup").c_str());
    ::RemoveDirectoryA(pictures_.c_str());
    ::RemoveDirectoryA(root_.c_str());
  }
  HostScene(const HostScene&) = delete;
  HostScene& operator=(const HostScene&) = delete;

  const std::string& pictures() const { return pictures_; }
  const std::set<std::string>& images() const { return images_; }

 private:
  std::string root_;
  std::string pictures_;
  std::set<std::string> images_;
};

// One load of the module, with an instance's life in between when asked.
// The trace is set up on the first load too, since the test framework's own
// per-thread records come with the first trace.
void loadAndFree(const HostScene& scene, int load, bool withInstance) {
  SCOPED_TRACE("load " + std::to_string(load));
  const rotavue_dll::Module module;
  ASSERT_TRUE(module.loaded()) << "LoadLibraryA failed: " << ::GetLastError();
  const rotavue_dll::Exports dll(module);
  ASSERT_TRUE(dll.complete());
  if (!withInstance) return;
  const std::uint32_t meter = dll.dllstartup(0, 0);
  ASSERT_NE(meter, 0u);
  const char* pictures = scene.pictures().c_str();
  // The rotation may stand at its wrap-around (""), a random pick never does.
  const std::string next = copied(dll.GetImage(meter, "Reload", pictures, "0"));
  EXPECT_TRUE(next.empty() || scene.images().count(next) == 1) << next;
  const std::string random = copied(dll.GetRandomImage(meter, "Reload", pictures, "0"));
  EXPECT_EQ(scene.images().count(random), 1u) << random;
  // A refused interval travels as an error inside the module.
  EXPECT_EQ(copied(dll.GetImage(meter, "Reload", pictures, "abc")),
            "GetImage:'abc' is not a valid integer value");
  EXPECT_EQ(dll.dllshutdown(meter), 0);
}

TEST(DllReload, ManyLoadsLeaveTheProcessAsItWas) {
  const HostScene scene;
  // The first load may set up what the process keeps for good.
  loadAndFree(scene, 0, true);
  const Usage start = measure();

  for (int load = 1; load <= kLoads; ++load) {
    loadAndFree(scene, load, load % kInstanceEvery == 0);
    if (::testing::Test::HasFatalFailure()) return;
  }

  const Usage end = measure();
  std::printf(
      "handles %lu -> %lu, first free TLS slot %lu -> %lu, committed private %u -> %u KiB\n",
      start.handles, end.handles, start.firstFreeTlsSlot, end.firstFreeTlsSlot,
      static_cast<unsigned>(start.committedPrivateBytes / 1024),
      static_cast<unsigned>(end.committedPrivateBytes / 1024));
  EXPECT_LE(end.handles, start.handles + 8);
  EXPECT_LE(end.firstFreeTlsSlot, start.firstFreeTlsSlot + 2);
  EXPECT_LE(end.committedPrivateBytes, start.committedPrivateBytes + 1024 * 1024);
}

}  // namespace
