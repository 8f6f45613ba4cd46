#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "compose/chords.h"
#include "compose/compose_context.h"
#include "compose/compose_information.h"
#include "compose/form.h"
#include "compose/knowledge_files.h"
#include "compose/time_chart.h"
#include "compose_test_util.h"
#include "styles/composition_parameters.h"
#include "styles/knowledge_names.h"

namespace tunecase {
namespace {

class Form : public testing::EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        ctx.parameters.progressionFamily = 3;
    }

    // "CODE:duration" for every chord of a block.
    std::vector<std::string> blockShape(int block) {
        std::vector<std::string> out;
        for (const ComposeEntry& e : ctx.information.blockChords[static_cast<size_t>(block)])
            out.push_back(e.chord.str() + ":" + std::to_string(e.length));
        return out;
    }

    std::vector<int32_t> decoded(std::string_view record) {
        std::vector<int32_t> d;
        DecodeTimeChart(ctx, record, d);
        return d;
    }
};

TEST_F(Form, ChartRecordsDecodeThreeDigitsAtATimeAndAreCheckedAgainstTheMeter) {
    EXPECT_EQ(decoded("384192192"), (std::vector<int32_t>{384, 192, 192}));
    EXPECT_EQ(decoded("096096"), (std::vector<int32_t>{96, 96}));
    EXPECT_EQ(boxes->count(), 0u);
    EXPECT_EQ(decoded("384000192"), (std::vector<int32_t>{384}));
    std::string long_;
    for (int i = 0; i < 256; ++i) long_ += "096";
    EXPECT_EQ(decoded(long_).size(), 255u);

    ctx.parameters.timeSignature = 1;
    EXPECT_EQ(decoded("288576"), (std::vector<int32_t>{288, 576}));
    EXPECT_EQ(decoded("288384384"), (std::vector<int32_t>{288, 384, 384}));  // kept, reported once
    ctx.parameters.timeSignature = 2;
    EXPECT_EQ(decoded("336336").size(), 2u);
    decoded("336288");
    EXPECT_EQ(boxes->visibleTexts(),
              (std::vector<std::string>{"ZEMCFF01003A can not create time chart!",
                                        "ZEMCFF01003D failed to create time chart length!",
                                        "ZEMCFF01003B can not create 3/4!", "ZEMCFF01003C can not create 7/8!"}));
}

TEST_F(Form, BlockCountsOfTheFixedForms) {
    ctx.parameters.progressionFamily = 7;
    EXPECT_EQ(ChooseBlockCount(ctx), 3);
    EXPECT_EQ(BuildForm(ctx, 3), (std::vector<int>{1, 1, 2, 2, 3, 3}));

    ctx.parameters.progressionFamily = 3;
    ctx.parameters.oneChordPerMeasure = 1;
    ctx.parameters.chartKind = 4;
    ctx.parameters.measureCount = 34;
    EXPECT_EQ(ChooseBlockCount(ctx), 4);  // (34 - 2) / 4 / 2
    EXPECT_EQ(BuildForm(ctx, 4), (std::vector<int>{1, 1, 2, 2, 3, 3, 4, 4}));

    ctx.parameters.chartKind = 0;
    ctx.parameters.measureCount = 26;
    std::set<int> counts;
    for (int seed = 1; seed <= 50; ++seed) {
        ctx.Seed(seed);
        counts.insert(ChooseBlockCount(ctx));
    }
    EXPECT_EQ(counts, (std::set<int>{4, 6}));  // 24 / 4, 24 / 5, 24 / 6
    EXPECT_EQ(boxes->count(), 0u);

    ctx.parameters.measureCount = 5;
    ctx.parameters.chartKind = 4;
    EXPECT_EQ(ChooseBlockCount(ctx), 1);  // nothing left for regular blocks: the closing block alone
    ctx.parameters.chartKind = 2;
    EXPECT_EQ(ChooseBlockCount(ctx), 1);
    EXPECT_EQ(boxes->visibleTexts(),
              (std::vector<std::string>{"ZEMCFF0101C8 Invalid chord pattern!", "ZEMCFF0101C7 Invalid chord block length!",
                                        "ZEMCFF0101C8 Invalid chord pattern!"}));
}

TEST_F(Form, SongsFromTheShippedKnowledgeHaveBlocksInOrderEachPlayedAFewTimes) {
    for (int target : {24, 40}) {
        ctx.parameters.measureCount = target;
        ASSERT_EQ(LoadKnowledge(ctx), 1);
        std::map<int, int> counts;
        for (int seed = 1; seed <= 400; ++seed) {
            ctx.Seed(seed);
            ResetComposition(ctx);
            BuildFormAndCharts(ctx);
            const ComposeInformation& ci = ctx.information;
            ++counts[ci.blockCount];
            ASSERT_TRUE(ci.blockCount >= 2 && ci.blockCount <= (target > 30 ? 13 : 12));
            const int mostPlays = target > 30 ? 4 : 3;
            ASSERT_EQ(ci.form.front(), 1);
            int plays = 0;
            for (size_t i = 0; i < ci.form.size(); ++i) {
                const int previous = i ? ci.form[i - 1] : 1;
                ASSERT_TRUE(ci.form[i] == previous || ci.form[i] == previous + 1);
                plays = ci.form[i] == previous && i ? plays + 1 : 1;
                ASSERT_LE(plays, mostPlays);
            }
            ASSERT_EQ(ci.form.back(), ci.blockCount);
            for (int b = 0; b < ci.blockCount; ++b) {
                const EventList& chords = ci.blockChords[static_cast<size_t>(b)];
                ASSERT_FALSE(chords.empty()) << "seed " << seed << " block " << b;
                for (const ComposeEntry& e : chords) {
                    ASSERT_TRUE(IsValidChordCode(e.chord)) << e.chord.str();
                    ASSERT_TRUE(e.length > 0 && e.length % 96 == 0) << e.length;
                }
            }
            // The closing block ends on the tonic in the shipped cadences.
            ASSERT_EQ(ci.blockChords[static_cast<size_t>(ci.blockCount - 1)].back().chord, TonicCode(ctx));
        }
        if (target == 24) EXPECT_GT(counts[4], counts[5]);  // two of the fourteen draws give 4
    }
    EXPECT_EQ(boxes->count(), 0u);
}

TEST_F(Form, FamilySevenPlaysTheTonicForTwoMeasuresPerChord) {
    ctx.parameters.progressionFamily = 7;
    ASSERT_EQ(LoadKnowledge(ctx), 1);
    for (int seed = 1; seed <= 30; ++seed) {
        ctx.Seed(seed);
        ResetComposition(ctx);
        BuildFormAndCharts(ctx);
        ASSERT_EQ(ctx.information.blockCount, 3);
        ASSERT_EQ(ctx.information.form, (std::vector<int>{1, 1, 2, 2, 3, 3}));
        for (int b : {0, 1})
            for (const std::string& chord : blockShape(b)) ASSERT_EQ(chord, "CMPS:768");
    }
}

TEST_F(Form, ADominantSeventhMaySplitIntoItsSuspendedFourth) {
    SetKnowledgeText(ctx, KnowledgeFile::Pattern, "CMPSGMPs099|GMPsCMPS099|");
    std::set<std::vector<std::string>> shapes;
    for (int seed = 1; seed <= 60; ++seed) {
        ctx.Seed(seed);
        WalkBlockChart(ctx, 0, {384, 384, 384});
        shapes.insert(blockShape(0));
    }
    // The split takes the places of its own duration and the next one.
    EXPECT_EQ(shapes, (std::set<std::vector<std::string>>{{"CMPS:384", "GMPs:384", "CMPS:384"},
                                                          {"CMPS:384", "G4Ps:192", "GMPs:192"}}));
    ctx.parameters.progressionFamily = 6;
    shapes.clear();
    for (int seed = 1; seed <= 30; ++seed) {
        ctx.Seed(seed);
        WalkBlockChart(ctx, 0, {384, 384, 384});
        shapes.insert(blockShape(0));
    }
    EXPECT_EQ(shapes.size(), 1u);
}

TEST_F(Form, GeneratedProgressionsGetChromaticPassingChords) {
    ctx.parameters.progressionMethod = 1;
    int passing = 0;
    for (int seed = 1; seed <= 200; ++seed) {
        ctx.Seed(seed);
        WalkBlockChart(ctx, 0, {384, 192, 384});
        const EventList& chords = ctx.information.blockChords[0];
        ASSERT_GE(chords.size(), 3u);
        if (chords.size() == 3 && chords[1].length == 192) {
            const ChordCode a = chords[1].chord, b = chords[2].chord;
            const int step = ((RootPitchClass(a) - RootPitchClass(b)) % 12 + 12) % 12;
            if ((step == 1 || step == 11) && a.third() == b.third() && a.fifth() == b.fifth() &&
                a.seventh() == b.seventh())
                ++passing;
        }
    }
    EXPECT_GT(passing, 15);  // one in four blocks, give or take
}

TEST_F(Form, TheClosingBlockAvoidsRepeatingTheChordBeforeIt) {
    SetKnowledgeText(ctx, KnowledgeFile::Pattern, "CMPSGMPs099|GMPsCMPS099|");
    SetKnowledgeText(ctx, KnowledgeFile::TimeChart, "1|384384|");
    SetKnowledgeText(ctx, KnowledgeFile::Cadence, "2|GMPsCMPS|FMPSCMPS|");
    SetKnowledgeText(ctx, KnowledgeFile::CadenceTimeChart, "1|768384|");
    for (int seed = 1; seed <= 30; ++seed) {
        ctx.Seed(seed);
        ResetComposition(ctx);
        BuildFormAndCharts(ctx);
        const int last = ctx.information.blockCount - 1;
        EXPECT_EQ(blockShape(last), (std::vector<std::string>{"FMPS:768", "CMPS:384"}));
        EXPECT_EQ(ctx.information.timeCharts[static_cast<size_t>(last)], (std::vector<int32_t>{768, 384}));
    }
    // Without chart files every block still gets a generated chart.
    SetKnowledgeText(ctx, KnowledgeFile::TimeChart, "");
    SetKnowledgeText(ctx, KnowledgeFile::CadenceTimeChart, "");
    ResetComposition(ctx);
    BuildFormAndCharts(ctx);
    for (int b = 0; b < ctx.information.blockCount; ++b) EXPECT_FALSE(blockShape(b).empty());
}

}  // namespace
}  // namespace tunecase
