#include "base/seeded_random.h"

namespace tunecase {

void SeededRandom::reseed(unsigned seed) {
    if (seed == 0) seed = 1;
    // The seed fills the table through the minimal standard generator (16807 * x mod 2^31 - 1,
    // by Schrage's method, in the same widths as the C library so that large seeds agree too).
    int32_t word = static_cast<int32_t>(seed);
    state_[0] = word;
    for (int i = 1; i < kDegree; ++i) {
        const long hi = word / 127773;
        const long lo = word % 127773;
        word = static_cast<int32_t>(16807 * lo - 2836 * hi);
        if (word < 0) word += 2147483647;
        state_[static_cast<size_t>(i)] = word;
    }
    front_ = kSeparation;
    rear_ = 0;
    // The first ten rounds of the table are thrown away, as srand does.
    for (int i = 0; i < 10 * kDegree; ++i) next();
}

int SeededRandom::next() {
    // Additive feedback: the newer tap gains the older one, in unsigned 32-bit arithmetic;
    // the lowest bit, the least random, is dropped.
    const uint32_t sum = static_cast<uint32_t>(state_[static_cast<size_t>(front_)]) +
                         static_cast<uint32_t>(state_[static_cast<size_t>(rear_)]);
    state_[static_cast<size_t>(front_)] = static_cast<int32_t>(sum);
    front_ = front_ + 1 == kDegree ? 0 : front_ + 1;
    rear_ = rear_ + 1 == kDegree ? 0 : rear_ + 1;
    return static_cast<int>(sum >> 1);
}

int SeededRandom::range(int a, int b) {
    if (a == b) return a;
    const int low = a < b ? a : b;
    const int high = a < b ? b : a;
    // In 64 bits: high - low + 1 overflows int for the widest ranges.
    const int64_t span = static_cast<int64_t>(high) - low + 1;
    return static_cast<int>(low + next() % span);
}

}  // namespace tunecase
