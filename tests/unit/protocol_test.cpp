// The host protocol through the exported functions: the function list, the
// parameter lists and their case-blind lookup, the information table, the
// plug-in type, and the life of instance handles, including handles that
// were released or never handed out.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstring>
#include <string>

#include "host/exports.h"
#include "host/image_functions.h"

namespace {

const char kThreeParameters[] = "Nickname|Directory Name|Update Interval (Seconds)|";

TEST(Protocol, FunctionListAndParameterLists) {
  EXPECT_STREQ(init(),
               "GetImage|returnCurrentImage|returnCurrentImageName|GetRandomImage|ChangeWallpaper|"
               "GetShuffledImage");
  const std::string functions = init();
  EXPECT_NE(functions.back(), '|');

  EXPECT_STREQ(getparam("GetImage"), kThreeParameters);
  EXPECT_STREQ(getparam("getimage"), kThreeParameters);
  EXPECT_STREQ(getparam("GETRANDOMIMAGE"), kThreeParameters);
  EXPECT_STREQ(getparam("changeWALLPAPER"), kThreeParameters);
  EXPECT_STREQ(getparam("getShuffledIMAGE"), kThreeParameters);
  EXPECT_STREQ(getparam("returnCurrentImage"), "Nickname|");
  EXPECT_STREQ(getparam("RETURNCURRENTIMAGENAME"), "Nickname|");
  EXPECT_STREQ(getparam("GetImages"), "");
  EXPECT_STREQ(getparam("GetImag"), "");
  EXPECT_STREQ(getparam("returnCurrentImageNam"), "");
  EXPECT_STREQ(getparam(""), "");
  EXPECT_STREQ(getparam(nullptr), "");

  // Every name of the function list has a parameter list, and every
  // parameter list ends with "|".
  std::size_t start = 0;
  while (start <= functions.size()) {
    std::size_t end = functions.find('|', start);
    if (end == std::string::npos) end = functions.size();
    const std::string name = functions.substr(start, end - start);
    const std::string parameters = getparam(name.c_str());
    ASSERT_FALSE(parameters.empty()) << name;
    EXPECT_EQ(parameters.back(), '|') << name;
    start = end + 1;
  }
}

TEST(Protocol, InformationTableAndPluginType) {
  EXPECT_STREQ(getinfo(0), "Rotavue Plugin");
  EXPECT_STREQ(getinfo(1), "Morvanek");
  EXPECT_STREQ(getinfo(2), "0.1");
  EXPECT_STREQ(getinfo(3), "10/04/04");
  EXPECT_STREQ(getinfo(4), "24/04/04");
  EXPECT_STREQ(getinfo(5), "https://rotavue.example.org/");
  EXPECT_STREQ(getinfo(6), "morvanek@rotavue.example.org");
  EXPECT_STREQ(getinfo(7), "");
  EXPECT_STREQ(getinfo(-1), "");
  EXPECT_STREQ(getinfo(INT_MIN), "");
  EXPECT_STREQ(getinfo(INT_MAX), "");
  EXPECT_EQ(dlltype(), 1);
}

TEST(Protocol, HandlesLiveReleasedAndBogus) {
  const std::uint32_t first = dllstartup(0, 0);
  const std::uint32_t second = dllstartup(7, 0xFFFFFFFFU);
  EXPECT_NE(first, 0U);
  EXPECT_NE(first, 0xFFFFFFFFU);
  EXPECT_NE(second, 0U);
  EXPECT_NE(first, second);

  // A live handle reaches its instance.
  EXPECT_STREQ(ChangeWallpaper(first, "n", "d", "0"), rotavue::kWallpaperMessage);
  EXPECT_STREQ(ChangeWallpaper(second, nullptr, nullptr, "0"), rotavue::kWallpaperMessage);

  EXPECT_EQ(dllshutdown(first), 0);
  // Released: every image function answers "" and the handle is not reused.
  EXPECT_STREQ(GetImage(first, "n", "d", "0"), "");
  EXPECT_STREQ(GetRandomImage(first, "n", "d", "0"), "");
  EXPECT_STREQ(ChangeWallpaper(first, "n", "d", "0"), "");
  EXPECT_STREQ(returnCurrentImage(first, "n", "0"), "");
  EXPECT_STREQ(returnCurrentImageName(first, "n", "0"), "");
  EXPECT_EQ(dllshutdown(first), 0);
  const std::uint32_t third = dllstartup(0, 0);
  EXPECT_NE(third, first);

  // The other instance is untouched by the release.
  EXPECT_STREQ(ChangeWallpaper(second, "n", "d", "0"), rotavue::kWallpaperMessage);

  for (const std::uint32_t bogus : {0U, 1U, 0xFFFFFFFFU}) {
    EXPECT_EQ(dllshutdown(bogus), 0) << bogus;
    EXPECT_STREQ(GetImage(bogus, "n", "d", "0"), "") << bogus;
    EXPECT_STREQ(GetRandomImage(bogus, "n", "d", "0"), "") << bogus;
    EXPECT_STREQ(GetShuffledImage(bogus, "n", "d", "0"), "") << bogus;
    EXPECT_STREQ(ChangeWallpaper(bogus, "n", "d", "0"), "") << bogus;
    EXPECT_STREQ(returnCurrentImage(bogus, "n", "0"), "") << bogus;
    EXPECT_STREQ(returnCurrentImageName(bogus, "n", "0"), "") << bogus;
  }
  EXPECT_STREQ(ChangeWallpaper(second, "n", "d", "0"), rotavue::kWallpaperMessage);
  EXPECT_EQ(dllshutdown(second), 0);
  EXPECT_EQ(dllshutdown(third), 0);
}

}  // namespace
