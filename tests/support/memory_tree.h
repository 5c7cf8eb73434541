// Test support: an in-memory directory tree that replaces the platform's
// enumeration while it lives. Each directory delivers exactly the entries a
// test gives it, in the order given ("." and ".." only when listed), with the
// attribute words given; a directory can be made to fail its find-first, or
// to raise an error when a given entry is requested.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "support/hooks_guard.h"

namespace rotavue::testing {

struct TreeEntry {
  std::string name;
  std::uint32_t attributes = platform::kAttributeNormal;
  bool unreachable = false;
};

// A directory entry (attribute word exactly 16).
inline TreeEntry dir(std::string name, std::uint32_t attributes = platform::kAttributeDirectory) {
  return TreeEntry{std::move(name), attributes};
}
// A file entry (attribute word 128 unless given).
inline TreeEntry file(std::string name, std::uint32_t attributes = platform::kAttributeNormal) {
  return TreeEntry{std::move(name), attributes};
}
// An entry whose name has no form the host could open (no exact ANSI name and
// no short name); `name` stands for its long name in UTF-8.
inline TreeEntry unreachable(std::string name,
                             std::uint32_t attributes = platform::kAttributeNormal) {
  return TreeEntry{std::move(name), attributes, true};
}

// Joins path components with the platform's separator and ends the result in
// one: path({"C:", "pics"}) is "C:\pics\" on Windows, "C:/pics/" on POSIX.
std::string path(const std::vector<std::string>& components);

enum class Fault { kAccessViolation, kException, kStdException };

class MemoryTree {
 public:
  MemoryTree();
  ~MemoryTree();
  MemoryTree(const MemoryTree&) = delete;
  MemoryTree& operator=(const MemoryTree&) = delete;

  // Sets the entries of a directory, given as its level directory (ending in
  // the separator). Sub-directories listed need their own `add`, or their
  // find-first fails as for a missing path.
  void add(const std::string& directory, std::vector<TreeEntry> entries);
  // Makes the find-first of `directory` fail with `code`.
  void failOpen(const std::string& directory, std::uint32_t code);
  // Makes the request for entry `index` (0: the find-first) of `directory`
  // raise `fault` with `message`.
  void raiseAt(const std::string& directory, std::size_t index, Fault fault, std::string message);

  // The search patterns opened, in order (read it when no walk runs).
  const std::vector<std::string>& opened() const { return opened_; }
  // Enumerations opened and not yet closed.
  int openEnumerations() const { return openCount_.load(); }
  // Entries delivered in all (find-first and find-next results).
  std::size_t entriesDelivered() const { return delivered_.load(); }

  struct Directory {
    std::vector<TreeEntry> entries;
    bool fails = false;
    std::uint32_t failureCode = 0;
    bool raises = false;
    std::size_t raiseIndex = 0;
    Fault fault = Fault::kException;
    std::string faultMessage;
  };

  // Used by the installed hook, which walks on several threads may call at
  // once; the directories are only read while walks run.
  std::map<std::string, Directory> directories_;
  std::mutex openedLock_;
  std::vector<std::string> opened_;
  std::atomic<int> openCount_{0};
  std::atomic<std::size_t> delivered_{0};

 private:
  HooksGuard guard_;
};

}  // namespace rotavue::testing
