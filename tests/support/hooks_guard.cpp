// The fake clock of hooks_guard.h.
#include "support/hooks_guard.h"

namespace rotavue::testing {

namespace {

std::uint64_t currentFileTime = FakeClock::kStart;
constexpr std::uint64_t kFileTimeOf1970 = 116444736000000000ULL;

std::uint64_t fakeFileTime() { return currentFileTime; }
std::int64_t fakeCalendarSeconds() {
  return static_cast<std::int64_t>((currentFileTime - kFileTimeOf1970) / 10000000ULL);
}

}  // namespace

FakeClock::FakeClock() {
  currentFileTime = kStart;
  platform::hooks().systemFileTime = fakeFileTime;
  platform::hooks().calendarSeconds = fakeCalendarSeconds;
}

FakeClock::~FakeClock() = default;

void FakeClock::setFileTime(std::uint64_t fileTime) { currentFileTime = fileTime; }

void FakeClock::advanceSeconds(std::int64_t seconds) {
  currentFileTime += static_cast<std::uint64_t>(seconds) * 10000000ULL;
}

std::uint64_t FakeClock::fileTime() const { return currentFileTime; }

std::int64_t FakeClock::calendarSeconds() const { return fakeCalendarSeconds(); }

}  // namespace rotavue::testing
