#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "compose/chords.h"
#include "compose/compose_information.h"
#include "compose/melody.h"
#include "compose/melody_settings.h"
#include "compose/pitch_algorithms.h"
#include "compose_test_util.h"
#include "styles/composition_parameters.h"

namespace tunecase {
namespace {

using testing::EngineTest;
using Pitches = EngineTest;

struct Note {
    MelodyPartSettings s;
    ChordRecord chord;
    PitchContext c;

    Note(ComposeContext& ctx, const char* code, int lowest, int highest, int consonance) {
        s = MelodySettings(ctx, 1);
        s.lowest = lowest;
        s.highest = highest;
        s.consonance = consonance;
        chord = MakeChord(ctx, 384, code);
        c.settings = &s;
        c.chord = &chord;
        c.profile = ChordProfile(ctx, code);
        c.length = 48;
        c.previousLength = 48;
    }
};

TEST(Lagrange, TheCurvePassesThroughItsPointsAndReproducesACubic) {
    const std::array<double, 4> xs{0, 100, 250, 700}, ys{60, 72, 65, 80};
    for (size_t i = 0; i < 4; ++i) EXPECT_NEAR(LagrangeValue(xs, ys, xs[i]), ys[i], 1e-9);
    auto cubic = [](double x) { return 0.5 * x * x * x - 2 * x * x + 3 * x - 7; };
    const std::array<double, 4> px{-1, 0.5, 2, 3}, py{cubic(-1), cubic(0.5), cubic(2), cubic(3)};
    for (double x : {-3.0, 0.0, 1.7, 10.0}) EXPECT_NEAR(LagrangeValue(px, py, x), cubic(x), 1e-6);
}

TEST_F(Pitches, AcceptablePitchesReachTheDrawnWeight) {
    // C major seventh over C major: C, E, G, B weigh 9; D, F, A 5; the rest 0.
    for (int level = 1; level <= 10; ++level) {
        Note n(ctx, "CMPS", 60, 84, level);
        for (int seed = 1; seed <= 200; ++seed) {
            ctx.Seed(seed);
            n.c.previous = seed % 5 == 0 ? 0 : 60 + seed % 25;
            const int pitch = AcceptablePitch(ctx, 50 + seed % 45, n.c);
            if (pitch == 0) continue;
            ASSERT_GE(ProfileWeight(n.c.profile, pitch), std::min(std::max(level, 4), 9)) << level << " " << pitch;
        }
    }
    Note n(ctx, "CMPS", 60, 84, 5);
    n.c.previous = 64;
    n.c.length = 96;
    n.c.position = 96;
    EXPECT_EQ(AcceptablePitch(ctx, 64, n.c), 0);  // a repeated quarter inside the chord rests
    n.c.position = 0;
    EXPECT_NE(AcceptablePitch(ctx, 64, n.c), 0);
    EXPECT_EQ(AcceptablePitch(ctx, 0, n.c), 0);
    EXPECT_EQ(boxes->count(), 0u);
    EXPECT_EQ(AcceptablePitch(ctx, -3, n.c), 0);
    EXPECT_EQ(boxes->visibleTexts(),
              std::vector<std::string>{"ZEMCFF0101B1 Error occured in Algorithm of adjustment!"});
}

TEST_F(Pitches, RangeFittingCorrectsOnceEachWay) {
    Note wide(ctx, "CMPS", 60, 84, 9);
    EXPECT_EQ(FitToRange(ctx, 90, wide.s), 78);
    EXPECT_EQ(FitToRange(ctx, 110, wide.s), 98);  // still outside: the walk treats it as out of range
    EXPECT_EQ(FitToRange(ctx, 50, wide.s), 62);
    EXPECT_EQ(FitToRange(ctx, 0, wide.s), 0);
    Note narrow(ctx, "CMPS", 60, 70, 9);
    for (int seed = 1; seed <= 30; ++seed) {
        ctx.Seed(seed);
        const int p = FitToRange(ctx, 72, narrow.s);
        EXPECT_TRUE(p >= 69 && p <= 71) << p;
    }
    EXPECT_EQ(FitClassIntoRange(98, wide.s), 74);
    EXPECT_EQ(FitClassIntoRange(40, wide.s), 64);
    Note tiny(ctx, "CMPS", 61, 62, 9);
    EXPECT_EQ(FitClassIntoRange(72, tiny.s), 62);
}

TEST_F(Pitches, ACurveNeedsRoomAndAnUnknownAlgorithmRests) {
    MelodyPartSettings s = MelodySettings(ctx, 1);
    PitchGenerator g;
    g.BeginBlock(ctx, s, 0);
    EXPECT_EQ(boxes->visibleTexts(),
              std::vector<std::string>{"ZEMCFF01006F Error occured while points for melody were picked up!"});
    boxes->clear();

    ctx.parameters.partRules[1][rule::Algorithm] = 9;
    EventList chords;
    chords.AddChord(384, "CMPS");
    chords.AddChord(384, "GMPs");
    EventList melody;
    ASSERT_EQ(GenerateBlockMelody(ctx, 0, 1, chords, melody), 1);
    for (const ComposeEntry& e : melody)
        if (e.isNote()) EXPECT_EQ(e.value, 0);
    EXPECT_EQ(boxes->visibleTexts(), std::vector<std::string>{"ZEMCFF0101B2 Algorithm selection is invalid!"});
}

}  // namespace
}  // namespace tunecase
