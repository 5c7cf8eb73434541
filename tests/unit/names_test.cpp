// Names in the ANSI code page: which form of an entry's name the host is
// given (its own name, its short name, or none), that both walks pass over
// an entry without one, and that a separator byte inside a double-byte
// character is never taken for a separator, neither by the walks nor when a
// position line is split. The double-byte cases run under a substituted
// lead-byte rule, so that they hold in every preset whatever the system's
// code page.
#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "host/exports.h"
#include "host/image_functions.h"
#include "host/meter_data.h"
#include "platform/platform.h"
#include "support/hooks_guard.h"
#include "support/host_registry.h"
#include "support/memory_tree.h"
#include "support/temp_directory.h"
#include "walk/walk.h"

namespace {

using rotavue::meter_data;
using rotavue::WalkStatus;
using rotavue::platform::chooseEntryName;
using rotavue::platform::EntryNameForm;
using rotavue::platform::kPathSeparator;
using rotavue::testing::dir;
using rotavue::testing::file;
using rotavue::testing::MemoryTree;
using rotavue::testing::path;
using rotavue::testing::unreachable;

// ---------------------------------------------------------------------------
// The name choice, under a code page of one byte per character that holds
// the characters up to U+00FF and converts every other one to "?".

int conversions = 0;

bool convertToOneBytePage(std::u16string_view name, std::string& ansi) {
  ++conversions;
  ansi.clear();
  bool exact = true;
  for (const char16_t unit : name) {
    exact = exact && unit < 0x100;
    ansi += unit < 0x100 ? static_cast<char>(unit) : '?';
  }
  return exact;
}

struct Choice {
  EntryNameForm form;
  std::string ansi;
  int conversions;
};

Choice choose(std::u16string_view longName, std::u16string_view shortName) {
  conversions = 0;
  Choice choice{EntryNameForm::kUnreachable, "not written", 0};
  choice.form = chooseEntryName(longName, shortName, convertToOneBytePage, choice.ansi);
  choice.conversions = conversions;
  return choice;
}

TEST(EntryNames, ExactNamesStayAsTheyAre) {
  const Choice ascii = choose(u"Holiday 2004.jpg", u"HOLIDA~1.JPG");
  EXPECT_EQ(ascii.form, EntryNameForm::kLongName);
  EXPECT_EQ(ascii.ansi, "Holiday 2004.jpg");
  EXPECT_EQ(ascii.conversions, 0) << "an ASCII name pays for no conversion";

  const Choice latin = choose(u"\u00c9t\u00e9.png", u"ETE~1.PNG");
  EXPECT_EQ(latin.form, EntryNameForm::kLongName);
  EXPECT_EQ(latin.ansi, "\xc9t\xe9.png");
  EXPECT_EQ(latin.conversions, 1);
}

TEST(EntryNames, InexactNamesFallBackToTheirShortName) {
  // A best-fit letter, a character outside the page, a character outside the
  // Basic Multilingual Plane: each would reach the host changed.
  for (const std::u16string_view name :
       {std::u16string_view(u"\u0141\u00f3d\u017a.jpg"), std::u16string_view(u"\u5199\u771f.png"),
        std::u16string_view(u"\U0001F600.gif")}) {
    const Choice choice = choose(name, u"A1B2~1.JPG");
    EXPECT_EQ(choice.form, EntryNameForm::kShortName);
    EXPECT_EQ(choice.ansi, "A1B2~1.JPG");
    EXPECT_EQ(choice.conversions, 1) << "an ASCII short name pays for no conversion";
  }
  const Choice converted = choose(u"\u5199\u771f.png", u"\u00c9~1.PNG");
  EXPECT_EQ(converted.form, EntryNameForm::kShortName);
  EXPECT_EQ(converted.ansi, "\xc9~1.PNG");
}

TEST(EntryNames, NamesWithoutAnExactFormAreUnreachable) {
  const Choice noShortName = choose(u"\u5199\u771f.png", u"");
  EXPECT_EQ(noShortName.form, EntryNameForm::kUnreachable);
  EXPECT_EQ(noShortName.ansi, "");
  const Choice inexactShortName = choose(u"\u5199\u771f.png", u"\u5199~1.PNG");
  EXPECT_EQ(inexactShortName.form, EntryNameForm::kUnreachable);
  EXPECT_EQ(inexactShortName.ansi, "");
}

// The exact form of a text or path, as rotavue-host and the DirPath read
// take it: what converts, converts back (on POSIX always, to UTF-8); an
// unpaired surrogate converts nowhere, and names no file with a short name.
TEST(EntryNames, TextsAndPathsTakeTheirExactFormOrNone) {
  std::string ansi = "not written";
  EXPECT_TRUE(rotavue::platform::exactAnsiPath(u"pics/a b.jpg", ansi));
  EXPECT_EQ(ansi, "pics/a b.jpg");
  EXPECT_FALSE(rotavue::platform::exactAnsiPath(u"pics/\xD800.jpg", ansi));
  EXPECT_EQ(ansi, "");
  const std::pair<std::u16string_view, std::string> texts[] = {
      {u"\u00e9t\u00e9", "\xC3\xA9t\xC3\xA9"}, {u"\U0001F600", "\xF0\x9F\x98\x80"}};
  for (const auto& [text, utf8] : texts) {
    const bool exact = rotavue::platform::exactAnsiText(text, ansi);
    EXPECT_TRUE(exact || kPathSeparator != '/') << utf8;
    if (exact) {
      EXPECT_EQ(rotavue::platform::ansiToUtf8(ansi), utf8);
    }
  }
}

// ---------------------------------------------------------------------------
// Both walks over a tree with unreachable entries.

TEST(UnreachableEntries, BothWalksPassOverThem) {
  MemoryTree tree;
  const std::string root = path({"U:", "pics"});
  const std::string inside = path({"U:", "pics", "\xe6\x97\xa5"});
  // An unreachable image, an unreachable folder of images (which the walks
  // must not enter, although its attribute word is a plain folder's), and
  // an unreachable name made only of the letters of an extension.
  tree.add(root, {dir("."), dir(".."), file("a.jpg"), unreachable("\xe5\x86\x99.jpg"),
                  unreachable("\xe6\x97\xa5", rotavue::platform::kAttributeDirectory),
                  file("b.png"), unreachable("png"), file("c.gif")});
  tree.add(inside, {dir("."), dir(".."), file("hidden.jpg")});

  meter_data count;
  rotavue::countImages(count, root);
  EXPECT_EQ(count.imageCount, 3);
  EXPECT_EQ(count.errorText, "");

  const std::vector<std::string> expected = {"a.jpg", "b.png", "c.gif"};
  for (std::int32_t target = 1; target < 3; ++target) {
    meter_data walk;
    rotavue::walkImages(walk, root, "", "", target);
    EXPECT_EQ(walk.walkCounter, -1);
    EXPECT_EQ(walk.imageFileName, expected[static_cast<std::size_t>(target)]);
  }
  std::string previous = "a.jpg";
  for (std::size_t next = 1; next < expected.size(); ++next) {
    meter_data walk;
    rotavue::walkImages(walk, root, root, previous, 0);
    EXPECT_EQ(walk.walkStatus, WalkStatus::kExit);
    EXPECT_EQ(walk.imageFileName, expected[next]);
    previous = walk.imageFileName;
  }
  for (const std::string& opened : tree.opened()) EXPECT_EQ(opened, root + "*.*");
}

// ---------------------------------------------------------------------------
// A double-byte code page in which 0x81 to 0x9F and 0xE0 to 0xFC start a
// character of two bytes, whatever the second byte is. "\x95" followed by
// the separator stands for a character such as 表 in code page 932.

bool isTestLeadByte(unsigned char byte) {
  return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

class DoubleByteCodePage : public ::testing::Test {
 protected:
  DoubleByteCodePage() { rotavue::platform::hooks().isLeadByte = isTestLeadByte; }

  // The character whose second byte is the separator, after `text`.
  static std::string withTable(const std::string& text) { return text + "\x95" + kPathSeparator; }

 private:
  rotavue::testing::HooksGuard guard_;
};

TEST_F(DoubleByteCodePage, SecondBytesAreNoSeparators) {
  const std::string separator(1, kPathSeparator);
  EXPECT_TRUE(rotavue::platform::endsInSeparator("pics" + separator));
  EXPECT_FALSE(rotavue::platform::endsInSeparator(withTable("pics")));
  EXPECT_TRUE(rotavue::platform::endsInSeparator(withTable("pics") + separator));
  // Two lead-byte values in a row are one character; the separator after
  // them is one of its own.
  EXPECT_TRUE(rotavue::platform::endsInSeparator("\x95\x95" + separator));
  EXPECT_FALSE(rotavue::platform::endsInSeparator("\x95\x95\x95" + separator));
  EXPECT_FALSE(rotavue::platform::endsInSeparator(""));

  const std::string line = "C:" + separator + withTable("a") + separator + "b.jpg";
  EXPECT_EQ(rotavue::platform::lastSeparator(line), line.size() - 6);
  EXPECT_EQ(rotavue::platform::lastSeparator(withTable("x")), std::string::npos);
}

TEST_F(DoubleByteCodePage, PositionLinesSplitAtTheRealSeparator) {
  const std::string pics = path({"C:", "pics"});
  // A file whose name begins with such a character and holds a "#".
  const std::string soFile = withTable("") + "#x.jpg";
  EXPECT_EQ(rotavue::splitPosition(pics + "#" + soFile),
            (std::pair<std::string, std::string>{pics, soFile}));
  // A folder whose name ends in such a character.
  const std::string tableFolder = withTable(pics) + kPathSeparator;
  EXPECT_EQ(rotavue::splitPosition(tableFolder + "#a#b.jpg"),
            (std::pair<std::string, std::string>{tableFolder, "a#b.jpg"}));
}

TEST_F(DoubleByteCodePage, WalksEnterFoldersWhoseNamesEndInSuchACharacter) {
  MemoryTree tree;
  // The root given without its separator ends in the character itself.
  const std::string rootText = withTable(path({"D:"}));
  const std::string root = rootText + kPathSeparator;
  const std::string nested = root + withTable("") + kPathSeparator;
  tree.add(root, {dir("."), dir(".."), file("a.jpg"), dir(withTable("")),
                  file(withTable("") + "#x.jpg"), file("c.png")});
  tree.add(nested, {dir("."), dir(".."), file("b.gif")});

  meter_data count;
  rotavue::countImages(count, rootText);
  EXPECT_EQ(count.errorText, "");
  EXPECT_EQ(count.imageCount, 4);

  meter_data last;
  rotavue::walkImages(last, rootText, "", "", 3);
  EXPECT_EQ(last.walkCounter, -1);
  EXPECT_EQ(last.imageDirectory, root);
  EXPECT_EQ(last.imageFileName, "c.png");

  meter_data second;
  rotavue::walkImages(second, rootText, root, "a.jpg", 0);
  EXPECT_EQ(second.errorText, "");
  EXPECT_EQ(second.walkStatus, WalkStatus::kExit);
  EXPECT_EQ(second.imageDirectory, nested);
  EXPECT_EQ(second.imageFileName, "b.gif");
}

TEST_F(DoubleByteCodePage, RotationVisitsEveryImageOnce) {
  rotavue::testing::TempDirectory host;
  rotavue::testing::HostRegistry registry;
  registry.setDirPath(host.path());
  MemoryTree tree;
  const std::string root = withTable(path({"D:"})) + kPathSeparator;
  const std::string nested = root + withTable("") + kPathSeparator;
  const std::string soFile = withTable("") + "#x.jpg";
  tree.add(root,
           {dir("."), dir(".."), file("a.jpg"), dir(withTable("")), file(soFile), file("c.png")});
  tree.add(nested, {dir("."), dir(".."), file("b.gif")});

  const std::uint32_t handle = dllstartup(0, 0);
  const std::vector<std::pair<std::string, std::string>> cycle = {
      {root, "a.jpg"}, {nested, "b.gif"}, {root, soFile}, {root, "c.png"}};
  for (int round = 0; round < 2; ++round) {
    for (const auto& [directory, name] : cycle) {
      EXPECT_EQ(std::string(GetImage(handle, "dbcs", root.c_str(), "0")), directory + name);
      EXPECT_EQ(std::string(returnCurrentImage(handle, "dbcs", "0")), directory + name);
      EXPECT_EQ(std::string(returnCurrentImageName(handle, "dbcs", "0")), name);
    }
    EXPECT_EQ(std::string(GetImage(handle, "dbcs", root.c_str(), "0")), "");
  }
  dllshutdown(handle);
}

}  // namespace
