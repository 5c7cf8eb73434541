// The state of a nickname's shuffle (GetShuffledImage): the key that orders
// the current cycle and its threshold, the hash of the image shown last. It
// lives beside the nickname's position file, in
// <DirPath><nickname>Rotavue.cycle.
//
// The file holds one line, then CR LF: "1" (the format's version), a space,
// the key in 16 hexadecimal digits, a space, and the threshold in 16
// hexadecimal digits or "-" for none. It names no folder, so that a library
// that moved, or two meters that write the folder differently, keep one
// cycle. It is written as the position file is, through a temporary file
// that then replaces it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "host/meter_data.h"

namespace rotavue {

inline constexpr char kCycleFileSuffix[] = "Rotavue.cycle";

struct CycleState {
  std::uint64_t key = 0;
  // None: nothing of the cycle has been shown yet.
  std::optional<std::uint64_t> threshold;
};

// The stored state. None, with no error, when there is no state file or its
// first line is not such a line: a new cycle begins. On a failure, none with
// `errorText` set: the position file's texts for DirPath, and "Cannot open
// file <path>" for a state file that exists but cannot be read (a sharing
// violation, say), which is not taken for a new cycle.
std::optional<CycleState> loadCycleState(meter_data& instance, const std::string& nickname);

// Stores `state`, replacing the file as a position file is replaced; on a
// failure `errorText` holds the position file's text for it and the file is
// left as the position file's save leaves it.
void saveCycleState(meter_data& instance, const std::string& nickname, const CycleState& state);

// The path of the nickname's state file, for reports; "" when DirPath
// cannot be read or used. Touches no file.
std::string cycleFileOf(const std::string& nickname);

}  // namespace rotavue
