#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <set>
#include <string>
#include <vector>

#include "compose/melody_settings.h"
#include "compose/note_length.h"
#include "compose_test_util.h"
#include "styles/composition_parameters.h"

namespace tunecase {
namespace {

using testing::EngineTest;
using NoteLengths = EngineTest;

int prefixReaching(const std::vector<int>& table, int duration) {
    int sum = 0;
    for (int v : table) {
        sum += v;
        if (sum >= duration) return sum;
    }
    return sum;
}

TEST_F(NoteLengths, TablesOfTheLongerChordsFillThemExactly) {
    for (int duration : kPatternDurations) {
        const auto patterns = RhythmPatterns(duration);
        ASSERT_GE(patterns.size(), 4u);
        for (const auto& pattern : patterns) {
            EXPECT_EQ(std::accumulate(pattern.begin(), pattern.end(), 0), duration);
            for (int v : pattern) EXPECT_TRUE(v >= 24 && v <= 360 && v % 24 == 0) << duration << ": " << v;
        }
        for (int seed = 1; seed <= 20; ++seed) {
            ctx.Seed(seed);
            const auto table = RhythmTable(ctx, duration, false);
            EXPECT_EQ(table.size(), 32u);
            EXPECT_EQ(prefixReaching(table, duration), duration);
        }
    }
    EXPECT_EQ(prefixReaching(RhythmTable(ctx, 384, true), 384), 384);
    EXPECT_EQ(prefixReaching(RhythmTable(ctx, 768, true), 768), 768);
    EXPECT_EQ(RhythmTable(ctx, 576, true), std::vector<int>(128, 96));
    EXPECT_EQ(boxes->count(), 0u);
    EXPECT_EQ(RhythmTable(ctx, 672, true), std::vector<int>(128, 96));
    EXPECT_EQ(boxes->visibleTexts(), std::vector<std::string>{"ZEMCFF01003C can not create 7/8!"});
}

// The lengths each mode draws over a walk through `duration`, starting on the beat.
std::set<int> lengthsOf(ComposeContext& ctx, MelodyPartSettings s, int duration, int seeds, bool* fillsExactly) {
    std::set<int> seen;
    *fillsExactly = true;
    for (int seed = 1; seed <= seeds; ++seed) {
        ctx.Seed(seed);
        NoteLengthState state;
        state.BeginBlock();
        state.BeginChord(ctx, s, duration, 0, 0);
        int position = 0, previous = 0;
        while (position < duration) {
            const int length = NoteLength(ctx, s, state, position % 384, position, duration - position, previous);
            if (length <= 0) break;
            if (length > duration - position) *fillsExactly = false;
            if (length < duration - position) seen.insert(length);  // lengths not cut at the end
            position += length;
            previous = length;
        }
        if (position != duration && s.rhythmMode != 8 && s.rhythmMode != 9) *fillsExactly = false;
    }
    return seen;
}

TEST_F(NoteLengths, EachModeDrawsItsOwnLengthsAndNeverPassesTheChordsEnd) {
    struct Case {
        int mode, beat, duration;
        std::set<int> allowed;
    };
    const Case cases[] = {
        {1, 0, 3840, {24, 48, 96, 192}},
        {2, 0, 3840, {48, 96, 192}},
        {4, 0, 3840, {24, 48, 96}},
        {5, 0, 3840, {48, 96}},
        {3, 0, 3840, {96, 192, 288}},
        {10, 0, 3840, {24, 72, 96}},
        {10, 3, 3840, {32, 64, 96}},
        {2, 3, 3840, {16, 32, 64}},
        {5, 3, 3840, {32, 64, 96}},
        {1, 1, 3840, {24, 48, 64, 96, 192}},
        {7, 0, 3840, {24, 48, 96, 144, 192}},
        {6, 0, 3840, {24, 48, 72, 96, 192}},
    };
    for (const Case& c : cases) {
        MelodyPartSettings s = MelodySettings(ctx, 1);
        s.rhythmMode = c.mode;
        s.beat = c.beat;
        s.restSwitch = 0;
        bool exact = false;
        const std::set<int> seen = lengthsOf(ctx, s, c.duration, 60, &exact);
        EXPECT_TRUE(exact) << "mode " << c.mode;
        for (int length : seen)
            EXPECT_TRUE(c.allowed.count(length)) << "mode " << c.mode << " beat " << c.beat << ": " << length;
        EXPECT_GE(seen.size(), 2u) << "mode " << c.mode;
    }
    // Every mode, rest switch on and off, on chords of every length: the chord is filled.
    for (int mode = 1; mode <= 10; ++mode)
        for (int beat : {0, 1, 3})
            for (int restSwitch : {0, 1})
                for (int duration : {96, 144, 192, 240, 288, 336, 384, 432, 576, 720, 768}) {
                    MelodyPartSettings s = MelodySettings(ctx, 1);
                    s.rhythmMode = mode;
                    s.beat = beat;
                    s.restSwitch = restSwitch;
                    bool exact = false;
                    lengthsOf(ctx, s, duration, 5, &exact);
                    EXPECT_TRUE(exact) << mode << " " << beat << " " << duration;
                }
}

TEST_F(NoteLengths, TripletGroupsComeInThrees) {
    MelodyPartSettings s = MelodySettings(ctx, 1);
    s.rhythmMode = 1;
    s.beat = 1;
    int groups = 0;
    for (int seed = 1; seed <= 100; ++seed) {
        ctx.Seed(seed);
        NoteLengthState state;
        state.BeginBlock();
        state.BeginChord(ctx, s, 7680, 0, 0);
        int position = 0, run = 0;
        while (position < 7680 - 192) {
            const int length = NoteLength(ctx, s, state, position % 384, position, 7680 - position, 0);
            if (length == 64) {
                if (run == 0) ASSERT_EQ(position % 96, 0);
                if (++run == 3) {
                    ++groups;
                    run = 0;
                }
            } else {
                ASSERT_EQ(run, 0);
            }
            position += length;
        }
    }
    EXPECT_GT(groups, 100);
}

}  // namespace
}  // namespace tunecase
