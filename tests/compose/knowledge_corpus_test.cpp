// Walks the knowledge files shipped in the program folder and checks what the engine
// relies on: valid chord codes, usable weights, successors for every chord a progression
// can reach, closing progressions on the tonic in every length the closing charts ask
// for, and charts that fill their meter.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "compose/chords.h"
#include "compose/knowledge_files.h"
#include "compose_test_util.h"
#include "styles/composition_parameters.h"
#include "styles/knowledge_names.h"
#include "support/test_support.h"

namespace tunecase {
namespace {

using testing::EngineTest;
using ShippedKnowledge = EngineTest;

std::string shipped(const std::string& name) {
    const auto bytes = testing::readFileBytes(testing::programDataFolder() + "/" + name);
    EXPECT_FALSE(bytes.empty()) << name;
    EXPECT_LE(bytes.size(), kKnowledgeBytes) << name;
    return std::string(bytes.begin(), bytes.end());
}

// Every record of a file; the text after the last "|" must be only blanks.
std::vector<std::string> records(const std::string& name) {
    const std::string text = shipped(name);
    std::vector<std::string> out;
    size_t pos = 0;
    std::string r;
    while (ReadRecord(text, pos, r)) out.push_back(r);
    return out;
}

bool validCodes(const std::string& text, size_t from, size_t to) {
    for (size_t i = from; i + 4 <= to; i += 4)
        if (!IsValidChordCode(ChordCode(text.substr(i, 4))) || ChordCode(text.substr(i, 4)).isNoChord()) return false;
    return true;
}

struct PatternFile {
    const char* name;
    std::vector<const char*> tonics;  // every tonic a style can pair with the file
};
const PatternFile kPatternFiles[] = {
    {"PATTERN.DB", {"CMPS", "AmPs", "CMPs"}},
    {"PATTERN.DB2", {"AmPs", "CMPS", "CMPs"}},
    {"PATTERN.DBB", {"CMPs"}},
};

TEST_F(ShippedKnowledge, PatternFilesNameValidChordsWithUsableWeightsAndNoDeadEnds) {
    for (const PatternFile& file : kPatternFiles) {
        SCOPED_TRACE(file.name);
        const auto recs = records(file.name);
        SetKnowledgeText(ctx, KnowledgeFile::Pattern, shipped(file.name));
        ASSERT_GE(WeightUnit(ctx), 1);
        std::map<std::string, std::vector<std::pair<std::string, int>>> successors;
        std::set<std::string> pairs;
        for (const std::string& r : recs) {
            ASSERT_EQ(r.size(), 11u) << r;
            ASSERT_TRUE(validCodes(r, 0, 8)) << r;
            for (int i = 8; i < 11; ++i) ASSERT_TRUE(r[i] >= '0' && r[i] <= '9') << r;
            ASSERT_GE(PatternWeight(r), 1) << r;
            ASSERT_TRUE(pairs.insert(r.substr(0, 8)).second) << "listed twice: " << r;
            successors[r.substr(0, 4)].push_back({r.substr(4, 4), SuccessionLevel(ctx, PatternWeight(r))});
        }
        // Everything reachable from a tonic moves on, and some successor clears the
        // strictest family's lowest level (5), so no family is stuck on the tonic.
        std::set<std::string> reached;
        std::vector<std::string> open(file.tonics.begin(), file.tonics.end());
        while (!open.empty()) {
            const std::string code = open.back();
            open.pop_back();
            if (!reached.insert(code).second) continue;
            ASSERT_TRUE(successors.count(code)) << code << " has no successors";
            const auto& next = successors[code];
            ASSERT_LE(next.size(), 30u) << code;
            int best = 0;
            for (const auto& [to, level] : next) {
                best = std::max(best, level);
                open.push_back(to);
            }
            EXPECT_GE(best, 5) << code;
        }
        EXPECT_EQ(reached.size(), successors.size()) << "chords listed that no progression reaches";
    }
}

TEST_F(ShippedKnowledge, ChartsFillTheirMetersExactlyAndRespectBarLines) {
    struct ChartFile {
        const char* name;
        int bar;
        std::set<int> durations;
    };
    const ChartFile files[] = {
        {"TIMECHT.DB", 384, {96, 192, 384, 768}},  {"TIMECHT.DB2", 384, {96, 192, 384, 768}},
        {"TIMECHT3.DB", 288, {288, 576}},          {"TIMECHT7.DB", 336, {336}},
        {"RESTIME.DB", 384, {96, 192, 384, 768}},  {"RESTIME.DB2", 384, {96, 192, 384, 768}},
        {"RESTIME3.DB", 288, {288, 576}},          {"RESTIME7.DB", 336, {336}},
    };
    for (const ChartFile& f : files) {
        SCOPED_TRACE(f.name);
        const auto recs = records(f.name);
        ASSERT_GE(recs.size(), 2u);
        EXPECT_EQ(RecordNumber(recs[0]), static_cast<int>(recs.size()) - 1);
        for (size_t i = 1; i < recs.size(); ++i) {
            const std::string& chart = recs[i];
            ASSERT_EQ(chart.size() % 3, 0u) << chart;
            ASSERT_LE(chart.size() / 3, 255u);
            int at = 0;
            for (size_t j = 0; j < chart.size(); j += 3) {
                const int d = RecordNumber(chart.substr(j, 3));
                ASSERT_TRUE(f.durations.count(d)) << chart;
                // A chord lies inside one bar, or starts on a bar line and lasts whole bars.
                ASSERT_TRUE(at % f.bar + d <= f.bar || (at % f.bar == 0 && d % f.bar == 0)) << chart;
                at += d;
            }
            EXPECT_EQ(at % f.bar, 0) << chart;
        }
    }
}

TEST_F(ShippedKnowledge, ClosingProgressionsEndOnTheTonicInEveryLengthTheClosingChartsUse) {
    std::set<size_t> lengths;
    for (const char* name : {"RESTIME.DB", "RESTIME.DB2", "RESTIME3.DB", "RESTIME7.DB"}) {
        const auto recs = records(name);
        for (size_t i = 1; i < recs.size(); ++i) lengths.insert(recs[i].size() / 3);
    }
    ASSERT_FALSE(lengths.empty());
    const std::pair<const char*, const char*> files[] = {
        {"RESOLUT.DB", "CMPS"}, {"RESOLUT.DB2", "AmPs"}, {"RESOLUT.DBB", "CMPs"}};
    for (auto [name, tonic] : files) {
        SCOPED_TRACE(name);
        const auto recs = records(name);
        EXPECT_EQ(RecordNumber(recs[0]), static_cast<int>(recs.size()) - 1);
        std::map<size_t, std::set<std::string>> openings;
        for (size_t i = 1; i < recs.size(); ++i) {
            const std::string& p = recs[i];
            ASSERT_EQ(p.size() % 4, 0u) << p;
            ASSERT_TRUE(validCodes(p, 0, p.size())) << p;
            EXPECT_EQ(p.substr(p.size() - 4), tonic) << p;
            openings[p.size() / 4].insert(p.substr(0, 4));
        }
        // At least two different first chords, so the rule against repeating the chord
        // before the closing block always has a choice.
        for (size_t n : lengths) EXPECT_GE(openings[n].size(), 2u) << n << " chords";
    }
}

TEST_F(ShippedKnowledge, EveryStyleCombinationLoadsQuietlyAndItsProgressionsFollowTheFiles) {
    for (const char* pattern : {"PATTERN.DB", "PATTERN.DB2", "PATTERN.DBB"})
        for (int set : {1, 2})
            for (int family : {1, 2, 3, 4, 6, 7})
                for (int meter : {0, 1, 2}) {
                    CompositionParameters style = ctx.parameters;
                    setField(style.patternFileName, pattern);
                    std::string closing = pattern;
                    closing.replace(0, 7, "RESOLUT");
                    setField(style.resolutionFileName, closing.c_str());
                    style.knowledgeSet = set;
                    style.progressionFamily = family;
                    style.timeSignature = meter;
                    applyStyle(style, ctx.parameters, ctx.knowledgeNames);
                    ASSERT_EQ(LoadKnowledge(ctx), 1);
                    ASSERT_EQ(boxes->count(), 0u) << pattern << set << family << meter;

                    std::map<std::string, std::set<std::string>> allowed;
                    const std::string text(PatternText(ctx));
                    size_t pos = 0;
                    std::string r;
                    while (ReadRecord(text, pos, r)) allowed[r.substr(0, 4)].insert(r.substr(4, 4));
                    ChordCode chord = TonicCode(ctx);
                    for (int step = 0; step < 60; ++step) {
                        const ChordCode before = chord;
                        NextChord(ctx, chord);
                        ASSERT_TRUE(chord == TonicCode(ctx) || allowed[before.str()].count(chord.str()))
                            << before.str() << " -> " << chord.str();
                        MakeChord(ctx, 384, chord);
                    }
                    std::string chart;
                    ASSERT_TRUE(PickChart(ctx, TimeChartText(ctx), chart));
                    ASSERT_TRUE(PickChart(ctx, CadenceTimeChartText(ctx), chart));
                    const auto cadence = PickCadence(ctx, chord, static_cast<int>(chart.size() / 3));
                    const char* fileTonic = closing == "RESOLUT.DB" ? "CMPS" : closing == "RESOLUT.DB2" ? "AmPs" : "CMPs";
                    EXPECT_EQ(cadence.back(), ChordCode(fileTonic)) << closing;
                    ASSERT_EQ(boxes->count(), 0u);
                }
}

}  // namespace
}  // namespace tunecase
