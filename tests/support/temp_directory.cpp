// The scratch directories of temp_directory.h, on std::filesystem so that
// the same code serves the native build and the Windows build under Wine.
#include "support/temp_directory.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <system_error>

#include "platform/platform.h"

namespace rotavue::testing {

namespace fs = std::filesystem;

namespace {

std::string withPlatformSeparators(std::string text) {
  for (char& c : text)
    if (c == '/') c = platform::kPathSeparator;
  return text;
}

}  // namespace

TempDirectory::TempDirectory() {
  static std::atomic<unsigned> created{0};
  const auto ticks = std::chrono::steady_clock::now().time_since_epoch().count();
  const fs::path base = fs::temp_directory_path();
  for (int attempt = 0; attempt < 100; ++attempt) {
    const fs::path candidate =
        base / ("rotavue-test-" + std::to_string(platform::processId()) + "-" +
                std::to_string(created.fetch_add(1)) + "-" + std::to_string(ticks % 1000000));
    std::error_code error;
    if (fs::create_directory(candidate, error)) {
      path_ = candidate.lexically_normal().make_preferred().string();
      if (path_.empty() || path_.back() != platform::kPathSeparator)
        path_ += platform::kPathSeparator;
      return;
    }
  }
  throw std::runtime_error("cannot create a temporary directory under " + base.string());
}

TempDirectory::~TempDirectory() {
  std::error_code error;
  fs::remove_all(fs::path(path_), error);
}

std::string TempDirectory::pathOf(const std::string& relative) const {
  return path_ + withPlatformSeparators(relative);
}

void TempDirectory::writeFile(const std::string& relative, const std::string& contents) const {
  const fs::path target(pathOf(relative));
  fs::create_directories(target.parent_path());
  std::ofstream stream(target, std::ios::binary | std::ios::trunc);
  stream.write(contents.data(), static_cast<std::streamsize>(contents.size()));
  if (!stream) throw std::runtime_error("cannot write " + target.string());
}

void TempDirectory::makeDirectory(const std::string& relative) const {
  fs::create_directories(fs::path(pathOf(relative)));
}

void TempDirectory::remove(const std::string& relative) const {
  fs::remove_all(fs::path(pathOf(relative)));
}

std::string readFileBytes(const std::string& path) {
  std::ifstream stream(fs::path(path), std::ios::binary);
  if (!stream || fs::is_directory(fs::path(path))) return "<missing>";
  return std::string(std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>());
}

bool pathExists(const std::string& path) {
  std::error_code error;
  return fs::exists(fs::path(path), error);
}

}  // namespace rotavue::testing
