#include "playback/midi_player.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "base/reporter.h"
#include "playback/music_player.h"
#include "playback/player_schedule.h"
#include "playback/playback_test_support.h"
#include "support/test_support.h"

namespace tunecase {
namespace {

using namespace std::chrono_literals;
using testing::CaptureRoute;
using testing::songOf;
using testing::TestNote;

std::unique_ptr<MidiF0Data> eventSong(int division, const std::vector<TestNote>& notes, int tempo = 0) {
    auto song = songOf(division, notes, tempo);
    song->toMidi();
    return song;
}

std::vector<std::vector<uint8_t>> bytesOnly(const std::vector<TimedMidiMessage>& messages) {
    std::vector<std::vector<uint8_t>> out;
    for (const auto& m : messages) out.push_back(m.bytes);
    return out;
}

// Drops the reset a closing port sends (controllers 120/121 on every channel, then FF).
std::vector<TimedMidiMessage> withoutReset(std::vector<TimedMidiMessage> messages) {
    while (!messages.empty()) {
        const auto& b = messages.back().bytes;
        bool reset = (b.size() == 1 && b[0] == 0xFF) ||
                     (b.size() == 3 && (b[0] & 0xF0) == 0xB0 && (b[1] == 120 || b[1] == 121));
        if (!reset) break;
        messages.pop_back();
    }
    return messages;
}

TEST(PlayerArithmetic, DelaysFollowDivisionTempoAndSpeed) {
    const int64_t tpm100 = ticksPerMinute(480, 120, 100);
    EXPECT_EQ(delayMs(480, tpm100), 500);
    EXPECT_EQ(delayMs(480, ticksPerMinute(480, 120, 50)), 1000);
    EXPECT_EQ(delayMs(480, ticksPerMinute(480, 120, 150)), 333);
    EXPECT_EQ(ticksPerMinute(96, 240, 100), 23040);
    EXPECT_EQ(delayMs(1, ticksPerMinute(480, 240, 150)), 0);  // closer than 1 ms: same tick
}

TEST(PlayerSchedule, TempoEventsApplyFromTheFollowingTickAndAreClamped) {
    // No tempo: 240 BPM. Notes every 480 ticks at division 480 are 250 ms apart.
    auto plain = eventSong(480, {{0, 0, 60, 100, 480}, {0, 480, 62, 100, 480}, {0, 960, 64, 100, 480}});
    auto s = schedulePlayback(*plain->track(), 480, 100);
    std::vector<int64_t> noteOnTimes;
    for (const auto& e : s)
        if (plain->track()->event(e.index)->status == ev::NoteOn) noteOnTimes.push_back(e.timeMs);
    EXPECT_EQ(noteOnTimes, (std::vector<int64_t>{1, 251, 501}));

    // 461,538 us is 130 BPM (60000 / 461); 7,000,000 us would be 8 and plays at 10.
    for (auto [tempo, bpm] : {std::pair{461538, 130}, std::pair{7000000, 10}, std::pair{500, 60}}) {
        auto song = eventSong(480, {{0, 0, 60, 100, 480}, {0, 480, 62, 100, 480}}, tempo);
        auto sched = schedulePlayback(*song->track(), 480, 100);
        int64_t first = -1, second = -1;
        for (const auto& e : sched)
            if (song->track()->event(e.index)->status == ev::NoteOn) (first < 0 ? first : second) = e.timeMs;
        EXPECT_EQ(second - first, 480 * 60000 / (480 * bpm)) << "tempo " << tempo;
    }
}

// A chord, a tempo change from 120 to 200 BPM at tick 48 and a controller at tick 50, at
// division 96.
std::unique_ptr<MidiF0Data> tempoChangeSong() {
    auto song = songOf(96, {{0, 0, 60, 100, 20}, {0, 24, 62, 100, 20}, {0, 24, 66, 90, 20}, {0, 48, 64, 100, 20},
                            {0, 60, 65, 100, 20}, {0, 96, 67, 100, 20}},
                       500000);
    auto tempo = std::make_unique<MidiEvent>();
    tempo->makeTempo(300000);
    song->track()->insertAtTime(48, std::move(tempo), 1);
    auto volume = std::make_unique<MidiEvent>();
    volume->makeControlChange(0, 7, 77);
    song->track()->insertAtTime(50, std::move(volume), 1);
    song->toMidi();
    return song;
}

TEST(PlayerSchedule, ATempoChangeGovernsTheGapThatFollowsIt) {
    auto song = tempoChangeSong();
    std::vector<int64_t> times;
    for (const auto& e : schedulePlayback(*song->track(), 96, 150)) times.push_back(e.timeMs);
    // First tick one period (60000 / (96 * 240) = 2 ms) in. At 120 BPM and 150 % a tick is
    // 60000 / 17280 ms: 20 ticks 69 ms, 4 ticks 13 ms. The tempo event at 48 takes effect
    // at once, so from there on a tick is 60000 / 28800 ms (200 BPM): 2 ticks to the
    // controller 4 ms, then 10 ticks 20 ms, 8 ticks 16, 12 ticks 25, 16 ticks 33. The run
    // ends with the tick of the last note on (its note off would reach the end time).
    EXPECT_EQ(times, (std::vector<int64_t>{0, 2, 71, 84, 84, 153, 153, 166, 166, 170, 190, 206, 231, 264}));
}

TEST(PlayerSchedule, MessagesAreTheBytesTheDeviceReceives) {
    auto song = songOf(96, {{0, 0, 60, 100, 10}, {0, 20, 62, 100, 10}});
    auto program = std::make_unique<MidiEvent>();
    program->status = ev::ProgramChange;
    program->channel = 0;
    program->value = 5;
    song->track()->insertAtTime(0, std::move(program), 2);
    auto bend = std::make_unique<MidiEvent>();
    bend->status = ev::PitchBend;
    bend->channel = 0;
    bend->data1 = 0x01;  // low 7 bits
    bend->value = 0x40;  // high 7 bits
    song->track()->insertAtTime(0, std::move(bend), 2);  // goes before the program change
    song->toMidi();
    // GM System On without its length byte, the pre-roll at once, the first tick 2 ms in,
    // pitch bend as E0 LSB MSB, a note off with release velocity 0 (the song has 64).
    // 10 ticks at 240 BPM take 26 ms; the run ends before the last note off.
    std::vector<TimedMidiMessage> expected{
        {0, {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7}}, {0, {0xE0, 0x01, 0x40}}, {0, {0xC0, 5}},
        {2000, {0x90, 60, 100}},                   {28000, {0x80, 60, 0}}, {54000, {0x90, 62, 100}},
    };
    EXPECT_EQ(scheduledMessages(*song->track(), 96, 100), expected);
}

TEST(PlayerRun, CapturedMessagesMatchTheScheduleInOrderAndNeverComeEarly) {
    testing::TempFolder dir;
    CaptureRoute route(dir.file("cap.txt"));
    ScopedCapture cap;
    auto song = tempoChangeSong();
    auto expected = scheduledMessages(*song->track(), 96, 150);
    // GM System On, the notes and the controller; the last note off is not sent, as the run
    // ends when it would reach the end time.
    ASSERT_EQ(expected.size(), 13u);
    std::atomic<int> ended{0};
    std::vector<int> indices;
    MusicPlayer player;
    ASSERT_EQ(player.startWholeSong({song->track(), 96}, [&] { ended = 1; },
                                    [&](int index, int, const MidiEvent*) { indices.push_back(index); }),
              1);
    player.clock().setSpeed(150);
    ASSERT_TRUE(player.clock().waitWhileBusy(20s));
    player.stopWholeSong();
    EXPECT_EQ(ended, 1);
    EXPECT_EQ(cap->count(), 0u);

    auto got = withoutReset(route.messages());
    ASSERT_EQ(bytesOnly(got), bytesOnly(expected));
    // Align on the smallest difference: the run starts a little after the port opens.
    int64_t offset = INT64_MAX;
    for (size_t i = 0; i < got.size(); ++i) offset = std::min(offset, got[i].timeUs - expected[i].timeUs);
    for (size_t i = 1; i < got.size(); ++i) {
        EXPECT_GE(got[i].timeUs - expected[i].timeUs - offset, 0) << "message " << i;
        EXPECT_LT(got[i].timeUs - expected[i].timeUs - offset, 2'000'000) << "message " << i;
    }
    // The first callback is the GM System On; the last note on is among the sent events.
    ASSERT_FALSE(indices.empty());
    EXPECT_EQ(indices.front(), 0);
}

TEST(PlayerRun, TempoMessagesAreShownAndTheRunGoesOn) {
    testing::TempFolder dir;
    CaptureRoute route(dir.file("cap.txt"));
    ScopedCapture cap;
    auto song = eventSong(96, {{0, 0, 60, 100, 4}}, 7000000);
    MusicPlayer player;
    ASSERT_EQ(player.startWholeSong({song->track(), 96}, [] {}, {}), 1);
    ASSERT_TRUE(player.clock().waitWhileBusy(20s));
    player.stopWholeSong();
    ASSERT_GE(cap->count(), 1u);
    EXPECT_EQ(cap->visibleTexts()[0], "MDPL08000003 Tempo is too slow!");
    EXPECT_EQ(player.clock().tempoBpm.load(), 10u);
}

TEST(PlayerRun, ChaseSendsTheStateBeforeTheStartThenPlaysFromThere) {
    testing::TempFolder dir;
    CaptureRoute route(dir.file("cap.txt"));
    auto song = songOf(96, {{0, 0, 60, 100, 10}, {0, 96, 62, 100, 10}, {0, 192, 64, 100, 10}});
    MidiTrackData& track = *song->track();
    track.insertAtTime(0, [] {
        auto e = std::make_unique<MidiEvent>();
        e->status = ev::ProgramChange;
        e->channel = 0;
        e->value = 5;
        return e;
    }(), 2);
    track.insertAtTime(50, [] {
        auto e = std::make_unique<MidiEvent>();
        e->makeControlChange(0, 7, 90);
        return e;
    }(), 1);
    song->toMidi();
    PlayerClock clock;
    MidiPlayer player(clock);
    ASSERT_EQ(player.startWithCallbacks({song->track(), 96}, kMidiMapper, [] {}, [](int, int, const MidiEvent*) {}, 0,
                                        150, -1),
              1);
    ASSERT_TRUE(clock.waitWhileBusy(20s));
    player.destroyRun();
    auto got = withoutReset(route.messages());
    ASSERT_GE(got.size(), 4u);
    EXPECT_EQ(got[0].bytes, (std::vector<uint8_t>{0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7}));
    EXPECT_EQ(got[1].bytes, (std::vector<uint8_t>{0xC0, 5}));
    EXPECT_EQ(got[2].bytes, (std::vector<uint8_t>{0xB0, 7, 90}));
    // Playing resumes at the note at 192; the notes at 0 and 96 are never sent.
    for (const auto& m : got) {
        if (m.bytes[0] == 0x90) EXPECT_EQ(m.bytes[1], 64);
    }
    EXPECT_EQ(got[got.size() - 2].bytes, (std::vector<uint8_t>{0x90, 64, 100}));
    EXPECT_EQ(got.back().bytes, (std::vector<uint8_t>{0x80, 64, 0}));
}

TEST(PlayerRun, AStopDuringALongRestTakesEffectWhenThePendingTimerFires) {
    testing::TempFolder dir;
    CaptureRoute route(dir.file("cap.txt"));
    // At 240 BPM and division 96 the first note lasts 1.5 s, and nothing happens meanwhile.
    auto song = eventSong(96, {{0, 0, 60, 100, 576}, {0, 576, 62, 100, 10}});
    MusicPlayer player;
    std::atomic<int> firstSent{0};
    ASSERT_EQ(player.startWholeSong({song->track(), 96}, [] {},
                                    [&](int, int, const MidiEvent* e) {
                                        if (e && e->status == ev::NoteOn) firstSent = 1;
                                    }),
              1);
    while (!firstSent) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    player.clock().requestStop();
    // The chain is waiting out the rest: it has not seen the request yet.
    EXPECT_EQ(player.clock().playerBusy(), 1);
    ASSERT_TRUE(player.clock().waitWhileBusy(20s));
    player.stopWholeSong();
    auto got = withoutReset(route.messages());
    int noteOns = 0, allNotesOff = 0;
    for (const auto& m : got) {
        noteOns += m.bytes[0] == 0x90;
        allNotesOff += (m.bytes.size() == 3 && (m.bytes[0] & 0xF0) == 0xB0 && m.bytes[1] == 123);
    }
    EXPECT_EQ(noteOns, 1);
    EXPECT_EQ(allNotesOff, 16);
}

TEST(PlayerRuns, OnlyOneRunAtATime) {
    testing::TempFolder dir;
    CaptureRoute route(dir.file("cap.txt"));
    ScopedCapture cap;
    auto song = eventSong(96, {{0, 0, 60, 100, 10}, {0, 960, 62, 100, 10}});
    auto other = eventSong(96, {{0, 0, 70, 100, 10}});
    MusicPlayer window, preview;
    ASSERT_EQ(window.startWholeSong({song->track(), 96}, [] {}, {}), 1);
    EXPECT_EQ(preview.play({other->track(), 96}, {}, 0, 0, -1, {}), 0);
    ASSERT_EQ(cap->count(), 1u);
    EXPECT_EQ(cap->visibleTexts()[0], "MDPL08000008 Another song is already playing!");
    // Each player has a clock of its own: the refused one stays idle, and steering it leaves
    // the running one alone.
    EXPECT_EQ(window.clock().playerBusy(), 1);
    EXPECT_EQ(preview.clock().playerBusy(), 0);
    preview.clock().setSpeed(50);
    preview.clock().requestStop();
    EXPECT_EQ(window.clock().speedPercent.load(), 100);
    EXPECT_EQ(window.clock().stopRequested.load(), 0);
    window.clock().requestStop();
    ASSERT_TRUE(window.clock().waitWhileBusy(20s));
    window.stopWholeSong();
    // Once the first run is gone, the next one starts.
    EXPECT_EQ(preview.play({other->track(), 96}, {}, 0, 0, -1, {}), 1);
    EXPECT_EQ(preview.waitUntilDone(), 1);
    preview.release();
    EXPECT_EQ(preview.isActive(), 0);
}

TEST(PlayerRuns, ASongNotInEventFormIsRefused) {
    ScopedCapture cap;
    auto song = songOf(96, {{0, 0, 60, 100, 10}});
    MusicPlayer player;
    EXPECT_EQ(player.startWholeSong({song->track(), 96}, [] {}, {}), 0);
    auto texts = cap->visibleTexts();
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[0], "MDSP09000001 Internal Error occured in MusicPlayer!");
    EXPECT_EQ(texts[1], "MDPL08000004 Internal error occured in MidiPlayer!");
    EXPECT_EQ(player.clock().playerBusy(), 0);
}

// No output at all: the first start says so once, later starts fail silently, nothing hangs.
class NoDevices final : public MidiOutSystem {
public:
    NoDevices() : previous_(setMidiOutSystem(this)) {}
    ~NoDevices() override { setMidiOutSystem(previous_); }
    std::vector<MidiOutDeviceInfo> devices() override { return {}; }
    int open(int, std::unique_ptr<MidiOutDevice>&) override { return midiresult::BadDeviceId; }

private:
    MidiOutSystem* previous_;
};

TEST(PlayerRuns, WithoutAnyDeviceTheFirstStartSaysSoOnce) {
    NoDevices none;
    reportMissingMidiDevice = 1;
    ScopedCapture cap;
    auto song = eventSong(96, {{0, 0, 60, 100, 10}});
    MusicPlayer player;
    EXPECT_EQ(player.startWholeSong({song->track(), 96}, [] {}, {}), 0);
    EXPECT_EQ(player.startWholeSong({song->track(), 96}, [] {}, {}), 0);
    ASSERT_EQ(cap->count(), 1u);
    EXPECT_EQ(cap->visibleTexts()[0], "MDCT07000001 Can not open Midi device!");
    EXPECT_EQ(player.clock().playerBusy(), 0);
    EXPECT_FALSE(player.hasWholeSongRun());
}

}  // namespace
}  // namespace tunecase
