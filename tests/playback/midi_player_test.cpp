#include "playback/midi_player.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "base/reporter.h"
#include "playback/music_player.h"
#include "playback/player_schedule.h"
#include "playback/playback_test_support.h"
#include "support/test_support.h"

namespace tunecase {
namespace {

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

TEST(PlayerRun, CapturedMessagesMatchTheScheduleInOrderAndNeverComeEarly) {
    testing::TempFolder dir;
    CaptureRoute route(dir.file("cap.txt"));
    ScopedCapture cap;
    auto song = eventSong(96, {{0, 0, 60, 100, 20}, {0, 24, 62, 100, 20}, {0, 48, 64, 100, 20},
                               {0, 60, 65, 100, 20}, {0, 96, 67, 100, 20}},
                          500000);
    auto expected = scheduledMessages(*song->track(), 96, 150);
    std::atomic<int> ended{0};
    std::vector<int> indices;
    MusicPlayer player;
    ASSERT_EQ(player.startWholeSong({song->track(), 96}, [&] { ended = 1; },
                                    [&](int index, int, const MidiEvent*) { indices.push_back(index); }),
              1);
    MidiPlayer::setSpeed(150);
    ASSERT_TRUE(waitWhilePlayerBusy(5, 20000));
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
    ASSERT_TRUE(waitWhilePlayerBusy(5, 20000));
    player.stopWholeSong();
    ASSERT_GE(cap->count(), 1u);
    EXPECT_EQ(cap->visibleTexts()[0], "MDPL08000003 Tempo is too slow!");
    EXPECT_EQ(playerClock().tempoBpm.load(), 10u);
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
    MidiPlayer player;
    ASSERT_EQ(player.startWithCallbacks({song->track(), 96}, kMidiMapper, [] {}, [](int, int, const MidiEvent*) {}, 0,
                                        150, -1),
              1);
    ASSERT_TRUE(waitWhilePlayerBusy(5, 20000));
    player.destroyRun();
    auto got = withoutReset(route.messages());
    ASSERT_GE(got.size(), 4u);
    EXPECT_EQ(got[0].bytes, gmSystemOnBytes());
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
    MidiPlayer::requestStop();
    // The chain is waiting out the rest: it has not seen the request yet.
    EXPECT_EQ(playerClock().playerBusy.load(), 1);
    ASSERT_TRUE(waitWhilePlayerBusy(5, 20000));
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
    MidiPlayer::requestStop();
    ASSERT_TRUE(waitWhilePlayerBusy(5, 20000));
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
    EXPECT_EQ(playerClock().playerBusy.load(), 0);
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
    EXPECT_EQ(playerClock().playerBusy.load(), 0);
    EXPECT_FALSE(player.hasWholeSongRun());
}

}  // namespace
}  // namespace tunecase
