// A random generator that belongs to whoever draws from it. A composed song is fixed by its
// seed, and songs composed before this generator existed were drawn from the C library's
// rand(): this one gives the same numbers, from the same seed, as glibc's srand and rand
// (the additive feedback generator of degree 31 and separation 3), so a seed gives the same
// song it always gave. Unlike rand() it holds no process-wide state: two compositions on two
// threads each draw their own sequence.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace tunecase {

class SeededRandom {
public:
    static constexpr int kMax = 2147483647;  // the largest number next() gives (RAND_MAX)

    explicit SeededRandom(unsigned seed = 1) { reseed(seed); }

    // Starts the sequence srand(seed) starts (seed 0 counts as 1).
    void reseed(unsigned seed);

    // The next number of the sequence, 0 .. kMax: what rand() would give.
    int next();

    // A number from the closed range between a and b, in either order: a when a == b, else
    // low + next() % (high - low + 1).
    int range(int a, int b);

    // True with probability 1 / n (a draw range(1, n) == 1); n <= 1 is always true, with no draw.
    bool oneIn(int n) { return n <= 1 || range(1, n) == 1; }

private:
    static constexpr int kDegree = 31;
    static constexpr int kSeparation = 3;

    std::array<int32_t, kDegree> state_{};
    int front_ = kSeparation;  // the newer of the two taps
    int rear_ = 0;
};

}  // namespace tunecase
