#include "playback/song_preparation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "base/reporter.h"
#include "playback/playback_test_support.h"
#include "support/test_support.h"

namespace tunecase {
namespace {

using testing::songOf;
using testing::TestNote;

// A note every `spacing` ticks on channel 0, starting at 0.
std::vector<TestNote> evenNotes(int count, int spacing, int channel = 0) {
    std::vector<TestNote> notes;
    for (int i = 0; i < count; ++i) notes.push_back({channel, int64_t{i} * spacing, 60 + i % 12, 100, 10});
    return notes;
}

int notesLeft(const MidiF0Data& song) {
    int n = 0;
    for (const auto& e : song.track()->events()) n += e->status == ev::Note;
    return n;
}

TEST(ChannelDeletion, ThresholdsAtDivision480) {
    struct Case {
        int spacing;
        bool deleteShort, deleteLong;
        bool deleted;
    };
    const Case cases[] = {
        {50, true, true, true},      // 50 < 480 / 8
        {50, false, true, false},    // the short rule is off
        {60, true, true, false},     // exactly 60 survives
        {1500, true, true, true},    // 1500 > 3 * 480
        {1500, true, false, false},  // the long rule is off
        {1440, true, true, false},   // exactly 1440 survives
    };
    for (const auto& c : cases) {
        auto song = songOf(480, evenNotes(8, c.spacing));
        uint32_t mask = deleteChannelsBySpacing(*song, c.deleteShort, c.deleteLong);
        EXPECT_EQ((mask & 1u) != 0, c.deleted) << "spacing " << c.spacing;
        EXPECT_EQ(notesLeft(*song), c.deleted ? 0 : 8) << "spacing " << c.spacing;
    }
}

TEST(ChannelDeletion, ChannelsAreMeasuredOneAfterAnotherOnTheTrackAsItStands) {
    // Channel 0 plays every 30 ticks (dense); channel 1 every 240 ticks but always 30 ticks
    // after a channel 0 note. While channel 0 is there, channel 1's onsets are 30 ticks
    // apart from the previous onset; once channel 0 is gone they are 240 apart.
    std::vector<TestNote> notes;
    for (int i = 0; i < 32; ++i) notes.push_back({0, int64_t{i} * 30, 72, 100, 10});
    std::vector<TestNote> merged;
    for (int i = 0; i < 4; ++i) notes.push_back({1, int64_t{i} * 240 + 30 + 1, 48, 100, 100});
    std::sort(notes.begin(), notes.end(), [](const TestNote& a, const TestNote& b) { return a.time < b.time; });
    auto song = songOf(480, notes);
    uint32_t mask = deleteChannelsBySpacing(*song, true, true);
    EXPECT_EQ(mask & 3u, 1u);  // channel 0 dropped, channel 1 kept
    EXPECT_EQ(notesLeft(*song), 4);
}

TEST(SongPreparation, EveryNoteLastsTwoThirdsOfABeatAndAllChannelsMergeOntoZero) {
    auto song = songOf(480, {{0, 0, 60, 100, 100}, {3, 240, 64, 100, 2000}, {9, 480, 67, 90, 1}});
    PreparedSong result;
    PreparationOptions options;
    options.deleteShortNoteChannel = false;
    options.deleteLongNoteChannel = false;
    prepareLoadedSong(*song, options, result);
    ASSERT_TRUE(result.ok);
    int noteOns = 0;
    std::vector<int64_t> times = song->track()->eventTimes();
    std::map<int, int64_t> onAt;
    for (int i = 0; i < song->track()->eventCount(); ++i) {
        const MidiEvent& e = *song->track()->event(i);
        if (e.status == ev::NoteOn || e.status == ev::NoteOff) EXPECT_EQ(e.channel, 0);
        if (e.status == ev::NoteOn) {
            ++noteOns;
            onAt[e.data1] = times[static_cast<size_t>(i)];
        }
        if (e.status == ev::NoteOff) EXPECT_EQ(times[static_cast<size_t>(i)] - onAt[e.data1], 320);
    }
    EXPECT_EQ(noteOns, 3);
    EXPECT_EQ(result.displayLength, 480 + 320);
}

TEST(SongPreparation, FoldingIntoTheSmallPlatesRanges) {
    auto fold = [](int plate, int key, int velocity) {
        auto song = songOf(480, {{0, 0, 72, 100, 100}, {0, 480, key, velocity, 100}});
        PreparedSong result;
        PreparationOptions options;
        options.plateType = plate;
        options.deleteShortNoteChannel = false;
        options.deleteLongNoteChannel = false;
        prepareLoadedSong(*song, options, result);
        EXPECT_TRUE(result.ok);
        for (int i = song->track()->eventCount() - 1; i >= 0; --i) {
            const MidiEvent& e = *song->track()->event(i);
            if (e.status == ev::NoteOn) return std::make_pair(e.data1, e.velocity);
        }
        return std::make_pair(-1, -1);
    };
    EXPECT_EQ(fold(PlateToyPianoSmall, 36, 100), std::make_pair(60, 64));
    EXPECT_EQ(fold(PlateToyPianoSmall, 90, 100), std::make_pair(78, 100));
    EXPECT_EQ(fold(PlateSmallDisk, 59, 100), std::make_pair(71, 80));
    EXPECT_EQ(fold(PlateSmallDisk, 60, 100), std::make_pair(60, 100));
    EXPECT_EQ(fold(PlateSmallDisk, 127, 100), std::make_pair(127, 100));
    EXPECT_EQ(fold(PlateToyPianoLarge, 47, 100), std::make_pair(59, 80));
    EXPECT_EQ(fold(PlateToyPianoLarge, 98, 100), std::make_pair(86, 100));
    EXPECT_EQ(fold(PlateLargeDisk, 20, 100), std::make_pair(20, 100));
}

TEST(SongPreparation, OctaveDoublingsAreThinnedByListOrder) {
    auto chordAfterFirstOnset = [](std::vector<int> keys) {
        std::vector<TestNote> notes{{0, 0, 90, 100, 100}};
        for (int k : keys) notes.push_back({0, 480, k, 100, 100});
        auto song = songOf(480, notes);
        PreparedSong result;
        PreparationOptions options;
        options.deleteShortNoteChannel = false;
        options.deleteLongNoteChannel = false;
        prepareLoadedSong(*song, options, result);
        std::vector<int> left;
        for (const auto& e : song->track()->events())
            if (e->status == ev::NoteOn && e->data1 != 90) left.push_back(e->data1);
        std::sort(left.begin(), left.end());
        return left;
    };
    EXPECT_EQ(chordAfterFirstOnset({84, 72, 76, 60}), (std::vector<int>{60, 76, 84}));
    EXPECT_EQ(chordAfterFirstOnset({60, 72, 76, 84}), (std::vector<int>{60, 72, 76, 84}));
}

TEST(SongPreparation, LeadingSilenceIsCutInWholeMeasures) {
    // First note in bar 3 (bars 1 and 2 empty, plus a little) of a 4/4 song at 480.
    auto song = songOf(480, {{0, 3840 + 100, 60, 100, 100}, {0, 4000, 62, 100, 100}}, 500000, 4, 4);
    EXPECT_EQ(trimLeadingMeasures(*song), 3840);
    EXPECT_EQ(song->track()->timeOf(song->track()->firstNoteIndex()), 100);

    // Without a time signature a measure is 384 ticks whatever the division.
    auto plain = songOf(480, {{0, 1000, 60, 100, 100}});
    EXPECT_EQ(trimLeadingMeasures(*plain), 768);

    // 6/8 at 480: a measure is 1440 ticks.
    auto compound = songOf(480, {{0, 3000, 60, 100, 100}}, 0, 6, 8);
    EXPECT_EQ(trimLeadingMeasures(*compound), 2880);
}

TEST(SongPreparation, ToyPianosGetTheirVoiceAndOtherPlatesKeepThePrograms) {
    for (int plate : {PlateToyPianoLarge, PlateLargeDisk}) {
        auto song = songOf(480, {{0, 0, 60, 100, 100}, {0, 480, 62, 100, 100}});
        song->track()->insertEvent(0, 2, [] {
            auto e = std::make_unique<MidiEvent>();
            e->status = ev::ProgramChange;
            e->channel = 0;
            e->value = 40;
            return e;
        }());
        PreparedSong result;
        PreparationOptions options;
        options.plateType = plate;
        prepareLoadedSong(*song, options, result);
        ASSERT_TRUE(result.ok);
        int programs = 0;
        for (const auto& e : song->track()->events())
            if (e->status == ev::ProgramChange) {
                ++programs;
                EXPECT_EQ(e->value, plate == PlateToyPianoLarge ? 3 : 40);
            }
        EXPECT_EQ(programs, 1);
    }
}

TEST(SongPreparation, AFileNoReaderTakesIsNotPrepared) {
    testing::TempFolder dir;
    testing::writeFileText(dir.file("bad.mid"), "not a midi file at all");
    ScopedCapture cap;
    PreparedSong result = prepareSongFile(dir.file("bad.mid"), {});
    EXPECT_FALSE(result.ok);
    EXPECT_GE(cap->count(), 1u);
}

}  // namespace
}  // namespace tunecase
