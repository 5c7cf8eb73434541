// The six image functions, over an instance and non-null texts. The
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
// The shuffle takes the key of each new cycle from it too.
std::uint64_t mixSeconds(std::uint64_t seconds);

// FNV-1a (64 bits: offset basis 0xcbf29ce484222325, prime 0x100000001b3)
// of the nickname's bytes as the host passed them, each taken as unsigned,
// without the terminating NUL; the empty nickname gives the offset basis.
std::uint64_t nicknameHash(const std::string& nickname);

// The calendar second `seconds` (as its 64-bit two's-complement pattern)
// XOR the nickname's hash, mixed (mixSeconds): what a random pick and the
// first key of a shuffle come from. Calls of one nickname within one second
// agree; other nicknames and other seconds give unrelated values.
std::uint64_t mixSecondsAndNickname(std::int64_t seconds, const std::string& nickname);

// The position that the random image function picks, from 0 to
// `imageCount` - 1 (for a positive count), at the calendar second `seconds`
// for `nickname`: the high 32 bits of mixSecondsAndNickname scaled onto the
// count. It depends on nothing else, so refreshes of one nickname within one
// second over one tree pick the same image (meters that refresh together
// show one picture), while other nicknames, and successive refreshes, pick
// unrelated images; every image of any tree can be picked, each within a
// relative imageCount / 2^32 of the same chance.
std::int32_t drawRandomIndex(std::int64_t seconds, const std::string& nickname,
                             std::int32_t imageCount);

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

// Every image once per cycle, in an order of the nickname's own that each
// cycle draws anew (position/cycle.h holds its state). The pick is stored as
// the nickname's position, as a random pick is.
const char* getShuffledImage(meter_data& instance, const char* nickname, const char* directory,
                             const char* interval);

}  // namespace rotavue
