// The portable parts of bench_support.h: tree generation, the heap counter
// and the ratios line.
#include "bench_support.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <utility>

#include "host/meter_data.h"
#include "platform/platform.h"
#include "walk/walk.h"

namespace rotavue::bench {

namespace {

std::atomic<std::size_t> liveBytes{0};
std::atomic<std::size_t> peakBytes{0};

void noteAllocation(std::size_t size) {
  const std::size_t now = liveBytes.fetch_add(size) + size;
  std::size_t peak = peakBytes.load();
  while (now > peak && !peakBytes.compare_exchange_weak(peak, now)) {
  }
}

std::string numbered(const char* prefix, int number, const char* suffix) {
  char name[64];
  std::snprintf(name, sizeof name, "%s%06d%s", prefix, number, suffix);
  return name;
}

}  // namespace

std::size_t bareEnumerate(const std::string& directory) {
  std::string path = directory;
  return enumerateTree(path);
}

namespace {

std::size_t entriesCounted = 0;

class CountingEnumeration final : public platform::Enumeration {
 public:
  explicit CountingEnumeration(std::unique_ptr<platform::Enumeration> inner)
      : inner_(std::move(inner)) {}
  bool next(platform::DirectoryEntry& entry) override {
    if (!inner_->next(entry)) return false;
    ++entriesCounted;
    return true;
  }

 private:
  std::unique_ptr<platform::Enumeration> inner_;
};

std::unique_ptr<platform::Enumeration> openCounting(const char* searchPattern,
                                                    platform::DirectoryEntry& first,
                                                    platform::SystemError& error) {
  auto inner = platform::systemHooks().openEnumeration(searchPattern, first, error);
  if (!inner) return nullptr;
  ++entriesCounted;
  return std::make_unique<CountingEnumeration>(std::move(inner));
}

}  // namespace

std::size_t entriesRead(const std::function<void()>& operation) {
  const platform::OpenEnumerationFunction saved = platform::hooks().openEnumeration;
  platform::hooks().openEnumeration = openCounting;
  entriesCounted = 0;
  operation();
  platform::hooks().openEnumeration = saved;
  return entriesCounted;
}

std::size_t heapInUse() { return liveBytes.load(); }
std::size_t heapPeak() { return peakBytes.load(); }
void resetHeapPeak() { peakBytes.store(liveBytes.load()); }

ImageTree makeTree(const std::string& base, const std::string& label, int files, int folders) {
  ImageTree tree;
  tree.label = label;
  tree.root = base + label.substr(0, label.find(' ')) + platform::kPathSeparator;
  makeDirectory(tree.root);
  std::vector<std::string> directories;
  if (folders == 0) directories.push_back(tree.root);
  // Chains of five nested folders, so that depths 1 to 5 are equally common;
  // every 50th chain is hidden and must not be walked.
  constexpr int kDepth = 5;
  for (int chain = 0; chain * kDepth < folders; ++chain) {
    std::string parent = tree.root;
    for (int depth = 1; depth <= kDepth && chain * kDepth + depth <= folders; ++depth) {
      std::string folder = parent + numbered("d", chain * kDepth + depth, "");
      makeDirectory(folder);
      if (depth == 1 && chain % 50 == 7) folder = makeHidden(folder);
      folder += platform::kPathSeparator;
      directories.push_back(folder);
      parent = folder;
    }
  }
  const char* const extensions[] = {".jpg", ".png", ".txt", ".JPG", ".gif", ".bmp", ".doc", ".ico"};
  for (int i = 0; i < files; ++i) {
    const std::string& directory = directories[static_cast<std::size_t>(i) % directories.size()];
    writeFile(directory + numbered("f", i, extensions[i % 8]), "");
  }

  meter_data counted;
  countImages(counted, tree.root);
  tree.images = counted.imageCount;
  tree.entries = bareEnumerate(tree.root);
  meter_data walked;
  walkImages(walked, tree.root, "", "", tree.images - 1);
  tree.lastDirectory = walked.imageDirectory;
  tree.lastFile = walked.imageFileName;
  return tree;
}

bool runProcessHelper(int argc, char** argv) {
  if (argc != 3) return false;
  if (std::strcmp(argv[1], "--make-tree") == 0) {
    std::printf("%s\n", makeTree(argv[2], "nested 100000", 100000, 1000).root.c_str());
    return true;
  }
  if (std::strcmp(argv[1], "--walk") == 0) {
    std::printf("%zu entries\n", bareEnumerate(argv[2]));
    return true;
  }
  return false;
}

}  // namespace rotavue::bench

// The benchmark's own heap counter: every allocation of the process passes
// here, so a refresh's peak heap use can be read off.
namespace {
constexpr std::size_t kBlockHeader = alignof(std::max_align_t);
}  // namespace

void* operator new(std::size_t size) {
  char* block = static_cast<char*>(std::malloc(size + kBlockHeader));
  if (block == nullptr) throw std::bad_alloc();
  std::memcpy(block, &size, sizeof size);
  rotavue::bench::noteAllocation(size);
  return block + kBlockHeader;
}

void operator delete(void* pointer) noexcept {
  if (pointer == nullptr) return;
  char* block = reinterpret_cast<char*>(reinterpret_cast<std::uintptr_t>(pointer) - kBlockHeader);
  std::size_t size = 0;
  std::memcpy(&size, block, sizeof size);
  rotavue::bench::liveBytes.fetch_sub(size);
  std::free(block);
}

void operator delete(void* pointer, std::size_t) noexcept { operator delete(pointer); }
void* operator new[](std::size_t size) { return operator new(size); }
void operator delete[](void* pointer) noexcept { operator delete(pointer); }
void operator delete[](void* pointer, std::size_t) noexcept { operator delete(pointer); }
