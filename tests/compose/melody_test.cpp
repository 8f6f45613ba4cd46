#include <gtest/gtest.h>

#include <random>
#include <set>
#include <string>
#include <vector>

#include "compose/chords.h"
#include "compose/compose_context.h"
#include "compose/compose_driver.h"
#include "compose/compose_information.h"
#include "compose/melody.h"
#include "compose/melody_settings.h"
#include "compose_test_util.h"
#include "styles/composition_parameters.h"
#include "styles/knowledge_names.h"
#include "support/test_support.h"

namespace tunecase {
namespace {

class Melody : public testing::EngineTest {
protected:
    void setMelodyRules(int highest, int lowest, int algorithm, int rhythmMode) {
        int32_t* r = ctx.parameters.partRules[1];
        r[rule::Highest] = highest;
        r[rule::Lowest] = lowest;
        r[rule::Algorithm] = algorithm;
        r[rule::RhythmMode] = rhythmMode;
    }

    // Generates the block until it succeeds (at most `tries` calls); false when it never does.
    bool generate(const EventList& chords, EventList& melody, int tries = 200) {
        for (int i = 0; i < tries; ++i)
            if (GenerateBlockMelody(ctx, 0, 1, chords, melody)) return true;
        return false;
    }
};

EventList chordList(const std::vector<std::pair<int, const char*>>& chords) {
    EventList list;
    for (const auto& [duration, code] : chords) list.AddChord(duration, code, "00");
    return list;
}

// The notes of each chord of a block melody: [chord][note] = {length, pitch}.
std::vector<std::vector<std::pair<int, int>>> notesByChord(const EventList& melody) {
    std::vector<std::vector<std::pair<int, int>>> out;
    for (const ComposeEntry& e : melody) {
        if (e.isChord()) out.emplace_back();
        else if (e.isNote() && !out.empty()) out.back().emplace_back(e.length, e.value);
    }
    return out;
}

TEST_F(Melody, EveryChordIsFilledExactlyWithNotesInsideTheRangeForEverySetting) {
    const std::vector<const char*> codes = {"CMPS", "AmPs", "DmPs", "GMPs", "FMPS", "EmPs", "G4Ps",
                                            "BmdS", "CMAd", "dMPs", "NoCd", "AmP9", "FMP6"};
    const std::vector<std::vector<int>> durations = {
        {96, 192, 288, 384, 576, 768, 240, 336, 432, 720, 144}, {288, 576}, {336}};
    int made = 0;
    for (int seed = 1; seed <= 1200; ++seed) {
        std::mt19937 pick(static_cast<unsigned>(seed));
        auto any = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(pick); };
        ctx.parameters.timeSignature = any(0, 2);
        ctx.parameters.rhythmFeel = std::vector<int>{0, 1, 3}[static_cast<size_t>(any(0, 2))];
        ctx.parameters.scale = std::vector<int>{1, 7, 6, 21, 12}[static_cast<size_t>(any(0, 4))];
        ctx.parameters.partPace[1] = any(2, 17) * 10;
        ctx.parameters.partMixer[1][mixer::BlockProgram] = static_cast<uint8_t>(any(0, 1) * 5);
        int32_t* r = ctx.parameters.partRules[1];
        const int lowest = any(48, 66);
        setMelodyRules(lowest + any(12, 30), lowest, any(1, 7), any(1, 10));
        r[rule::Consonance] = any(1, 10);
        r[melody_rule::RestSwitch] = any(0, 1);
        r[melody_rule::Alteration] = any(0, 2);
        r[melody_rule::RhythmRepetition] = any(0, 2);
        r[melody_rule::IntervalRepetition] = any(0, 2);
        r[melody_rule::WalkVariant] = any(0, 1);
        r[melody_rule::Singable] = any(0, 1);
        const auto& meterDurations = durations[static_cast<size_t>(ctx.parameters.timeSignature)];
        std::vector<std::pair<int, const char*>> block;
        for (int n = any(1, 6); n > 0; --n)
            block.emplace_back(meterDurations[static_cast<size_t>(any(0, int(meterDurations.size()) - 1))],
                               codes[static_cast<size_t>(any(0, int(codes.size()) - 1))]);
        ctx.Seed(seed);
        const EventList chords = chordList(block);
        EventList melody;
        if (!generate(chords, melody)) continue;
        ++made;

        const MelodyPartSettings s = MelodySettings(ctx, 1);
        const auto notes = notesByChord(melody);
        ASSERT_EQ(notes.size(), block.size());
        int blockTotal = 0, chordTotal = 0;
        for (size_t c = 0; c < block.size(); ++c) {
            int sum = 0;
            for (auto [length, pitch] : notes[c]) {
                ASSERT_GT(length, 0) << "seed " << seed;
                ASSERT_LE(length, kLongestMelodyNote) << "seed " << seed;
                if (pitch != 0) ASSERT_TRUE(s.inRange(pitch)) << "seed " << seed << " pitch " << pitch;
                sum += length;
            }
            // Rhythm mode 9 may push a chord's walk 48 ticks across the bar line.
            if (s.rhythmMode == 9) ASSERT_LE(std::abs(sum - block[c].first), 96) << "seed " << seed;
            else ASSERT_EQ(sum, block[c].first) << "seed " << seed << " chord " << c;
            blockTotal += sum;
            chordTotal += block[c].first;
        }
        ASSERT_EQ(blockTotal, chordTotal) << "seed " << seed;
        // A program before every chord (after a reset for all but the first), a reset at the end.
        size_t programs = 0;
        for (const ComposeEntry& e : melody) programs += e.isProgram();
        ASSERT_EQ(programs, s.program ? 2 * block.size() : 0u);
        ASSERT_EQ(melody.size() > 0 && melody.back().isProgram(), s.program != 0);
    }
    EXPECT_GT(made, 1100);
    EXPECT_EQ(boxes->count(), 0u) << boxes->visibleTexts().front();
}

TEST_F(Melody, TheSameSeedGivesTheSameMelody) {
    setMelodyRules(84, 60, 1, 1);
    const EventList chords = chordList({{384, "CMPS"}, {192, "AmPs"}, {192, "DmPs"}, {384, "GMPs"}});
    auto make = [&](int seed) {
        ctx.Seed(seed);
        EventList melody;
        EXPECT_TRUE(generate(chords, melody));
        std::vector<std::pair<int, int>> out;
        for (const ComposeEntry& e : melody) out.emplace_back(e.length, e.isNote() ? e.value : -1);
        return out;
    };
    EXPECT_EQ(make(7), make(7));
    EXPECT_NE(make(7), make(8));
}

TEST_F(Melody, ChordsThatDoNotFitTheMeterAreReportedAndStillFilled) {
    setMelodyRules(72, 60, 7, 1);
    EventList melody;
    ctx.parameters.timeSignature = 1;
    ASSERT_EQ(GenerateBlockMelody(ctx, 0, 1, chordList({{288, "CMPS"}, {384, "GMPs"}, {576, "CMPS"}}), melody), 1);
    EXPECT_EQ(notesByChord(melody)[1].size() > 0, true);
    ctx.parameters.timeSignature = 2;
    ASSERT_EQ(GenerateBlockMelody(ctx, 0, 1, chordList({{336, "CMPS"}, {384, "GMPs"}}), melody), 1);
    EXPECT_EQ(melody.Ticks(), 336 + 384);
    ctx.parameters.progressionMethod = 8;
    ASSERT_EQ(GenerateBlockMelody(ctx, 0, 1, chordList({{384, "GMPs"}}), melody), 1);
    EXPECT_EQ(boxes->visibleTexts(), (std::vector<std::string>{"ZEMCFF010004 3/4 error!", "ZEMCFF010005 7/8 error!"}));
}

TEST_F(Melody, MiddlePitchAlgorithmPlaysOnlyTheMiddleOfTheRange) {
    setMelodyRules(72, 60, 7, 1);
    const EventList chords = chordList({{384, "CMPS"}, {384, "FMPS"}, {192, "GMPs"}, {192, "CMPS"}});
    for (int seed = 1; seed <= 50; ++seed) {
        ctx.Seed(seed);
        EventList melody;
        ASSERT_TRUE(generate(chords, melody, 1));
        for (const ComposeEntry& e : melody)
            if (e.isNote()) ASSERT_EQ(e.value, 66) << "seed " << seed;
    }
}

TEST_F(Melody, ARangeNarrowerThanTheChordTonesFailsBlocksOftenAndNeverPlaysOutsideIt) {
    setMelodyRules(62, 61, 1, 1);
    const EventList chords = chordList({{384, "CMPS"}, {384, "FMPS"}, {384, "GMPs"}});
    int failures = 0;
    for (int i = 0; i < 300; ++i) {
        EventList melody;
        if (!GenerateBlockMelody(ctx, 0, 1, chords, melody)) {
            ++failures;
            continue;
        }
        for (const ComposeEntry& e : melody)
            if (e.isSounding()) ASSERT_TRUE(e.value == 61 || e.value == 62);
    }
    EXPECT_GT(failures, 100);
    EXPECT_LT(failures, 300);
}

TEST_F(Melody, ABlockThatCanNeverSucceedEndsTheCompositionAfterABoundedNumberOfTries) {
    setMelodyRules(50, 60, 7, 2);  // no pitch lies in an empty range
    ctx.information.blockCount = 2;
    ctx.information.blockChords[0] = chordList({{384, "CMPS"}});
    ctx.information.blockChords[1] = chordList({{384, "CMPS"}});
    EXPECT_EQ(PlaceMelodies(ctx, 1), 0);
    const std::string general = "ZEMC00000000 Error occured in MobileDialogSelectChanel!";
    EXPECT_EQ(boxes->visibleTexts(), (std::vector<std::string>{general, general, general,
                                                               "ZEMCFF0101AB Error occured in melody generation!"}));
    EXPECT_TRUE(ctx.information.blockMelodies[0].empty());
    EXPECT_EQ(ctx.parameters.partRules[1][rule::RhythmMode], 2);  // restored
}

TEST_F(Melody, PlacingTheMelodySwitchesRhythmModeTwoToOneAfterTheMiddle) {
    setMelodyRules(84, 60, 1, 2);
    ctx.parameters.partRules[1][melody_rule::RestSwitch] = 1;
    ctx.information.blockCount = 5;
    for (int b = 0; b < 5; ++b)
        ctx.information.blockChords[static_cast<size_t>(b)] = chordList({{384, "CMPS"}, {384, "GMPs"}});
    // Off the eighth grid (after the rest switch's 16ths) mode 1 draws a 16th or an eighth, mode 2
    // only eighths: count 16ths there that the chord's end did not cut.
    int early = 0, late = 0;
    for (int seed = 1; seed <= 40; ++seed) {
        ctx.Seed(seed);
        ASSERT_EQ(PlaceMelodies(ctx, 1), 1);
        for (int b = 0; b < 5; ++b) {
            int position = 0;
            for (const ComposeEntry& e : ctx.information.blockMelodies[static_cast<size_t>(b)]) {
                if (e.isChord()) position = 0;
                if (!e.isNote()) continue;
                if (position % 48 == 24 && e.length == 24 && position + 24 != 384) (b > 2 ? late : early) += 1;
                position += e.length;
            }
        }
    }
    EXPECT_EQ(early, 0);
    EXPECT_GT(late, 0);
    EXPECT_EQ(ctx.parameters.partRules[1][rule::RhythmMode], 2);
}

TEST_F(Melody, RhythmRepetitionTwoRepeatsTheFirstChordOfTheSameDuration) {
    setMelodyRules(84, 60, 1, 1);
    const EventList chords = chordList({{384, "CMPS"}, {192, "AmPs"}, {384, "FMPS"}, {192, "GMPs"}});
    auto lengthsOf = [](const std::vector<std::pair<int, int>>& notes) {
        std::vector<int> out;
        for (auto [length, pitch] : notes) out.push_back(length);
        return out;
    };
    int differentWithout = 0;
    for (int seed = 1; seed <= 100; ++seed) {
        for (int repetition : {2, 0}) {
            ctx.parameters.partRules[1][melody_rule::RhythmRepetition] = repetition;
            ctx.Seed(seed);
            EventList melody;
            ASSERT_TRUE(generate(chords, melody));
            const auto notes = notesByChord(melody);
            if (repetition == 2) {
                ASSERT_EQ(lengthsOf(notes[0]), lengthsOf(notes[2])) << "seed " << seed;
                ASSERT_EQ(lengthsOf(notes[1]), lengthsOf(notes[3])) << "seed " << seed;
            } else {
                differentWithout += lengthsOf(notes[0]) != lengthsOf(notes[2]);
            }
        }
    }
    EXPECT_GT(differentWithout, 50);
}

TEST_F(Melody, WithTheRestSwitchOffRestsOnlyCloseTheLastChord) {
    // Contours take no acceptable-pitch step, the range is wide and the pace fast: nothing
    // else may make a rest.
    setMelodyRules(100, 30, 5, 1);
    ctx.parameters.partPace[1] = 160;
    const EventList chords = chordList({{384, "CMPS"}, {384, "AmPs"}, {384, "DmPs"}, {768, "GMPs"}});
    int switchedOnRests = 0;
    for (int seed = 1; seed <= 100; ++seed) {
        for (int restSwitch : {0, 1}) {
            ctx.parameters.partRules[1][melody_rule::RestSwitch] = restSwitch;
            ctx.Seed(seed);
            EventList melody;
            ASSERT_TRUE(generate(chords, melody, 1));
            const auto notes = notesByChord(melody);
            for (size_t c = 0; c < notes.size(); ++c) {
                bool sounded = false;
                for (size_t i = notes[c].size(); i > 0; --i) {
                    const bool rest = notes[c][i - 1].second == 0;
                    if (restSwitch == 0 && rest) ASSERT_TRUE(c == 3 && !sounded) << "seed " << seed;
                    if (restSwitch == 1 && rest && (c < 3 || sounded)) ++switchedOnRests;
                    sounded |= !rest;
                }
            }
        }
    }
    EXPECT_GT(switchedOnRests, 50);
}

TEST_F(Melody, FlatteningPlaysTheBlocksInFormOrderAndEmptiesThem) {
    ctx.information.blockCount = 2;
    ctx.information.form = {1, 1, 2};
    BlockLists& blocks = ctx.information.blockMelodies;
    blocks[0] = chordList({{192, "CMPS"}});
    blocks[0].AddNote(192, 64);
    blocks[1] = chordList({{384, "GMPs"}});
    blocks[1].AddNote(96, 67);
    blocks[1].AddNote(288, 71);
    EventList song;
    EXPECT_EQ(FlattenBlocks(ctx, blocks, song), 71);
    std::vector<int> pitches;
    for (const ComposeEntry& e : song) pitches.push_back(e.isChord() ? -1 : e.value);
    EXPECT_EQ(pitches, (std::vector<int>{-1, 64, -1, 64, -1, 67, 71}));
    EXPECT_EQ(song.Ticks(), 192 + 192 + 384);
    EXPECT_TRUE(blocks[0].empty());
    EXPECT_TRUE(blocks[1].empty());

    ctx.information.form = {1, 0};
    EXPECT_EQ(FlattenBlocks(ctx, blocks, song), 0);
    EXPECT_EQ(boxes->visibleTexts(), std::vector<std::string>{"ZEMCFF0101AD Failed in pattern process!"});
}

TEST_F(Melody, TheEndingClosesOnTheTonicInsideTheRangeOnAStrongBeat) {
    char tonic[12];
    for (int effect : {0, 1, 2, 3}) {
        // A half-bar line in 4/4, a bar line in 3/4.
        ctx.parameters.timeSignature = effect / 2;
        const int strongBeat = effect / 2 == 0 ? 192 : 288;
        for (bool major : {true, false}) {
            ctx.parameters.knowledgeSet = major ? 1 : 2;
            ctx.knowledgeNames = SelectKnowledgeNames(ctx.parameters, ctx.parameters.knowledgeSet);
            ASSERT_TRUE(ChordToneDigits(TonicCode(ctx), tonic));
            setMelodyRules(84, 60, 1, 1);
            ctx.parameters.partRules[1][rule::Effect] = effect % 2;
            for (int seed = 1; seed <= 200; ++seed) {
                ctx.Seed(seed);
                // Songs whose short chords leave the closing chord on a bar line or off one.
                const int lead = std::vector<int>{0, 96, 48, 384, 144}[static_cast<size_t>(seed % 5)];
                EventList song;
                if (lead > 0) song.AddNote(lead, 72);
                const size_t chordAt = song.size();
                const int last = seed % 3 == 0 ? 0 : 59 + seed % 27;
                AppendEnding(ctx, 1, song, last);
                ASSERT_TRUE(song[chordAt].isChord());
                EXPECT_EQ(song[chordAt].chord.str(), "CMPS");
                EXPECT_EQ(song[chordAt].length, 768);
                ASSERT_GE(song.size(), chordAt + 2);
                int total = 0;
                for (size_t i = chordAt + 1; i < song.size(); ++i) {
                    // Only a lead-in rest before a lone last note.
                    if (song[i].isRest()) EXPECT_EQ(i, chordAt + 1);
                    else ASSERT_TRUE(song[i].value >= 60 && song[i].value <= 84) << song[i].value;
                    if (i + 1 < song.size()) total += song[i].length;
                }
                EXPECT_LE(total + song.back().length, 768);
                const int final = song.back().value;
                EXPECT_EQ(final % 12, major ? 0 : 9) << "effect " << effect << " final " << final;
                EXPECT_EQ((lead + total) % strongBeat, 0) << "effect " << effect << " lead " << lead;
            }
        }
    }
    EXPECT_EQ(boxes->count(), 0u);
}

// A singable line, over any chords in both meters: the strong beats and chord changes on a tone
// of the triad, no beat note a semitone, tritone or major seventh from the bass, no pitch held a
// third time, leaps rare and never beyond an octave.
TEST_F(Melody, ASingableLineSingsChordTonesOnStrongBeatsAndStepsBetween) {
    const char* codes[] = {"CMPd", "FMPS", "GMPs", "AmPs", "DmPs", "EmPs", "CMPS"};
    int notes = 0, steps = 0, leaps = 0;
    for (int seed = 1; seed <= 300; ++seed) {
        const int meter = seed % 2;
        ctx.parameters.timeSignature = meter;
        const int bar = meter == 0 ? 384 : 288;
        setMelodyRules(77, 62, 1, seed % 3 == 0 ? 3 : 7);
        int32_t* r = ctx.parameters.partRules[1];
        r[rule::Consonance] = 5;
        r[melody_rule::Singable] = 1;
        std::vector<std::pair<int, const char*>> block;
        for (int n = 0; n < 4; ++n) block.emplace_back(bar * (1 + (seed + n) % 2), codes[(seed * 3 + n) % 7]);
        ctx.Seed(seed);
        const EventList chords = chordList(block);
        EventList melody;
        ASSERT_TRUE(generate(chords, melody)) << "seed " << seed;

        int at = 0, previous = 0, previous2 = 0;
        ChordCode code{};
        int chordStart = 0;
        for (const ComposeEntry& e : melody) {
            if (e.isChord()) {
                code = e.chord;
                chordStart = at;
                continue;
            }
            if (!e.isNote()) continue;
            const int pitch = e.value;
            if (pitch != 0) {
                char digits[12];
                ASSERT_TRUE(ChordToneDigits(code, digits));
                const int inBar = at % bar;
                const bool strong = at == chordStart || inBar == 0 || (bar == 384 && inBar == 192) || e.length >= 144;
                if (strong) EXPECT_EQ(digits[pitch % 12], '9') << "seed " << seed << " at " << at << " pitch " << pitch;
                if (inBar % 96 == 0) {
                    const int fromBass = ((pitch - RootPitchClass(code)) % 12 + 12) % 12;
                    EXPECT_TRUE(fromBass != 1 && fromBass != 6 && fromBass != 11) << "seed " << seed << " at " << at;
                }
                EXPECT_FALSE(pitch == previous && pitch == previous2) << "seed " << seed << " at " << at;
                if (previous != 0) {
                    const int move = std::abs(pitch - previous);
                    EXPECT_LE(move, 12) << "seed " << seed;
                    ++notes;
                    steps += move >= 1 && move <= 2;
                    leaps += move >= 8;
                }
            }
            previous2 = previous;
            previous = pitch;
            at += e.length;
        }
    }
    EXPECT_GT(steps, notes * 2 / 5);
    EXPECT_LT(leaps, notes * 3 / 100);
}

TEST_F(Melody, BlocksJoinWithoutLeapsOverAnOctaveWhereTheRangeAllows) {
    setMelodyRules(84, 60, 1, 1);
    struct Case {
        std::vector<int> in, out;
    };
    const Case cases[] = {
        {{60, 76, 62}, {60, 64, 62}},      // 16 up: an octave down
        {{84, 70, 83}, {84, 82, 83}},      // 14 down: an octave up
        {{61, 0, 84, 72}, {61, 0, 72, 72}},  // the pitch before a rest counts
        {{60, 84}, {60, 72}},              // two octaves: one octave down is enough
        {{62, 74}, {62, 74}},              // an octave itself stays
        {{60, 72, 84, 60}, {60, 72, 84, 72}},
    };
    for (const Case& c : cases) {
        EventList song;
        song.AddChord(384, "CMPS");
        for (int pitch : c.in) song.AddNote(48, pitch);
        CloseJoinLeaps(ctx, 1, song);
        std::vector<int> out;
        for (const ComposeEntry& e : song)
            if (e.isNote()) out.push_back(e.value);
        EXPECT_EQ(out, c.out) << c.in[1];
    }
    // The contour patterns keep their leaps.
    ctx.parameters.partRules[1][rule::Algorithm] = 5;
    EventList song;
    song.AddNote(48, 60);
    song.AddNote(48, 80);
    CloseJoinLeaps(ctx, 1, song);
    EXPECT_EQ(song[1].value, 80);
}

TEST_F(Melody, OtherPartsEndOnTheTonicAndFreeProgressionAddsOnlyTheChord) {
    ctx.parameters.partRules[4][rule::Highest] = 80;
    ctx.parameters.partRules[4][rule::Lowest] = 50;
    EventList song;
    AppendEnding(ctx, 4, song, 0);  // no last pitch: the tonic near the middle, 12 * (130 / 24) = 60
    ASSERT_EQ(song.size(), 2u);
    EXPECT_EQ(song[1].value, 60);
    EXPECT_EQ(song[1].length, 192);

    ctx.parameters.knowledgeSet = 2;  // minor: A, 9 + 60 - 12 = 57
    song.Clear();
    AppendEnding(ctx, 4, song, 200);
    EXPECT_EQ(song[1].value, 57);
    song.Clear();
    AppendEnding(ctx, 4, song, 77);  // the A of 77's octave, 81, lies above the range
    EXPECT_EQ(song[1].value, 69);

    ctx.parameters.progressionMethod = 8;
    song.Clear();
    AppendEnding(ctx, 1, song, 70);
    ASSERT_EQ(song.size(), 1u);
    EXPECT_TRUE(song[0].isChord());
}

TEST_F(Melody, TheSecondLineMirrorsTheMelodyWithinAnOctaveBelow) {
    ctx.information.blockCount = 1;
    EventList& block = ctx.information.blockMelodies[0];
    block = chordList({{384, "CMPS"}});
    for (int pitch : {72, 76, 64, 0, 79}) block.AddNote(96, pitch);
    DeriveSecondLine(ctx, 1);
    std::vector<int> line;
    for (const ComposeEntry& e : ctx.information.blockSecondLines[0]) line.push_back(e.isChord() ? -1 : e.value);
    // Axis 70: 68, 64; 64 falls below it: axis 61, 58; a rest; 79 mirrors to 43, raised to 67.
    EXPECT_EQ(line, (std::vector<int>{-1, 68, 64, 58, 0, 67}));

    // Over real melodies: every note within 12 semitones below its melody note; with setting
    // 2 a rest may keep the last second-line pitch (or its octave) sounding.
    setMelodyRules(84, 60, 2, 1);
    ctx.parameters.partRules[1][melody_rule::RestSwitch] = 1;
    ctx.parameters.partRules[1][rule::SecondLine] = 2;
    const EventList chords = chordList({{384, "CMPS"}, {384, "AmPs"}, {384, "DmPs"}, {384, "GMPs"}});
    int held = 0;
    for (int seed = 1; seed <= 100; ++seed) {
        ctx.Seed(seed);
        ASSERT_TRUE(generate(chords, block));
        DeriveSecondLine(ctx, 1);
        const EventList& second = ctx.information.blockSecondLines[0];
        std::vector<const ComposeEntry*> melodyNotes, secondNotes;
        for (const ComposeEntry& e : block)
            if (e.isNote()) melodyNotes.push_back(&e);
        for (const ComposeEntry& e : second)
            if (e.isNote()) secondNotes.push_back(&e);
        ASSERT_EQ(melodyNotes.size(), secondNotes.size());
        int last = 0;
        for (size_t i = 0; i < melodyNotes.size(); ++i) {
            const int n = melodyNotes[i]->value, m = secondNotes[i]->value;
            ASSERT_EQ(melodyNotes[i]->length, secondNotes[i]->length);
            if (n != 0) {
                ASSERT_TRUE(m < n && m >= n - 12) << n << " " << m;
                last = m;
            } else if (m != 0) {
                ASSERT_TRUE(m == last || m == last + 12);
                ++held;
            }
        }
    }
    EXPECT_GT(held, 0);
}

// Songs of the default style, read from the song melody the composer made: the shape real tunes
// have, held over many seeds (loose bounds: a test, not a benchmark).
TEST_F(Melody, DefaultStyleSongsMoveLikeTunesAndEndOnTheTonicOnAStrongBeat) {
    testing::TempFolder dir;
    std::vector<int> largestLeaps, longestRests;
    int offGrid = 0, onsets = 0, endsOnTonic = 0, endsOnStrongBeat = 0, songs = 0;
    std::set<std::vector<int>> melodies;
    for (int seed = 1; seed <= 60; ++seed) {
        ComposeOptions o;
        o.seeded = true;
        o.seed = seed;
        ASSERT_EQ(ComposeSong(ctx, dir.file("song.mid"), o), 1) << seed;
        int time = 0, previous = 0, leap = 0, rest = 0, restRun = 0, lastOnset = -1, lastPitch = 0;
        bool sounded = false;
        std::vector<int> pitches;
        for (const ComposeEntry& e : ctx.information.songMelody) {
            if (!e.isNote()) continue;
            if (e.isRest()) {
                restRun += e.length;
            } else {
                if (sounded) rest = std::max(rest, restRun);
                if (previous != 0 && restRun == 0) leap = std::max(leap, std::abs(e.value - previous));
                restRun = 0;
                ++onsets;
                if (time % 48 != 0) ++offGrid;
                previous = lastPitch = e.value;
                lastOnset = time;
                sounded = true;
                pitches.push_back(e.value);
            }
            time += e.length;
        }
        ASSERT_GE(lastOnset, 0) << seed;
        ++songs;
        largestLeaps.push_back(leap);
        longestRests.push_back(rest);
        if (lastPitch % 12 == 0) ++endsOnTonic;  // the default style's knowledge is in C major
        if (lastOnset % 192 == 0) ++endsOnStrongBeat;
        melodies.insert(pitches);
    }
    std::sort(largestLeaps.begin(), largestLeaps.end());
    std::sort(longestRests.begin(), longestRests.end());
    EXPECT_LE(largestLeaps[largestLeaps.size() * 9 / 10], 12);
    EXPECT_LE(longestRests[longestRests.size() / 2], 384) << "a median song keeps silent less than a bar";
    EXPECT_LE(offGrid * 20, onsets) << offGrid << " of " << onsets << " onsets off the eighth grid";
    EXPECT_EQ(endsOnTonic, songs);
    EXPECT_EQ(endsOnStrongBeat, songs);
    EXPECT_EQ(melodies.size(), static_cast<size_t>(songs));
}

}  // namespace
}  // namespace tunecase
