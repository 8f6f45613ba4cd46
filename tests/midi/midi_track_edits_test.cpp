#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "base/reporter.h"
#include "midi/midi_track_data.h"
#include "track_test_util.h"

namespace tunecase {
namespace {

using testing::describe;
using testing::noteTrack;

TEST(TrackDuplicates, SameKeyAndLengthInAGroupGoesAndTheGroupAtTimeZeroStays) {
    auto t = noteTrack({{0, 60, 10}, {0, 60, 10},                // time 0: no group
                        {5, 60, 10}, {0, 62, 10}, {0, 60, 10},   // second 60 goes
                        {0, 60, 12}, {0, 62, 10},                // other length stays, 62 goes
                        {7, 60, 10}});                           // a new group
    EXPECT_EQ(t->removeDuplicateNotes(), 2);
    EXPECT_EQ(describe(*t), "0:N60/10 0:N60/10 5:N60/10 0:N62/10 0:N60/12 7:N60/10");
}

TEST(TrackDuplicates, GroupsMayBeLedByOtherEvents) {
    auto t = noteTrack({{5, 60, 10}, {0, 60, 10}, {3, 61, 1}});
    t->event(0)->status = ev::ControlChange;  // the group leader is not a note
    t->event(0)->type = 1;
    t->addNote(0, 0, 61, 100, 1);
    EXPECT_EQ(t->removeDuplicateNotes(), 1);
    EXPECT_EQ(describe(*t), "5:C1=0 0:N60/10 3:N61/1");
}

TEST(TrackOctaveDoublings, ChordOrderDecides) {
    // C6 C5 E5 C4 after the first onset: C5 lies between the highest and lowest after C6.
    auto t = noteTrack({{0, 50, 10}, {10, 84, 96}, {0, 72, 96}, {0, 76, 96}, {0, 60, 96}});
    EXPECT_EQ(t->removeOctaveDoublings(), 1);
    EXPECT_EQ(describe(*t), "0:N50/10 10:N84/96 0:N76/96 0:N60/96");
    auto r = noteTrack({{0, 50, 10}, {10, 60, 96}, {0, 72, 96}, {0, 76, 96}, {0, 84, 96}});
    EXPECT_EQ(r->removeOctaveDoublings(), 0);
    auto lengths = noteTrack({{10, 84, 96}, {0, 72, 48}, {0, 76, 96}, {0, 60, 96}});
    EXPECT_EQ(lengths->removeOctaveDoublings(), 0);
}

// The rule written out directly, to check the indexed implementation on large groups.
int naiveOctaveDoublings(std::vector<MidiEvent>& group) {
    int removed = 0;
    for (size_t a = 0; a < group.size(); ++a) {
        if (group[a].status == ev::Deleted) continue;
        int hi = -1, lo = 1000;
        for (size_t b = a + 1; b < group.size(); ++b)
            if (group[b].status != ev::Deleted) {
                hi = std::max(hi, group[b].data1);
                lo = std::min(lo, group[b].data1);
            }
        for (size_t b = a + 1; b < group.size(); ++b) {
            MidiEvent& e = group[b];
            if (e.status == ev::Deleted || e.data1 == hi || e.data1 == lo) continue;
            if (e.data1 % 12 == group[a].data1 % 12 && e.duration == group[a].duration) {
                e.status = ev::Deleted;
                ++removed;
            }
        }
    }
    return removed;
}

TEST(TrackOctaveDoublings, MatchesTheRuleOnLargeRandomGroups) {
    std::mt19937 rng(3);
    for (int round = 0; round < 40; ++round) {
        MidiTrackData t(kDefaultTrackCapacity, MidiTrackData::NoteEvents);
        std::vector<MidiEvent> group;
        const int size = 4 + static_cast<int>(rng() % 120);
        t.addNote(0, 0, 10, 100, 1);
        for (int i = 0; i < size; ++i) {
            const int key = 24 + static_cast<int>(rng() % (round % 2 ? 40 : 90));
            const int duration = 1 + static_cast<int>(rng() % 3);
            t.addNote(0, i == 0 ? 10 : 0, key, 100, duration);
            group.push_back(*t.event(t.eventCount() - 1));
        }
        const int expected = naiveOctaveDoublings(group);
        ASSERT_EQ(t.removeOctaveDoublings(), expected) << "round " << round;
        std::vector<int> kept, want;
        for (int i = 1; i < t.eventCount(); ++i) kept.push_back(t.event(i)->data1 * 10 + t.event(i)->duration);
        for (const auto& e : group)
            if (e.status != ev::Deleted) want.push_back(e.data1 * 10 + e.duration);
        EXPECT_EQ(kept, want);
    }
}

TEST(TrackKeepTopNote, ThinsChordsAndShortensToTheNextKeptNote) {
    auto t = noteTrack({{0, 60, 50}, {0, 67, 50}, {0, 64, 50}, {20, 62, 10}, {0, 62, 10}, {30, 55, 100}}, 20);
    t->event(5)->channel = 1;  // another channel: not selected
    EXPECT_EQ(t->keepTopNote(0), 3);
    EXPECT_EQ(describe(*t), "0:N67/20 20:N62/10 30:N55/100@1 20:E");
    auto all = noteTrack({{0, 60, 50}, {10, 62, 500}}, 40);
    all->keepTopNote(255);
    EXPECT_EQ(describe(*all), "0:N60/10 10:N62/40 40:E");
}

TEST(TrackTimeEdits, RescaleCarriesTheRemainder) {
    auto t = noteTrack({{3, 60, 4}, {3, 61, 480}, {3, 62, 4}}, 3);
    EXPECT_TRUE(t->rescaleTime(480, 96, false));
    // Times 3, 6, 9, 12 become 0, 1, 1, 2: the rounding is carried, never accumulated.
    EXPECT_EQ(describe(*t), "0:N60/1 1:N61/96 0:N62/1 1:E");
    auto d = noteTrack({{5, 60, 4}, {5, 61, 480}}, 5);
    EXPECT_TRUE(d->rescaleTime(480, 96, true));
    EXPECT_EQ(describe(*d), "2:N61/96 1:E");
    auto up = noteTrack({{1, 60, 1}}, 1);
    EXPECT_FALSE(up->rescaleTime(96, 960, false));
    EXPECT_EQ(describe(*up), "10:N60/10 10:E");
}

TEST(TrackTimeEdits, ShiftNoteStartKeepsOtherTimes) {
    auto t = noteTrack({{10, 60, 1}, {10, 61, 1}, {0, 62, 1}, {10, 63, 1}});
    EXPECT_EQ(t->shiftNoteStart(0, 10, 10, 25), 25);  // later, passing over the zero delta
    EXPECT_EQ(describe(*t), "25:N60/1 0:N61/1 0:N62/1 5:N63/1");
    auto e = noteTrack({{10, 60, 1}, {10, 61, 1}, {10, 62, 1}});
    EXPECT_EQ(e->shiftNoteStart(1, 20, 20, 5), 5);  // earlier, also moving the note before
    EXPECT_EQ(describe(*e), "5:N60/1 0:N61/1 25:N62/1");
}

TEST(TrackTimeEdits, TripletGroove) {
    // Window 96: one note at 60 goes to 64; two notes at 96 and 144 (last not in the first
    // half) go to 96 + 0 and 96 + 64; a single note at 200 (position 8) goes to 192.
    auto t = noteTrack({{60, 60, 1}, {36, 61, 1}, {48, 62, 1}, {56, 63, 1}}, 10);
    t->tripletGroove(96);
    std::vector<int64_t> times = t->eventTimes();
    EXPECT_EQ(times, (std::vector<int64_t>{64, 96, 160, 192, 210}));
    auto early = noteTrack({{0, 60, 1}, {40, 61, 1}}, 100);  // both in the first half
    early->tripletGroove(96);
    EXPECT_EQ(early->eventTimes(), (std::vector<int64_t>{0, 32, 140}));
}

TEST(TrackNoteEdits, TransposeFoldsByOctaves) {
    auto t = noteTrack({{0, 120, 1}, {0, 5, 1}});
    t->addNote(1, 0, 60, 100, 1);
    EXPECT_EQ(t->transposeNotes(0, 24), 2);
    EXPECT_EQ(describe(*t), "0:N120/1 0:N29/1 0:N60/1@1");
    t->transposeNotes(-1, -40);
    EXPECT_EQ(describe(*t), "0:N80/1 0:N1/1 0:N20/1@1");
}

TEST(TrackNoteEdits, TransposedCopiesSitAtTheNotesTime) {
    auto t = noteTrack({{10, 60, 5}, {10, 64, 5}});
    t->event(1)->velocity = 0;
    EXPECT_EQ(t->addTransposedCopies(-1, 12), 1);
    EXPECT_EQ(describe(*t), "10:N72/5 0:N60/5 10:N64/5");
}

TEST(TrackNoteEdits, VelocitiesDurationsAndValidation) {
    auto t = noteTrack({{0, 60, 5}, {0, 61, 5}});
    t->addToVelocities(50);
    EXPECT_EQ(t->event(0)->velocity, 127);
    EXPECT_EQ(t->setDurationOfChannel(0, 64), 2);
    EXPECT_EQ(t->event(1)->duration, 64);
    EXPECT_EQ(t->validateNotes(), 0);
    t->event(0)->data1 = 200;
    t->event(1)->velocity = -3;
    EXPECT_EQ(t->validateNotes(), 1);
    EXPECT_EQ(t->event(0)->data1, 127);
    EXPECT_EQ(t->validateNotes(), 1);
    EXPECT_EQ(t->event(1)->velocity, 0);
    EXPECT_EQ(t->validateNotes(), 0);
}

TEST(TrackChannelEdits, RechannelCountsSecondPortPartsFromSixteen) {
    MidiTrackData t(3000, MidiTrackData::NoteEvents);
    t.addNote(2, 0, 60, 100, 1);
    const uint8_t part[] = {0xF0, 0x0A, 0x41, 0x10, 0x42, 0x12, 0x40, 0x43, 0x20, 0x01, 0x00, 0xF7};
    auto gs = std::make_unique<MidiEvent>();
    gs->status = ev::SysEx;
    gs->setData(part, sizeof part);
    gs->classifySysEx();
    ASSERT_EQ(gs->channel, 2);
    t.appendEvent(std::move(gs));
    const char mark[] = "SC-88B";
    t.addMeta(0, meta::InstrumentName, reinterpret_cast<const uint8_t*>(mark), 6);
    t.addNote(2, 0, 62, 100, 1);  // second port, counted as 18
    EXPECT_EQ(t.rechannel(2, 5), 2);
    EXPECT_EQ(describe(t), "0:N60/1@5 0:S69@5 0:M4 0:N62/1@2");
    const uint8_t* b = t.event(1)->getData();
    EXPECT_EQ(b[7], 0x46);
    EXPECT_EQ((b[6] + b[7] + b[8] + b[9] + b[10]) % 128, 0);
    EXPECT_EQ(t.rechannel(18, 0), 1);
    EXPECT_EQ(t.event(3)->channel, 0);
    ScopedCapture cap;
    EXPECT_EQ(t.rechannel(32, 0), 0);
    EXPECT_EQ(cap->visibleTexts(), std::vector<std::string>{"MDTK0D000010 Invalid parameter."});
}

TEST(TrackChannelEdits, FoldVolumeIntoVelocity) {
    MidiTrackData t(3000, MidiTrackData::NoteEvents);
    t.addControlChange(0, 7, 64);
    t.addNote(0, 0, 60, 100, 1);   // volume alone does not change the factor
    t.addControlChange(0, 11, 127);
    t.addNote(0, 0, 61, 100, 1);   // factor 127 * 64 / 127 = 64: 100 * 64 / 127 = 50
    t.addControlChange(1, 39, 1);
    t.addNote(1, 0, 62, 100, 1);
    t.foldVolumeIntoVelocity();
    ASSERT_EQ(t.eventCount(), 32 + 3);
    EXPECT_EQ(describe(t).substr(0, 24), "0:C11=127 0:C7=127 0:C11");
    EXPECT_EQ(t.event(32)->velocity, 100);
    EXPECT_EQ(t.event(33)->velocity, 50);
    EXPECT_EQ(t.event(34)->velocity, 100);
}

TEST(TrackChannelEdits, Removals) {
    MidiTrackData t(3000, MidiTrackData::NoteEvents);
    t.addControlChange(0, 7, 1);
    t.addProgramChange(1, 2);
    t.addProgramChange(2, 3);
    t.addGmSystemOn();
    t.addTempo(500000);
    t.insertMetaTextAtStart(meta::TrackName, "a");
    t.addNote(3, 4, 60, 100, 1);
    t.ensureEndOfTrack(0);
    EXPECT_EQ(t.removeFirstSysExOfType(sysex::GmSystemOn), 1);
    EXPECT_EQ(t.removeProgramChanges(1), 1);
    EXPECT_EQ(t.removeFirstController(7), 1);
    EXPECT_EQ(t.removeMetaExceptTempoAndEnd(), 1);
    EXPECT_EQ(describe(t), "0:P3@2 0:T500000 4:N60/1@3 0:E");
    EXPECT_EQ(t.removeChannel(3), 1);
    EXPECT_EQ(describe(t), "0:P3@2 0:T500000 4:E");
    EXPECT_EQ(t.keepNotesOnly(), 3);
    EXPECT_EQ(t.eventCount(), 0);
}

TEST(TrackChannelEdits, MoveToFrontOfSlot) {
    MidiTrackData t(3000, MidiTrackData::NoteEvents);
    t.addNote(0, 5, 60, 100, 1);
    t.addMarker(0, "verse A");
    t.addMarker(0, "chorus");
    t.addGmSystemOn();
    EXPECT_GT(t.moveToFrontOfSlot(ev::Meta, meta::Marker, "cho*rubbish"), 0);
    EXPECT_EQ(describe(t), "5:M6 0:N60/1 0:M6 0:S9");
    EXPECT_EQ(t.event(0)->text(), "chorus");
    t.sysExToFrontOfSlot();
    EXPECT_EQ(describe(t), "5:S9 0:M6 0:N60/1 0:M6");
    t.insertProgramChangeForChannel(0, 7);
    EXPECT_EQ(describe(t), "5:S9 0:M6 0:P7 0:N60/1 0:M6");
}

}  // namespace
}  // namespace tunecase
