// The per-thread linear congruential generator described in random.h.
#include "host/random.h"

namespace rotavue {

namespace {

thread_local std::uint32_t generatorState = 1;

std::uint32_t advance(std::uint32_t state) { return state * 22695477U + 1U; }

}  // namespace

void seedRandom(std::uint32_t seed) { generatorState = advance(seed); }

std::int32_t drawRandom() {
  generatorState = advance(generatorState);
  return static_cast<std::int32_t>((generatorState >> 16) & 0x7FFFU);
}

}  // namespace rotavue
