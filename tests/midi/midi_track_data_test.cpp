#include <gtest/gtest.h>

#include <random>

#include "base/reporter.h"
#include "midi/midi_messages.h"
#include "midi/midi_track_data.h"
#include "track_test_util.h"

namespace tunecase {
namespace {

using testing::chunk;
using testing::describe;
using testing::noteTrack;
using testing::readChunk;

std::unique_ptr<MidiEvent> cc(int controller, int value, int delta = 0) {
    auto e = std::make_unique<MidiEvent>(delta);
    e->makeControlChange(0, controller, value);
    return e;
}

std::unique_ptr<MidiEvent> endOfTrack(int delta = 0) {
    auto e = std::make_unique<MidiEvent>(delta);
    e->status = ev::Meta;
    e->type = meta::EndOfTrack;
    return e;
}

// ---- Joining and splitting notes -----------------------------------------------------------

TEST(TrackJoinNotes, PairsEachNoteOnWithTheFirstLaterNoteOff) {
    // on60@0, on60@10, off60@20, off60@30, EOT@40
    auto t = readChunk(chunk({0x00, 0x90, 60, 100, 0x0A, 0x90, 60, 90, 0x0A, 0x80, 60, 0, 0x0A, 0x80, 60, 0,
                              0x0A, 0xFF, 0x2F, 0x00}));
    t->joinNotes();
    EXPECT_EQ(t->state(), MidiTrackData::NoteEvents);
    EXPECT_EQ(describe(*t), "0:N60/20 10:N60/20 30:E");
}

TEST(TrackJoinNotes, VelocityZeroEndsANoteAndUnpairedEventsPassTheirDelta) {
    // stray off@5, on62@10 (never ended), on60@20, on60 vel 0 @25, CC@40, EOT@50
    auto t = readChunk(chunk({0x05, 0x80, 64, 0, 0x05, 0x90, 62, 100, 0x0A, 0x90, 60, 100, 0x05, 60, 0x00,
                              0x0F, 0xB0, 7, 100, 0x0A, 0xFF, 0x2F, 0x00}));
    t->joinNotes();
    EXPECT_EQ(describe(*t), "20:N60/5 20:C7=100 10:E");
}

TEST(TrackJoinNotes, ChannelsAreNotMixed) {
    auto t = readChunk(chunk({0x00, 0x90, 60, 100, 0x00, 0x91, 60, 100, 0x04, 0x81, 60, 0, 0x04, 0x80, 60, 0,
                              0x00, 0xFF, 0x2F, 0x00}));
    t->joinNotes();
    EXPECT_EQ(describe(*t), "0:N60/8 0:N60/4@1 8:E");
}

// The join pairs notes through an index; on random tracks it must pair exactly as the plain
// rule does: each note on, in list order, ends at the first note off after it of its channel
// and key that no earlier note took; what is left unpaired goes, passing on its delta.
TEST(TrackJoinNotes, PairsAsThePlainScanDoesOnRandomTracks) {
    std::mt19937 rng(7);
    for (int round = 0; round < 300; ++round) {
        auto indexed = std::make_unique<MidiTrackData>(kDefaultTrackCapacity, MidiTrackData::MidiEvents);
        auto plain = std::make_unique<MidiTrackData>(kDefaultTrackCapacity, MidiTrackData::MidiEvents);
        const int n = 1 + static_cast<int>(rng() % 40);
        for (int i = 0; i < n; ++i) {
            auto e = std::make_unique<MidiEvent>(static_cast<int32_t>(rng() % 4));
            const unsigned kind = rng() % 8;
            if (kind == 0) {
                e->makeControlChange(0, 7, 100);
            } else {
                e->status = kind < 5 ? ev::NoteOn : ev::NoteOff;
                e->channel = static_cast<int>(rng() % 2);
                e->data1 = 60 + static_cast<int>(rng() % 3);
                e->velocity = kind == 4 ? 0 : 100;
            }
            plain->appendEvent(std::make_unique<MidiEvent>(*e));
            indexed->appendEvent(std::move(e));
        }
        indexed->joinNotes();

        std::vector<MidiEvent*> ev;
        for (const auto& e : plain->events()) ev.push_back(const_cast<MidiEvent*>(e.get()));
        for (MidiEvent* e : ev)
            if (e->status == ev::NoteOn && e->velocity == 0) e->status = ev::NoteOff;
        for (size_t i = 0; i < ev.size(); ++i) {
            if (ev[i]->status != ev::NoteOn) continue;
            ev[i]->status = ev::Note;
            int64_t sum = 0;
            for (size_t j = i + 1; j < ev.size(); ++j) {
                sum += ev[j]->delta;
                if (ev[j]->status == ev::NoteOff && ev[j]->channel == ev[i]->channel && ev[j]->data1 == ev[i]->data1) {
                    ev[i]->duration = static_cast<int32_t>(sum);
                    ev[j]->status = ev::Deleted;
                    break;
                }
            }
        }
        for (MidiEvent* e : ev)
            if (e->status == ev::NoteOff || (e->status == ev::Note && e->duration == 0)) e->status = ev::Deleted;
        plain->compact();
        ASSERT_EQ(describe(*indexed), describe(*plain)) << "round " << round;
    }
}

TEST(TrackJoinNotes, WrongStateChangesNothing) {
    ScopedCapture cap;
    auto t = noteTrack({{0, 60, 10}}, 10);
    t->joinNotes();
    EXPECT_EQ(t->state(), MidiTrackData::NoteEvents);
    EXPECT_EQ(cap->visibleTexts(), std::vector<std::string>{"MDTK0D000001 MidiTrackData Internal Error"});
    auto r = readChunk(chunk({0x00, 0xFF, 0x2F, 0x00}));
    cap->clear();
    r->splitNotes();
    EXPECT_EQ(r->state(), MidiTrackData::MidiEvents);
    EXPECT_EQ(cap->count(), 1u);
}

TEST(TrackSplitNotes, RepeatedKeyIsReleasedBeforeItSoundsAgain) {
    auto t = noteTrack({{0, 60, 10}, {10, 60, 10}}, 10);
    t->splitNotes();
    EXPECT_EQ(t->state(), MidiTrackData::MidiEvents);
    EXPECT_EQ(describe(*t), "0:+60 10:-60 0:+60 10:-60 0:E");
    for (const auto& e : t->events())
        if (e->status == ev::NoteOff) EXPECT_EQ(e->velocity, 64);
}

TEST(TrackSplitNotes, OffsEndingTogetherComeLaterNoteFirstAndBeforeOtherEvents) {
    auto t = noteTrack({{0, 60, 10}, {5, 62, 5}});
    t->addControlChange(0, 7, 1);
    t->event(2)->delta = 5;  // the control change sits at time 10
    t->ensureEndOfTrack(0);
    t->splitNotes();
    EXPECT_EQ(describe(*t), "0:+60 5:+62 5:-62 0:-60 0:C7=1 0:E");
}

TEST(TrackSplitNotes, DropsSilentNotesAndMovesEndOfTrackLast) {
    auto t = noteTrack({{0, 60, 0}, {0, 61, 30}});
    t->ensureEndOfTrack(10);
    t->addNote(0, 0, 62, 0, 5);  // velocity 0
    t->splitNotes();
    EXPECT_EQ(describe(*t), "0:+61 30:-61 0:E");
    EXPECT_EQ(t->totalTicks(), 30);
}

TEST(TrackSplitNotes, JoinRestoresTheNotes) {
    std::mt19937 rng(7);
    for (int round = 0; round < 50; ++round) {
        auto t = std::make_unique<MidiTrackData>(kDefaultTrackCapacity, MidiTrackData::NoteEvents);
        int64_t busyUntil[4] = {};  // same-key notes must not overlap for a faithful round trip
        int64_t now = 0;
        for (int i = 0; i < 60; ++i) {
            const int delta = static_cast<int>(rng() % 3) * 12;
            now += delta;
            const int key = 60 + static_cast<int>(rng() % 4);
            const int duration = 1 + static_cast<int>(rng() % 40);
            if (busyUntil[key - 60] > now) {
                t->addControlChange(0, 1, i & 127);
                t->event(t->eventCount() - 1)->delta = delta;
                continue;
            }
            busyUntil[key - 60] = now + duration;
            t->addNote(0, delta, key, 1 + static_cast<int>(rng() % 127), duration);
        }
        t->ensureEndOfTrack(50);
        const std::string before = describe(*t);
        const int64_t total = t->totalTicks();
        t->splitNotes();
        EXPECT_EQ(t->totalTicks(), total);
        t->joinNotes();
        EXPECT_EQ(describe(*t), before) << "round " << round;
    }
}

TEST(TrackSplitNotes, TooManyNotesForTheSlotsDropsWholeNotes) {
    ScopedCapture cap;
    MidiTrackData t(30, MidiTrackData::NoteEvents);  // 10 slots
    for (int i = 0; i < 6; ++i) t.addNote(0, 10, 60 + i, 100, 5);
    t.ensureEndOfTrack(10);
    t.splitNotes();
    EXPECT_EQ(cap->visibleTexts(), std::vector<std::string>{"MDTK0D000006 Large data"});
    EXPECT_LE(t.eventCount(), 10);
    int ons = 0, offs = 0;
    for (const auto& e : t.events()) {
        ons += e->status == ev::NoteOn;
        offs += e->status == ev::NoteOff;
    }
    EXPECT_EQ(ons, offs);
    EXPECT_EQ(ons, 4);
}

TEST(TrackPrepareForWriting, OtherEventsFirstThenOffsBeforeOns) {
    // At time 10: on62, off60, CC, program change, EOT
    auto t = readChunk(chunk({0x00, 0x90, 60, 100, 0x0A, 0x90, 62, 100, 0x00, 0x80, 60, 0, 0x00, 0xB0, 7, 90,
                              0x00, 0xC0, 5, 0x00, 0xFF, 0x2F, 0x00}));
    t->prepareForWriting();
    EXPECT_EQ(describe(*t), "0:+60 10:C7=90 0:P5 0:-60 0:+62 0:E");
}

// ---- Editing primitives ----------------------------------------------------------------------

TEST(TrackPrimitives, RemovalPassesItsDelta) {
    auto t = noteTrack({{5, 60, 1}, {7, 61, 1}, {9, 62, 1}});
    t->removeEvent(0);
    EXPECT_EQ(describe(*t), "12:N61/1 9:N62/1");
    t->removeEvent(1);
    EXPECT_EQ(describe(*t), "12:N61/1");
    EXPECT_EQ(t->removeEvent(1), 0);
}

TEST(TrackPrimitives, CompactCarriesDeltasAndEmptiesAFullyDeletedTrack) {
    auto t = noteTrack({{5, 60, 1}, {7, 61, 1}, {9, 62, 1}, {4, 63, 1}});
    t->event(1)->status = ev::Deleted;
    t->event(3)->status = ev::Deleted;
    EXPECT_EQ(t->compact(), 2);
    EXPECT_EQ(describe(*t), "5:N60/1 16:N62/1");  // the trailing deleted event's 4 ticks go
    for (const auto& e : t->events()) e->status = ev::Deleted;
    t->compact();
    EXPECT_EQ(t->eventCount(), 0);
}

TEST(TrackPrimitives, SwapKeepsTheTimesOfThePositions) {
    auto t = noteTrack({{5, 60, 1}, {7, 61, 1}, {9, 62, 1}});
    t->swapEvents(0, 2);
    EXPECT_EQ(describe(*t), "5:N62/1 7:N61/1 9:N60/1");
}

TEST(TrackPrimitives, InsertEventModes) {
    auto t = noteTrack({{0, 60, 1}, {0, 61, 1}});
    t->insertEvent(1, 2, cc(1, 1));
    t->insertEvent(1, 1, cc(2, 2));
    EXPECT_EQ(describe(*t), "0:N60/1 0:C1=1 0:C2=2 0:N61/1");
    ScopedCapture cap;
    EXPECT_EQ(t->insertEvent(4, 1, cc(3, 3)), -1);
    EXPECT_EQ(cap->count(), 1u);
}

TEST(TrackPrimitives, FullTrackRefusesEveryInsertion) {
    ScopedCapture cap;
    MidiTrackData t(30, MidiTrackData::NoteEvents);
    EXPECT_EQ(t.slotCount(), 10);
    for (int i = 0; i < 10; ++i) EXPECT_EQ(t.addNote(0, 1, 60, 100, 1), i);
    EXPECT_EQ(cap->count(), 0u);
    EXPECT_EQ(t.addNote(0, 1, 60, 100, 1), -1);
    EXPECT_EQ(t.insertAtTime(0, cc(1, 1), 2), -1);
    EXPECT_EQ(t.insertEvent(0, 2, cc(1, 1)), -1);
    EXPECT_EQ(t.eventCount(), 10);
    EXPECT_EQ(cap->visibleTexts(), std::vector<std::string>(3, "MDTK0D000006 Large data"));
    EXPECT_EQ(MidiTrackData().slotCount(), 131072);  // 0x60000 bytes, one slot per 3
    EXPECT_EQ(MidiTrackData(0x600000).slotCount(), 131072);  // never more
}

TEST(TrackInsertAtTime, ModesAmongEqualTimes) {
    auto make = [] {
        auto t = noteTrack({{10, 60, 1}, {10, 61, 1}, {0, 62, 1}, {0, 63, 1}});
        t->ensureEndOfTrack(0);  // End of Track also at time 20
        return t;
    };
    auto t = make();
    EXPECT_EQ(t->insertAtTime(20, cc(1, 1), 1), 4);
    EXPECT_EQ(describe(*t), "10:N60/1 10:N61/1 0:N62/1 0:N63/1 0:C1=1 0:E");
    t = make();
    EXPECT_EQ(t->insertAtTime(20, cc(1, 1), 2), 1);
    EXPECT_EQ(describe(*t), "10:N60/1 10:C1=1 0:N61/1 0:N62/1 0:N63/1 0:E");
    t = make();
    EXPECT_EQ(t->insertAtTime(15, cc(1, 1), 1), 1);
    EXPECT_EQ(describe(*t), "10:N60/1 5:C1=1 5:N61/1 0:N62/1 0:N63/1 0:E");
}

TEST(TrackInsertAtTime, BeyondTheLastEvent) {
    auto t = noteTrack({{10, 60, 1}}, 20);  // EOT at 30
    t->insertAtTime(25, cc(1, 1), 1);
    EXPECT_EQ(describe(*t), "10:N60/1 15:C1=1 5:E");
    t->insertAtTime(50, cc(2, 2), 2);  // the End of Track moves along
    EXPECT_EQ(describe(*t), "10:N60/1 15:C1=1 25:C2=2 0:E");
    t->insertAtTime(70, endOfTrack(), 1);  // replaces the final End of Track's time
    EXPECT_EQ(describe(*t), "10:N60/1 15:C1=1 25:C2=2 20:E");
    EXPECT_EQ(t->eventCount(), 4);
    t->insertAtTime(-1, cc(3, 3), 1);
    EXPECT_EQ(describe(*t), "10:N60/1 15:C1=1 25:C2=2 20:C3=3 0:E");

    auto open = noteTrack({{10, 60, 1}});
    open->insertAtTime(40, endOfTrack(), 1);
    open->insertAtTime(20, cc(1, 1), 1);
    EXPECT_EQ(describe(*open), "10:N60/1 10:C1=1 20:E");

    MidiTrackData empty(300, MidiTrackData::NoteEvents);
    empty.insertAtTime(12, cc(1, 1), 1);
    EXPECT_EQ(describe(empty), "12:C1=1");
}

TEST(TrackInsertAtTime, NegativeDeltaIsReported) {
    ScopedCapture cap;
    auto t = noteTrack({{10, 60, 1}, {10, 61, 1}});
    t->event(1)->status = ev::Meta;  // an End of Track in the middle, at 20
    t->event(1)->type = meta::EndOfTrack;
    t->addNote(0, 0, 62, 100, 1);  // also at 20
    t->insertAtTime(15, cc(1, 1), 2);
    EXPECT_EQ(cap->visibleTexts(), std::vector<std::string>{"MDTK0D000019 Musical data is invalid!"});
    std::vector<int64_t> times = t->eventTimes();
    EXPECT_TRUE(std::is_sorted(times.begin(), times.end()));
}

// ---- Queries -----------------------------------------------------------------------------------

TEST(TrackQueries, ProgramsDrumsAndMasterVolume) {
    MidiTrackData t(3000, MidiTrackData::NoteEvents);
    t.addProgramChange(2, 5);
    t.addProgramChange(2, 40);
    const uint8_t xg[] = {0xF0, 0x08, 0x43, 0x10, 0x4C, 0x08, 0x03, 0x03, 0x63, 0xF7};
    auto x = std::make_unique<MidiEvent>();
    x->status = ev::SysEx;
    x->setData(xg, sizeof xg);
    t.appendEvent(std::move(x));
    EXPECT_EQ(t.programOfChannel(2), 40);
    EXPECT_EQ(t.instrumentOf(3), 99);
    EXPECT_TRUE(t.isNotKeyboardSound(2));
    EXPECT_FALSE(t.isNotKeyboardSound(3));
    EXPECT_EQ(t.instrumentOf(4), -1);
    EXPECT_EQ(t.firstChannel(), 2);

    EXPECT_TRUE(t.isDrumChannel(9));
    EXPECT_FALSE(t.isDrumChannel(10));
    const uint8_t rhythmOff[] = {0xF0, 0x0A, 0x41, 0x10, 0x42, 0x12, 0x40, 0x10, 0x15, 0x00, 0x1B, 0xF7};
    const uint8_t rhythmOn[] = {0xF0, 0x0A, 0x41, 0x10, 0x42, 0x12, 0x40, 0x1A, 0x15, 0x02, 0x0F, 0xF7};
    for (auto* bytes : {rhythmOff, rhythmOn}) {
        auto e = std::make_unique<MidiEvent>();
        e->status = ev::SysEx;
        e->setData(bytes, 12);
        e->classifySysEx();
        t.appendEvent(std::move(e));
    }
    EXPECT_FALSE(t.isDrumChannel(9));
    EXPECT_TRUE(t.isDrumChannel(10));

    ScopedCapture cap;
    EXPECT_EQ(t.masterVolume(), -1);
    t.insertMasterVolumeAt(90, 0);
    t.insertMasterVolumeAt(70, 1);
    trackWarning(0);
    EXPECT_EQ(t.masterVolume(), 70);
    EXPECT_EQ(t.masterVolume(), 70);
    trackWarning(mdtk::MultipleVolumes);  // shares the flag: not shown either
    EXPECT_EQ(cap->visibleTexts(),
              std::vector<std::string>{"MDTK0D000011 More than one master volume is set."});
    trackWarning(0);
    trackWarning(mdtk::MultipleVolumes);
    trackWarning(0x0D0000FF);
    trackWarning(0x0D0000FF);
    EXPECT_EQ(cap->count(), 4u);
    EXPECT_EQ(cap->visibleTexts().back(), "MDTK0D0000FF An error occurred in the MIDI track data.");
}

TEST(TrackQueries, TimesAndNoteSpans) {
    auto t = noteTrack({{10, 60, 100}, {20, 62, 5}, {0, 64, 5}});
    t->addControlChange(0, 1, 1);
    t->event(3)->delta = 30;
    t->ensureEndOfTrack(10);  // at 70; the first note ends at 110
    EXPECT_EQ(t->lengthInTicks(), 110);
    EXPECT_EQ(t->totalTicks(), 110);
    EXPECT_EQ(t->firstNoteIndex(), 0);
    EXPECT_EQ(t->ticksToNextNote(0), 20);
    EXPECT_EQ(t->ticksToNextNote(2), -1);
    EXPECT_EQ(t->firstNoteTimeIn(11, 100), 30);
    EXPECT_EQ(t->firstNoteTimeIn(31, 100), -1);
    EXPECT_EQ(t->lastNoteTimeIn(0, 30), 10);
    EXPECT_EQ(t->lastNoteTimeIn(40, 100), 0);
    EXPECT_EQ(t->countNotesIn(10, 31), 3);
    EXPECT_EQ(t->countNotesIn(11, 30), 0);
}

TEST(TrackQueries, AverageDeltaIgnoresOtherEvents) {
    auto t = noteTrack({{100, 60, 1}, {50, 62, 1}, {0, 64, 1}});
    t->addControlChange(0, 1, 1);
    t->event(3)->delta = 40;
    t->addNote(0, 20, 65, 100, 1);  // 60 after the previous note, across the control change
    t->event(1)->channel = 1;
    EXPECT_EQ(t->averageDelta(0), (100 + 0 + 60) / 2);
    EXPECT_EQ(t->averageDelta(1), 50);
    EXPECT_EQ(t->averageDelta(5), 0);
}

TEST(TrackQueries, MetaTextTempoAndTimeSignature) {
    MidiTrackData t(3000, MidiTrackData::NoteEvents);
    std::string text = "x";
    EXPECT_EQ(t.metaText(meta::TrackName, text), 0);
    EXPECT_EQ(text, "");
    t.addTimeSignature(3, 4);
    t.addTempo(600000);
    t.insertMetaTextAtStart(meta::TrackName, "Melody");
    t.insertMetaTextAtStart(meta::Text, "");
    EXPECT_EQ(t.metaText(meta::TrackName, text), 1);
    EXPECT_EQ(text, "Melody");
    EXPECT_EQ(t.metaText(meta::Text, text), 1);
    EXPECT_EQ(text, std::string(1, '\0'));
    int value = 0;
    EXPECT_EQ(t.timeSignatureCode(value), 1);
    EXPECT_EQ(value, 3 * 256 + 4);
    EXPECT_EQ(t.tempoValue(value), 1);
    EXPECT_EQ(value, 600000);
    EXPECT_EQ(describe(t), "0:M88 0:T600000 0:M3 0:M1");
}

// ---- Builders ----------------------------------------------------------------------------------

TEST(TrackBuilders, SystemExclusiveMessages) {
    MidiTrackData t(3000, MidiTrackData::NoteEvents);
    t.addGmSystemOn();
    t.addGsDisplayText(0, "Hi");
    t.addXgDisplayText(0, "Hi");
    auto bytes = [&](int i) {
        const MidiEvent* e = t.event(i);
        return std::vector<uint8_t>(e->getData(), e->getData() + e->length);
    };
    EXPECT_EQ(t.event(0)->type, sysex::GmSystemOn);
    EXPECT_EQ(bytes(1), (std::vector<uint8_t>{0xF0, 0x0B, 0x41, 0x10, 0x45, 0x12, 0x10, 0x00, 0x00, 'H', 'i',
                                              static_cast<uint8_t>((128 - (0x10 + 'H' + 'i') % 128) % 128), 0xF7}));
    EXPECT_EQ(bytes(2), (std::vector<uint8_t>{0xF0, 0x09, 0x43, 0x10, 0x4C, 0x06, 0x00, 0x00, 'H', 'i', 0xF7}));
    ScopedCapture cap;
    t.addXgDisplayText(0, std::string(40, 'a'));
    EXPECT_EQ(t.event(3)->length, 32 + 9);
    t.insertMasterVolumeAt(200, 0);
    EXPECT_EQ(t.event(0)->value, 127);
    EXPECT_EQ(cap->visibleTexts(), (std::vector<std::string>{"MDTK0D000028 Error occured in adding data!",
                                                             "MDTK0D000001 MidiTrackData Internal Error"}));
}

TEST(TrackBuilders, KeySignatureAndEndOfTrack) {
    MidiTrackData t(3000, MidiTrackData::NoteEvents);
    t.addKeySignature(0, 3, 1);
    EXPECT_EQ(static_cast<int8_t>(t.event(0)->getData()[0]), -3);
    EXPECT_EQ(t.event(0)->getData()[1], 1);
    t.ensureEndOfTrack(5);
    t.ensureEndOfTrack(7);
    EXPECT_EQ(describe(t), "0:M89 5:E");
    t.addNote(0, 3, 60, 100, 2);
    t.ensureEndOfTrack(4);
    t.ensureSingleEndOfTrack();
    EXPECT_EQ(describe(t), "0:M89 8:N60/2 4:E");
    t.addNote(0, 1, 60, 100, 2);
    t.ensureSingleEndOfTrack();
    EXPECT_EQ(describe(t), "0:M89 8:N60/2 5:N60/2 0:E");
}

TEST(TrackLifetime, CopyNeedsNoteEventsAndLargeEventsAreReportedOnDeletion) {
    auto t = noteTrack({{1, 60, 2}}, 3);
    MidiTrackData copy(*t, 3000);
    EXPECT_EQ(describe(copy), describe(*t));
    copy.event(0)->data1 = 70;
    EXPECT_EQ(t->event(0)->data1, 60);

    ScopedCapture cap;
    auto r = readChunk(chunk({0x00, 0xFF, 0x2F, 0x00}));
    MidiTrackData bad(*r, 3000);
    EXPECT_EQ(bad.eventCount(), 0);
    EXPECT_EQ(cap->visibleTexts(), std::vector<std::string>{"MDTK0D000001 MidiTrackData Internal Error"});
    cap->clear();
    {
        MidiTrackData big(3000, MidiTrackData::NoteEvents);
        std::vector<uint8_t> text(256, 'a');
        big.addMeta(0, meta::Text, text.data(), 256);
        std::vector<uint8_t> seq(300, 1);
        big.addMeta(0, meta::SequencerSpecific, seq.data(), 300);
        cap->clear();
    }
    EXPECT_EQ(cap->visibleTexts(), std::vector<std::string>{"MDTK0D00001A Can not add data!"});
}

}  // namespace
}  // namespace tunecase
