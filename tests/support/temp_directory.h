// Test support: a fresh directory on the real file system, removed with all
// it holds when the test ends, and helpers to lay out files in it.
#pragma once

#include <string>

namespace rotavue::testing {

class TempDirectory {
 public:
  TempDirectory();
  ~TempDirectory();
  TempDirectory(const TempDirectory&) = delete;
  TempDirectory& operator=(const TempDirectory&) = delete;

  // The directory, ending in the platform's separator.
  const std::string& path() const { return path_; }
  // `relative` uses "/" between components; the result uses the platform's
  // separator.
  std::string pathOf(const std::string& relative) const;
  // Creates a file (and any missing parent directories) holding `contents`.
  void writeFile(const std::string& relative, const std::string& contents = "") const;
  void makeDirectory(const std::string& relative) const;
  void remove(const std::string& relative) const;

 private:
  std::string path_;
};

// The whole contents of a file, or "<missing>" when it cannot be read.
std::string readFileBytes(const std::string& path);
// True when a file or directory exists at `path`.
bool pathExists(const std::string& path);

}  // namespace rotavue::testing
