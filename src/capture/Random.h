#pragma once

#include <cstdint>
#include <functional>

namespace duolo {

// The process-wide pseudo-random generator: the classic linear congruential generator
// (s = s * 214013 + 2531011, value (s >> 16) & 0x7FFF), values 0 .. 32767.
// Node placement, overlap nudges and playback's choice of the next clip all draw from it.
void seedRandom(uint32_t seed);
int nextRandom();

// Reseeds from the clock in seconds. Tests replace the clock so that runs repeat.
void seedRandomFromClock();
// Null restores the real clock (time in seconds since the epoch).
void setRandomClock(std::function<uint32_t()> secondsClock);

} // namespace duolo
