#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "compose/compose_errors.h"
#include "compose/knowledge_files.h"
#include "compose_test_util.h"
#include "styles/composition_parameters.h"
#include "styles/knowledge_names.h"
#include "support/test_support.h"

namespace tunecase {
namespace {

using testing::EngineTest;

std::vector<std::string> allRecords(std::string_view text) {
    std::vector<std::string> out;
    size_t pos = 0;
    std::string r;
    while (ReadRecord(text, pos, r)) out.push_back(r);
    EXPECT_EQ(pos, text.size());
    return out;
}

TEST(RecordSyntax, LineBreaksAndSpacesAreSkippedOtherBytesKeptAndTrailingTextIsNoRecord) {
    const std::string text = "CM PS\r\nFMPS 080|\n|a\tb|\x01x|tail without bar";
    EXPECT_EQ(allRecords(text), (std::vector<std::string>{"CMPSFMPS080", "", "a\tb", "\x01x"}));
    EXPECT_TRUE(allRecords("").empty());
    EXPECT_TRUE(allRecords(" \r\n ").empty());
    EXPECT_EQ(RecordNumber("042"), 42);
    EXPECT_EQ(RecordNumber("-7x"), -7);
    EXPECT_EQ(RecordNumber("x7"), 0);
    EXPECT_EQ(RecordNumber("99999999999999999999"), 2147483647);
    EXPECT_EQ(PatternWeight("CMPSFMPS080"), 80);
    EXPECT_EQ(PatternWeight("CMPSFMPS"), 0);
}

TEST_F(EngineTest, SkippingPastTheEndReportsOnce) {
    size_t pos = 0;
    EXPECT_EQ(SkipRecords("a|b|", 2, pos), 1);
    EXPECT_EQ(pos, 4u);
    pos = 0;
    EXPECT_EQ(SkipRecords("a|b|c", 3, pos), 0);
    ASSERT_EQ(boxes->visibleTexts(), std::vector<std::string>{"ZEMCFF01003E can't read database file!"});
}

TEST_F(EngineTest, PickChartDrawsEveryChartEvenlyAndReportsCountsItCannotKeep) {
    std::map<std::string, int> seen;
    std::string chart;
    for (int i = 0; i < 3000; ++i) {
        ASSERT_TRUE(PickChart(ctx, "3|\r\n384384|192192384|096096192384|", chart));
        ++seen[chart];
    }
    ASSERT_EQ(seen.size(), 3u);
    for (const auto& [c, n] : seen) EXPECT_NEAR(n, 1000, 150) << c;
    EXPECT_EQ(boxes->count(), 0u);

    // A count of zero, no count at all, or more charts claimed than held.
    EXPECT_FALSE(PickChart(ctx, "0|384|", chart));
    EXPECT_FALSE(PickChart(ctx, "", chart));
    int failures = 0;
    for (int i = 0; i < 200; ++i) failures += PickChart(ctx, "4|384|", chart) ? 0 : 1;
    EXPECT_GT(failures, 100);
    EXPECT_EQ(boxes->count(), 2u + failures);

    // The parsed list draws the same way as the text.
    const ChartList list = ReadChartList("3|\r\n384384|192192384|096096192384|");
    ctx.Seed(5);
    std::vector<std::string> a, b;
    for (int i = 0; i < 20; ++i) a.push_back((PickChart(ctx, "3|\r\n384384|192192384|096096192384|", chart), chart));
    ctx.Seed(5);
    for (int i = 0; i < 20; ++i) b.push_back((list.Pick(ctx, chart), chart));
    EXPECT_EQ(a, b);
}

TEST_F(EngineTest, WeightUnitIsTheLargestWeightOverEightAndLevelsRiseWithIt) {
    SetKnowledgeText(ctx, KnowledgeFile::Pattern, "CMPSFMPS079|CMPSGMPs080|CMPSAmPs005|");
    EXPECT_EQ(WeightUnit(ctx), 10);
    EXPECT_EQ(SuccessionLevel(ctx, 79), 8);
    EXPECT_EQ(SuccessionLevel(ctx, 80), 9);
    EXPECT_EQ(SuccessionLevel(ctx, 5), 1);
    EXPECT_EQ(SuccessionLevel(ctx, 0), 1);
    // Without a weight of 8 the unit is 0 and levels still stay within 1..9.
    SetKnowledgeText(ctx, KnowledgeFile::Pattern, "CMPSFMPS007|");
    EXPECT_EQ(WeightUnit(ctx), 0);
    EXPECT_EQ(SuccessionLevel(ctx, 7), 8);
    EXPECT_EQ(SuccessionLevel(ctx, 500), 9);
}

TEST_F(EngineTest, AMissingPatternFileStopsTheLoadWithBothBoxes) {
    testing::TempFolder dir;
    ctx.knowledge.folder = dir.path().string();
    EXPECT_EQ(LoadKnowledge(ctx), 0);
    const std::string path = dir.file("PATTERN.DB");
    EXPECT_EQ(boxes->visibleTexts(),
              (std::vector<std::string>{"ZEMCFF010035 error in pattern file!",
                                        path + " is not found in program folder! You might install ZEM agein."}));
}

TEST_F(EngineTest, OtherMissingFilesAreReportedInLoadOrderAndLeaveEmptyText) {
    testing::TempFolder dir;
    testing::writeFileText(dir.file("PATTERN.DB"), "CMPSFMPS080|");
    ctx.knowledge.folder = dir.path().string();
    SetKnowledgeText(ctx, KnowledgeFile::Cadence, "1|GMPsCMPS|");  // stale text must not survive
    EXPECT_EQ(LoadKnowledge(ctx), 1);
    EXPECT_EQ(boxes->visibleTexts(), (std::vector<std::string>{"ZEMCFF010036 error in cadence file!",
                                                                "ZEMCFF010038 error in time chart file!",
                                                                "ZEMCFF010037 error in cadence time chart file!"}));
    EXPECT_EQ(PatternText(ctx), "CMPSFMPS080|");
    EXPECT_EQ(CadenceText(ctx), "");
    EXPECT_EQ(WeightUnit(ctx), 10);
}

TEST_F(EngineTest, AnAbsolutePatternNameIsUsedAsItIsAndChartNamesFollowTheStyle) {
    testing::TempFolder own, program;
    testing::writeFileText(own.file("MINE.DB"), "AmPsDmPs080|");
    testing::writeFileText(program.file("MINE.DB"), "wrong|");
    testing::writeFileText(program.file("RESOLUT.DB"), "1|EMPsAmPs|");
    testing::writeFileText(program.file("TIMECHT3.DB"), "1|288288|");
    testing::writeFileText(program.file("RESTIME3.DB"), "1|576576|");
    CompositionParameters style = ctx.parameters;
    setField(style.patternFileName, own.file("MINE.DB").c_str());
    style.knowledgeSet = 2;
    style.timeSignature = 1;
    style.progressionFamily = 3;
    applyStyle(style, ctx.parameters, ctx.knowledgeNames);
    ctx.knowledge.folder = program.path().string();
    ASSERT_EQ(LoadKnowledge(ctx), 1);
    EXPECT_EQ(boxes->count(), 0u);
    EXPECT_EQ(PatternText(ctx), "AmPsDmPs080|");
    EXPECT_EQ(TimeChartText(ctx), "1|288288|");
    EXPECT_EQ(CadenceTimeChartText(ctx), "1|576576|");
    EXPECT_STREQ(ctx.knowledgeNames.tonic, "AmPs");
}

TEST_F(EngineTest, AFileLongerThanTheBufferIsCutAndTheRecordAcrossTheCutIsLost) {
    // 1,365 whole records of 12 bytes fill 16,380 bytes; the next one straddles the cut.
    std::string text;
    for (int i = 0; i < 1400; ++i) text += i % 2 ? "CMPSFMPS040|" : "CMPSGMPs080|";
    testing::TempFolder dir;
    testing::writeFileText(dir.file("PATTERN.DB"), text);
    ctx.knowledge.folder = dir.path().string();
    LoadKnowledge(ctx);
    EXPECT_EQ(PatternText(ctx).size(), kKnowledgeBytes);
    EXPECT_EQ(allRecords(PatternText(ctx)).size(), 1365u);

    // Bytes after a NUL are not text.
    SetKnowledgeText(ctx, KnowledgeFile::TimeChart, std::string("1|384|\0" "2|", 9));
    EXPECT_EQ(TimeChartText(ctx), "1|384|");
}

}  // namespace
}  // namespace tunecase
