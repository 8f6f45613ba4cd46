#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "base/seeded_random.h"
#include "styles/composition_parameters.h"
#include "styles/knowledge_names.h"

namespace tunecase {
namespace {

CompositionParameters finishedDefaults() {
    SeededRandom random(7);
    CompositionParameters p;
    initParameters(p, random);
    finishStyle(p);
    return p;
}

TEST(MeasureTable, DefaultsGiveFortyBarsOfFourFourWithAlternatingChordsAndAnEndMark) {
    const CompositionParameters p = finishedDefaults();
    ASSERT_EQ(measureEntryCount(p), 40);
    for (int i = 0; i < 40; ++i) {
        EXPECT_EQ(measureEntryTicks(p, i), 384);
        EXPECT_EQ(measureEntryChord(p, i), (i / 4) % 2 ? "GMPs" : "CMPS") << i;
    }
    EXPECT_EQ(p.measureTable[240], 0);
    EXPECT_EQ(p.measureTable[241], 0);
    EXPECT_EQ(p.measureTable[0], 1);    // 384 = 1 * 256 + 128, big-endian
    EXPECT_EQ(p.measureTable[1], 128);
}

TEST(MeasureTable, MeterSetsTheBarLengthAndAnOverlongTuneStillEndsInsideTheTable) {
    CompositionParameters p = finishedDefaults();
    p.timeSignature = 1;
    p.measureCount = 3;
    finishStyle(p);
    EXPECT_EQ(measureEntryCount(p), 3);
    EXPECT_EQ(measureEntryTicks(p, 2), 288);
    p.timeSignature = 2;
    finishStyle(p);
    EXPECT_EQ(measureEntryTicks(p, 0), 336);

    // More measures than the table holds: the table is filled and closed, the fields after
    // it are untouched.
    p.measureCount = 5000;
    p.partRules[0][0] = 0x12345678;
    finishStyle(p);
    EXPECT_EQ(measureEntryCount(p), kMaxMeasureEntries);
    const int end = kMaxMeasureEntries * kMeasureEntryBytes;
    EXPECT_EQ(p.measureTable[end], 0);
    EXPECT_EQ(p.measureTable[end + 1], 0);
    EXPECT_EQ(p.partRules[0][0], 0x12345678);
}

TEST(Defaults, FinishStyleGivesPartFourTheMelodyRulesOnlyInDerivedModeSix) {
    CompositionParameters p = finishedDefaults();
    EXPECT_EQ(std::memcmp(p.partRules[5], p.partRules[1], sizeof p.partRules[1]), 0);
    p.partRules[1][rule::Consonance] = 9;
    p.derivedPartMode = 8;
    finishStyle(p);
    EXPECT_EQ(p.partRules[4][rule::Consonance], 0);
    p.derivedPartMode = 6;
    finishStyle(p);
    EXPECT_EQ(p.partRules[4][rule::Consonance], 9);
}

TEST(RhythmMotif, EveryBeatIsFilledExactlyAndTheSeedFixesTheMotif) {
    for (unsigned seed = 1; seed <= 200; ++seed) {
        SeededRandom random(seed);
        uint8_t motif[96];
        makeRhythmMotif(motif, random);
        int step = 0;
        while (step < 96) {
            ASSERT_GE(motif[step], 1) << "seed " << seed << " step " << step;
            const int end = step + motif[step];
            ASSERT_LE(end, 96);
            // A note never crosses a beat unless it is a half note on beat 1 or 3.
            if (motif[step] == 8) ASSERT_EQ(step % 8, 0);
            else ASSERT_LE(step % 4 + motif[step], 4);
            for (int s = step + 1; s < end; ++s) ASSERT_EQ(motif[s], 0);
            step = end;
        }
    }
    uint8_t a[96], b[96];
    SeededRandom first(99), second(99);
    makeRhythmMotif(a, first);
    makeRhythmMotif(b, second);
    EXPECT_EQ(std::memcmp(a, b, 96), 0);
}

TEST(ScalePattern, ScaleElevenUsesTheCustomPatternTransposedToTheKey) {
    CompositionParameters p = finishedDefaults();
    p.scale = 11;
    p.key = 2;
    EXPECT_EQ(scalePatternOf(p), "xxxx099090990909");
}

TEST(ScalePattern, UnknownScalesUseScaleOneOfTheSelectedColumn) {
    CompositionParameters p = finishedDefaults();
    for (int scale : {0, 23, 99, -1}) {
        p.scale = scale;
        p.knowledgeSet = 1;
        EXPECT_EQ(scalePatternOf(p), "xxxx919299192929");
        p.knowledgeSet = 2;
        EXPECT_EQ(scalePatternOf(p), "xxxx919295555929");
    }
    p.scale = 22;
    EXPECT_EQ(scalePatternOf(p), "xxxx909099009990");
    p.knowledgeSet = 1;
    EXPECT_EQ(scalePatternOf(p), "xxxx990909090909");
}

TEST(ScalePattern, TranspositionMovesEveryDigitUpByTheKeyForAnyKey) {
    CompositionParameters p = finishedDefaults();
    for (int scale = 0; scale <= 26; ++scale) {
        p.scale = scale;
        p.key = 0;
        const std::string plain = scalePatternOf(p);
        for (int key = -13; key <= 25; ++key) {
            p.key = key;
            const std::string moved = scalePatternOf(p);
            ASSERT_EQ(moved.size(), 16u);
            const int k = ((key % 12) + 12) % 12;
            for (int pc = 0; pc < 12; ++pc)
                ASSERT_EQ(moved[4 + (pc + k) % 12], plain[4 + pc]) << scale << " key " << key;
        }
    }
}

TEST(PaceClass, BoundariesOfEveryClass) {
    const std::pair<int, int> cases[] = {{-5, 8}, {29, 8}, {30, 7}, {49, 7}, {50, 6}, {70, 5},
                                         {89, 5}, {90, 4}, {100, 4}, {110, 3}, {130, 2}, {150, 1},
                                         {169, 1}, {170, 4}, {175, 4}};
    for (auto [pace, cls] : cases) EXPECT_EQ(paceClass(pace), cls) << pace;
}

TEST(KnowledgeNames, ApplyingAStyleChoosesChartFilesAndTonicFromSetFamilyMeterAndPatternFile) {
    struct Case {
        int set, family, meter;
        const char* pattern;
        const char* chart;
        const char* closing;
        const char* tonic;
        int setAfter;
    };
    const Case cases[] = {
        {1, 3, 0, "PATTERN.DB", "TIMECHT.DB", "RESTIME.DB", "CMPS", 1},
        {2, 3, 0, "PATTERN.DB2", "TIMECHT.DB2", "RESTIME.DB2", "AmPs", 2},
        {2, 3, 1, "PATTERN.DB2", "TIMECHT3.DB", "RESTIME3.DB", "AmPs", 2},
        {1, 3, 2, "PATTERN.DB", "TIMECHT7.DB", "RESTIME7.DB", "CMPS", 1},
        {2, 6, 0, "PATTERN.DB2", "TIMECHT.DB", "RESTIME.DB", "CMPs", 1},
        {1, 6, 0, "PATTERN.DBB", "TIMECHT.DB", "RESTIME.DB", "CMPs", 1},
        {2, 3, 0, "PATTERN.DBB", "TIMECHT.DB2", "RESTIME.DB2", "CMPs", 2},
        {3, 3, 0, "PATTERN.DB", "TIMECHT.DB2", "RESTIME.DB2", "AmPs", 3},
    };
    for (const Case& c : cases) {
        CompositionParameters style = finishedDefaults();
        style.knowledgeSet = c.set;
        style.progressionFamily = c.family;
        style.timeSignature = c.meter;
        setField(style.patternFileName, c.pattern);
        style.name[0] = 'x';
        CompositionParameters current{};
        KnowledgeNames names;
        names.timeChartFile = "left over";
        applyStyle(style, current, names);
        EXPECT_EQ(names.timeChartFile, c.chart) << c.set << c.family << c.meter << c.pattern;
        EXPECT_EQ(names.cadenceTimeChartFile, c.closing);
        EXPECT_STREQ(names.tonic, c.tonic);
        EXPECT_EQ(current.knowledgeSet, c.setAfter);
        EXPECT_EQ(current.name[0], 'x');
    }
}

}  // namespace
}  // namespace tunecase
