#include "compose/random_range.h"

#include <cstdlib>
#include <ctime>

#include "base/utilities.h"

namespace tunecase {

namespace {
int32_t songSeed = 0;
}

int RandomRange(int a, int b) { return randomBetween(a, b); }

bool OneIn(int n) { return n <= 1 || RandomRange(1, n) == 1; }

void SeedSongRandom(int32_t seed) {
    songSeed = seed;
    std::srand(static_cast<unsigned>(seed));
}

int32_t ClockSeed() { return static_cast<int32_t>(std::time(nullptr)); }

int32_t SongSeed() { return songSeed; }

}  // namespace tunecase
