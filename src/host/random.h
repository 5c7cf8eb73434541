// The module's pseudo-random generator: the C library's classic rand/srand
// pair, one 32-bit state per thread. Seeding sets the state and advances it
// once; each draw sets state = state * 22695477 + 1 (mod 2^32) and yields
// bits 16 to 30 of the new state, a value from 0 to 32767. The module carries
// its own, since every platform's `rand` differs and the picks of the random
// image function must be reproducible from the clock alone.
#pragma once

#include <cstdint>

namespace rotavue {

inline constexpr std::int32_t kRandomMaximum = 32767;

// Seeds the calling thread's generator.
void seedRandom(std::uint32_t seed);

// The next value of the calling thread's generator, from 0 to 32767.
std::int32_t drawRandom();

}  // namespace rotavue
