// The host simulator's system seam on Linux: the entry point, dlopen/dlsym
// for the module, and a private registry-export file, which the module's
// POSIX backend reads in place of the host's registry when $ROTAVUE_REGISTRY
// names it; SIGINT and SIGTERM, and flock. Names are bytes, UTF-8 by
// convention, and reach the module as they are.
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <system_error>
#include <vector>

#include "commands.h"
#include "platform/posix/file_descriptor.h"
#include "system.h"

namespace rotavue_host {

const char kPathSeparator = '/';

void* loadModule(const std::string& path, std::string& error) {
  const std::string named = path.find('/') == std::string::npos ? "./" + path : path;
  void* module = ::dlopen(named.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (module == nullptr) {
    const char* reason = ::dlerror();
    error = reason != nullptr ? reason : "dlopen failed";
    // dlerror names the file first; the caller names it too.
    if (error.rfind(named + ": ", 0) == 0) error.erase(0, named.size() + 2);
  }
  return module;
}

void* findSymbol(void* module, const char* name) { return ::dlsym(module, name); }

void unloadModule(void* module) { ::dlclose(module); }

namespace {

std::string environmentText(const char* name) {
  const char* value = std::getenv(name);  // NOLINT(concurrency-mt-unsafe)
  return value != nullptr ? value : "";
}

std::string registryQuoted(const std::string& text) {
  std::string out = "\"";
  for (const char c : text) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  return out + '"';
}

const char kRegistryVariable[] = "ROTAVUE_REGISTRY";

}  // namespace

// A folder that only this user can enter, holding the registry file, and
// $ROTAVUE_REGISTRY as it was before. The program runs one thread, so
// changing the environment races with nothing.
struct PrivateDirPath::State {
  std::string folder;
  std::optional<std::string> savedVariable;

  State(const State&) = delete;
  State& operator=(const State&) = delete;
  State() {
    if (const char* previous = std::getenv(kRegistryVariable))  // NOLINT(concurrency-mt-unsafe)
      savedVariable = previous;
  }
  // A failed write to standard output is told by errno at the end
  // (hostMain), so the clean-up leaves errno as it found it.
  ~State() {
    const int error = errno;
    if (savedVariable)
      ::setenv(kRegistryVariable, savedVariable->c_str(), 1);  // NOLINT(concurrency-mt-unsafe)
    else
      ::unsetenv(kRegistryVariable);  // NOLINT(concurrency-mt-unsafe)
    std::error_code ignored;
    if (!folder.empty()) std::filesystem::remove_all(folder, ignored);
    errno = error;
  }
};

PrivateDirPath::PrivateDirPath() = default;
PrivateDirPath::~PrivateDirPath() = default;

bool PrivateDirPath::publish(const std::string& dirPath, std::string& error) {
  auto state = std::make_unique<State>();
  std::error_code code;
  std::string pattern = std::filesystem::temp_directory_path(code).string();
  if (code) pattern = "/tmp";
  pattern += "/rotavue-host-XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) {
    error = pattern + ": " + std::strerror(errno);  // NOLINT(concurrency-mt-unsafe)
    return false;
  }
  state->folder = pattern;
  const std::string file = pattern + "/registry.reg";
  std::ofstream stream(file, std::ios::binary | std::ios::trunc);
  stream << "Windows Registry Editor Version 5.00\r\n\r\n"
         << "[HKEY_CURRENT_USER\\Software\\Glintora\\General]\r\n"
         << registryQuoted("DirPath") << '=' << registryQuoted(dirPath) << "\r\n";
  stream.close();
  if (!stream) {
    error = file + ": cannot write the file";
    return false;
  }
  ::setenv(kRegistryVariable, file.c_str(), 1);  // NOLINT(concurrency-mt-unsafe)
  state_ = std::move(state);
  return true;
}

std::string perUserDirectory() {
  const std::string state = environmentText("XDG_STATE_HOME");
  if (!state.empty() && state[0] == '/') return state + "/rotavue/";
  const std::string home = environmentText("HOME");
  return home.empty() ? std::string() : home + "/.local/state/rotavue/";
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

namespace {

// The logical current folder, as the shell keeps it through links: $PWD
// when it is absolute and names "."; else the one getcwd finds; "" when
// neither can be had.
std::string currentFolder() {
  std::string logical = environmentText("PWD");
  struct stat named {};
  struct stat here {};
  if (!logical.empty() && logical[0] == '/' && ::stat(logical.c_str(), &named) == 0 &&
      ::stat(".", &here) == 0 && named.st_dev == here.st_dev && named.st_ino == here.st_ino)
    return logical;
  std::error_code code;
  const std::filesystem::path physical = std::filesystem::current_path(code);
  return code ? std::string() : physical.string();
}

}  // namespace

std::string normalPath(const std::string& path) {
  std::string joined = path;
  if (joined.empty() || joined[0] != '/') {
    const std::string current = currentFolder();
    if (current.empty()) return path;
    joined = current + '/' + path;
  }
  std::string normal = std::filesystem::path(joined).lexically_normal().string();
  while (normal.size() > 1 && normal.back() == '/') normal.pop_back();
  return normal;
}

void sleepMilliseconds(unsigned long milliseconds) {
  // A stop asked for while the meters were called ends the sleep before it
  // starts; one that comes during it wakes nanosleep.
  if (stopStatus() != 0) return;
  timespec remaining{static_cast<time_t>(milliseconds / 1000),
                     static_cast<long>(milliseconds % 1000) * 1000000L};
  while (::nanosleep(&remaining, &remaining) != 0 && errno == EINTR && stopStatus() == 0) {
  }
}

namespace {

// The signal that asked to stop, 0 while none has come.
volatile std::sig_atomic_t stopSignal = 0;

const int kStopSignals[] = {SIGINT, SIGTERM};
struct sigaction previousActions[2];

void askToStop(int signal) {
  if (stopSignal != 0) ::_exit(128 + signal);
  stopSignal = signal;
}

}  // namespace

// A signal that the shell has set to be ignored (a background job's SIGINT)
// stays ignored.
StopOnSignals::StopOnSignals() {
  struct sigaction action {};
  action.sa_handler = askToStop;
  sigemptyset(&action.sa_mask);
  for (std::size_t i = 0; i < 2; ++i) {
    ::sigaction(kStopSignals[i], nullptr, &previousActions[i]);
    if (previousActions[i].sa_handler != SIG_IGN) ::sigaction(kStopSignals[i], &action, nullptr);
  }
}

StopOnSignals::~StopOnSignals() {
  for (std::size_t i = 0; i < 2; ++i) ::sigaction(kStopSignals[i], &previousActions[i], nullptr);
}

int stopStatus() { return stopSignal == 0 ? 0 : 128 + stopSignal; }

struct PositionLock::State {
  explicit State(int fd) : file(fd) {}
  rotavue::platform::FileDescriptor file;
};

PositionLock::PositionLock() = default;
PositionLock::~PositionLock() = default;

// The lock file is opened for reading, which flock needs no more than, so
// that a lock file of another user in a shared temporary folder serves too.
bool PositionLock::acquire(const std::string& name, std::string& error) {
  std::string folder = perUserDirectory();
  std::error_code code;
  if (!folder.empty()) std::filesystem::create_directories(folder, code);
  if (folder.empty() || code) {
    folder = environmentText("XDG_RUNTIME_DIR");
    if (folder.empty() || folder[0] != '/')
      folder = std::filesystem::temp_directory_path(code).string();
    if (code) folder = "/tmp";
    folder += '/';
  }
  const std::string path = folder + "rotavue-" + name + ".lock";
  auto state = std::make_unique<State>(::open(path.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0644));
  int failure = state->file.isOpen() ? 0 : errno;
  while (failure == 0 && ::flock(state->file.get(), LOCK_EX) != 0) {
    if (errno != EINTR) failure = errno;
    if (stopStatus() != 0) return false;
  }
  if (failure != 0) {
    error = path + ": " + std::strerror(failure);  // NOLINT(concurrency-mt-unsafe)
    return false;
  }
  state_ = std::move(state);
  return true;
}

bool standardErrorIsTerminal() { return ::isatty(STDERR_FILENO) == 1; }

bool standardOutputMissing() { return false; }

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
