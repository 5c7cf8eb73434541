// The five image functions, over an instance and non-null texts. The
// exported functions (exports.cpp) map the host's handle to its instance and
// call these; each returns the address of the instance's `resultText`.
//
// Every function first asks the refresh gate and does its work only when the
// interval has elapsed; between refreshes the host receives the same text
// again. Errors raised while a function runs are caught here and written as
// the result text, so nothing reaches the host.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "host/meter_data.h"

namespace rotavue {

inline constexpr char kWallpaperMessage[] = "This will change the Wallpaper all in good time :-)";
inline constexpr char kNoImagesMessage[] =
    "There are no files of type jpg, gif, png, bmp or ico in this directory";

// Splits a position line into (stored directory, stored file name) at the
// "#" that directly follows the line's last path separator, or, when no "#"
// follows it, at the line's first "#". Stored directories end in the
// separator and file names never hold one, so this reads back every line the
// module writes, also for a directory whose name holds a "#". In a
// double-byte code page a separator byte that is the second byte of a
// character is no separator.
std::pair<std::string, std::string> splitPosition(const std::string& line);

// The 64-bit mixing function of SplitMix64: its output for the state
// `seconds` + 0x9E3779B97F4A7C15. Neighbouring inputs give unrelated outputs.
std::uint64_t mixSeconds(std::uint64_t seconds);

// The position that the random image function picks, from 0 to
// `imageCount` - 1 (for a positive count), at the calendar second `seconds`:
// the high 32 bits of the mixed seconds scaled onto the count. It depends on
// nothing else, so refreshes within one second over one tree pick the same
// image, while the picks of successive refreshes are unrelated to each
// other; every image of any tree can be picked, each within a relative
// imageCount / 2^32 of the same chance.
std::int32_t drawRandomIndex(std::int64_t seconds, std::int32_t imageCount);

// Whether a refresh takes the walks' shortcuts (WalkShortcuts), which give
// the same results on a tree that does not change while it runs. Only the
// benchmark refreshes without them, to measure what they spare.
enum class Shortcuts { kTaken, kNotTaken };

const char* getImage(meter_data& instance, const char* nickname, const char* directory,
                     const char* interval, Shortcuts shortcuts = Shortcuts::kTaken);
const char* getRandomImage(meter_data& instance, const char* nickname, const char* directory,
                           const char* interval, Shortcuts shortcuts = Shortcuts::kTaken);
const char* returnCurrentImage(meter_data& instance, const char* nickname, const char* interval);
const char* returnCurrentImageName(meter_data& instance, const char* nickname,
                                   const char* interval);
const char* changeWallpaper(meter_data& instance, const char* interval);

}  // namespace rotavue
