// Windows side of the benchmarks: FindFirstFileExA with the walk's own
// arguments as the bare enumeration, scratch folders under %TEMP%, the real
// registry value.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
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

std::size_t enumerateTree(std::string& directory) {
  const std::size_t length = directory.size();
  directory += "*.*";
  WIN32_FIND_DATAA data;
  const HANDLE search = ::FindFirstFileExA(directory.c_str(), FindExInfoStandard, &data,
                                           FindExSearchNameMatch, nullptr, 0);
  directory.resize(length);
  if (search == INVALID_HANDLE_VALUE) return 0;
  std::size_t visited = 0;
  do {
    ++visited;
    if (isEnteredDirectory(data.dwFileAttributes)) {
      if (isDotOrDotDot(data.cFileName)) continue;
      directory += data.cFileName;
      directory += '\\';
      visited += enumerateTree(directory);
      directory.resize(length);
    }
  } while (::FindNextFileA(search, &data) != 0);
  ::FindClose(search);
  return visited;
}

platform::WriteOutcome writeNewFileWithoutFlush(const std::string& path,
                                                platform::Creation creation, const char* data,
                                                std::size_t size) {
  const DWORD how = creation == platform::Creation::kExclusive ? CREATE_NEW : CREATE_ALWAYS;
  const HANDLE file = ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, how,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
  platform::WriteOutcome outcome;
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD error = ::GetLastError();
    outcome.nameTaken = error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS;
    return outcome;
  }
  outcome.created = true;
  DWORD written = 0;
  if (::WriteFile(file, data, static_cast<DWORD>(size), &written, nullptr) == 0) written = 0;
  outcome.written = written;
  outcome.flushed = true;
  if (::CloseHandle(file) == 0) outcome.written = 0;
  return outcome;
}

std::string makeScratchDirectory() {
  char temp[MAX_PATH];
  ::GetTempPathA(MAX_PATH, temp);
  const std::string path =
      std::string(temp) + "rotavue-bench-" + std::to_string(::GetCurrentProcessId()) + "\\";
  ::CreateDirectoryA(path.c_str(), nullptr);
  return path;
}

std::string makeScratchDirectory(const std::string& parent) {
  const std::string path =
      parent + "\\rotavue-bench-" + std::to_string(::GetCurrentProcessId()) + "\\";
  if (::CreateDirectoryA(path.c_str(), nullptr) == 0) {
    std::fprintf(stderr, "%s: cannot be created (error %lu)\n", path.c_str(), ::GetLastError());
    std::exit(1);
  }
  return path;
}

void removeTree(const std::string& root) {
  std::error_code ignored;
  std::filesystem::remove_all(root, ignored);
}

void makeDirectory(const std::string& path) { ::CreateDirectoryA(path.c_str(), nullptr); }

void writeFile(const std::string& path, const std::string& contents) {
  std::ofstream(path, std::ios::binary) << contents;
}

std::string makeHidden(const std::string& directory) {
  ::SetFileAttributesA(directory.c_str(), FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN);
  return directory;
}

void publishDirPath(const std::string& directory) {
  HKEY key = nullptr;
  if (::RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Glintora\\General", 0, nullptr, 0, KEY_WRITE,
                        nullptr, &key, nullptr) != ERROR_SUCCESS) {
    std::fprintf(stderr, "cannot write the registry\n");
    std::exit(1);
  }
  ::RegSetValueExA(key, "DirPath", 0, REG_SZ, reinterpret_cast<const BYTE*>(directory.c_str()),
                   static_cast<DWORD>(directory.size() + 1));
  ::RegCloseKey(key);
}

}  // namespace rotavue::bench
