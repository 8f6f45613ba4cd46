#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <set>
#include <vector>

#include "compose/accompaniment.h"
#include "compose/compose_errors.h"
#include "compose/compose_context.h"
#include "compose/compose_information.h"
#include "compose/score_rendering.h"
#include "compose_test_util.h"
#include "song_test_util.h"
#include "styles/composition_parameters.h"

namespace tunecase {
namespace {

using testing::chordOf;
using testing::PartNote;
using testing::partNotes;
using testing::reported;

class Accompaniment : public testing::EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        for (int k : {2, 3, 7, 8}) ctx.parameters.partProgram[k] = 10;
        ctx.parameters.partOctave[2] = 0;
    }

    std::vector<PartNote> bass(const std::vector<ChordRecord>& chords) {
        auto track = NewPartTrack();
        BuildBass(ctx, *track, chords);
        return partNotes(*track);
    }
    std::vector<PartNote> backing(int kind, int pace, const std::vector<ChordRecord>& chords, int channel = 3) {
        auto track = NewPartTrack();
        BuildBacking(ctx, channel, *track, 10, kind, pace, chords);
        return partNotes(*track);
    }
};

TEST_F(Accompaniment, BassKindThreeAlternatesBassAndFifthByTheChordsQuarters) {
    ctx.parameters.bassPattern = 3;
    ctx.parameters.partPace[2] = 100;
    const std::vector<ChordRecord> chords = {
        chordOf(384, "CMPS", 60, 64, 67, 71),  // 4 quarters: two 192-tick steps
        chordOf(288, "AmPs", 69, 72, 76, 79),  // 3 quarters: three 96-tick steps
        chordOf(336, "FMPS", 65, 69, 72, 76),  // no whole quarters: 48-tick steps
        chordOf(0, "GMPs", 67, 71, 74, 77),    // nothing
        chordOf(192, "GMPs", 67, 71, 74, 77),  // 2 quarters: one step
    };
    std::vector<PartNote> expected = {{0, 36, 64, 188}, {192, 43, 64, 188}, {384, 45, 64, 94}, {480, 52, 64, 94},
                                      {576, 45, 64, 94}};
    for (int k = 0; k < 7; ++k) expected.push_back({672 + 48 * k, k % 2 ? 48 : 41, 64, 47});
    expected.push_back({1008, 43, 64, 188});
    EXPECT_EQ(bass(chords), expected);

    // At pace 80 or less every quarter-based step sounds 48 ticks.
    ctx.parameters.partPace[2] = 80;
    for (PartNote& n : expected)
        if (n.duration != 47) n.duration = 48;
    EXPECT_EQ(bass(chords), expected);

    // Above 100: units of 192 ticks, long-short in the first half of the song, three short
    // notes in the second; the remainder on the last pitch used.
    ctx.parameters.partPace[2] = 120;
    const std::vector<ChordRecord> brisk = {chordOf(384, "CMPS", 60, 64, 67, 71), chordOf(384, "FMPS", 65, 69, 72, 76),
                                            chordOf(480, "GMPs", 67, 71, 74, 77)};
    const std::vector<PartNote> briskExpected = {
        {0, 36, 64, 136},   {144, 36, 64, 40},  {192, 43, 64, 136}, {336, 43, 64, 40},  {384, 41, 64, 40},
        {432, 41, 64, 88},  {528, 41, 64, 40},  {576, 48, 64, 40},  {624, 48, 64, 88},  {720, 48, 64, 40},
        {768, 43, 64, 40},  {816, 43, 64, 88},  {912, 43, 64, 40},  {960, 50, 64, 40},  {1008, 50, 64, 88},
        {1104, 50, 64, 40}, {1152, 50, 64, 94},
    };
    EXPECT_EQ(bass(brisk), briskExpected);
    EXPECT_EQ(boxes->count(), 0u);

    // The octave setting moves the whole part: 99 one octave down, 101 one up; and in a
    // compose run the part begins one measure in.
    const std::vector<ChordRecord> one = {chordOf(192, "CMPS", 60, 64, 67, 71)};
    ctx.parameters.partPace[2] = 100;
    ctx.parameters.partOctave[2] = 101;
    EXPECT_EQ(bass(one), (std::vector<PartNote>{{0, 48, 64, 188}}));
    ctx.parameters.partOctave[2] = 99;
    ctx.engine.composeRun = true;
    EXPECT_EQ(bass(one), (std::vector<PartNote>{{384, 24, 64, 188}}));
}

TEST_F(Accompaniment, BlockChordsLeadTheVoicesOnEachChordsFirstStepAndReportOddRemainders) {
    ctx.parameters.partPace[3] = 100;
    const std::vector<ChordRecord> chords = {
        chordOf(384, "CMPS", 60, 64, 67, 83),  // seventh leaps up, third falls: both moved
        chordOf(240, "GMPs", 67, 71, 74, 77),  // two quarters and an eighth
    };
    std::vector<PartNote> expected;
    const auto step = [&](int at, std::vector<int> keys, int gate) {
        std::sort(keys.begin(), keys.end());
        for (int k : keys) expected.push_back({at, k, 64, gate});
    };
    step(0, {76, 67, 71}, 94);
    for (int at : {96, 192, 288}) step(at, {64, 67, 83}, 94);
    step(384, {71, 74, 77}, 94);
    step(480, {71, 74, 77}, 94);
    step(576, {71, 74, 77}, 47);
    EXPECT_EQ(backing(1, 100, chords), expected);
    EXPECT_EQ(boxes->count(), 0u);

    // Without a bass part the root takes the seventh's place.
    ctx.parameters.partProgram[2] = kNotPlayed;
    const auto noBass = backing(1, 100, {chordOf(96, "CMPS", 60, 64, 67, 71)});
    EXPECT_EQ(noBass, (std::vector<PartNote>{{0, 60, 64, 94}, {0, 67, 64, 94}, {0, 76, 64, 94}}));

    // A remainder that is no eighth is a beat error and stays silent.
    backing(1, 100, {chordOf(120, "CMPS", 60, 64, 67, 71)});
    EXPECT_TRUE(reported(boxes.sink(), zemc::Beat));

    // From pace 120 the last step always splits: chord for half the gate, then the root.
    ctx.parameters.partProgram[2] = 10;
    const auto split = backing(1, 120, {chordOf(384, "CMPS", 60, 64, 67, 71)});
    EXPECT_TRUE(std::find(split.begin(), split.end(), PartNote{288, 71, 64, 47}) != split.end());
    EXPECT_TRUE(std::find(split.begin(), split.end(), PartNote{336, 60, 64, 47}) != split.end());
}

TEST_F(Accompaniment, BackingKindTwoChoosesItsGeneratorByPace) {
    const std::vector<ChordRecord> chords = {chordOf(384, "CMPS", 60, 64, 67, 71),
                                             chordOf(288, "GMPs", 67, 71, 74, 77)};
    // Below 120 it is the half-note generator of kind 28.
    EXPECT_EQ(backing(2, 100, chords), backing(28, 100, chords));
    std::set<int64_t> starts;
    for (const PartNote& n : backing(2, 140, chords)) starts.insert(n.start);
    EXPECT_EQ(starts.size(), 14u);  // an eighth-note pulse: 8 + 6 steps
    EXPECT_EQ(*starts.rbegin(), 384 + 240);
    starts.clear();
    for (const PartNote& n : backing(2, 130, chords)) starts.insert(n.start);
    EXPECT_EQ(starts, (std::set<int64_t>{0, 96, 192, 288, 384, 480, 576}));
}

TEST_F(Accompaniment, GentleBrokenChordsTileEveryChordWithTheirSteps) {
    const std::vector<int> durations = {48, 96, 192, 288, 384, 576, 768};
    const std::vector<const char*> codes = {"CMPS", "AmPs", "FMPd", "GMPs", "EmPs", "CMPd"};
    std::set<int> velocities;
    for (int seed = 1; seed <= 60; ++seed) {
        std::mt19937 pick(static_cast<unsigned>(seed));
        ctx.Seed(seed);
        std::vector<ChordRecord> chords;
        for (int n = 0; n < 8; ++n) {
            const int d = durations[pick() % durations.size()];
            chords.push_back(MakeChord(ctx, d, codes[pick() % codes.size()], "00"));
        }
        const auto notes = backing(4, 70, chords);
        int64_t chordStart = 0;
        size_t at = 0;
        for (const ChordRecord& c : chords) {
            std::vector<std::pair<int64_t, int64_t>> steps;  // start, length from the gate
            for (; at < notes.size() && notes[at].start < chordStart + c.duration; ++at) {
                velocities.insert(notes[at].velocity);
                const int64_t length = notes[at].duration == 47 ? 48 : 96;
                ASSERT_TRUE(notes[at].duration == 47 || notes[at].duration == 94) << seed;
                if (steps.empty() || steps.back().first != notes[at].start) steps.emplace_back(notes[at].start, length);
            }
            ASSERT_FALSE(steps.empty()) << seed;
            int64_t expect = chordStart;
            for (auto [start, length] : steps) {
                // An arpeggio's notes are 48 apart with one note each; a skipped tone leaves a gap.
                ASSERT_TRUE(start == expect || start == expect + 48) << "seed " << seed;
                expect = start + length;
            }
            // An arpeggio leaves out a tone the chord lacks (a triad has no seventh).
            if (c.seventhPitch != 0) EXPECT_EQ(expect, chordStart + c.duration) << "seed " << seed;
            else EXPECT_TRUE(expect == chordStart + c.duration || expect + 48 == chordStart + c.duration) << seed;
            chordStart += c.duration;
        }
    }
    for (int v : velocities) EXPECT_TRUE(v == 32 || v == 42 || v == 53 || v == 64) << v;
    EXPECT_TRUE(velocities.count(32) && velocities.count(42) && velocities.count(53) && velocities.count(64));
    EXPECT_EQ(boxes->count(), 0u);
}

TEST_F(Accompaniment, DrumStyleOnePlaysItsStepTableOverTheStructureMarks) {
    ctx.parameters.partProgram[9] = 1;
    ctx.parameters.drumPattern = 1;
    ctx.parameters.partPace[9] = 80;
    EventList& marks = ctx.information.structureMarks;
    marks.AddMark(384, "AXXX");
    marks.AddMark(192, "AEXX");
    marks.AddMark(384, "BXXX");
    marks.AddMark(384, "BEXX");
    auto track = NewPartTrack();
    BuildDrums(ctx, *track);
    std::map<int64_t, std::vector<std::pair<int, int>>> at;  // time -> (key, velocity)
    for (const PartNote& n : partNotes(*track)) {
        EXPECT_EQ(n.duration, 1);
        at[n.start].emplace_back(n.key, n.velocity);
    }
    using Hits = std::vector<std::pair<int, int>>;
    EXPECT_EQ(at[0], (Hits{{36, 64}, {42, 80}}));
    EXPECT_EQ(at[48], (Hits{{42, 48}}));
    EXPECT_EQ(at[96], (Hits{{36, 64}, {37, 70}}));  // side stick in the first half
    EXPECT_EQ(at[144], (Hits{{42, 48}}));
    EXPECT_EQ(at[336], (Hits{{36, 48}, {42, 80}}));
    EXPECT_EQ(at[384], (Hits{{36, 64}, {42, 80}}));  // the pattern restarts at every mark
    EXPECT_EQ(at[576 + 96], (Hits{{36, 64}, {38, 70}}));  // snare in the second half
    EXPECT_EQ(at.size(), 8u + 4u + 8u + 8u);
    EXPECT_EQ(at.rbegin()->first, 960 + 336);
}

struct Meter {
    int timeSignature;
    int beatKind;
    int feel;
    std::vector<int> durations;
};

// Every generator of every kind, in every meter and feel: notes only inside the song, in
// time order, never past the chord they start in unless they are held across, with the
// chord's own tones (backing), and every chord gets notes. Only the codes the inputs call
// for are reported.
TEST_F(Accompaniment, EveryKindFillsEveryChordInEveryMeterWithTheChordsTones) {
    const std::vector<Meter> meters = {{0, 1, 0, {96, 192, 384, 576, 768}},
                                       {0, 1, 3, {192, 384, 768}},
                                       {1, 1, 0, {288, 576}},
                                       {1, 2, 0, {288, 576}},
                                       {2, 1, 0, {336}}};
    const std::vector<const char*> codes = {"CMPS", "AmPs", "FMPd", "GMPs", "EmPs", "G4Ps", "dMPs", "BmdS"};
    std::mt19937 pick(7);
    for (const Meter& m : meters) {
        ctx.parameters.timeSignature = m.timeSignature;
        ctx.parameters.beatKind = static_cast<int16_t>(m.beatKind);
        ctx.parameters.rhythmFeel = m.feel;
        std::vector<ChordRecord> chords;
        for (int n = 0; n < 10; ++n)
            chords.push_back(
                MakeChord(ctx, m.durations[pick() % m.durations.size()], codes[pick() % codes.size()], "00"));
        int64_t songEnd = 0;
        std::vector<int64_t> starts;
        for (const ChordRecord& c : chords) {
            starts.push_back(songEnd);
            songEnd += c.duration;
        }
        const auto chordAt = [&](int64_t t) {
            return static_cast<size_t>(std::upper_bound(starts.begin(), starts.end(), t) - starts.begin() - 1);
        };
        const auto toneOf = [](const ChordRecord& c, int key) {
            for (int p : {c.rootPitch, c.thirdPitch, c.fifthPitch, c.seventhPitch})
                if (p && (key - p) % 12 == 0) return true;
            return false;
        };

        for (int kind = 1; kind <= kBackingKinds; ++kind)
            for (int pace : {30, 50, 70, 100, 130, 150}) {
                boxes->clear();
                const auto notes = backing(kind, pace, chords, 7);
                std::set<size_t> heard;
                for (const PartNote& n : notes) {
                    ASSERT_GE(n.start, 0);
                    ASSERT_LT(n.start, songEnd) << "kind " << kind;
                    ASSERT_GT(n.velocity, 0);
                    const size_t c = chordAt(n.start);
                    heard.insert(c);
                    ASSERT_TRUE(toneOf(chords[c], n.key)) << "kind " << kind << " key " << n.key << " meter "
                                                          << m.timeSignature;
                    ASSERT_LE(n.start + n.duration, starts[c] + chords[c].duration) << "kind " << kind;
                }
                EXPECT_EQ(heard.size(), chords.size()) << "kind " << kind << " pace " << pace << " meter "
                                                        << m.timeSignature << "/" << m.beatKind;
                for (const Report& r : boxes->reports()) {
                    const bool expected = (kind == 30 && r.code == zemc::RiffLength && m.timeSignature == 2) ||
                                          (kind == 47 && r.code == zemc::TimeSignBaseBeat && m.timeSignature != 1);
                    EXPECT_TRUE(expected) << "kind " << kind << " " << r.visible;
                }
            }

        for (int kind = 1; kind <= kBassKinds; ++kind)
            for (int pace : {60, 100, 130}) {
                boxes->clear();
                ctx.parameters.bassPattern = kind;
                ctx.parameters.partPace[2] = pace;
                const auto notes = bass(chords);
                std::set<size_t> heard;
                for (const PartNote& n : notes) {
                    ASSERT_LT(n.start, songEnd) << "bass kind " << kind;
                    const size_t c = chordAt(n.start);
                    heard.insert(c);
                    ASSERT_LE(n.start + n.duration, songEnd) << "bass kind " << kind;
                    ASSERT_LE(n.key, 72) << "bass kind " << kind;
                }
                // The pedal bass holds the first chord's bass over every chord.
                EXPECT_EQ(heard.size(), chords.size()) << "bass kind " << kind << " meter " << m.timeSignature;
                for (const Report& r : boxes->reports())
                    EXPECT_TRUE(kind == 19 && r.code == zemc::BassRiff && m.timeSignature == 2) << r.visible;
            }

        // The drums over marks of the chords' lengths and the two closing measures.
        ctx.information.structureMarks.Clear();
        for (size_t i = 0; i < chords.size(); ++i)
            ctx.information.structureMarks.AddMark(chords[i].duration, i % 3 == 2 ? "AEXX" : "AXXX");
        for (int style = 1; style <= kDrumStyles; ++style)
            for (int pace : {80, 120}) {
                boxes->clear();
                ctx.parameters.drumPattern = style;
                ctx.parameters.partPace[9] = pace;
                auto track = NewPartTrack();
                BuildDrums(ctx, *track);
                const auto notes = partNotes(*track);
                std::set<size_t> heard;
                for (const PartNote& n : notes) {
                    ASSERT_LT(n.start, songEnd) << "drum style " << style;
                    ASSERT_GE(n.key, 35);
                    ASSERT_LE(n.key, 81);
                    heard.insert(chordAt(n.start));
                }
                EXPECT_EQ(heard.size(), chords.size()) << "drum style " << style;
                EXPECT_EQ(boxes->count(), 0u) << "drum style " << style;
            }
    }
}

TEST_F(Accompaniment, KindsOutsideTheTablesReportAndLeaveThePartEmpty) {
    const std::vector<ChordRecord> chords = {chordOf(384, "CMPS", 60, 64, 67, 71)};
    for (int kind : {0, 63}) {
        boxes->clear();
        EXPECT_TRUE(backing(kind, 80, chords).empty());
        EXPECT_EQ(testing::reportedCodes(boxes.sink()), std::vector<uint32_t>{zemc::BackingPattern});
    }
    ctx.parameters.bassPattern = 24;
    EXPECT_TRUE(bass(chords).empty());
    EXPECT_TRUE(reported(boxes.sink(), zemc::BackingPattern));

    ctx.information.structureMarks.AddMark(384, "AXXX");
    for (int style : {0, 41}) {
        boxes->clear();
        ctx.parameters.drumPattern = style;
        auto track = NewPartTrack();
        BuildDrums(ctx, *track);
        EXPECT_TRUE(partNotes(*track).empty());
        EXPECT_EQ(testing::reportedCodes(boxes.sink()), std::vector<uint32_t>{zemc::DrumPattern});
    }
    boxes->clear();
    EXPECT_EQ(DrumSound(54).key, 0);
    EXPECT_EQ(DrumSound(0).key, 0);
    EXPECT_EQ(testing::reportedCodes(boxes.sink()), (std::vector<uint32_t>{zemc::DrumSound, zemc::DrumSound}));
    EXPECT_EQ(DrumSound(1).key, 36);
    EXPECT_EQ(DrumSound(kDrumFigures).key, 51);

    boxes->clear();
    ctx.parameters.partProgram[8] = 100;
    auto environment = NewPartTrack();
    BuildEnvironment(ctx, *environment, chords);
    EXPECT_TRUE(partNotes(*environment).empty());
    EXPECT_EQ(testing::reportedCodes(boxes.sink()), std::vector<uint32_t>{zemc::EnvironmentInstrument});
}

TEST_F(Accompaniment, EnvironmentStartsAfterTheLeadInAndClosesOnTwoNotes) {
    std::vector<ChordRecord> chords;
    for (int i = 0; i < 12; ++i) chords.push_back(chordOf(384, "CMPS", 60, 64, 67, 71));
    chords.push_back(chordOf(768, "CMPS", 60, 64, 67, 71));
    for (int program : {122, 123, 126}) {
        ctx.parameters.partProgram[8] = program;
        for (bool composing : {false, true}) {
            ctx.engine.composeRun = composing;
            const int lead = composing ? 384 : 0;
            auto track = NewPartTrack();
            BuildEnvironment(ctx, *track, chords);
            // The set-up itself waits for the lead-in.
            EXPECT_EQ(track->event(0)->delta, lead) << program;
            const auto notes = partNotes(*track);
            ASSERT_GE(notes.size(), 2u) << program;
            EXPECT_GE(notes.front().start, lead) << program;
            const PartNote a = notes[notes.size() - 2], b = notes.back();
            EXPECT_EQ(a.key, 72);
            EXPECT_EQ(b.key, 72);
            EXPECT_EQ(a.start, lead + 12 * 384);
            EXPECT_EQ(b.start, lead + 12 * 384 + 384);
        }
    }
    EXPECT_EQ(boxes->count(), 0u);
}

}  // namespace
}  // namespace tunecase
