// Test support: replaces the platform hooks for the length of a test and
// restores the real ones afterwards, with a clock that the test sets.
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace rotavue::testing {

// Restores the hooks in force at construction when destroyed.
class HooksGuard {
 public:
  HooksGuard() : saved_(platform::hooks()) {}
  HooksGuard(const HooksGuard&) = delete;
  HooksGuard& operator=(const HooksGuard&) = delete;
  ~HooksGuard() { platform::hooks() = saved_; }

 private:
  platform::Hooks saved_;
};

// A clock that stands still until the test moves it. Installing it replaces
// both the file-time clock and the calendar seconds, which stay consistent.
class FakeClock {
 public:
  // 2026-01-01 00:00:00 UTC as a file time.
  static constexpr std::uint64_t kStart = 134116992000000000ULL;

  FakeClock();
  ~FakeClock();
  FakeClock(const FakeClock&) = delete;
  FakeClock& operator=(const FakeClock&) = delete;

  void setFileTime(std::uint64_t fileTime);
  void advanceSeconds(std::int64_t seconds);
  std::uint64_t fileTime() const;
  // Calendar seconds since 1970 of the current file time.
  std::int64_t calendarSeconds() const;

 private:
  HooksGuard guard_;
};

}  // namespace rotavue::testing
