#include "capture/Random.h"

#include <ctime>

namespace duolo {
namespace {

uint32_t state = 1;
std::function<uint32_t()> clock;

} // namespace

void seedRandom(uint32_t seed) { state = seed; }

int nextRandom()
{
    state = state * 214013u + 2531011u;
    return static_cast<int>((state >> 16) & 0x7FFF);
}

void seedRandomFromClock()
{
    seedRandom(clock ? clock() : static_cast<uint32_t>(std::time(nullptr)));
}

void setRandomClock(std::function<uint32_t()> secondsClock) { clock = std::move(secondsClock); }

} // namespace duolo
