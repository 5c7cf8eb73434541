// The host simulator's system seam on Linux: the entry point, dlopen/dlsym
// for the module, and the registry-export file that stands in for the
// host's registry (the file the module's POSIX backend reads). Names are
// bytes, UTF-8 by convention, and reach the module as they are.
#include <dlfcn.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <vector>

#include "commands.h"
#include "module.h"

namespace rotavue_host {

const char kPathSeparator = '/';

void* loadModule(const std::string& path, std::string& error) {
  void* module = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (module == nullptr) {
    const char* reason = ::dlerror();
    error = reason != nullptr ? reason : "dlopen failed";
  }
  return module;
}

void* findSymbol(void* module, const char* name) { return ::dlsym(module, name); }

void unloadModule(void* module) { ::dlclose(module); }

namespace {

// $ROTAVUE_REGISTRY, else glintora/registry.reg under $XDG_CONFIG_HOME or
// ~/.config: the place the module reads.
std::string registryFilePath() {
  const auto environment = [](const char* name) -> std::string {
    const char* value = std::getenv(name);  // NOLINT(concurrency-mt-unsafe)
    return value != nullptr ? value : "";
  };
  if (std::string path = environment("ROTAVUE_REGISTRY"); !path.empty()) return path;
  std::string base = environment("XDG_CONFIG_HOME");
  if (base.empty()) {
    const std::string home = environment("HOME");
    base = home.empty() ? std::string(".config") : home + "/.config";
  }
  return base + "/glintora/registry.reg";
}

std::string registryQuoted(const std::string& text) {
  std::string out = "\"";
  for (const char c : text) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  return out + '"';
}

}  // namespace

bool publishDirPath(const std::string& dirPath, std::string& where, std::string& error) {
  where = registryFilePath();
  const std::filesystem::path parent = std::filesystem::path(where).parent_path();
  std::error_code code;
  if (!parent.empty()) std::filesystem::create_directories(parent, code);
  std::ofstream file(where, std::ios::binary | std::ios::trunc);
  file << "Windows Registry Editor Version 5.00\r\n\r\n"
       << "[HKEY_CURRENT_USER\\Software\\Glintora\\General]\r\n"
       << registryQuoted("DirPath") << '=' << registryQuoted(dirPath) << "\r\n";
  file.close();
  if (!file) error = "cannot write " + where;
  return static_cast<bool>(file);
}

bool ansiPathOf(const std::string& path, std::string& ansi, std::string&) {
  ansi = path;
  return true;
}

bool ansiTextOf(const std::string& text, std::string& ansi) {
  ansi = text;
  return true;
}

std::string executableDirectory() {
  std::error_code code;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", code);
  if (code) return "./";
  return self.parent_path().string() + kPathSeparator;
}

void sleepMilliseconds(unsigned long milliseconds) {
  timespec remaining{static_cast<time_t>(milliseconds / 1000),
                     static_cast<long>(milliseconds % 1000) * 1000000L};
  while (::nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
  }
}

bool standardErrorIsTerminal() { return ::isatty(STDERR_FILENO) == 1; }

// Terminals take UTF-8 as it is.
Utf8ConsoleOutput::Utf8ConsoleOutput() = default;
Utf8ConsoleOutput::~Utf8ConsoleOutput() = default;

}  // namespace rotavue_host

// A write to a closed pipe fails with EPIPE, as a full disk fails, instead of
// ending the program silently: the commands report both alike.
int main(int argc, char** argv) {
  std::signal(SIGPIPE, SIG_IGN);
  return rotavue_host::hostMain(std::vector<std::string>(argv + 1, argv + argc));
}
