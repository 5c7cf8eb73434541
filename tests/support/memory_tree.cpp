// The in-memory enumeration of memory_tree.h.
#include "support/memory_tree.h"

#include <stdexcept>

#include "host/errors.h"

namespace rotavue::testing {

namespace {

MemoryTree* installedTree = nullptr;

void raiseFault(const MemoryTree::Directory& directory) {
  switch (directory.fault) {
    case Fault::kAccessViolation:
      throw EAccessViolation(directory.faultMessage);
    case Fault::kException:
      throw Exception(directory.faultMessage);
    case Fault::kStdException:
      throw std::runtime_error(directory.faultMessage);
  }
}

class MemoryEnumeration final : public platform::Enumeration {
 public:
  MemoryEnumeration(MemoryTree& tree, const MemoryTree::Directory& directory)
      : tree_(tree), directory_(directory) {
    ++tree_.openCount_;
  }
  ~MemoryEnumeration() override { --tree_.openCount_; }

  bool deliver(platform::DirectoryEntry& entry) {
    if (directory_.raises && directory_.raiseIndex == index_) raiseFault(directory_);
    if (index_ >= directory_.entries.size()) return false;
    entry.attributes = directory_.entries[index_].attributes;
    entry.name = directory_.entries[index_].name.c_str();
    entry.unreachable = directory_.entries[index_].unreachable;
    ++index_;
    ++tree_.delivered_;
    return true;
  }

  bool next(platform::DirectoryEntry& entry) override { return deliver(entry); }

 private:
  MemoryTree& tree_;
  const MemoryTree::Directory& directory_;
  std::size_t index_ = 0;
};

std::unique_ptr<platform::Enumeration> openMemoryEnumeration(const char* searchPattern,
                                                             platform::DirectoryEntry& first,
                                                             platform::SystemError& error) {
  MemoryTree& tree = *installedTree;
  std::string directory(searchPattern);
  {
    const std::lock_guard<std::mutex> guard(tree.openedLock_);
    tree.opened_.push_back(directory);
  }
  if (directory.size() >= 3 && directory.compare(directory.size() - 3, 3, "*.*") == 0)
    directory.resize(directory.size() - 3);
  const auto found = tree.directories_.find(directory);
  if (found == tree.directories_.end()) {
    error = platform::pathNotFoundError();
    return nullptr;
  }
  if (found->second.fails) {
    error = platform::SystemError{found->second.failureCode};
    return nullptr;
  }
  auto enumeration = std::make_unique<MemoryEnumeration>(tree, found->second);
  if (!enumeration->deliver(first)) {
    error = platform::pathNotFoundError();
    return nullptr;
  }
  return enumeration;
}

}  // namespace

std::string path(const std::vector<std::string>& components) {
  std::string joined;
  for (const std::string& component : components) {
    joined += component;
    joined += platform::kPathSeparator;
  }
  return joined;
}

MemoryTree::MemoryTree() {
  installedTree = this;
  platform::hooks().openEnumeration = openMemoryEnumeration;
}

MemoryTree::~MemoryTree() { installedTree = nullptr; }

void MemoryTree::add(const std::string& directory, std::vector<TreeEntry> entries) {
  directories_[directory].entries = std::move(entries);
}

void MemoryTree::failOpen(const std::string& directory, std::uint32_t code) {
  Directory& entry = directories_[directory];
  entry.fails = true;
  entry.failureCode = code;
}

void MemoryTree::raiseAt(const std::string& directory, std::size_t index, Fault fault,
                         std::string message) {
  Directory& entry = directories_[directory];
  entry.raises = true;
  entry.raiseIndex = index;
  entry.fault = fault;
  entry.faultMessage = std::move(message);
}

}  // namespace rotavue::testing
