// The composition generator against the C library it stands in for: glibc's srand and rand
// are the outside oracle, since every song composed so far was drawn from them.
#include <gtest/gtest.h>

#include <cstdlib>
#include <set>

#include "base/seeded_random.h"
#include "base/utilities.h"

namespace tunecase {
namespace {

constexpr unsigned kSeeds[] = {0, 1, 2, 7, 12345, 20240611, 1700000000, 2147483647u, 2147483648u, 4294967295u};

TEST(SeededRandom, GivesGlibcRandsSequenceForEverySeed) {
    static_assert(SeededRandom::kMax == RAND_MAX);
    for (unsigned seed : kSeeds) {
        std::srand(seed);
        SeededRandom random(seed);
        for (int i = 0; i < 100000; ++i) ASSERT_EQ(random.next(), std::rand()) << "seed " << seed << " draw " << i;
    }
    // Seed 0 is seed 1, as for srand.
    SeededRandom zero(0), one(1);
    for (int i = 0; i < 1000; ++i) ASSERT_EQ(zero.next(), one.next());
}

// range() and oneIn() draw as the C library's helpers did, after any reseed; certain chances
// take no draw, and generators draw apart.
TEST(SeededRandom, RangesAndChancesDrawAsTheCLibraryDidAndGeneratorsShareNothing) {
    SeededRandom random(99);
    for (int i = 0; i < 5000; ++i) random.next();
    for (unsigned seed : kSeeds) {
        random.reseed(seed);
        std::srand(seed);
        // The same draws as randomBetween over rand(), in every order of the bounds and for
        // the widest range.
        const int bounds[][2] = {{1, 3}, {3, 1}, {0, 11}, {-5, 5}, {7, 7}, {2000000000, -2000000000}, {60, 84}};
        for (int round = 0; round < 2000; ++round)
            for (const auto& b : bounds)
                ASSERT_EQ(random.range(b[0], b[1]), randomBetween(b[0], b[1])) << seed << " " << b[0] << ".." << b[1];
    }

    SeededRandom a(5), b(5);
    for (int n : {-3, 0, 1}) EXPECT_TRUE(a.oneIn(n));
    EXPECT_EQ(a.next(), b.next());  // no draw was taken for the certain cases

    // oneIn(n) is range(1, n) == 1.
    SeededRandom c(8), d(8);
    for (int i = 0; i < 1000; ++i) ASSERT_EQ(c.oneIn(7), d.range(1, 7) == 1);

    // Drawing from one leaves the other where it was.
    SeededRandom e(3), f(3), g(4);
    for (int i = 0; i < 1000; ++i) g.next();
    std::set<int> seen;
    for (int i = 0; i < 1000; ++i) {
        const int v = e.next();
        ASSERT_EQ(v, f.next());
        seen.insert(v);
    }
    EXPECT_GT(seen.size(), 990u);
}

}  // namespace
}  // namespace tunecase
