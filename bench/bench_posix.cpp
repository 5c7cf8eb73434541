// POSIX side of the benchmarks: readdir as the bare enumeration, scratch
// folders under /tmp, the registry stand-in file.
#include <dirent.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "bench_support.h"
#include "walk/walk.h"

namespace rotavue::bench {

namespace {

bool isDotOrDotDot(const char* name) {
  return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

}  // namespace

// The loop every walk stands on: readdir, and descend into plain
// directories (those the module's walks descend into too).
std::size_t enumerateTree(std::string& directory) {
  DIR* stream = ::opendir(directory.c_str());
  if (stream == nullptr) return 0;
  std::size_t visited = 0;
  const std::size_t length = directory.size();
  while (const dirent* entry = ::readdir(stream)) {
    ++visited;
    if (entry->d_type == DT_DIR) {
      if (isDotOrDotDot(entry->d_name) || entry->d_name[0] == '.') continue;
      directory += entry->d_name;
      directory += '/';
      visited += enumerateTree(directory);
      directory.resize(length);
    }
  }
  ::closedir(stream);
  return visited;
}

platform::WriteOutcome writeNewFileWithoutFlush(const std::string& path,
                                                platform::Creation creation, const char* data,
                                                std::size_t size) {
  const int how = creation == platform::Creation::kExclusive ? O_EXCL : O_TRUNC;
  const int file = ::open(path.c_str(), O_WRONLY | O_CREAT | how | O_CLOEXEC, 0644);
  platform::WriteOutcome outcome;
  if (file < 0) {
    outcome.nameTaken = errno == EEXIST;
    return outcome;
  }
  outcome.created = true;
  const ssize_t written = ::write(file, data, size);
  outcome.written = written > 0 ? static_cast<std::size_t>(written) : 0;
  outcome.flushed = true;
  if (::close(file) != 0) outcome.written = 0;
  return outcome;
}

std::string makeScratchDirectory() {
  char pattern[] = "/tmp/rotavue-bench-XXXXXX";
  if (::mkdtemp(pattern) == nullptr) {
    std::perror("mkdtemp");
    std::exit(1);
  }
  return std::string(pattern) + "/";
}

std::string makeScratchDirectory(const std::string& parent) {
  std::string pattern = parent + "/rotavue-bench-XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) {
    std::perror(pattern.c_str());
    std::exit(1);
  }
  return pattern + "/";
}

void removeTree(const std::string& root) { std::filesystem::remove_all(root); }

void makeDirectory(const std::string& path) { ::mkdir(path.c_str(), 0755); }

void writeFile(const std::string& path, const std::string& contents) {
  std::ofstream(path, std::ios::binary) << contents;
}

// POSIX has no hidden attribute; a dot-name is what the module's POSIX
// backend reports as hidden.
std::string makeHidden(const std::string& directory) {
  const std::size_t slash = directory.find_last_of('/');
  const std::string hidden = directory.substr(0, slash + 1) + "." + directory.substr(slash + 1);
  std::filesystem::rename(directory, hidden);
  return hidden;
}

void publishDirPath(const std::string& directory) {
  const std::string file = directory + "registry.reg";
  std::ofstream(file, std::ios::binary)
      << "Windows Registry Editor Version "
         "5.00\n\n[HKEY_CURRENT_USER\\Software\\Glintora\\General]\n"
      << "\"DirPath\"=\"" << directory << "\"\n";
  ::setenv("ROTAVUE_REGISTRY", file.c_str(), 1);
}

}  // namespace rotavue::bench
