// The engine's one source of chance: the C library generator, seeded once per song.
//
// Every draw of the engine goes through RandomRange, so a song is fixed by its seed: the
// same seed gives the same song on every run of this program.
#pragma once

#include <cstdint>

namespace tunecase {

// A number from the closed range between a and b (in either order): a when a == b, else
// low + rand() % (high - low + 1).
int RandomRange(int a, int b);

// True with probability 1 / n (a draw RandomRange(1, n) == 1); n <= 1 is always true.
bool OneIn(int n);

// Seeds the generator with `seed` and remembers it as the song's seed.
void SeedSongRandom(int32_t seed);

// The current calendar time in seconds, the seed of an unseeded composition.
int32_t ClockSeed();

// The seed of the current song (written into the song by the renderer).
int32_t SongSeed();

}  // namespace tunecase
