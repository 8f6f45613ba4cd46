#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

#include "compose/chords.h"
#include "compose/compose_errors.h"
#include "compose/knowledge_files.h"
#include "compose_test_util.h"
#include "styles/composition_parameters.h"
#include "styles/knowledge_names.h"

namespace tunecase {
namespace {

using testing::EngineTest;
using Chords = EngineTest;

// Every code of the chord-tone table plus the ones with a missing tone.
std::vector<ChordCode> everyCode() {
    std::vector<ChordCode> out;
    for (int r = 0; r < 12; ++r)
        for (char t : std::string("Mm4o"))
            for (char f : std::string("PAdC"))
                for (char s : std::string("Ss69od")) out.push_back(ChordCode(std::string{kChordRoots[r], t, f, s}));
    return out;
}

TEST_F(Chords, EveryCodeGivesItsTonesPlacedInRangeAndTheBassTwoOctavesBelow) {
    for (const ChordCode& code : everyCode()) {
        for (int round = 0; round < 4; ++round) {
            const ChordRecord c = MakeChord(ctx, 384, code, "07");
            const int root = RootPitch(code.root());
            ASSERT_EQ(c.rootPitch, root);
            ASSERT_EQ(c.bassPitch, root - 24 + 7);
            const int third = ThirdInterval(code.third()), fifth = FifthInterval(code.fifth()),
                      seventh = SeventhInterval(code.seventh());
            if (third < 0) ASSERT_EQ(c.thirdPitch, 0);
            else ASSERT_TRUE(c.thirdPitch >= 60 && c.thirdPitch <= 83 && (c.thirdPitch - root - third) % 12 == 0)
                << code.str() << " third " << int(c.thirdPitch);
            ASSERT_EQ(c.fifthPitch, fifth < 0 ? 0 : root + fifth);
            if (seventh < 0) ASSERT_EQ(c.seventhPitch, 0);
            else ASSERT_TRUE(c.seventhPitch >= 60 && c.seventhPitch <= 83 &&
                             (c.seventhPitch - root - seventh) % 12 == 0) << code.str();
        }
    }
    EXPECT_EQ(boxes->count(), 0u);
}

TEST_F(Chords, SuspendedDominantOnGAndItsName) {
    std::set<int> thirds, sevenths;
    for (int i = 0; i < 200; ++i) {
        const ChordRecord c = MakeChord(ctx, 384, "G4Ps");
        EXPECT_EQ(c.rootPitch, 67);
        EXPECT_EQ(c.fifthPitch, 74);
        thirds.insert(c.thirdPitch);
        sevenths.insert(c.seventhPitch);
    }
    EXPECT_EQ(thirds, (std::set<int>{72}));
    EXPECT_EQ(sevenths, (std::set<int>{65, 77}));
    EXPECT_EQ(ChordName("G4Ps"), "G7");
}

TEST_F(Chords, BassModeTenFixesTheBassAndBackingFortySevenKeepsTheThirdClose) {
    ctx.parameters.bassMode = 10;
    ctx.parameters.backingPattern3 = 47;
    for (const char* code : {"CMPS", "BmPs", "gMPd"}) {
        EXPECT_EQ(MakeChord(ctx, 192, code, "00").bassPitch, 43);
        EXPECT_EQ(MakeChord(ctx, 192, code, "04").bassPitch, 47);
        EXPECT_EQ(MakeChord(ctx, 192, code, "").bassPitch, 43);
    }
    for (int i = 0; i < 50; ++i) EXPECT_EQ(MakeChord(ctx, 192, "BmPs").thirdPitch, 74);
}

TEST_F(Chords, BrokenCodesAreReportedAndFallBackWithoutLooping) {
    const ChordRecord a = MakeChord(ctx, 96, "XMPS");
    EXPECT_EQ(a.rootPitch, 0);
    EXPECT_EQ(a.thirdPitch, 0);
    const ChordRecord b = MakeChord(ctx, 96, "DxZq");
    EXPECT_EQ(b.thirdPitch, 0);
    EXPECT_EQ(b.fifthPitch, 62);
    EXPECT_EQ(b.seventhPitch, 62);
    const ChordRecord none = MakeChord(ctx, 96, "NoCd");
    EXPECT_EQ(none.bassPitch, 0);
    EXPECT_EQ(boxes->visibleTexts(), (std::vector<std::string>{"ZEMCFF010022 root note error!",
                                                                "ZEMCFF010023 third note error!",
                                                                "ZEMCFF010024 5th note error!",
                                                                "ZEMCFF010025 7th note error!"}));
}

TEST_F(Chords, ChordToneTableHoldsEveryCodeWithItsWeights) {
    const std::string_view table = ChordToneText();
    ASSERT_EQ(table.size(), static_cast<size_t>(kChordToneRecords * kChordToneRecordBytes));
    EXPECT_EQ(table.substr(0, 19), "CMPS900090090004|\r\n");
    char digits[12];
    ASSERT_TRUE(ChordToneDigits("AmP9", digits));
    EXPECT_EQ(std::string(digits, 12), "900090000904");  // A C E, ninth B
    ASSERT_TRUE(ChordToneDigits("gmds", digits));
    EXPECT_EQ(std::string(digits, 12), "900050900900");  // F# A C, E minor seventh
    EXPECT_FALSE(ChordToneDigits("NoCd", digits));
    EXPECT_FALSE(ChordToneDigits("CMCd", digits));
}

TEST_F(Chords, ChordProfilesAddChordWeightsToTheScaleAndKeepNotesOutsideTheScaleAtZero) {
    // C major, scale 1: "919299192929"; a chord tone adds its weight, everything loses 4.
    EXPECT_EQ(ChordProfile(ctx, "NoCd"), "919299192929");
    EXPECT_EQ(ChordProfile(ctx, "CMPS"), "905095090509");
    EXPECT_EQ(ChordProfile(ctx, "DMPs"), "909055650905");
    // Whole-tone scale: A and F stay out even when the chord holds them.
    ctx.parameters.scale = 12;
    EXPECT_EQ(ChordProfile(ctx, "DMPs"), "909050905050");
    EXPECT_EQ(ChordProfile(ctx, "FMPd"), "905050505050");
}

TEST_F(Chords, NamesOfEveryShape) {
    const std::pair<const char*, const char*> names[] = {
        {"CMPS", "CM7"}, {"CMPs", "C7"}, {"AmPs", "Am7"}, {"dMPs", "Db7"}, {"Bmds", "Bdim7"},
        {"CMPd", "C "},  {"CMAd", "Caug "}, {"bmds", "Bbdim7"}, {"NoCd", "N/C "}, {"AmP6", "Am "}};
    for (auto [code, name] : names) EXPECT_EQ(ChordName(code), name) << code;
    EXPECT_EQ(ChordName("CMPd", "04"), "C onE");
    EXPECT_EQ(ChordName("AmPs", "10"), "Am7onG");
    EXPECT_EQ(ChordName("BMPd", "03"), "B onD");
    EXPECT_EQ(ChordName("eMPs", "07"), "Eb7onA#");
    EXPECT_EQ(boxes->count(), 0u);
    EXPECT_EQ(ChordName("CMds"), "C7");
    EXPECT_EQ(ChordName("gMds"), "Gb7");
    EXPECT_EQ(boxes->visibleTexts(), std::vector<std::string>{"ZEMCFF01006B Diminish chord error!"});
}

TEST_F(Chords, WeightedSuccessionFollowsTheLevelsOfTheFile) {
    // Levels 9, 5 and 1. With family 3 (lowest level 4) a candidate of level L wins in
    // proportion to L - 3: 6 : 2 : 0. With family 1 (lowest 1): 9 : 5 : 1.
    SetKnowledgeText(ctx, KnowledgeFile::Pattern, "CMPSFMPS080|CMPSGMPs040|CMPSAmPs005|GMPsCMPS080|");
    const std::pair<int, std::map<std::string, double>> expectations[] = {
        {3, {{"FMPS", 0.75}, {"GMPs", 0.25}, {"AmPs", 0.0}}},
        {1, {{"FMPS", 9.0 / 15}, {"GMPs", 5.0 / 15}, {"AmPs", 1.0 / 15}}},
    };
    for (const auto& [family, shares] : expectations) {
        ctx.parameters.progressionFamily = family;
        std::map<std::string, int> seen;
        const int draws = 20000;
        for (int i = 0; i < draws; ++i) ++seen[WeightedSuccession(ctx, "CMPS").str()];
        for (const auto& [code, share] : shares)
            EXPECT_NEAR(seen[code] / double(draws), share, 0.015) << "family " << family << " " << code;
    }
    // No record for the chord: the tonic, at once.
    EXPECT_EQ(WeightedSuccession(ctx, "dMPs"), TonicCode(ctx));
    EXPECT_EQ(boxes->count(), 0u);
}

TEST_F(Chords, WeightedSuccessionRepairsAnUnknownFamilyAndAnEmptySuccessor) {
    SetKnowledgeText(ctx, KnowledgeFile::Pattern, "CMPS|CMPS|");
    ctx.parameters.progressionFamily = 8;
    EXPECT_EQ(WeightedSuccession(ctx, "CMPS"), TonicCode(ctx));
    EXPECT_EQ(ctx.parameters.progressionFamily, 3);
    EXPECT_EQ(boxes->visibleTexts(), (std::vector<std::string>{"ZEMCFF01003F error in chord progression!",
                                                                "ZEMCFF01014A Error in DB2!"}));
}

TEST_F(Chords, FixedSuccessionRulesKeepTheirOdds) {
    std::map<std::string, int> afterG, afterA;
    for (int i = 0; i < 12000; ++i) {
        ++afterG[DominantChain(ctx, "GMPs").str().substr(0, 1)];
        ++afterA[DescendingMinorLoop(ctx, "AmPs").str()];
        const ChordCode r = RandomChord(ctx);
        ASSERT_TRUE(IsValidChordCode(r));
        ASSERT_TRUE(r.fifth() == 'P' || r.third() == 'm') << r.str();
    }
    // G goes to C two times in three, and half of the rest by a fourth up: 5/6.
    EXPECT_NEAR(afterG["C"] / 12000.0, 5.0 / 6, 0.02);
    // A goes to GMPS two times in three, and a quarter of the rest: 3/4.
    EXPECT_NEAR(afterA["GMPS"] / 12000.0, 0.75, 0.02);
    EXPECT_EQ(afterA.size(), 4u);
}

TEST_F(Chords, GeneratedSuccessionsAreDiatonicEnoughForTheFamily) {
    ctx.parameters.progressionMethod = 1;
    for (int family : {1, 2, 3, 4}) {
        ctx.parameters.progressionFamily = family;
        ChordCode chord = TonicCode(ctx);
        for (int i = 0; i < 300; ++i) {
            NextChord(ctx, chord);
            ASSERT_TRUE(IsValidChordCode(chord));
            ASSERT_GE(DiatonicScore(ctx, chord), family == 1 ? 5 : family == 2 ? 6 : family == 3 ? 7 : 8)
                << chord.str();
        }
    }
}

TEST_F(Chords, ScalesOtherThanOneSixSevenRedrawRootsOutsideTheScale) {
    ctx.parameters.progressionFamily = 5;
    ctx.parameters.scale = 9;  // "009090090909": no C, no C#
    int outside = 0;
    for (int i = 0; i < 3000; ++i) {
        ChordCode chord = TonicCode(ctx);
        NextChord(ctx, chord);
        const int root = RootPitchClass(chord);
        outside += root == 0 || root == 1 || root == 3 || root == 5 || root == 6 || root == 8 || root == 10;
    }
    EXPECT_LT(outside, 5);
}

TEST_F(Chords, ClosingFromTheFileMatchesLengthAvoidsARepeatAndFallsBackToTheTonic) {
    SetKnowledgeText(ctx, KnowledgeFile::Cadence, "3|GMPsCMPS|FMPSCMPS|DmPsGMPsCMPS|");
    for (int i = 0; i < 200; ++i) {
        const auto closing = PickCadence(ctx, "GMPs", 2);
        ASSERT_EQ(closing, (std::vector<ChordCode>{"FMPS", "CMPS"}));
    }
    EXPECT_EQ(PickCadence(ctx, "AmPs", 3), (std::vector<ChordCode>{"DmPs", "GMPs", "CMPS"}));
    EXPECT_EQ(PickCadence(ctx, "AmPs", 4), std::vector<ChordCode>(4, TonicCode(ctx)));
    EXPECT_EQ(boxes->count(), 0u);
    // An unreadable file: one box, then the tonic.
    SetKnowledgeText(ctx, KnowledgeFile::Cadence, "x|");
    EXPECT_EQ(PickCadence(ctx, "AmPs", 2), std::vector<ChordCode>(2, TonicCode(ctx)));
    EXPECT_EQ(boxes->count(), 1u);
}

TEST_F(Chords, DerivedClosingsWalkByFourthsFromTheChordBefore) {
    ctx.parameters.progressionMethod = 1;
    ctx.parameters.progressionFamily = 3;
    for (int i = 0; i < 200; ++i) {
        const auto closing = PickCadence(ctx, "GMPs", 3);
        ASSERT_EQ(closing.size(), 3u);
        EXPECT_EQ(closing[0], ChordCode("CMPS"));  // Cm7 scores 5, below family 3's 7
        EXPECT_GE(DiatonicScore(ctx, closing[1]), 7);
    }
    // After a plain triad the closing starts again from the tonic (Cmaj7), then moves on.
    const auto fromTriad = PickCadence(ctx, "CMPd", 2);
    EXPECT_EQ(fromTriad[0], TonicCode(ctx));
    EXPECT_TRUE(fromTriad[1] == ChordCode("DmPs") || fromTriad[1] == ChordCode("FMPS") ||
                fromTriad[1] == ChordCode("DMPs")) << fromTriad[1].str();
}

TEST_F(Chords, SlashBassesAndPassingChords) {
    std::map<std::string, int> basses;
    for (int i = 0; i < 4000; ++i) ++basses[ChooseBassText(ctx, "CMPS")];
    EXPECT_EQ(basses, (std::map<std::string, int>{{"00", 4000}}));
    ctx.parameters.slashBass = 1;
    basses.clear();
    for (int i = 0; i < 12000; ++i) ++basses[ChooseBassText(ctx, "AmPs")];
    EXPECT_EQ(basses.size(), 4u);  // 00, 07, 03, 10
    EXPECT_NEAR(basses["00"] / 12000.0, 0.75, 0.02);
    EXPECT_NEAR(basses["10"] / 12000.0, 1.0 / 12, 0.015);

    std::set<std::string> passing;
    for (int i = 0; i < 100; ++i) passing.insert(PassingChord(ctx, "CMPs").str());
    EXPECT_EQ(passing, (std::set<std::string>{"dMPs", "BMPs"}));
}

}  // namespace
}  // namespace tunecase
