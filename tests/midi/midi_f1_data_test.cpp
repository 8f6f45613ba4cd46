// The format 1 file: header and track rules, the merge order, the split by channel, the
// master-volume rule, writing with its capacity guard, and files written by another program.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "base/reporter.h"
#include "midi/midi_f0_data.h"
#include "midi/midi_f1_data.h"
#include "midi/midi_file_messages.h"
#include "midi/smf_test_util.h"

namespace tunecase {
namespace {

using testing::NoteTuple;
using testing::notesOf;

std::unique_ptr<MidiTrackData> noteTrack() {
    return std::make_unique<MidiTrackData>(0x60000, MidiTrackData::NoteEvents);
}

std::vector<int> keysOf(const MidiTrackData& t) {
    std::vector<int> keys;
    for (const auto& e : t.events())
        if (e->status == ev::Note) keys.push_back(e->data1);
    return keys;
}

std::vector<int> deltasOf(const MidiTrackData& t) {
    std::vector<int> d;
    for (const auto& e : t.events()) d.push_back(e->delta);
    return d;
}

std::unique_ptr<MidiF0Data> merge(std::vector<std::unique_ptr<MidiTrackData>>& tracks) {
    std::vector<const MidiTrackData*> raw;
    for (auto& t : tracks) raw.push_back(t.get());
    auto file = MidiF1Data::fromTracks(raw.data(), static_cast<int>(raw.size()), 96);
    auto song = MidiF0Data::newSong();
    EXPECT_EQ(file->mergeInto(*song), 1);
    EXPECT_EQ(song->division(), 96);
    return song;
}

TEST(MidiF1Merge, EventsComeOutInTimeOrderWithDeltasRecomputed) {
    std::vector<std::unique_ptr<MidiTrackData>> tracks;
    tracks.push_back(noteTrack());
    tracks.back()->addNote(0, 0, 1, 100, 1);
    tracks.back()->addNote(0, 10, 2, 100, 1);
    tracks.push_back(noteTrack());
    tracks.back()->addNote(1, 5, 3, 100, 1);
    auto song = merge(tracks);
    EXPECT_EQ(keysOf(*song->track()), (std::vector<int>{1, 3, 2}));
    EXPECT_EQ(deltasOf(*song->track()), (std::vector<int>{0, 5, 5, 0}));  // and End of Track
}

TEST(MidiF1Merge, SimultaneousEventsComeOneTrackPerRound) {
    std::vector<std::unique_ptr<MidiTrackData>> tracks;
    tracks.push_back(noteTrack());
    tracks.back()->addNote(0, 7, 1, 100, 1);
    tracks.back()->addNote(0, 0, 2, 100, 1);
    tracks.push_back(noteTrack());
    tracks.back()->addNote(1, 7, 3, 100, 1);
    tracks.push_back(noteTrack());
    tracks.back()->addNote(2, 7, 4, 100, 1);
    tracks.back()->addNote(2, 0, 5, 100, 1);
    auto song = merge(tracks);
    EXPECT_EQ(keysOf(*song->track()), (std::vector<int>{1, 3, 4, 2, 5}));
    EXPECT_EQ(deltasOf(*song->track()), (std::vector<int>{7, 0, 0, 0, 0, 0}));
}

// The merge keeps each track's next event as a due time; on random tracks (with runs of
// simultaneous events and the odd negative delta) it must give what the rounds of pending
// deltas give, whether the events are copied or moved.
TEST(MidiF1Merge, RandomTracksMergeAsTheRoundsOfPendingDeltasDo) {
    std::mt19937 rng(11);
    for (int round = 0; round < 200; ++round) {
        std::vector<std::unique_ptr<MidiTrackData>> tracks;
        const int count = 1 + static_cast<int>(rng() % 5);
        for (int k = 0; k < count; ++k) {
            tracks.push_back(noteTrack());
            const int n = static_cast<int>(rng() % 12);
            for (int i = 0; i < n; ++i) {
                static constexpr int kDeltas[] = {0, 0, 0, 1, 2, 5, -1};
                tracks.back()->addNote(k, kDeltas[rng() % 7], 10 * k + i, 100, 1);
            }
        }
        // The rounds: with one track left its events come as they are; otherwise every track
        // whose pending delta is the smallest gives one event (the first with that delta, the
        // others with 0) and the others have the smallest taken off.
        std::vector<std::pair<int, int>> expected;  // key, delta
        struct Cursor { const MidiTrackData* t; int index; int64_t pending; };
        std::vector<Cursor> cursors;
        for (const auto& t : tracks) cursors.push_back({t.get(), 0, t->eventCount() ? t->event(0)->delta : 0});
        auto more = [](const Cursor& c) { return c.index < c.t->eventCount(); };
        auto give = [&](Cursor& c, int64_t delta) {
            expected.emplace_back(c.t->event(c.index)->data1, static_cast<int>(delta));
            if (++c.index < c.t->eventCount()) c.pending = c.t->event(c.index)->delta;
        };
        for (;;) {
            int left = 0;
            int64_t smallest = 0;
            Cursor* only = nullptr;
            for (auto& c : cursors)
                if (more(c)) {
                    if (left++ == 0 || c.pending < smallest) smallest = c.pending;
                    only = &c;
                }
            if (left == 0) break;
            if (left == 1) {
                give(*only, only->pending);
                continue;
            }
            bool first = true;
            for (auto& c : cursors) {
                if (!more(c)) continue;
                if (c.pending != smallest) {
                    c.pending -= smallest;
                    continue;
                }
                give(c, first ? smallest : 0);
                first = false;
            }
        }

        std::vector<const MidiTrackData*> raw;
        for (auto& t : tracks) raw.push_back(t.get());
        auto file = MidiF1Data::fromTracks(raw.data(), count, 96);
        auto copied = MidiF0Data::newSong();
        auto moved = MidiF0Data::newSong();
        ASSERT_EQ(file->mergeInto(*copied), 1);
        ASSERT_EQ(file->moveMergedInto(*moved), 1);
        for (const MidiF0Data* song : {copied.get(), moved.get()}) {
            std::vector<std::pair<int, int>> got;
            for (const auto& e : song->track()->events())
                if (e->status == ev::Note) got.emplace_back(e->data1, e->delta);
            ASSERT_EQ(got, expected) << "round " << round;
        }
        EXPECT_EQ(file->track(0)->eventCount(), 0);  // the moving merge leaves the tracks empty
    }
}

TEST(MidiF1Merge, OnlyOneEndOfTrackRemainsAtTheEnd) {
    std::vector<std::unique_ptr<MidiTrackData>> tracks;
    for (int i = 0; i < 3; ++i) {
        tracks.push_back(noteTrack());
        tracks.back()->addNote(i, 10 * i, 60 + i, 100, 5);
        tracks.back()->ensureEndOfTrack(20 + i);
    }
    auto song = merge(tracks);
    const MidiTrackData& t = *song->track();
    int ends = 0;
    for (const auto& e : t.events()) ends += e->status == ev::Meta && e->type == meta::EndOfTrack;
    EXPECT_EQ(ends, 1);
    EXPECT_EQ(t.event(t.eventCount() - 1)->type, meta::EndOfTrack);
    EXPECT_EQ(t.timeOf(t.eventCount() - 1), 42);
}

TEST(MidiF1Merge, NoTracksOrTheWrongStateIsRefused) {
    ScopedCapture cap;
    auto empty = MidiF1Data::fromTracks(nullptr, 0, 96);
    auto song = MidiF0Data::newSong();
    EXPECT_EQ(empty->mergeInto(*song), 0);
    MidiF1Data bytesOnly;
    EXPECT_EQ(bytesOnly.mergeInto(*song), 0);
    EXPECT_EQ(cap->visibleTexts(), (std::vector<std::string>{"MDTK0D000026 Error occured in track!",
                                                             "M1DT03000003 Internal error has been occured in MidiF1Data!"}));
}

TEST(MidiF1Split, ChannelsGoToTheirOwnTracksWithTheirOwnDeltas) {
    auto song = MidiF0Data::newSong();
    MidiTrackData& t = *song->track();
    t.addTempo(500000);
    t.addGmSystemOn();
    t.addNote(0, 10, 60, 100, 5);
    t.addNote(9, 20, 36, 100, 5);
    t.addNote(0, 30, 62, 100, 5);
    t.ensureEndOfTrack(40);
    auto file = MidiF1Data::fromFormat0(*song);
    ASSERT_EQ(file->trackCount(), 17);  // meta, then one per channel
    EXPECT_EQ(file->state(), MidiF1Data::NoteEvents);
    EXPECT_EQ(file->track(0)->event(0)->type, meta::Tempo);
    EXPECT_EQ(file->track(1)->event(0)->status, ev::SysEx);  // system exclusive shares track 1 with channel 0
    EXPECT_EQ(notesOf(*file->track(1)), (std::vector<NoteTuple>{{10, 0, 60, 100, 5}, {60, 0, 62, 100, 5}}));
    EXPECT_EQ(deltasOf(*file->track(10)), (std::vector<int>{30, 70}));  // its note, then End of Track at 100
    for (int i = 0; i < kSplitTracks; ++i) {
        if (i == 0 || i == 1 || i == 10) continue;
        ASSERT_EQ(file->track(i)->eventCount(), 1) << i;
        EXPECT_EQ(file->track(i)->event(0)->type, meta::EndOfTrack);
        EXPECT_EQ(file->track(i)->event(0)->delta, 100);
    }
    // Split and merged again gives the same notes.
    auto back = MidiF0Data::newSong();
    ASSERT_EQ(file->mergeInto(*back), 1);
    EXPECT_EQ(notesOf(*back->track()), notesOf(*song->track()));
}

// ---- Header and tracks -----------------------------------------------------------------------

std::vector<uint8_t> format1(int declared, int chunks, int division = 96) {
    std::vector<uint8_t> b = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1, static_cast<uint8_t>(declared >> 8),
                              static_cast<uint8_t>(declared), static_cast<uint8_t>(division >> 8),
                              static_cast<uint8_t>(division)};
    for (int i = 0; i < chunks; ++i) {
        const uint8_t key = static_cast<uint8_t>(40 + i % 60);
        const std::vector<uint8_t> chunk = {'M', 'T', 'r', 'k', 0, 0, 0, 12, 0x00, 0x90, key, 100, 0x10, 0x80, key, 0,
                                            0x00, 0xFF, 0x2F, 0x00};
        b.insert(b.end(), chunk.begin(), chunk.end());
    }
    return b;
}

TEST(MidiF1Header, SeventyTracksReadThirtyTwo) {
    ScopedCapture cap;
    const auto bytes = format1(70, 70);
    auto file = MidiF1Data::fromBytes(bytes.data(), static_cast<int>(bytes.size()), false);
    EXPECT_EQ(file->trackCount(), 32);
    EXPECT_EQ(cap->visibleTexts(), std::vector<std::string>{"M1DT03000001 The number of Track is too many!"});
}

TEST(MidiF1Header, AShortFileCutsTheTrackCount) {
    ScopedCapture cap;
    const auto bytes = format1(3, 2);
    auto file = MidiF1Data::fromBytes(bytes.data(), static_cast<int>(bytes.size()), false);
    EXPECT_TRUE(file->isLoaded());
    EXPECT_EQ(file->trackCount(), 2);
    EXPECT_EQ(cap->visibleTexts(), std::vector<std::string>{"M1DT00000000 MidiF1Data Error!"});
}

TEST(MidiF1Header, MasterVolumeIsAddedToTheFirstTrackWithChannelEvents) {
    ScopedCapture cap;
    auto bytes = format1(2, 2);
    // Make track 0 a conductor track: its note becomes a text event.
    const uint8_t conductor[] = {0x00, 0xFF, 0x01, 0x01, 'x', 0x00, 0xFF, 0x2F, 0x00};
    bytes.erase(bytes.begin() + 22, bytes.begin() + 34);
    bytes.insert(bytes.begin() + 22, std::begin(conductor), std::end(conductor));
    bytes[21] = sizeof conductor;
    auto file = MidiF1Data::fromBytes(bytes.data(), static_cast<int>(bytes.size()), true);
    EXPECT_EQ(cap->visibleTexts(), std::vector<std::string>{"M1DT03000016 There is no master volume! 127 has been set!"});
    ASSERT_EQ(file->trackCount(), 2);
    EXPECT_EQ(file->track(1)->event(0)->status, ev::SysEx);
    EXPECT_EQ(file->track(1)->event(0)->type, sysex::MasterVolume);
    EXPECT_EQ(file->masterVolumeOfAll(), 127);

    cap->clear();
    file->track(0)->insertMasterVolumeAt(100, 0);
    EXPECT_EQ(file->masterVolumeOfAll(), 100);
    EXPECT_EQ(cap->visibleTexts(), std::vector<std::string>{"M1DT03000006 There are more than two master volume!"});
}

TEST(MidiF1Header, OtherFormatsAreRefusedAfterOneMessage) {
    ScopedCapture cap;
    const std::vector<uint8_t> format0 = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0, 96};
    auto file = MidiF1Data::fromBytes(format0.data(), static_cast<int>(format0.size()), true);
    EXPECT_FALSE(file->isLoaded());
    EXPECT_EQ(file->trackCount(), 0);
    EXPECT_EQ(cap->visibleTexts(), std::vector<std::string>{"M1DT03000002 This file is not format 1 of midi."});
}

TEST(MidiF1Open, AFormat0FileIsSplitWithoutComplaint) {
    ScopedCapture cap;
    auto file = MidiF1Data::openFile(testing::midiDataFolder() + "/mido_format0_melody.mid");
    ASSERT_TRUE(file->isLoaded());
    EXPECT_EQ(file->trackCount(), 17);
    EXPECT_EQ(notesOf(*file->track(1)).size() + notesOf(*file->track(2)).size(), 11u);
    EXPECT_EQ(file->masterVolumeOfAll(), 127);
    EXPECT_TRUE(cap->visibleTexts().empty());
}

TEST(MidiF1Open, ATooLargeFileIsRefusedBeforeReading) {
    ScopedCapture cap;
    auto file = MidiF1Data::openFile(testing::midiDataFolder() + "/mido_three_tracks.mid", 1000);
    EXPECT_FALSE(file->isLoaded());
    EXPECT_EQ(cap->visibleTexts(), std::vector<std::string>{"M1DT03000019 Data is too large!"});
}

// ---- Writing ---------------------------------------------------------------------------------

TEST(MidiF1Write, WritesAFormat1FileThatReadsBackTheSame) {
    ScopedCapture cap;
    auto file = MidiF1Data::openFile(testing::midiDataFolder() + "/mido_eight_parts.mid");
    ASSERT_TRUE(file->isLoaded());
    std::vector<std::vector<NoteTuple>> before;
    for (int i = 0; i < file->trackCount(); ++i) before.push_back(notesOf(*file->track(i)));
    std::vector<uint8_t> bytes;
    ASSERT_EQ(file->saveBytes(bytes), 1);
    EXPECT_EQ(file->state(), MidiF1Data::NoteEvents);
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 14),
              (std::vector<uint8_t>{'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1, 0, 9, 0, 240}));
    auto back = MidiF1Data::fromBytes(bytes.data(), static_cast<int>(bytes.size()), true);
    ASSERT_EQ(back->trackCount(), 9);
    for (int i = 0; i < 9; ++i) {
        EXPECT_EQ(notesOf(*file->track(i)), before[static_cast<size_t>(i)]) << i;
        EXPECT_EQ(notesOf(*back->track(i)), before[static_cast<size_t>(i)]) << i;
    }
    EXPECT_TRUE(cap->visibleTexts().empty());
}

TEST(MidiF1Write, AFileThatDoesNotFitIsNotWrittenAndNothingIsLost) {
    ScopedCapture cap;
    auto full = MidiF1Data::openFile(testing::midiDataFolder() + "/mido_eight_parts.mid");
    std::vector<const MidiTrackData*> tracks;
    for (int i = 0; i < full->trackCount(); ++i) tracks.push_back(full->track(i));
    // Each track fits its own half of the buffer, but all of them do not fit the file.
    auto small = MidiF1Data::fromTracks(tracks.data(), static_cast<int>(tracks.size()), 240, 2400);
    cap->clear();
    std::vector<uint8_t> bytes;
    EXPECT_EQ(small->saveBytes(bytes), 0);
    EXPECT_TRUE(bytes.empty());
    EXPECT_EQ(cap->visibleTexts(), std::vector<std::string>{"M1DT03000019 Data is too large!"});
    EXPECT_EQ(small->state(), MidiF1Data::NoteEvents);
    for (int i = 0; i < full->trackCount(); ++i) EXPECT_EQ(notesOf(*small->track(i)), notesOf(*full->track(i))) << i;
}

TEST(MidiF1Write, OutsideReadersSeeTheSplitSongsNotes) {
    if (!testing::haveMido()) GTEST_SKIP() << "python3-mido is not installed";
    testing::TempFolder dir;
    auto song = MidiF0Data::openFile(testing::midiDataFolder() + "/mido_three_tracks.mid");
    auto file = MidiF1Data::fromFormat0(*song);
    ASSERT_EQ(file->saveFile(dir.file("split.mid")), 1);
    std::string header;
    EXPECT_EQ(testing::midoNotes(dir.file("split.mid"), &header), notesOf(*song->track()));
    EXPECT_EQ(header, "type 1 tracks 17 division 480");
}

// ---- Song-level operations -------------------------------------------------------------------

TEST(MidiF1Song, GmOnMovesToTheFrontInTheFirstTrackWithMoreThanMeta) {
    std::vector<std::unique_ptr<MidiTrackData>> tracks;
    tracks.push_back(noteTrack());
    tracks.back()->addTempo(500000);
    tracks.back()->ensureEndOfTrack(0);
    tracks.push_back(noteTrack());
    tracks.back()->addNote(0, 0, 60, 100, 10);
    tracks.back()->addGmSystemOn();
    std::vector<const MidiTrackData*> raw = {tracks[0].get(), tracks[1].get()};
    auto file = MidiF1Data::fromTracks(raw.data(), 2, 96);
    EXPECT_EQ(file->gmOnToFront(), 1);
    EXPECT_EQ(file->track(1)->event(0)->type, sysex::GmSystemOn);
    EXPECT_EQ(file->track(1)->event(1)->status, ev::Note);
}

TEST(MidiF1Song, MetaRemovalStopsAtTheFirstTrackThatHadOne) {
    std::vector<std::unique_ptr<MidiTrackData>> tracks;
    for (int i = 0; i < 3; ++i) {
        tracks.push_back(noteTrack());
        if (i > 0) tracks.back()->insertMetaTextAtStart(meta::TrackName, "part");
    }
    std::vector<const MidiTrackData*> raw = {tracks[0].get(), tracks[1].get(), tracks[2].get()};
    auto file = MidiF1Data::fromTracks(raw.data(), 3, 96);
    EXPECT_EQ(file->removeMetaFromTracks(meta::TrackName, true), 1);
    EXPECT_EQ(file->track(1)->eventCount(), 0);
    EXPECT_EQ(file->track(2)->eventCount(), 1);
    EXPECT_EQ(file->removeMetaFromTracks(meta::Lyric, true), 0);
}

TEST(MidiF1Song, RepairsAreLookedForInEveryTrack) {
    std::vector<std::unique_ptr<MidiTrackData>> tracks;
    tracks.push_back(noteTrack());
    tracks.back()->addNote(0, 0, 60, 100, 10);
    tracks.push_back(noteTrack());
    tracks.back()->addNote(1, 0, 200, 100, 10);
    std::vector<const MidiTrackData*> raw = {tracks[0].get(), tracks[1].get()};
    auto file = MidiF1Data::fromTracks(raw.data(), 2, 96);
    EXPECT_EQ(file->anyTrackRepaired(), 1);
    EXPECT_EQ(file->track(1)->event(0)->data1, 127);
    EXPECT_EQ(file->anyTrackRepaired(), 0);
}

TEST(MidiF1Messages, ShownOnceWarningsComeBackAfterAReset) {
    ScopedCapture cap;
    format1Warning(m1dt::SameChannel);
    format1Warning(m1dt::SameChannel);
    MidiF1Data resets;
    format1Warning(m1dt::SameChannel);
    format1Warning(m1dt::NoteToBend);
    format1Error(0x0300001C);  // unlisted: the general text
    EXPECT_EQ(cap->visibleTexts(), (std::vector<std::string>{"M1DT03000013 There is the same channel already!",
                                                             "M1DT03000013 There is the same channel already!",
                                                             "M1DT03000014 Error occured in conversion of note to pitchbend!",
                                                             "M1DT0300001C MidiF1Data Error!"}));
}

// ---- Files written by another program ---------------------------------------------------------

TEST(MidiFileCorpus, EveryValidFileOpensMergesAndSavesWithoutLosingNotes) {
    if (!testing::haveMido()) GTEST_SKIP() << "python3-mido is not installed";
    testing::TempFolder dir;
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(testing::midiDataFolder())) {
        if (entry.path().extension() != ".mid") continue;
        SCOPED_TRACE(entry.path().string());
        ++files;
        ScopedCapture cap;
        const auto expected = testing::midoNotes(entry.path().string());
        ASSERT_FALSE(expected.empty());
        auto song = MidiF0Data::openFile(entry.path().string());
        ASSERT_TRUE(song->isLoaded());
        EXPECT_EQ(notesOf(*song->track()), expected);
        const std::string out = dir.file(entry.path().filename().string());
        ASSERT_EQ(song->saveFile(out), 1);
        EXPECT_EQ(testing::midoNotes(out), expected);
        EXPECT_EQ(notesOf(*MidiF0Data::openFile(out)->track()), expected);
        EXPECT_TRUE(cap->visibleTexts().empty());
    }
    EXPECT_GE(files, 3);
}

TEST(MidiFileCorpus, AFileCutInsideItsLastTrackPlaysTheCompleteTracks) {
    if (!testing::haveMido()) GTEST_SKIP() << "python3-mido is not installed";
    testing::TempFolder dir;
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(testing::midiDataFolder())) {
        if (entry.path().extension() != ".mid") continue;
        const auto bytes = testing::readFileBytes(entry.path().string());
        if (bytes.size() < 14 || bytes[9] != 1 || bytes[11] < 2) continue;  // format 1, two tracks or more
        SCOPED_TRACE(entry.path().string());
        ++files;
        // Where the last chunk starts.
        size_t last = 14;
        for (int track = 0; track + 1 < bytes[11]; ++track)
            last += 8 + (size_t{bytes[last + 4]} << 24 | size_t{bytes[last + 5]} << 16 | size_t{bytes[last + 6]} << 8 |
                         bytes[last + 7]);
        ASSERT_LT(last + 12, bytes.size());
        // The same song without its last track, as another reader sees it...
        std::vector<uint8_t> shorter(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(last));
        shorter[11] = static_cast<uint8_t>(bytes[11] - 1);
        testing::writeFileBytes(dir.file("shorter.mid"), shorter);
        const auto expected = testing::midoNotes(dir.file("shorter.mid"));
        // ...is what a download cut inside that track plays.
        const std::vector<uint8_t> cut(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(last + 12));
        testing::writeFileBytes(dir.file("cut.mid"), cut);
        ScopedCapture cap;
        auto song = MidiF0Data::openFile(dir.file("cut.mid"));
        EXPECT_TRUE(song->isLoaded());
        EXPECT_EQ(notesOf(*song->track()), expected);
        EXPECT_EQ(cap->visibleTexts(), std::vector<std::string>{"MDTK0D000001 MidiTrackData Internal Error"});
    }
    EXPECT_GE(files, 2);
}

}  // namespace
}  // namespace tunecase
