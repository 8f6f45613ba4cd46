#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "compose/compose_context.h"
#include "compose/compose_information.h"
#include "compose_test_util.h"
#include "styles/composition_parameters.h"

namespace tunecase {
namespace {

class Information : public testing::EngineTest {
protected:
    // Two blocks of two chords each, played 1, 1, 2.
    void twoBlocks() {
        ComposeInformation& ci = ctx.information;
        ci.blockCount = 2;
        ci.form = {1, 1, 2};
        ci.blockChords[0].AddChord(384, "CMPS", "00");
        ci.blockChords[0].AddChord(192, "GMPs", "07");
        ci.blockChords[1].AddChord(192, "FMPS", "00");
        ci.blockChords[1].AddChord(576, "CMPS", "00");
    }

    std::vector<std::string> marks() {
        std::vector<std::string> out;
        for (const ComposeEntry& e : ctx.information.structureMarks)
            out.push_back(e.markText() + ":" + std::to_string(e.length));
        return out;
    }
};

TEST_F(Information, AnEventListHoldsSixteenThousandEntriesAndSaysSoAtTheLast) {
    EventList list;
    for (size_t i = 0; i + 1 < EventList::kCapacity; ++i) ASSERT_TRUE(list.AddNote(24, 60));
    EXPECT_EQ(boxes->count(), 0u);
    EXPECT_TRUE(list.AddRest(24));
    EXPECT_EQ(list.size(), 16384u);
    EXPECT_FALSE(list.AddNote(24, 61));
    EXPECT_FALSE(list.AddChord(384, "CMPS"));
    EXPECT_EQ(list.size(), 16384u);
    EXPECT_EQ(list.back().value, 0);
    EXPECT_EQ(boxes->visibleTexts(), std::vector<std::string>{"ZEMCFF010134 No more memory for notes!"});
    list.Clear();
    EXPECT_TRUE(list.AddNote(24, 60));
}

TEST_F(Information, TheSongChordSequenceStopsAtAThousandChords) {
    ctx.information.blockCount = 1;
    for (int i = 0; i < 600; ++i) ctx.information.blockChords[0].AddChord(96, "CMPS");
    ctx.information.form = {1, 1};
    const int quarters = BuildSongChords(ctx);
    EXPECT_EQ(ctx.information.songChords.size(), 1000u);
    EXPECT_EQ(quarters, 1000);  // no room left for the closing chord
    EXPECT_EQ(boxes->visibleTexts(), std::vector<std::string>{"The song reached 1000 chords; the chords after that were left out."});
}

TEST_F(Information, SongChordsFollowTheFormAndCloseOnTheTonic) {
    twoBlocks();
    EXPECT_EQ(BuildSongChords(ctx), (384 + 192) * 2 / 96 + (192 + 576) / 96 + 768 / 96);
    std::vector<std::string> codes;
    for (const ChordRecord& c : ctx.information.songChords)
        codes.push_back(c.code.str() + ":" + std::to_string(c.duration));
    EXPECT_EQ(codes, (std::vector<std::string>{"CMPS:384", "GMPs:192", "CMPS:384", "GMPs:192", "FMPS:192",
                                               "CMPS:576", "CMPS:768"}));
    EXPECT_EQ(ctx.information.measureCount, 28 / 4);
    EXPECT_EQ(ctx.information.songChords[1].bassPitch, 67 - 24 + 7);  // the bass text travels along

    ctx.parameters.timeSignature = 1;
    BuildSongChords(ctx);
    EXPECT_EQ(ctx.information.songChords.back().duration, 576);
    EXPECT_EQ(ctx.information.measureCount, ((384 + 192) * 2 + 192 + 576 + 576) / 96 / 3);

    ctx.parameters.progressionMethod = 8;
    BuildSongChords(ctx);
    EXPECT_EQ(ctx.information.songChords.size(), 6u);

    ctx.information.form = {1, 0};
    BuildSongChords(ctx);
    EXPECT_EQ(ctx.information.songChords.size(), 2u);
    EXPECT_EQ(boxes->visibleTexts(), std::vector<std::string>{"ZEMCFF0101C6 Invalid chord progression!"});
}

TEST_F(Information, StructureMarksNameBlocksAndTheirLastChordsThenTwoClosingMeasures) {
    ComposeInformation& ci = ctx.information;
    ci.blockCount = 2;
    ci.form = {1, 1, 2};
    for (size_t b : {0u, 1u}) {
        ci.blockChords[b].AddChord(192, "CMPS");
        ci.blockChords[b].AddChord(192, "GMPs");
    }
    BuildStructureMarks(ctx);
    EXPECT_EQ(marks(), (std::vector<std::string>{"AXXX:192", "AEXX:192", "AXXX:192", "AEXX:192", "BXXX:192",
                                                 "BEXX:192", "BEXX:384", "BEXX:384"}));

    ctx.parameters.timeSignature = 2;
    BuildStructureMarks(ctx);
    EXPECT_EQ(marks().back(), "BEXX:288");

    ctx.engine.arrangementMode = kArrangingMode;
    BuildStructureMarks(ctx);
    EXPECT_EQ(marks().size(), 6u);
    ctx.engine.arrangementMode = 0;

    ci.form = {0, 2};
    BuildStructureMarks(ctx);
    EXPECT_EQ(marks().size(), 4u);
    EXPECT_EQ(boxes->visibleTexts(), std::vector<std::string>{"ZEMCFF0101D0 Error occured in drum pattern!"});
}

}  // namespace
}  // namespace tunecase
