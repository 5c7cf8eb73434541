// Concurrent meters: several threads, each driving its own instances of the
// rotation, the random pick and the report on one shared nickname, while a
// reader polls the position file. Instances that share a nickname share its
// file without any coordination, so a refresh may be lost or a save may fail
// with the module's own message, but nothing crashes, every result is a text
// the module defines, and the file never holds anything but a complete line.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "host/exports.h"
#include "support/host_registry.h"
#include "support/memory_tree.h"
#include "support/temp_directory.h"

namespace {

using rotavue::testing::dir;
using rotavue::testing::file;
using rotavue::testing::HostRegistry;
using rotavue::testing::MemoryTree;
using rotavue::testing::path;
using rotavue::testing::readFileBytes;
using rotavue::testing::TempDirectory;

TEST(ConcurrentMeters, SharedNicknameStaysConsistent) {
  HostRegistry registry;
  TempDirectory host;
  registry.setDirPath(host.path());
  MemoryTree tree;
  const std::string root = path({"R"});
  const std::string sub = path({"R", "sub"});
  tree.add(root, {dir("."), dir(".."), file("a.jpg"), dir("sub"), file("c.gif")});
  tree.add(sub, {dir("."), dir(".."), file("b.png")});
  const std::set<std::string> images{root + "a.jpg", sub + "b.png", root + "c.gif"};
  const std::string positionPath = host.path() + "SharedRotavue.setup";
  const std::set<std::string> definedMessages{"Cannot create file " + positionPath,
                                              "Cannot open file " + positionPath};

  constexpr int kThreads = 4;
  constexpr int kCallsPerThread = 150;
  std::atomic<bool> writersDone{false};
  std::mutex failuresLock;
  std::vector<std::string> failures;
  auto fail = [&](const std::string& what) {
    const std::lock_guard<std::mutex> guard(failuresLock);
    if (failures.size() < 20) failures.push_back(what);
  };

  std::vector<std::thread> meters;
  for (int t = 0; t < kThreads; ++t) {
    meters.emplace_back([&, t] {
      const std::uint32_t rotation = dllstartup(0, 0);
      const std::uint32_t random = dllstartup(0, 0);
      const std::uint32_t report = dllstartup(0, 0);
      for (int i = 0; i < kCallsPerThread; ++i) {
        const int which = (i + t) % 3;
        const std::string result = which == 0 ? GetImage(rotation, "Shared", root.c_str(), "0")
                                   : which == 1
                                       ? GetRandomImage(random, "Shared", root.c_str(), "0")
                                       : returnCurrentImage(report, "Shared", "0");
        if (!result.empty() && images.count(result) == 0 && definedMessages.count(result) == 0)
          fail("meter result: " + result);
      }
      dllshutdown(rotation);
      dllshutdown(random);
      dllshutdown(report);
    });
  }

  std::thread reader([&] {
    std::set<std::string> lines{"#\r\n"};
    for (const std::string& image : images) {
      const std::size_t cut = image.rfind(rotavue::platform::kPathSeparator) + 1;
      lines.insert(image.substr(0, cut) + "#" + image.substr(cut) + "\r\n");
    }
    while (!writersDone.load()) {
      const std::string contents = readFileBytes(positionPath);
      if (contents != "<missing>" && lines.count(contents) == 0) fail("file: " + contents);
    }
  });

  for (std::thread& meter : meters) meter.join();
  writersDone.store(true);
  reader.join();

  EXPECT_TRUE(failures.empty()) << failures.front();
  // Every temporary file was renamed into place or removed.
  std::set<std::string> left;
  for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::path(host.path())))
    left.insert(entry.path().filename().string());
  EXPECT_EQ(left, std::set<std::string>{"SharedRotavue.setup"});
}

}  // namespace
