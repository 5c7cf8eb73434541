// The host simulator's system seam on Linux: the entry point, dlopen/dlsym
// for the module, and a private registry-export file, which the module's
// POSIX backend reads in place of the host's registry when $ROTAVUE_REGISTRY
// names it; SIGINT, SIGTERM, SIGHUP and SIGQUIT, and flock on the folder of
// the position files. Names are bytes, UTF-8 by convention, and reach the
// module as they are.
#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/auxv.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/time.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "commands.h"
#include "platform/platform.h"
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

std::string homeFolder() { return environmentText("HOME"); }

bool ansiPathOf(const std::string& path, std::string& ansi, std::string&) {
  ansi = path;
  return true;
}

bool ansiTextOf(const std::string& text, std::string& ansi) {
  ansi = text;
  return true;
}

// AT_EXECFN is the path given to execve, which may be relative to the
// current folder at the start; the tool never changes its current folder.
std::string executableDirectory() {
  std::error_code code;
  std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", code);
  if (code) {
    const auto* started =
        reinterpret_cast<const char*>(::getauxval(AT_EXECFN));  // NOLINT(performance-no-int-to-ptr)
    if (started == nullptr || *started == '\0') return "./";
    self = std::filesystem::absolute(started, code);
    if (code) return "./";
    std::filesystem::path real = std::filesystem::canonical(self, code);
    if (!code) self = std::move(real);
  }
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

// The longest part of `joined` that ends in a ".." component, resolved by
// realpath, followed by the rest; `joined` itself when it holds no "..".
std::filesystem::path withDotDotResolved(const std::filesystem::path& joined,
                                         const std::string& given) {
  std::filesystem::path upTo;
  std::filesystem::path rest;
  bool found = false;
  std::filesystem::path prefix;
  for (const std::filesystem::path& part : joined) {
    prefix /= part;
    if (part == "..") {
      upTo = prefix;
      rest.clear();
      found = true;
    } else if (found) {
      rest /= part;
    }
  }
  if (!found) return joined;
  char resolved[PATH_MAX];
  if (::realpath(upTo.c_str(), resolved) == nullptr)
    throw FolderError{given + ": " + std::strerror(errno)};  // NOLINT(concurrency-mt-unsafe)
  return std::filesystem::path(resolved) / rest;
}

std::string normalPath(const std::string& path) {
  std::string joined = path;
  if (joined.empty() || joined[0] != '/') {
    const std::string current = currentFolder();
    if (current.empty()) return path;
    joined = current + '/' + path;
  }
  std::string normal = withDotDotResolved(joined, path).lexically_normal().string();
  while (normal.size() > 1 && normal.back() == '/') normal.pop_back();
  return normal;
}

namespace {

// The signal that asked to stop, 0 while none has come.
volatile std::sig_atomic_t stopSignal = 0;

const int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
constexpr std::size_t kStopSignalCount = sizeof kStopSignals / sizeof kStopSignals[0];
struct sigaction previousActions[kStopSignalCount];

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
  for (std::size_t i = 0; i < kStopSignalCount; ++i) {
    ::sigaction(kStopSignals[i], nullptr, &previousActions[i]);
    if (previousActions[i].sa_handler != SIG_IGN) ::sigaction(kStopSignals[i], &action, nullptr);
  }
}

StopOnSignals::~StopOnSignals() {
  for (std::size_t i = 0; i < kStopSignalCount; ++i)
    ::sigaction(kStopSignals[i], &previousActions[i], nullptr);
}

int stopStatus() { return stopSignal == 0 ? 0 : 128 + stopSignal; }

// The stop signals are blocked but while ppoll waits, which unblocks them
// in one step with the wait: one that comes just before the wait, after the
// test of stopStatus, is taken in the wait and ends it.
void sleepMilliseconds(unsigned long milliseconds) {
  sigset_t stops;
  sigset_t previous;
  sigemptyset(&stops);
  for (const int signal : kStopSignals) sigaddset(&stops, signal);
  ::sigprocmask(SIG_BLOCK, &stops, &previous);  // NOLINT(concurrency-mt-unsafe)
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  while (stopStatus() == 0) {
    const auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    const timespec wait{static_cast<time_t>(left.count() / 1000000000),
                        static_cast<long>(left.count() % 1000000000)};
    if (::ppoll(nullptr, 0, &wait, &previous) == 0) break;
  }
  ::sigprocmask(SIG_SETMASK, &previous, nullptr);  // NOLINT(concurrency-mt-unsafe)
}

struct PositionLock::State {
  explicit State(int fd) : folder(fd) {}
  rotavue::platform::FileDescriptor folder;
};

PositionLock::PositionLock() = default;
PositionLock::~PositionLock() = default;

namespace {

void wakeUp(int) {}

// While it lives, SIGALRM interrupts a blocking call (no SA_RESTART) every
// 50 ms, so that the wait for flock, which no call makes together with
// unblocking signals, sees its deadline and a stop that came just before it
// blocked.
class WakeUpOften {
 public:
  WakeUpOften() {
    struct sigaction action {};
    action.sa_handler = wakeUp;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGALRM, &action, &previous_);
    itimerval timer{};
    timer.it_value.tv_usec = 50000;
    timer.it_interval.tv_usec = 50000;
    ::setitimer(ITIMER_REAL, &timer, nullptr);
  }
  ~WakeUpOften() {
    const itimerval off{};
    ::setitimer(ITIMER_REAL, &off, nullptr);
    ::sigaction(SIGALRM, &previous_, nullptr);
  }
  WakeUpOften(const WakeUpOften&) = delete;
  WakeUpOften& operator=(const WakeUpOften&) = delete;

 private:
  struct sigaction previous_ {};
};

std::string systemReason(int error) {
  return std::strerror(error);  // NOLINT(concurrency-mt-unsafe)
}

}  // namespace

// flock needs no more than a descriptor opened for reading (but through NFS,
// where it takes a handle opened for writing: that failure goes on
// unlocked, as any other). The descriptor is not inherited by the programs
// that a caller starts after the tool.
PositionLock::Outcome PositionLock::acquire(const std::string& folder, unsigned long waitSeconds,
                                            std::string& reason) {
  auto state = std::make_unique<State>(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!state->folder.isOpen()) {
    reason = systemReason(errno);
    return Outcome::kNotLocked;
  }
  int result = ::flock(state->folder.get(), LOCK_EX | LOCK_NB);
  if (result != 0 && errno != EWOULDBLOCK && errno != EINTR) {
    reason = systemReason(errno);
    return Outcome::kNotLocked;
  }
  if (result != 0 && waitSeconds > 0) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(waitSeconds);
    const WakeUpOften wakeUp;
    while ((result = ::flock(state->folder.get(), LOCK_EX)) != 0) {
      if (errno != EINTR) {
        reason = systemReason(errno);
        return Outcome::kNotLocked;
      }
      if (stopStatus() != 0) return Outcome::kStopped;
      if (std::chrono::steady_clock::now() >= deadline) break;
    }
  }
  if (stopStatus() != 0) return Outcome::kStopped;
  if (result != 0) return Outcome::kGaveUp;
  state_ = std::move(state);
  return Outcome::kHeld;
}

// Each test asks what the save or the load would have met, in the order in
// which the system would meet it; none writes anything.
std::string fileProblem(const std::string& path, bool writing) {
  if (!writing) {
    const rotavue::platform::FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    return file.isOpen() ? std::string() : systemReason(errno);
  }
  if (!rotavue::platform::hostCanOpenPath(path)) return systemReason(ENAMETOOLONG);
  const std::size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "."
                             : slash == 0               ? "/"
                                                        : path.substr(0, slash);
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  struct stat status {};
  if (::stat(folder.c_str(), &status) != 0) return systemReason(errno);
  if (!S_ISDIR(status.st_mode)) return systemReason(ENOTDIR);
  const long nameLimit = ::pathconf(folder.c_str(), _PC_NAME_MAX);
  if (nameLimit > 0 && name.size() > static_cast<std::size_t>(nameLimit))
    return systemReason(ENAMETOOLONG);
  if (::stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode)) return systemReason(EISDIR);
  if (::faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) != 0)
    return systemReason(errno);
  // Root may write the blocks kept for it.
  struct statvfs space {};
  if (::statvfs(folder.c_str(), &space) == 0 &&
      (::geteuid() == 0 ? space.f_bfree : space.f_bavail) == 0)
    return systemReason(ENOSPC);
  return std::string();
}

bool standardErrorIsTerminal() { return ::isatty(STDERR_FILENO) == 1; }

bool standardOutputMissing() { return false; }

// Terminals take UTF-8 as it is.
struct Utf8ConsoleOutput::State {};
Utf8ConsoleOutput::Utf8ConsoleOutput() = default;
Utf8ConsoleOutput::~Utf8ConsoleOutput() = default;

std::string longPathOf(const std::string& path) { return path; }

// A desktop of Linux sets its wallpaper with its own tool, which a script
// gives the printed path (docs/scripting.md).
bool setDesktopWallpaper(const std::string&, const std::string&, std::string& reason) {
  reason = "this system's desktop sets its wallpaper with its own tool";
  return false;
}

bool writableFolder(const std::string& folder, std::string& reason) {
  std::error_code code;
  std::filesystem::create_directories(folder, code);
  if (code) {
    reason = "cannot be created: " + code.message();
    return false;
  }
  const std::string probe = folder + "/.rotavue-host-probe-" + std::to_string(::getpid());
  const rotavue::platform::FileDescriptor file(
      ::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
  if (!file.isOpen()) {
    reason =
        std::string("cannot be written: ") + std::strerror(errno);  // NOLINT(concurrency-mt-unsafe)
    return false;
  }
  ::unlink(probe.c_str());
  return true;
}

void showShortHelp(const std::string& text) { std::cerr << text; }

}  // namespace rotavue_host

// A write to a closed pipe fails with EPIPE, as a full disk fails, instead of
// ending the program silently: the commands report both alike.
int main(int argc, char** argv) {
  std::signal(SIGPIPE, SIG_IGN);
  return rotavue_host::hostMain(std::vector<std::string>(argv + 1, argv + argc));
}
