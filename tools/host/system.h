// What the host simulator needs of the operating system, behind one seam:
// the program's entry point, which hands the arguments over in UTF-8;
// loading the module and finding its exports; showing the module a
// directory of the tool's own as DirPath, for this process alone, and the
// per-user folder that serves when the host has none; the texts the module
// is given, in the ANSI code page, and the normal form of the paths given;
// locating the executable; sleeping between ticks; the signals that ask a
// command to stop; the lock that makes the calls on one folder of position
// files take turns, and the reasons a position file cannot be written; the
// terminal and console that the commands write to; and, for scripts, the
// long names of the pictures printed, the desktop wallpaper, whether a host
// folder can be written, and the help of a program started alone.
// system_win32.cpp and system_posix.cpp implement it; CMake compiles exactly
// one of them.
//
// Every path and text here is UTF-8, as the tool keeps them (on POSIX the
// bytes as given, UTF-8 by convention): on Windows the arguments arrive in
// UTF-16 and the system calls take UTF-16, so a folder outside the ANSI code
// page can be named; only what the module is given goes through the ANSI
// code page.
#pragma once

#include <memory>
#include <string>

namespace rotavue_host {

// The separator the host appends to directories.
extern const char kPathSeparator;

// Loads the module at `path`; null with a reason in `error` on failure. A
// bare file name natively means the file in the current folder, as on
// Windows, not a search of the library paths.
void* loadModule(const std::string& path, std::string& error);
// The address of the export `name`, or null.
void* findSymbol(void* module, const char* name);
void unloadModule(void* module);

// While it lives, the module in this process reads a DirPath of the tool's
// own, and the host's value is never touched: on Windows, HKEY_CURRENT_USER
// of this process is redirected (RegOverridePredefKey) to a volatile key of
// its own under HKEY_CURRENT_USER\Software\Rotavue\, which holds
// Software\Glintora\General\DirPath (REG_SZ, UTF-16, which the module
// converts itself); on Linux $ROTAVUE_REGISTRY names a private registry file
// in a temporary folder. Its end, however the command ends, restores the
// redirection or the variable and removes the key or the file.
class PrivateDirPath {
 public:
  PrivateDirPath();
  ~PrivateDirPath();
  PrivateDirPath(const PrivateDirPath&) = delete;
  PrivateDirPath& operator=(const PrivateDirPath&) = delete;

  // Publishes `dirPath` (UTF-8) before the module's first refresh; false
  // with the reason in `error`.
  bool publish(const std::string& dirPath, std::string& error);

 private:
  struct State;  // each backend's own
  std::unique_ptr<State> state_;
};

// The per-user folder of the position files when the host has no DirPath,
// ending in the separator: %LOCALAPPDATA%\Rotavue\ on Windows,
// $XDG_STATE_HOME/rotavue/ (when absolute), else ~/.local/state/rotavue/, on
// Linux; "" when the environment names no such place.
std::string perUserDirectory();

// The user's home folder, which the tool never creates, not even as the
// parent of the per-user folder: $HOME natively; "" on Windows, whose
// per-user folder lies in %LOCALAPPDATA%, which the system makes.
std::string homeFolder();

// The text in which the module is given the file or folder at `path`: on
// Windows its exact form in the ANSI code page, else the exact form of its
// short path, as the module reads DirPath (platform::exactAnsiPath); on
// POSIX the path as it is. False, with the whole message in `problem`, when
// it has neither.
bool ansiPathOf(const std::string& path, std::string& ansi, std::string& problem);

// The exact form of `text` (a nickname, an interval) in the ANSI code page;
// false when it has none. On POSIX the text as it is.
bool ansiTextOf(const std::string& text, std::string& ansi);

// The absolute, normal form of the path `path` (UTF-8), so that a folder is
// one folder however it is written, and the one the system means: natively
// joined to the logical current folder ($PWD when it names ".", else
// getcwd), "." and repeated separators collapsed lexically, links left
// unresolved; but a ".." goes up from where the system goes, so the longest
// part that ends in ".." is resolved by realpath, links and all, and the
// rest collapsed lexically. On Windows by GetFullPathNameW, which follows
// the system's own rule. Letter case stays as written. A trailing separator
// goes; a root keeps its own. Throws FolderError ("PATH: REASON") when the
// part that ends in ".." cannot be resolved.
std::string normalPath(const std::string& path);

// The directory of the running executable, ending in the separator:
// natively from /proc/self/exe, else (no /proc) from the path it was started
// by (getauxval(AT_EXECFN)).
std::string executableDirectory();

// Returns early when a stop is asked for (stopStatus).
void sleepMilliseconds(unsigned long milliseconds);

// While it lives, the signals that would end the command ask it to stop
// instead, at its next safe point, so that it tears down what it set up:
// natively SIGINT, SIGTERM, SIGHUP (the terminal closed) and SIGQUIT, whose
// handler (without SA_RESTART) also wakes a wait, the lock's or a sleep; on
// Windows Ctrl-C, Ctrl-Break and the
// closing of the console window, on which the handler waits for the
// teardown, the end of this object (the system allows it 5 s). A second
// signal ends the process at once. One at a time.
class StopOnSignals {
 public:
  StopOnSignals();
  ~StopOnSignals();
  StopOnSignals(const StopOnSignals&) = delete;
  StopOnSignals& operator=(const StopOnSignals&) = delete;
};

// 0 until a signal has asked the command to stop; then the exit status it
// asks for, 128 and the signal's number: 130 (SIGINT, Ctrl-C, Ctrl-Break,
// the console's closing), 143 (SIGTERM), 129 (SIGHUP) or 131 (SIGQUIT).
int stopStatus();

// While it holds, no other rotavue-host holds the lock of the same folder,
// whatever its user or environment: natively an flock on the folder itself,
// opened read-only (O_DIRECTORY), so that any user who can read the folder
// takes part and no file is added; on Windows the named mutex
// Global\Rotavue-SERIAL-INDEX, from the folder's volume serial number and
// file index (GetFileInformationByHandle, 8 and 16 hexadecimal digits), so
// that every spelling of the folder (8.3, letter case, UNC) names one mutex,
// which Authenticated Users may wait on and release (a task of another
// account, or of no logon session). A mutex whose holder ended without
// releasing it counts as taken. Released at its end.
class PositionLock {
 public:
  enum class Outcome {
    kHeld,
    kNotLocked,  // the folder cannot be opened or locked: go on without
    kGaveUp,     // another call held it for the whole wait
    kStopped,    // a stop was asked for meanwhile (stopStatus)
  };

  PositionLock();
  ~PositionLock();
  PositionLock(const PositionLock&) = delete;
  PositionLock& operator=(const PositionLock&) = delete;

  // Takes the lock of `folder` (UTF-8), waiting at most `waitSeconds` (0:
  // not at all) while another call holds it. kNotLocked with the system's
  // reason in `reason`.
  Outcome acquire(const std::string& folder, unsigned long waitSeconds, std::string& reason);

 private:
  struct State;  // each backend's own
  std::unique_ptr<State> state_;
};

// Why the module could not write (`writing`) or read the file at `path` (in
// the ANSI code page, as the module names it), found without changing
// anything: the system's message for a folder that is missing, not a
// folder, or cannot be written, a name too long, a folder of the file's
// name, a full disk (writing); for the file that cannot be opened (reading).
// "" when none of these holds.
std::string fileProblem(const std::string& path, bool writing);

// True when standard error is a terminal (a console on Windows).
bool standardErrorIsTerminal();

// True when the process was given no standard output at all, as on Windows
// a GUI-subsystem program that Task Scheduler or a shortcut starts: what it
// prints reaches no one, and that is no failure. On POSIX a program always
// has the descriptor, and a closed one stays a failure to write.
bool standardOutputMissing();

// While it lives, a console on standard output or error shows the tool's
// UTF-8 text whatever its code page, which is never changed: on Windows
// std::cout, or std::cerr, whose handle is a console writes through a
// stream buffer of its own that converts to UTF-16 and writes with
// WriteConsoleW at each line end and flush, never splitting a character; a
// failed write fails the stream. Output to a file or a pipe stays on the C
// runtime, UTF-8 bytes and line ends as ever. Terminals elsewhere take UTF-8
// as it is.
class Utf8ConsoleOutput {
 public:
  Utf8ConsoleOutput();
  ~Utf8ConsoleOutput();
  Utf8ConsoleOutput(const Utf8ConsoleOutput&) = delete;
  Utf8ConsoleOutput& operator=(const Utf8ConsoleOutput&) = delete;

 private:
  struct State;  // each backend's own
  std::unique_ptr<State> state_;
};

// The path `path` (UTF-8) as a script is to see it: on Windows with every
// short (8.3) name in it replaced by the long name (GetLongPathNameW), and
// as it is when that fails; on POSIX, which has no short names, as it is.
std::string longPathOf(const std::string& path);

// Sets the desktop wallpaper of every monitor to the picture at `picture`
// (UTF-8): with a `style` (fill, fit, stretch, tile, center or span) the
// user's WallpaperStyle and TileWallpaper first, without one the user's
// style as it is. False, with the system's reason (or "the system refused
// it") in `reason`, when it cannot. The user's registry must be the user's
// own: not while a PrivateDirPath lives. Windows only (the command line
// offers --wallpaper nowhere else): natively it refuses.
bool setDesktopWallpaper(const std::string& picture, const std::string& style, std::string& reason);

// Creates the folder `folder` (UTF-8) and those above it where missing, then
// creates a probe file in it and removes it again. False, with "cannot be
// created: MESSAGE" or "cannot be written: MESSAGE" in `reason`, when the
// folder cannot serve for writing.
bool writableFolder(const std::string& folder, std::string& reason);

// Shows the short help `text` of a program started without arguments: on
// Windows the windowless rotavue-hostw.exe shows it in a message box; else
// it goes to standard error, and where the console window is this program's
// alone (GetConsoleProcessList counts one: started by a double-click) and
// standard input is that console, "Press Enter to close this window."
// follows and the program waits for Enter, so that the window does not
// close before the text is read.
void showShortHelp(const std::string& text);

}  // namespace rotavue_host
