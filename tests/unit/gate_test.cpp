// The refresh gate and the result text of an instance: the interval grammar
// with its exact error message, when a refresh is due on a fixed clock
// (including the wrapping threshold of negative intervals), and how result
// texts are copied, cut and cleared.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "host/errors.h"
#include "host/meter_data.h"
#include "support/hooks_guard.h"

namespace {

using rotavue::meter_data;
using rotavue::testing::FakeClock;

// The message the gate raises for `text`, or "<accepted>".
std::string gateFailure(const char* text) {
  FakeClock clock;
  meter_data instance;
  try {
    rotavue::isRefreshDue(instance, text);
  } catch (const rotavue::Exception& failure) {
    return failure.message();
  }
  return "<accepted>";
}

TEST(IntervalGrammar, AcceptedForms) {
  struct Case {
    const char* text;
    std::int32_t value;
  };
  const Case cases[] = {
      {"0", 0},
      {" 5", 5},
      {"   +7", 7},
      {"-3", -3},
      {"$A", 10},
      {"x0a", 10},
      {"X0A", 10},
      {"0x0A", 10},
      {"0X0A", 10},
      {"$ff", 255},
      {"$FFFFFFFF", -1},
      {"0x80000000", INT32_MIN},
      {"2147483647", INT32_MAX},
      {"-2147483648", INT32_MIN},
      {"$000000001", 1},
      {"007", 7},
      {"0x0000000000A", 10},
  };
  for (const Case& c : cases) {
    const auto parsed = rotavue::parseInterval(c.text);
    ASSERT_TRUE(parsed.has_value()) << "'" << c.text << "'";
    EXPECT_EQ(*parsed, c.value) << "'" << c.text << "'";
    EXPECT_EQ(gateFailure(c.text), "<accepted>") << "'" << c.text << "'";
  }
}

TEST(IntervalGrammar, RejectedFormsNameTheTextExactly) {
  const char* const texts[] = {"5 ",          "",           "+",  "-",   "-$A",
                               "+0x1",        "0x",         "$",  "x",   "2147483648",
                               "-2147483649", "$123456789", "1a", "abc", "0x1G",
                               "5\n",         "%s",         " ",  "$-1", "99999999999999999999"};
  for (const char* text : texts) {
    EXPECT_FALSE(rotavue::parseInterval(text).has_value()) << "'" << text << "'";
    EXPECT_EQ(gateFailure(text), "'" + std::string(text) + "' is not a valid integer value");
  }
}

TEST(RefreshGate, DueWhenTheIntervalHasElapsed) {
  FakeClock clock;
  meter_data instance;
  EXPECT_TRUE(rotavue::isRefreshDue(instance, "10"));
  EXPECT_EQ(instance.lastRefresh, FakeClock::kStart);

  clock.advanceSeconds(9);
  EXPECT_FALSE(rotavue::isRefreshDue(instance, "10"));
  EXPECT_EQ(instance.lastRefresh, FakeClock::kStart);
  clock.setFileTime(FakeClock::kStart + 10ULL * 10000000ULL - 1);
  EXPECT_FALSE(rotavue::isRefreshDue(instance, "10"));

  clock.setFileTime(FakeClock::kStart + 10ULL * 10000000ULL);  // exactly the interval
  EXPECT_TRUE(rotavue::isRefreshDue(instance, "10"));
  EXPECT_EQ(instance.lastRefresh, clock.fileTime());
  EXPECT_FALSE(rotavue::isRefreshDue(instance, "$A"));

  // Interval 0: due on every call, the clock standing still.
  EXPECT_TRUE(rotavue::isRefreshDue(instance, "0"));
  EXPECT_TRUE(rotavue::isRefreshDue(instance, "0"));

  // A bad interval fails before the clock is read and leaves the instance as
  // it was.
  clock.advanceSeconds(100);
  const std::uint64_t before = instance.lastRefresh;
  EXPECT_THROW(rotavue::isRefreshDue(instance, "abc"), rotavue::Exception);
  EXPECT_EQ(instance.lastRefresh, before);
}

TEST(RefreshGate, NegativeIntervalsAndTheWrappingThreshold) {
  FakeClock clock;
  {
    // On a new instance the threshold wraps to a huge value: never due.
    meter_data fresh;
    EXPECT_FALSE(rotavue::isRefreshDue(fresh, "-1"));
    EXPECT_FALSE(rotavue::isRefreshDue(fresh, "-2147483648"));
    EXPECT_EQ(fresh.lastRefresh, 0U);
    // After any refresh the threshold lies below the last one: always due.
    EXPECT_TRUE(rotavue::isRefreshDue(fresh, "0"));
    EXPECT_TRUE(rotavue::isRefreshDue(fresh, "-1"));
    EXPECT_TRUE(rotavue::isRefreshDue(fresh, "-1"));
  }
  {
    // A threshold that passes 2^64 wraps to a small value: due.
    meter_data late;
    late.lastRefresh = UINT64_MAX - 5;
    EXPECT_TRUE(rotavue::isRefreshDue(late, "1"));
    EXPECT_EQ(late.lastRefresh, FakeClock::kStart);
  }
  {
    // A last refresh in the future: not due until the clock passes it.
    meter_data ahead;
    ahead.lastRefresh = FakeClock::kStart + 1;
    EXPECT_FALSE(rotavue::isRefreshDue(ahead, "0"));
  }
}

TEST(ResultText, CopiedVerbatimCutAndRenewed) {
  auto instance = rotavue::createInstance();
  EXPECT_STREQ(instance->resultText.data(), "");
  EXPECT_EQ(instance->lastRefresh, 0U);
  EXPECT_STREQ(rotavue::walkStatusText(instance->walkStatus), "NOTFOUND");

  const std::string longText(1500, 'x');
  const std::string expected(1023, 'x');
  rotavue::writeResult(*instance, longText);
  EXPECT_EQ(std::string(instance->resultText.data()), expected);
  rotavue::writeResult(*instance, "short");
  EXPECT_STREQ(instance->resultText.data(), "short");
  rotavue::writeResult(*instance, longText.c_str());
  EXPECT_EQ(std::string(instance->resultText.data()), expected);
  rotavue::writeResult(*instance, std::string(1023, 'y'));
  EXPECT_EQ(std::string(instance->resultText.data()), std::string(1023, 'y'));

  rotavue::writeResult(*instance, "100%s %d %n\\");
  EXPECT_STREQ(instance->resultText.data(), "100%s %d %n\\");
  rotavue::writeResult(*instance, std::string("%s"));
  EXPECT_STREQ(instance->resultText.data(), "%s");

  const char* const returned = instance->resultText.data();
  rotavue::writeResult(*instance, longText);
  rotavue::renewResult(*instance);
  EXPECT_EQ(instance->resultText.data(), returned);
  for (const char byte : instance->resultText) ASSERT_EQ(byte, '\0');
}

}  // namespace
