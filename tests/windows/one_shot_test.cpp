// Tests of `rotavue-host.exe next` as a script runs it, against the real
// Rotavue.dll: it shares the rotation stored under the host's DirPath and
// never changes that value, keeps its own positions in --dir-path, and its
// private registry key goes with the process; the windowless
// rotavue-hostw.exe, started without standard output as a scheduled task
// is, moves the rotation all the same; every spelling of a folder takes its
// one lock.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <set>
#include <string>

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
