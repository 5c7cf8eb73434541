// Tests of the survey over in-memory trees: its image count and its names
// that are not files make what the module shows through its exports, and each thing it reports
// (folders kept out with their reasons and the images inside, other pictures, names the host cannot
// open, unreadable folders, long paths) is found where the walks pass something over, and nowhere
// else.
#include "survey.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "host/exports.h"
#include "host/meter_data.h"
#include "platform/platform.h"
#include "support/host_registry.h"
#include "support/memory_tree.h"
#include "support/temp_directory.h"
#include "walk/walk.h"

namespace rotavue {
namespace {

using testing::dir;
using testing::Fault;
using testing::file;
using testing::MemoryTree;
using testing::path;
using testing::unreachable;

constexpr std::uint32_t kFailureCode = 5;

std::int32_t countWalk(const std::string& root) {
  meter_data data;
  data.imageCount = 0;
  data.walkContinue = 1;
  countImages(data, root);
  return data.imageCount;
}

// A message as a report shows it: without the line end of Windows' texts.
std::string trimmed(std::string message) {
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r')) message.pop_back();
  return message;
}

std::string withoutSeparator(const std::string& levelDirectory) {
  return levelDirectory.substr(0, levelDirectory.size() - 1);
}

class SurveyThroughExports : public ::testing::Test {
 protected:
  void SetUp() override { registry_.setDirPath(host_.path()); }

  // The distinct images of one full GetImage cycle: every result from the
  // first image up to the wrap-around, which shows "" (or, when a folder
  // failed, its message) instead of an image.
  std::vector<std::string> rotation(const std::string& root) {
    const std::uint32_t handle = dllstartup(0, 0);
    const std::string nickname = "cycle" + std::to_string(++cycles_);
    std::vector<std::string> images;
    std::set<std::string> distinct;
    for (int call = 0; call < 1000; ++call) {
      const std::string result = GetImage(handle, nickname.c_str(), root.c_str(), "0");
      if (result.compare(0, root.size(), root) != 0) break;
      images.push_back(result);
      distinct.insert(result);
    }
    dllshutdown(handle);
    EXPECT_EQ(distinct.size(), images.size()) << "an image came twice in one cycle";
    return images;
  }

  testing::HostRegistry registry_;
  testing::TempDirectory host_;
  MemoryTree tree_;
  int cycles_ = 0;
};

TEST_F(SurveyThroughExports, ImagesAreWhatTheRotationShows) {
  const std::string root = path({"R"});
  tree_.add(root, {dir("."), dir(".."), file("a.jpg"), dir("ro", 17), dir("arc", 48),
                   dir("indexed", 16 | 0x2000), dir("hidden", 18), dir("sys.png", 20),
                   dir("link.ico", 1040), dir("cloud", 16 | 0x400000), dir("device", 16 | 64),
                   unreachable("\xC3\xBC.jpg"), unreachable("fotos \xC3\xBC", 16), dir("locked"),
                   file("b.jpeg"), file("c.Gif"), file("notes.txt")});
  for (const char* name : {"ro", "arc", "indexed"}) {
    tree_.add(path({"R", name}), {file(std::string(name) + ".bmp"), dir("deeper")});
    tree_.add(path({"R", name, "deeper"}), {file("x.png"), file("y.webp")});
  }
  for (const char* name : {"hidden", "sys.png", "link.ico", "cloud", "device", "fotos \xC3\xBC"})
    tree_.add(path({"R", name}), {file("never.jpg")});
  tree_.failOpen(path({"R", "locked"}), kFailureCode);
  const std::string flat = path({"Flat"});
  std::vector<testing::TreeEntry> many;
  for (int i = 0; i < 25; ++i) many.push_back(file("p" + std::to_string(i) + ".png"));
  tree_.add(flat, many);
  const std::string none = path({"None"});
  tree_.add(none, {dir("."), dir(".."), file("a.tif"), dir("empty")});
  tree_.add(path({"None", "empty"}), {dir("."), dir("..")});

  for (const std::string& top : {root, flat, none}) {
    SCOPED_TRACE(top);
    const Survey survey = surveyFolder(top);
    ASSERT_TRUE(survey.folderReadable);
    EXPECT_EQ(survey.images + survey.notFiles.size(), rotation(top).size());
    EXPECT_EQ(survey.images + survey.notFiles.size(), static_cast<std::uint64_t>(countWalk(top)));
  }
  // a.jpg, c.Gif, and two images in each of the three folders whose bits do
  // not matter; the folders sys.png and link.ico are names but no files.
  const Survey survey = surveyFolder(root);
  EXPECT_EQ(survey.images, 8u);
  EXPECT_EQ(survey.notFiles, (std::vector<std::string>{root + "sys.png", root + "link.ico"}));
  EXPECT_EQ(survey.foldersEntered, 7u);  // R, and ro, arc, indexed with their deeper
  EXPECT_EQ(surveyFolder(none).foldersEntered, 2u);
  EXPECT_EQ(tree_.openEnumerations(), 0);
}

TEST(Survey, NamesTheReasonsOfEachFolderKeptOutAndCountsTheImagesInside) {
  MemoryTree tree;
  const std::string root = path({"R"});
  tree.add(root, {file(".", 18), file("..", 17), dir(".thumbs", 18), dir("sys", 20),
                  dir("both", 22), dir("Link.jpg", 1040), dir("cloud", 16 | 0x400000),
                  dir("recall", 16 | 0x40000), dir("off", 16 | 4096), dir("dev", 16 | 64),
                  dir("mix", 16 | 2 | 1024), dir("plain"), file("hidden-file.jpg", 2)});
  const std::string thumbs = path({"R", ".thumbs"});
  tree.add(thumbs, {dir("."), dir(".."), file("t1.jpg"), file("t2.PNG"), file("t.webp"),
                    dir("deeper", 18), dir("loop", 1040), dir("online", 16 | 4096),
                    unreachable("\xC3\xBC.jpg"), dir("named.jpg", 16)});
  tree.add(path({"R", ".thumbs", "deeper"}), {file("t3.gif")});
  tree.add(path({"R", ".thumbs", "named.jpg"}), {});
  tree.add(path({"R", "sys"}), {file("s.ico")});
  tree.add(path({"R", "both"}), {file("b1.bmp"), file("b2.bmp")});
  tree.add(path({"R", "plain"}), {file("p.jpg")});
  const std::set<std::string> neverOpened = {
      path({"R", "Link.jpg"}),
      path({"R", "cloud"}),
      path({"R", "recall"}),
      path({"R", "off"}),
      path({"R", "dev"}),
      path({"R", "mix"}),
      path({"R", ".thumbs", "loop"}),
      path({"R", ".thumbs", "online"}),
  };
  for (const std::string& folder : neverOpened) tree.add(folder, {file("inside.jpg")});

  const Survey survey = surveyFolder(root);
  // p.jpg and the hidden file hidden-file.jpg; the link Link.jpg is no file.
  EXPECT_EQ(survey.images, 2u);
  EXPECT_EQ(survey.images + 1, static_cast<std::uint64_t>(countWalk(root)));
  struct Expected {
    std::string name;
    std::vector<std::string> reasons;
    bool lookedInside;
    std::uint64_t imagesInside;
  };
  const std::vector<Expected> expected = {
      {".thumbs", {"hidden"}, true, 3},        {"sys", {"system"}, true, 1},
      {"both", {"hidden", "system"}, true, 2}, {"Link.jpg", {"link"}, false, 0},
      {"cloud", {"offline"}, false, 0},        {"recall", {"offline"}, false, 0},
      {"off", {"offline"}, false, 0},          {"dev", {"other"}, false, 0},
      {"mix", {"hidden", "link"}, false, 0},
  };
  ASSERT_EQ(survey.skippedFolders.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    SCOPED_TRACE(expected[i].name);
    const SkippedFolder& folder = survey.skippedFolders[i];
    EXPECT_EQ(folder.path, withoutSeparator(path({"R", expected[i].name})));
    EXPECT_EQ(skipReasonWords(folder.reasons), expected[i].reasons);
    EXPECT_EQ(folder.lookedInside, expected[i].lookedInside);
    EXPECT_EQ(folder.imagesInside, expected[i].imagesInside);
  }
  // Looking inside never opens a link or an offline folder, at any depth.
  for (const std::string& pattern : tree.opened())
    EXPECT_EQ(neverOpened.count(pattern.substr(0, pattern.size() - 3)), 0u) << pattern;
  // What lies inside a folder kept out is not reported as passed over.
  EXPECT_TRUE(survey.otherPictures.empty());
  EXPECT_TRUE(survey.unreachableNames.empty());
  EXPECT_EQ(tree.openEnumerations(), 0);

  EXPECT_EQ(skipReasons(16), 0u);
  EXPECT_EQ(skipReasons(16 | 1 | 32 | 0x2000), 0u);
  EXPECT_EQ(skipReasons(2 | 4 | 1024), 0u);  // not a directory
  EXPECT_EQ(skipReasonWords(skipReasons(16 | 2 | 4 | 64 | 1024 | 4096)),
            (std::vector<std::string>{"hidden", "system", "link", "offline", "other"}));
}

TEST(Survey, OtherPicturesAreCountedByExtension) {
  MemoryTree tree;
  const std::string root = path({"R"});
  const std::string sub = path({"R", "n.webp"});
  tree.add(root, {file("a.JPEG"), file("b.jpeg"), file("c.webp"), file("d.Tif"), file("e.tiff"),
                  file("f.heic"), file("g.heif"), file("h.avif"), file("i.svg"), file("j.jfif"),
                  file("k.jpe"), file("jpeg"), file("l.jpg"), file("m.jpeg.bak"), dir("n.webp"),
                  dir("o.webp", 18), file("p.jpeg"), file("q.jpeg")});
  tree.add(sub, {file("r.jpeg"), file("s.png")});
  tree.add(path({"R", "o.webp"}), {file("t.jpeg")});

  const Survey survey = surveyFolder(root);
  std::map<std::string, std::uint64_t> counts;
  for (const auto& [extension, pictures] : survey.otherPictures) counts[extension] = pictures.count;
  EXPECT_EQ(counts, (std::map<std::string, std::uint64_t>{{"avif", 1},
                                                          {"heic", 1},
                                                          {"heif", 1},
                                                          {"jfif", 1},
                                                          {"jpe", 1},
                                                          {"jpeg", 5},
                                                          {"svg", 1},
                                                          {"tif", 1},
                                                          {"tiff", 1},
                                                          {"webp", 1}}));
  // The first few met, in walk order.
  EXPECT_EQ(survey.otherPictures.at("jpeg").examples,
            (std::vector<std::string>{root + "a.JPEG", root + "b.jpeg", sub + "r.jpeg"}));
  EXPECT_EQ(survey.otherPictures.at("webp").examples, std::vector<std::string>{root + "c.webp"});
  EXPECT_EQ(survey.images, 2u);  // l.jpg and s.png

  std::string extension;
  EXPECT_TRUE(isOtherPictureName("x.HeIc", extension));
  EXPECT_EQ(extension, "heic");
  EXPECT_FALSE(isOtherPictureName("x.jpg", extension));
  EXPECT_FALSE(isOtherPictureName("tiff", extension));
  EXPECT_FALSE(isOtherPictureName("x.tiff.", extension));
}

TEST(Survey, UnreachableNamesAreListedAndNeverCounted) {
  MemoryTree tree;
  const std::string root = path({"R"});
  const std::string sub = path({"R", "sub"});
  tree.add(root, {file("a.jpg"), unreachable("\xC3\xBC.jpg"), dir("sub"),
                  unreachable("\xE5\x86\x99\xE7\x9C\x9F", 16)});
  tree.add(sub, {unreachable("\xCE\xB1.png"), file("b.png")});
  tree.add(path({"R", "\xE5\x86\x99\xE7\x9C\x9F"}), {file("never.jpg")});

  const Survey survey = surveyFolder(root);
  EXPECT_EQ(survey.unreachableNames,
            (std::vector<std::string>{root + "\xC3\xBC.jpg", sub + "\xCE\xB1.png",
                                      root + "\xE5\x86\x99\xE7\x9C\x9F"}));
  EXPECT_EQ(tree.opened(), (std::vector<std::string>{root + "*.*", sub + "*.*"}));
  EXPECT_EQ(survey.images, 2u);
  EXPECT_EQ(survey.images, static_cast<std::uint64_t>(countWalk(root)));
  EXPECT_TRUE(survey.skippedFolders.empty());
}

TEST(Survey, UnreadableFoldersCarryTheSystemsMessage) {
  MemoryTree tree;
  const std::string root = path({"R"});
  tree.add(root, {file("a.jpg"), dir("locked"), dir("missing"), dir("raising"), file("z.jpg")});
  tree.failOpen(path({"R", "locked"}), kFailureCode);
  tree.add(path({"R", "raising"}), {file("r1.jpg"), file("r2.jpg"), file("r3.jpg")});
  tree.raiseAt(path({"R", "raising"}), 2, Fault::kException, "general failure");

  const Survey survey = surveyFolder(root);
  ASSERT_EQ(survey.unreadableFolders.size(), 3u);
  EXPECT_EQ(survey.unreadableFolders[0].path, withoutSeparator(path({"R", "locked"})));
  EXPECT_EQ(survey.unreadableFolders[0].message,
            trimmed(platform::systemMessage(platform::SystemError{kFailureCode})));
  EXPECT_EQ(survey.unreadableFolders[1].path, withoutSeparator(path({"R", "missing"})));
  EXPECT_EQ(survey.unreadableFolders[1].message,
            trimmed(platform::systemMessage(platform::pathNotFoundError())));
  EXPECT_EQ(survey.unreadableFolders[2].path, withoutSeparator(path({"R", "raising"})));
  EXPECT_EQ(survey.unreadableFolders[2].message, "general failure");
  EXPECT_FALSE(survey.unreadableFolders[0].message.empty());
  // a.jpg, r1.jpg, r2.jpg, z.jpg: what the count walk keeps of a level that
  // raised.
  EXPECT_EQ(survey.images, 4u);
  EXPECT_EQ(survey.images, static_cast<std::uint64_t>(countWalk(root)));
  EXPECT_EQ(survey.foldersEntered, 2u);

  // The folder itself: nothing else is filled in.
  tree.failOpen(path({"Locked"}), kFailureCode);
  for (const std::string& top : {path({"Locked"}), path({"Absent"}), std::string()}) {
    SCOPED_TRACE(top);
    const std::size_t opened = tree.opened().size();
    const Survey failed = surveyFolder(top);
    EXPECT_FALSE(failed.folderReadable);
    EXPECT_EQ(failed.folderMessage,
              trimmed(platform::systemMessage(top == path({"Locked"})
                                                  ? platform::SystemError{kFailureCode}
                                                  : platform::pathNotFoundError())));
    EXPECT_EQ(failed.images, 0u);
    EXPECT_EQ(failed.foldersEntered, 0u);
    EXPECT_TRUE(failed.unreadableFolders.empty());
    EXPECT_EQ(tree.opened().size() - opened, top.empty() ? 0u : 1u);
  }
  EXPECT_EQ(tree.openEnumerations(), 0);
}

TEST(Survey, LongPathsReachThePlatformsLimit) {
  MemoryTree tree;
  const std::string root = path({"R"});
  // Natively the result text's limit comes first, and the walks pass over
  // the images that reach it; on Windows the host's path limit, and they
  // show them.
  const std::size_t limit = std::min(platform::kPathLimit, platform::kImagePathBytesLimit);
  const bool passedOver = limit == platform::kImagePathBytesLimit;
  // A level directory ten bytes short of the limit: a name of nine bytes
  // stays below it, one of ten reaches it.
  const std::string longName(limit - 10 - root.size() - 1, 'd');
  const std::string deep = path({"R", longName});
  ASSERT_EQ(deep.size(), limit - 10);
  tree.add(root, {file("short.jpg"), dir(longName)});
  tree.add(deep, {file("aaaaa.jpg"), file("aaaaaa.jpg"), file("aaaaaaa.jpg"), file("long.jpeg"),
                  file("bbbbbbbbbbbbbbb.txt")});

  const Survey survey = surveyFolder(root);
  EXPECT_EQ(survey.longPaths,
            (std::vector<std::string>{deep + "aaaaaa.jpg", deep + "aaaaaaa.jpg"}));
  EXPECT_EQ(survey.longestPath, deep + (passedOver ? "aaaaa.jpg" : "aaaaaaa.jpg"));
  EXPECT_EQ(survey.longestPathLength, passedOver ? limit - 1 : limit + 1);
  EXPECT_EQ(survey.images, passedOver ? 2u : 4u);
  EXPECT_EQ(survey.images, static_cast<std::uint64_t>(countWalk(root)));

  const std::string plain = path({"P"});
  tree.add(plain, {file("ab.jpg"), file("a.png"), file("abcdefgh.txt")});
  const Survey shortOnes = surveyFolder(plain);
  EXPECT_TRUE(shortOnes.longPaths.empty());
  EXPECT_EQ(shortOnes.longestPath, plain + "ab.jpg");
  EXPECT_EQ(shortOnes.longestPathLength, plain.size() + 6);
  tree.add(path({"E"}), {file("notes.txt")});
  EXPECT_EQ(surveyFolder(path({"E"})).longestPath, "");
}

TEST(Survey, ReportsProgressEveryThousandEntries) {
  MemoryTree tree;
  const std::string root = path({"R"});
  std::vector<testing::TreeEntry> entries{dir("hidden", 18)};
  for (int i = 0; i < 1800; ++i) entries.push_back(file("f" + std::to_string(i) + ".jpg"));
  tree.add(root, entries);
  tree.add(path({"R", "hidden"}), std::vector<testing::TreeEntry>(700, file("h.jpg")));

  std::vector<std::uint64_t> reported;
  const Survey survey = surveyFolder(root, [&](std::uint64_t soFar) { reported.push_back(soFar); });
  EXPECT_EQ(survey.entries, 2501u);
  EXPECT_EQ(reported, (std::vector<std::uint64_t>{1000, 2000}));
  EXPECT_EQ(survey.skippedFolders.at(0).imagesInside, 700u);
}

}  // namespace
}  // namespace rotavue
