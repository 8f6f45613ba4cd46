// The format 1 track edits: bend sensitivity, thinning bends, bends into notes, legato,
// swells, modulation and glides.
#include <gtest/gtest.h>

#include "base/reporter.h"
#include "midi/midi_f1_track_data.h"
#include "midi/smf_test_util.h"

namespace tunecase {
namespace {

using testing::NoteTuple;
using testing::notesOf;

MidiF1TrackData notes() { return MidiF1TrackData(0x60000, MidiTrackData::NoteEvents); }

int addBend(MidiTrackData& t, int channel, int delta, int value) {
    auto e = std::make_unique<MidiEvent>(delta);
    e->status = ev::PitchBend;
    e->channel = channel;
    e->setPitchBendValue(value);
    return t.appendEvent(std::move(e));
}

// (time, controller, value) of every control change.
std::vector<std::tuple<int64_t, int, int>> controls(const MidiTrackData& t) {
    std::vector<std::tuple<int64_t, int, int>> out;
    int64_t time = 0;
    for (const auto& e : t.events()) {
        time += e->delta;
        if (e->status == ev::ControlChange) out.emplace_back(time, static_cast<int>(e->type), e->value);
    }
    return out;
}

std::vector<std::pair<int64_t, int>> bends(const MidiTrackData& t) {
    std::vector<std::pair<int64_t, int>> out;
    int64_t time = 0;
    for (const auto& e : t.events()) {
        time += e->delta;
        if (e->status == ev::PitchBend) out.emplace_back(time, e->pitchBendValue());
    }
    return out;
}

TEST(MidiF1Track, IsMadeWithHalfTheCapacity) {
    MidiF1TrackData t(0x60000);
    EXPECT_EQ(t.capacity(), 0x30000);
}

TEST(MidiF1Track, BendSensitivityIsReadInsertedAndRemoved) {
    ScopedCapture cap;
    auto t = notes();
    t.addNote(2, 0, 60, 100, 10);
    EXPECT_EQ(t.bendSensitivity(), 12);
    ASSERT_EQ(t.insertBendSensitivity(5), 1);
    EXPECT_EQ(controls(t), (std::vector<std::tuple<int64_t, int, int>>{{0, 101, 0}, {0, 100, 0}, {0, 6, 5}}));
    EXPECT_EQ(t.event(0)->status, ev::Note);  // behind what was already at time 0
    EXPECT_EQ(t.event(1)->channel, 2);
    EXPECT_EQ(t.bendSensitivity(), 5);
    EXPECT_TRUE(cap->visibleTexts().empty());

    t.insertBendSensitivity(7);
    EXPECT_EQ(t.bendSensitivity(), 7);
    EXPECT_EQ(t.bendSensitivity(), 7);
    EXPECT_EQ(cap->visibleTexts(), std::vector<std::string>{"M1TK03000017 More than one pitchbend sensitivity are found!"});

    // An NRPN's data entry stays; both RPN 0/0 entries go.
    t.addControlChange(2, 99, 1);
    t.addControlChange(2, 98, 8);
    t.addControlChange(2, 6, 64);
    EXPECT_EQ(t.removeBendSensitivity(), 2);
    std::vector<int> dataEntries;
    for (const auto& [time, controller, value] : controls(t))
        if (controller == 6) dataEntries.push_back(value);
    EXPECT_EQ(dataEntries, std::vector<int>{64});
}

TEST(MidiF1Track, DecayVelocity) {
    EXPECT_EQ(MidiF1TrackData::decayVelocity(100, 0), 100);
    EXPECT_EQ(MidiF1TrackData::decayVelocity(100, 2), 81);
    EXPECT_EQ(MidiF1TrackData::decayVelocity(100, -2), 81);
    EXPECT_EQ(MidiF1TrackData::decayVelocity(100, 6), 51);
    EXPECT_EQ(MidiF1TrackData::decayVelocity(100, 7), 100);  // 45 is below half
}

TEST(MidiF1Track, ThinningDropsBendsBetweenTheirNeighboursAndRepeats) {
    auto t = notes();
    for (int v : {8192, 9000, 10000, 10000, 9000}) addBend(t, 0, 10, v);
    t.addNote(0, 10, 60, 100, 30);
    addBend(t, 0, 10, 9000);  // while the note sounds: kept
    t.ensureEndOfTrack(50);
    EXPECT_EQ(t.thinPitchBends(), 3);
    EXPECT_EQ(t.state(), MidiTrackData::NoteEvents);
    // 9000 lay between 8192 and 10000; the second 10000 repeats; the last 9000 repeats 9000.
    EXPECT_EQ(bends(t), (std::vector<std::pair<int64_t, int>>{{10, 8192}, {30, 10000}, {50, 9000}}));
    EXPECT_EQ(notesOf(t), (std::vector<NoteTuple>{{60, 0, 60, 100, 30}}));
}

TEST(MidiF1Track, BendsBecomeNotes) {
    ScopedCapture cap;
    auto t = notes();
    addBend(t, 0, 0, 16383);
    t.addNote(0, 0, 60, 100, 100);
    t.addControlChange(0, 1, 64);
    addBend(t, 0, 40, 8192);  // back to the centre while the note sounds
    addBend(t, 0, 20, 8192 - 4095);
    t.ensureEndOfTrack(100);
    t.bendsToNotes(2);
    // 4095 units per semitone: 16383 is two up, the centre none, -4095 one down.
    EXPECT_EQ(notesOf(t), (std::vector<NoteTuple>{{0, 0, 62, 81, 40}, {40, 0, 60, 100, 20}, {60, 0, 59, 90, 40}}));
    EXPECT_TRUE(bends(t).empty());
    EXPECT_TRUE(controls(t).empty());
    EXPECT_TRUE(cap->visibleTexts().empty());

    auto high = notes();
    addBend(high, 0, 0, 16383);
    high.addNote(0, 0, 127, 100, 10);
    high.bendsToNotes(2);
    EXPECT_EQ(notesOf(high), (std::vector<NoteTuple>{{0, 0, 127, 100, 10}}));  // held at the top: not moved, not softer
    EXPECT_EQ(cap->visibleTexts(), std::vector<std::string>{"M1TK03000014 Error occured in conversion of note to pitchbend!"});

    cap->clear();
    high.bendsToNotes(0);  // no units per semitone: refused rather than divided by
    EXPECT_EQ(cap->visibleTexts(), std::vector<std::string>{"M1TK2E00001B Pitchbend range is over the capaticty of conversion!"});
}

TEST(MidiF1Track, LegatoRunsToTheNextLaterNote) {
    auto t = notes();
    t.addNote(0, 0, 60, 100, 10);
    t.addNote(0, 0, 64, 100, 10);  // same chord: does not end the first
    t.addNote(0, 100, 67, 100, 10);
    t.addNote(0, 500, 72, 100, 10);
    t.ensureEndOfTrack(50);
    t.setLegato(300);
    EXPECT_EQ(notesOf(t), (std::vector<NoteTuple>{{0, 0, 60, 100, 100}, {0, 0, 64, 100, 100},
                                                  {100, 0, 67, 100, 300}, {600, 0, 72, 100, 50}}));
}

TEST(MidiF1Track, ExpressionSwellRisesToFullOverItsLength) {
    auto t = notes();
    t.addNote(3, 0, 60, 100, 480);
    t.ensureEndOfTrack(960);
    t.addExpressionSwell(100, 4);
    EXPECT_EQ(controls(t), (std::vector<std::tuple<int64_t, int, int>>{{0, 11, 103}, {25, 11, 111}, {50, 11, 119}, {75, 11, 127}}));
    EXPECT_EQ(t.event(1)->channel, 3);
    EXPECT_EQ(t.timeOf(t.eventCount() - 1), 960);  // the next event stays where it was
}

TEST(MidiF1Track, DelayedModulation) {
    auto t = notes();
    t.addNote(0, 10, 60, 100, 200);
    t.addNote(0, 300, 62, 100, 20);  // too short for the delay
    t.ensureEndOfTrack(20);
    t.addDelayedModulation(50);
    EXPECT_EQ(controls(t), (std::vector<std::tuple<int64_t, int, int>>{{10, 1, 0}, {60, 1, 127}, {310, 1, 0}}));
    EXPECT_EQ(notesOf(t), (std::vector<NoteTuple>{{10, 0, 60, 100, 200}, {310, 0, 62, 100, 20}}));
}

TEST(MidiF1Track, GlideBendsTowardsTheNextNote) {
    ScopedCapture cap;
    auto t = notes();
    t.addNote(1, 0, 60, 100, 400);
    t.addNote(1, 400, 62, 100, 100);
    t.ensureEndOfTrack(200);
    t.addGlide(100, 4, 2);
    // Centred before each note, four steps over the last 100 ticks before the next note, centred
    // again before the last event. 8191 / 2 * 2 / 4 = 2047 per step.
    EXPECT_EQ(bends(t), (std::vector<std::pair<int64_t, int>>{{0, 8192},
                                                              {300, 8192},
                                                              {325, 10239},
                                                              {350, 12286},
                                                              {375, 14333},
                                                              {400, 8192},
                                                              {600, 8192}}));
    EXPECT_EQ(notesOf(t), (std::vector<NoteTuple>{{0, 1, 60, 100, 400}, {400, 1, 62, 100, 100}}));
    EXPECT_TRUE(cap->visibleTexts().empty());

    auto before = notesOf(t);
    const int count = t.eventCount();
    t.addGlide(100, 3, 2);  // 100 is not a multiple of 3
    EXPECT_EQ(t.eventCount(), count);
    EXPECT_EQ(cap->visibleTexts(), std::vector<std::string>{"M1TK0D000023 Error occured in MidiF1TrackData!"});
}

TEST(MidiF1Track, NoteStateOperationsRefuseTheOtherStates) {
    ScopedCapture cap;
    MidiF1TrackData t(0x60000, MidiTrackData::MidiEvents);
    t.setLegato(10);
    t.bendsToNotes(2);
    EXPECT_EQ(t.insertBendSensitivity(2), 0);
    EXPECT_EQ(cap->visibleTexts(), std::vector<std::string>(3, "M1TK0D000001 Error occured in MidiF1TrackData!"));
}

}  // namespace
}  // namespace tunecase
