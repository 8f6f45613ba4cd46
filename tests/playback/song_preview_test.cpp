#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/reporter.h"
#include "midi/midi_f0_data.h"
#include "playback/midi_player.h"
#include "playback/music_player.h"
#include "playback/song_preview.h"
#include "playback/playback_test_support.h"
#include "support/test_support.h"

namespace tunecase {
namespace {

using testing::CaptureRoute;
using testing::songOf;

int noteOnsIn(const std::vector<TimedMidiMessage>& messages) {
    int n = 0;
    for (const auto& m : messages) n += m.bytes[0] == 0x90 && m.bytes.size() == 3 && m.bytes[2] > 0;
    return n;
}

TEST(SongPreview, PlaysACopyAt96TicksFromTheFirstMeasureAndCallsTheCompletion) {
    testing::TempFolder dir;
    CaptureRoute route(dir.file("cap.txt"));
    // Two empty measures of 4/4 at 480, then three short notes.
    auto song = songOf(480, {{0, 3840 + 120, 60, 100, 60}, {0, 3840 + 240, 62, 100, 60}, {0, 3840 + 360, 64, 100, 60}},
                       500000, 4, 4);
    std::atomic<int> completed{0};
    std::vector<int> firstReport;
    std::atomic<int> reports{0};
    SongPreview preview;
    ASSERT_EQ(preview.play(*song, [&] { completed = 1; return 1; },
                         [&](int index, int time, const MidiEvent* e) {
                             if (reports++ == 0) firstReport = {index, time, e == nullptr};
                         },
                         true, false),
              1);
    for (int i = 0; i < 500 && !completed; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(completed, 1);
    // Two measures at 96 ticks per quarter were trimmed.
    EXPECT_EQ(firstReport, (std::vector<int>{0, 768, 1}));
    preview.stop();
    EXPECT_FALSE(preview.running());
    EXPECT_EQ(noteOnsIn(route.messages()), 3);
    // The song itself is untouched by its preview.
    EXPECT_EQ(song->division(), 480);
    EXPECT_EQ(song->state(), MidiF0Data::NoteEvents);
}

TEST(SongPreview, ALoopingPreviewRunsUntilStopped) {
    testing::TempFolder dir;
    CaptureRoute route(dir.file("cap.txt"));
    auto song = songOf(96, {{0, 0, 60, 100, 12}, {0, 24, 62, 100, 12}});
    std::atomic<int> noteOns{0};
    SongPreview preview;
    ASSERT_EQ(preview.play(*song, {}, [&](int, int, const MidiEvent* e) { if (e && e->status == ev::NoteOn) ++noteOns; }, false, true),
              1);
    while (noteOns < 6) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_TRUE(preview.running());
    preview.stop();
    EXPECT_FALSE(preview.running());
    EXPECT_EQ(preview.clock().playerBusy(), 0);
    EXPECT_GE(noteOnsIn(route.messages()), 6);
}

TEST(SongPreview, DroppingThePreviewWhileItPlaysEndsItFirst) {
    testing::TempFolder dir;
    CaptureRoute route(dir.file("cap.txt"));
    auto song = songOf(96, {{0, 0, 60, 100, 12}, {0, 24, 62, 100, 12}});
    auto preview = std::make_unique<SongPreview>();
    ASSERT_EQ(preview->play(*song, {}, {}, false, true), 1);
    song.reset();  // the preview plays its own copy
    EXPECT_TRUE(preview->running());
    preview.reset();  // must not leave a thread playing freed events
    // Its run is gone too: another player starts at once.
    ScopedCapture cap;
    auto other = songOf(96, {{0, 0, 70, 100, 12}});
    other->toMidi();
    MusicPlayer player;
    ASSERT_EQ(player.startWholeSong({other->track(), 96}, [] {}, {}), 1);
    ASSERT_TRUE(player.clock().waitWhileBusy(std::chrono::seconds(20)));
    player.stopWholeSong();
    EXPECT_EQ(cap->count(), 0u);
}

// Two previews: the second one waits until the first has finished, completion included,
// instead of being refused while the first still holds its run.
TEST(SongPreview, ASecondPreviewWaitsForTheFirstToFinish) {
    testing::TempFolder dir;
    CaptureRoute route(dir.file("cap.txt"));
    ScopedCapture cap;
    auto first = songOf(96, {{0, 0, 60, 100, 12}, {0, 24, 62, 100, 12}});
    auto second = songOf(96, {{0, 0, 70, 100, 12}, {0, 24, 72, 100, 12}});
    std::mutex mutex;
    std::vector<std::string> log;
    auto note = [&](const std::string& who) {
        return [&, who](int, int, const MidiEvent* e) {
            if (!e || e->status != ev::NoteOn || e->velocity == 0) return;
            std::lock_guard lock(mutex);
            log.push_back(who + " " + std::to_string(e->data1));
        };
    };
    std::atomic<int> secondDone{0};
    SongPreview a, b;
    ASSERT_EQ(a.play(*first, [&] {
                  // The first run is over but still held while its completion runs.
                  std::this_thread::sleep_for(std::chrono::milliseconds(200));
                  std::lock_guard lock(mutex);
                  log.push_back("a done");
                  return 1;
              },
                     note("a"), false, false),
              1);
    ASSERT_EQ(b.play(*second, [&] {
                  std::lock_guard lock(mutex);
                  log.push_back("b done");
                  secondDone = 1;
                  return 1;
              },
                     note("b"), false, false),
              1);
    for (int i = 0; i < 1000 && !secondDone; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::lock_guard lock(mutex);
    EXPECT_EQ(log, (std::vector<std::string>{"a 60", "a 62", "a done", "b 70", "b 72", "b done"}));
    EXPECT_EQ(cap->count(), 0u);
}

}  // namespace
}  // namespace tunecase
