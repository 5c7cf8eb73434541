// Tests of `rotavue-host.exe next` as a script runs it, against the real
// Rotavue.dll: it shares the rotation stored under the host's DirPath and
// never changes that value, keeps its own positions in --dir-path, and its
// private registry key goes with the process; the windowless
// rotavue-hostw.exe, started without standard output as a scheduled task
// is, moves the rotation all the same; every spelling of a folder takes its
// one lock. Also the long names printed, the wallpaper set, run's host
// folder, and the program started alone.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "host_program.h"
#include "rotavue_dll.h"

namespace {

using host_program::HostCheckExe;
using host_program::Outcome;
using host_program::privateKeys;
using host_program::storedDirPath;
using host_program::wideOf;
using rotavue_dll::copied;

// `next` with --dir-path leaves the host's DirPath and its rotation alone;
// without it, it moves the rotation stored under the host's DirPath, so that
// the widget's next refresh shows the image after the one printed. The
// private key goes with the process.
TEST_F(HostCheckExe, NextLeavesTheHostsDirPathAsItIsAndSharesItsRotation) {
  writeFile("a.jpg");
  writeFile("b.jpg");
  const std::string stored = storedDirPath();
  ASSERT_NE(stored, "<none>");
  const std::string own = root_ + "own\\";
  const Outcome apart =
      run({"next", "--nickname", "desk", "--folder", pictures_, "--dir-path", own});
  EXPECT_EQ(apart.status, 0u) << apart.err;
  EXPECT_NE(rotavue_dll::readFile(own + "deskRotavue.setup"), "<missing>");
  EXPECT_EQ(rotavue_dll::readFile(host_ + "deskRotavue.setup"), "<missing>");
  EXPECT_EQ(storedDirPath(), stored);

  const Outcome shared = run({"next", "--nickname", "desk", "--folder", pictures_});
  ASSERT_EQ(shared.status, 0u) << shared.err;
  const std::string shown = shared.out.substr(0, shared.out.find('\r'));
  const std::size_t cut = shown.rfind('\\') + 1;
  EXPECT_EQ(rotavue_dll::readFile(host_ + "deskRotavue.setup"),
            shown.substr(0, cut) + "#" + shown.substr(cut) + "\r\n");
  const std::uint32_t widget = dll_.dllstartup(0, 0);
  const std::string after = copied(dll_.GetImage(widget, "desk", pictures_.c_str(), "0"));
  dll_.dllshutdown(widget);
  EXPECT_EQ(std::set<std::string>({shown, after}),
            std::set<std::string>({pictures_ + "a.jpg", pictures_ + "b.jpg"}));
  EXPECT_EQ(storedDirPath(), stored);
  EXPECT_EQ(privateKeys(), 0u);

  // The windowless build, as a scheduled task starts it: no standard output,
  // which is no failure; the rotation moves all the same.
  const Outcome task =
      runWide({L"next", L"--nickname", L"task", L"--folder", wideOf(CP_ACP, pictures_)},
              INVALID_HANDLE_VALUE, L"rotavue-hostw.exe");
  EXPECT_EQ(task.status, 0u) << task.err;
  EXPECT_EQ(rotavue_dll::readFile(host_ + "taskRotavue.setup").rfind(pictures_ + "#", 0), 0u);
}

// A folder outside the code page reaches the module by its short path; next
// prints the picture by its long name and, once its private DirPath has
// gone, sets that as the wallpaper, with the style given.
TEST_F(HostCheckExe, NextPrintsTheLongNameAndSetsItAsTheWallpaper) {
  const std::wstring folder = wideOf(CP_ACP, pictures_) + L"\u041c\u043e\u0441\u043a\u0432\u0430";
  const std::wstring picture = folder + L"\\\u041a\u0440\u0435\u043c\u043b\u044c.jpg";
  ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr));
  ::CloseHandle(::CreateFileW(picture.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
  const Outcome outcome = runWide({L"next", L"--nickname=long", L"--folder", folder, L"--dir-path",
                                   wideOf(CP_ACP, root_ + "own"), L"--wallpaper", L"Fit"});
  ASSERT_EQ(outcome.status, 0u) << outcome.err;
  EXPECT_EQ(outcome.out, host_program::narrowOf(CP_UTF8, picture) + "\r\n");
  wchar_t wallpaper[MAX_PATH] = {};
  ASSERT_TRUE(::SystemParametersInfoW(SPI_GETDESKWALLPAPER, MAX_PATH, wallpaper, 0));
  EXPECT_EQ(std::wstring(wallpaper), picture);
  const host_program::OpenKey desktop = host_program::openUserKey("Control Panel\\Desktop");
  const std::pair<const char*, const char*> styles[] = {{"WallpaperStyle", "6"},
                                                        {"TileWallpaper", "0"}};
  for (const auto& [name, value] : styles) {
    char data[16] = {};
    DWORD size = sizeof data;
    ASSERT_EQ(::RegQueryValueExA(desktop.get(), name, nullptr, nullptr,
                                 reinterpret_cast<BYTE*>(data), &size),
              0)
        << name;
    EXPECT_STREQ(data, value) << name;
  }
}

// run of a program whose folder cannot hold "host" (a file of that name
// stands for a folder under Program Files) uses the per-user one and says
// so; a host folder that cannot be had at all ends it before any meter.
TEST_F(HostCheckExe, RunFindsAHostFolderItCanWrite) {
  const std::string copy = "run-copy-" + std::to_string(::GetCurrentProcessId()) + "\\";
  const std::string beside = host_program::directoryOfThisProgram() + copy;
  ASSERT_TRUE(::CreateDirectoryA(beside.c_str(), nullptr));
  for (const char* file : {"rotavue-host.exe", "Rotavue.dll"})
    ASSERT_TRUE(::CopyFileA((host_program::directoryOfThisProgram() + file).c_str(),
                            (beside + file).c_str(), TRUE));
  { host_program::InheritedFile blocking(beside + "host"); }
  const std::wstring program = wideOf(CP_ACP, copy + "rotavue-host.exe");
  std::vector<std::wstring> arguments = {L"run", L"--ticks=1", L"--tick-ms=0", L"--folder",
                                         wideOf(CP_ACP, pictures_)};
  const Outcome fallback = runWide(arguments, nullptr, program.c_str());
  EXPECT_EQ(fallback.status, 0u) << fallback.err;
  EXPECT_NE(fallback.out.find("\\Rotavue\\host\\\""), std::string::npos) << fallback.out;
  EXPECT_NE(fallback.out.find("host folder: per-user, since \"" + beside + "host\" cannot be"),
            std::string::npos)
      << fallback.out;

  char saved[MAX_PATH] = {};
  ::GetEnvironmentVariableA("LOCALAPPDATA", saved, MAX_PATH);
  ::SetEnvironmentVariableA("LOCALAPPDATA", (beside + "host").c_str());
  const Outcome nowhere = runWide(arguments, nullptr, program.c_str());
  ::SetEnvironmentVariableA("LOCALAPPDATA", saved);
  arguments.insert(arguments.end(), {L"--dir-path", wideOf(CP_ACP, beside + "host\\own")});
  const std::pair<Outcome, const char*> refusals[] = {
      {nowhere, "host\\Rotavue\\host: cannot be created: "},
      {runWide(arguments, nullptr, program.c_str()), "host\\own: cannot be created: "}};
  for (const auto& [refused, reason] : refusals) {
    EXPECT_EQ(refused.status, 1u);
    EXPECT_EQ(refused.out.find("meter"), std::string::npos) << refused.out;
    EXPECT_NE(refused.err.find(reason), std::string::npos) << refused.err;
  }
  host_program::removeTree(beside);
}

// Started without arguments, as a double-click starts it, the program shows
// its commands and exits 2; with standard input no console, it never waits.
TEST_F(HostCheckExe, NoArgumentsGiveTheShortHelp) {
  const Outcome outcome = runWide({});
  EXPECT_EQ(outcome.status, 2u);
  for (const char* command : {"info", "run", "check", "next", "random", "current"})
    EXPECT_NE(outcome.err.find("\r\n  " + std::string(command) + " "), std::string::npos)
        << outcome.err;
}

// Calls on one folder of position files take turns however the folder is
// spelled (letter case, 8.3): its mutex is named from its volume serial
// number and file index.
TEST_F(HostCheckExe, EverySpellingOfAFolderTakesOneLock) {
  writeFile("a.jpg");
  const std::string own = root_ + "Position Folder";
  ASSERT_TRUE(::CreateDirectoryA(own.c_str(), nullptr));
  const HANDLE folder = ::CreateFileA(own.c_str(), FILE_READ_ATTRIBUTES, 7, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  BY_HANDLE_FILE_INFORMATION id{};
  ASSERT_TRUE(::GetFileInformationByHandle(folder, &id));
  ::CloseHandle(folder);
  char name[64];
  ::wsprintfA(name, "Global\\Rotavue-%08lx-%08lx%08lx", id.dwVolumeSerialNumber, id.nFileIndexHigh,
              id.nFileIndexLow);
  const HANDLE held = ::CreateMutexA(nullptr, TRUE, name);
  char shortPath[MAX_PATH] = {};
  ASSERT_GT(::GetShortPathNameA(own.c_str(), shortPath, MAX_PATH), 0u);
  std::string lower = own;
  ::CharLowerA(&lower[0]);
  for (const std::string& spelling : {own, lower, std::string(shortPath)}) {
    const Outcome outcome = run(
        {"next", "--nickname", "n", "--folder", pictures_, "--dir-path", spelling, "--wait", "0"});
    EXPECT_EQ(outcome.status, 1u) << spelling;
    EXPECT_NE(outcome.err.find(": gave up after 0 s: another call"), std::string::npos)
        << outcome.err;
  }
  ::ReleaseMutex(held);
  ::CloseHandle(held);
  EXPECT_EQ(run({"next", "--nickname", "n", "--folder", pictures_, "--dir-path", own}).out,
            pictures_ + "a.jpg\r\n");
}

}  // namespace
