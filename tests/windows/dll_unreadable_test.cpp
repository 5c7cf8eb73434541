// A folder that cannot be read, through the real Rotavue.dll on the real file
// system: tests/windows/unreadable-folder.sh lays out the picture folder (with
// a sub-folder whose access is denied) and names it in
// ROTAVUE_UNREADABLE_TREE. The folder hides nothing else: the rotation and
// the random pick show every other image, and the folder's message appears
// only where the rotation wraps around.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "rotavue_dll.h"

namespace {

using rotavue_dll::copied;

bool isImage(const std::string& name) {
  const std::size_t dot = name.rfind('.');
  return dot != std::string::npos && name.substr(dot) != ".txt";
}

TEST(UnreadableFolder, HidesNothingElse) {
  const char* tree = std::getenv("ROTAVUE_UNREADABLE_TREE");
  if (tree == nullptr) GTEST_SKIP() << "run through unreadable-folder.sh";
  const std::string root = std::string(tree) + "\\";

  // The precondition: the folder really cannot be listed.
  WIN32_FIND_DATAA data{};
  HANDLE search = ::FindFirstFileA((root + "locked\\*.*").c_str(), &data);
  ASSERT_EQ(search, INVALID_HANDLE_VALUE) << "the locked folder can be read";
  const DWORD code = ::GetLastError();
  const std::string denied = rotavue_dll::systemMessage(code);
  ASSERT_FALSE(denied.empty()) << code;

  // The images in the system's enumeration order.
  std::vector<std::string> images;
  search = ::FindFirstFileA((root + "*").c_str(), &data);
  ASSERT_NE(search, INVALID_HANDLE_VALUE);
  do {
    if (data.dwFileAttributes != FILE_ATTRIBUTE_DIRECTORY && isImage(data.cFileName))
      images.push_back(root + data.cFileName);
  } while (::FindNextFileA(search, &data));
  ::FindClose(search);
  ASSERT_EQ(images.size(), 3U);

  char temp[MAX_PATH];
  ASSERT_GT(::GetTempPathA(MAX_PATH, temp), 0U);
  const std::string host =
      std::string(temp) + "rotavue-unreadable-" + std::to_string(::GetCurrentProcessId()) + "\\";
  ASSERT_TRUE(::CreateDirectoryA(host.c_str(), nullptr));
  ASSERT_TRUE(rotavue_dll::publishDirPath(host));

  {
    const rotavue_dll::Module module;
    const rotavue_dll::Exports dll(module);
    ASSERT_TRUE(dll.complete());
    const std::uint32_t rotation = dll.dllstartup(0, 0);
    for (int round = 0; round < 2; ++round) {
      for (const std::string& image : images)
        EXPECT_EQ(copied(dll.GetImage(rotation, "locked", tree, "0")), image);
      EXPECT_EQ(copied(dll.GetImage(rotation, "locked", tree, "0")), denied);
    }
    const std::uint32_t random = dll.dllstartup(0, 0);
    const std::set<std::string> all(images.begin(), images.end());
    for (int pick = 0; pick < 3; ++pick) {
      EXPECT_EQ(all.count(copied(dll.GetRandomImage(random, "random", tree, "0"))), 1U);
      ::Sleep(400);
    }
    dll.dllshutdown(rotation);
    dll.dllshutdown(random);
  }
  rotavue_dll::deleteHostKey();
  ::DeleteFileA((host + "lockedRotavue.setup").c_str());
  ::DeleteFileA((host + "randomRotavue.setup").c_str());
  ::RemoveDirectoryA(host.c_str());
}

}  // namespace
