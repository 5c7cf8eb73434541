// Tests of the image-name test that both walks apply to every file entry:
// the extension after the last dot (or the whole name without a dot),
// lower-cased, must be one of the five image extensions.
#include <gtest/gtest.h>

#include <string>

#include "walk/walk.h"

namespace rotavue {
namespace {

TEST(ImageName, AcceptsTheFiveExtensionsInAnyCase) {
  for (const char* name : {"x.jpg", "x.bmp", "x.gif", "x.ico", "x.png", "photo.JPG", "photo.Png",
                           "a.GiF", "b.iCO", "c.BMP", "png", "JPG", "Gif", ".jpg", "..png",
                           "a.b.c.jpg", "a.tif.jpg", "with space.jpg", "dot.in.name.bmp"}) {
    EXPECT_TRUE(isImageName(name)) << name;
    EXPECT_TRUE(isImageName(std::string(name))) << name;
  }
}

TEST(ImageName, RejectsEveryOtherExtension) {
  for (const char* name :
       {"a.jpg.bak", "a.jpeg", "a.tif",  "name.",   "png.", ".",      "..",     "",      "a.jp",
        "a.pn",      "jp",     "pngs",   "xpng",    "ajpg", "a.jpgx", "a.xjpg", "a.j.g", "a.jp.g",
        "a.pn g",    "a. png", "a.png ", "jpg.txt", "gif.", "a.tiff", "a.svg",  ".jp"}) {
    EXPECT_FALSE(isImageName(name)) << name;
    EXPECT_FALSE(isImageName(std::string(name))) << name;
  }
}

// Only the letters A to Z are lower-cased: bytes of the ANSI code page above
// 127 stay as they are, even those whose low seven bits spell a letter of an
// extension.
TEST(ImageName, LowerCasesOnlyAsciiLetters) {
  EXPECT_TRUE(isImageName("\xC9t\xE9.JPG"));
  EXPECT_FALSE(isImageName("a.\xEApg"));
  EXPECT_FALSE(isImageName("a.j\xF0g"));
  EXPECT_FALSE(isImageName("a.jp\xC7"));
}

}  // namespace
}  // namespace rotavue
