#include "app/player_controller.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <deque>
#include <mutex>
#include <thread>

#include "base/reporter.h"
#include "songs/song_list.h"
#include "base/utilities.h"
#include "playback/playback_test_support.h"
#include "support/test_support.h"

namespace tunecase {
namespace {

using Clock = std::chrono::steady_clock;

// A window stand-in: posted tasks queue up and run when the test pumps, delayed ones when
// their time has come. Records what the controller asked of it.
class FakeView final : public PlayerView {
public:
    void postToUi(std::function<void()> task) override { postToUiAfter(0, std::move(task)); }
    void postToUiAfter(int ms, std::function<void()> task) override {
        std::lock_guard lock(mutex_);
        tasks_.push_back({Clock::now() + std::chrono::milliseconds(ms), std::move(task)});
    }
    void pumpEvents(int ms) override {
        runDueTasks();
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    }
    // Runs posted tasks until `done` holds or `seconds` pass. Returns `done()`.
    bool pumpUntil(const std::function<bool()>& done, double seconds = 20) {
        auto end = Clock::now() + std::chrono::duration<double>(seconds);
        while (!done() && Clock::now() < end) pumpEvents(2);
        return done();
    }

    void showTitle(const std::string& t) override { title = t; }
    void setStartLabel(const char* l) override { label = l; }
    void setButtonsEnabled(bool on) override { buttonsEnabled = on; }
    void setLoading(bool on) override { loading = on; }
    void plateSetSong(const std::vector<PlateNote>& notes, int32_t length) override {
        pins = notes.size();
        displayLength = length;
    }
    void plateAdvanceOnce() override { ++advances; }
    void plateRepaint() override {}
    void plateTimer(bool on) override { plateTimerOn = on; }
    void plateSongEvent(PlateEventKind kind, int, int32_t, bool) override {
        if (kind == PlateEventKind::NoteOn) ++noteOnsSeen;
    }
    void plateReleaseAllKeys() override { ++releaseAlls; }
    void plateRebuild() override { ++rebuilds; }
    bool trayAvailable() override { return tray; }
    void hideWindow() override { ++hides; }
    void toggleWindow() override {}
    void selectPlateEntry(int32_t code) override { comboPlate = code; }
    void openHelp() override { ++helps; }
    void runConfigDialog() override {}
    void closeWindow() override { closed = true; }

    std::string title = "?", label;
    bool buttonsEnabled = true, loading = false, plateTimerOn = false, closed = false, tray = false;
    size_t pins = 0;
    int32_t displayLength = -1, comboPlate = 0;
    int advances = 0, releaseAlls = 0, rebuilds = 0, hides = 0, helps = 0;
    std::atomic<int> noteOnsSeen{0};

private:
    void runDueTasks() {
        for (;;) {
            std::function<void()> task;
            {
                std::lock_guard lock(mutex_);
                auto now = Clock::now();
                auto it = std::find_if(tasks_.begin(), tasks_.end(), [now](const auto& t) { return t.first <= now; });
                if (it == tasks_.end()) return;
                task = std::move(it->second);
                tasks_.erase(it);
            }
            task();
        }
    }
    std::mutex mutex_;
    std::deque<std::pair<Clock::time_point, std::function<void()>>> tasks_;
};

// A controller over a scratch list of short songs, playing into a capture file.
class PlayerControllerTest : public ::testing::Test {
protected:
    void SetUp() override {
        settings_ = defaultPlayerSettings();
        setFieldText(settings_.dataFolder, kPathBytes, dir_.path().string());
        list_ = emptySongList();
    }
    void TearDown() override {
        controller_.reset();
        setMidiCaptureFile("");
    }
    // A short song file: `notes` quarter notes at 96 ticks, 240 BPM.
    std::string writeSong(const std::string& name, int notes, int firstKey = 60) {
        std::vector<testing::TestNote> list;
        for (int i = 0; i < notes; ++i) list.push_back({0, int64_t{i} * 24, firstKey + i, 100, 12});
        auto song = testing::songOf(96, list);
        const std::string path = dir_.file(name);
        EXPECT_EQ(song->saveFile(path), 1);
        return path;
    }
    void add(const std::string& path, const std::string& title) { ASSERT_TRUE(insertOrAppend(list_, path, title)); }
    PlayerController& make() {
        capture_ = std::make_unique<testing::CaptureRoute>(dir_.file("capture.txt"));
        controller_ = std::make_unique<PlayerController>(settings_, list_, view_);
        return *controller_;
    }
    bool idle() { return !controller_->isLoading(); }

    testing::TempFolder dir_;
    PlayerSettings settings_{};
    SongList list_{};
    FakeView view_;
    std::unique_ptr<testing::CaptureRoute> capture_;
    std::unique_ptr<PlayerController> controller_;
};

TEST_F(PlayerControllerTest, AnEmptyListAsksOnceHoldsIndexZeroAndRefusesStart) {
    ScopedCapture cap;
    cap->defaultAnswer = Answer::Cancel;
    auto& c = make();
    c.start();
    ASSERT_TRUE(view_.pumpUntil([&] { return idle(); }));
    ASSERT_EQ(cap->count(), 1u);
    EXPECT_EQ(cap->visibleTexts()[0], "Song list is empty. Do you want to create a song list automatically?");
    EXPECT_EQ(view_.label, "    START");
    c.next();
    c.previous();
    c.previous();
    view_.pumpUntil([&] { return idle(); });
    EXPECT_EQ(list_.currentIndex, 0);
    EXPECT_EQ(view_.title, "");
    cap->clear();
    c.startStop();
    ASSERT_EQ(cap->count(), 1u);
    EXPECT_EQ(cap->visibleTexts()[0], "Song list is empty.");
    EXPECT_FALSE(c.isPlaying());
}

TEST_F(PlayerControllerTest, StartPlaysTheCurrentSongAndStopStopsIt) {
    add(writeSong("a.mid", 40), "Alpha");
    ScopedCapture cap;
    auto& c = make();
    c.start();
    ASSERT_TRUE(view_.pumpUntil([&] { return idle() && view_.pins == 40; }));
    EXPECT_EQ(view_.title, "Alpha");
    EXPECT_EQ(view_.advances, 1);  // display mode turns the plate once
    c.onButton(playerbutton::StartStop);
    EXPECT_EQ(view_.label, "    STOP");
    ASSERT_TRUE(view_.pumpUntil([&] { return view_.noteOnsSeen >= 3; }));
    EXPECT_TRUE(view_.plateTimerOn);
    c.onButton(playerbutton::StartStop);
    EXPECT_FALSE(c.isPlaying());
    EXPECT_EQ(view_.label, "    START");
    EXPECT_FALSE(view_.plateTimerOn);
    EXPECT_EQ(c.clock().playerBusy(), 0);
    EXPECT_EQ(cap->count(), 0u);
}

TEST_F(PlayerControllerTest, NextOnTheLastEntryWrapsAndPrevOnTheFirstGoesToTheLast) {
    add(writeSong("a.mid", 2), "A");
    add(writeSong("b.mid", 2), "B");
    add(writeSong("c.mid", 2), "C");
    list_.currentIndex = 2;
    auto& c = make();
    c.start();
    view_.pumpUntil([&] { return idle(); });
    c.next();
    view_.pumpUntil([&] { return idle(); });
    EXPECT_EQ(list_.currentIndex, 0);
    EXPECT_EQ(view_.title, "A");
    c.previous();
    view_.pumpUntil([&] { return idle(); });
    EXPECT_EQ(list_.currentIndex, 2);
    EXPECT_EQ(view_.title, "C");
}

TEST_F(PlayerControllerTest, TheEndOfASongAdvancesToTheNextAfterAPauseAndWraps) {
    add(writeSong("a.mid", 3, 60), "A");
    add(writeSong("b.mid", 3, 72), "B");
    list_.currentIndex = 1;
    auto& c = make();
    c.start();
    view_.pumpUntil([&] { return idle(); });
    c.startStop();
    // B plays, ends, and after the pause A (index 0) starts.
    ASSERT_TRUE(view_.pumpUntil([&] { return list_.currentIndex == 0 && c.isPlaying() && view_.noteOnsSeen >= 4; }));
    EXPECT_EQ(view_.title, "A");
    c.startStop();
    std::vector<TimedMidiMessage> sent;
    ASSERT_TRUE(readCaptureFile(dir_.file("capture.txt"), sent));
    // The capture file holds the last run (A); its notes start at 60.
    bool sawA = false;
    for (const auto& m : sent) sawA |= m.bytes[0] == 0x90 && m.bytes[1] == 60;
    EXPECT_TRUE(sawA);
}

TEST_F(PlayerControllerTest, AMissingFileIsReportedAndTakenOffTheList) {
    add(dir_.file("gone.mid"), "Gone");
    add(writeSong("b.mid", 2), "B");
    ScopedCapture cap;
    auto& c = make();
    c.start();
    ASSERT_TRUE(view_.pumpUntil([&] { return idle() && list_.count == 1; }));
    ASSERT_GE(cap->count(), 1u);
    EXPECT_EQ(cap->visibleTexts()[0], "Can not find file!");
    EXPECT_EQ(view_.title, "B");
    EXPECT_FALSE(c.hasSong());  // the failed load left nothing loaded
}

TEST_F(PlayerControllerTest, DroppedFilesOneMidiFileIsImportedAndTwoFilesChangeNothing) {
    add(writeSong("a.mid", 2), "A");
    const std::string dropped = writeSong("dropped song.mid", 4);
    ScopedCapture cap;
    auto& c = make();
    c.start();
    view_.pumpUntil([&] { return idle(); });
    c.onFilesDropped({dropped, dropped});
    ASSERT_EQ(cap->count(), 1u);
    EXPECT_EQ(cap->visibleTexts()[0], "Drop one file at a time: a MIDI file (.mid) or a song-data file (.mwd).");
    EXPECT_EQ(list_.count, 1);

    c.onFilesDropped({dir_.file("notes.txt")});  // anything else is ignored
    c.onFilesDropped({dropped});
    ASSERT_TRUE(view_.pumpUntil([&] { return list_.count == 2 && idle(); }));
    c.waitForWorkers();
    EXPECT_EQ(list_.currentIndex, 1);
    EXPECT_EQ(view_.title, "dropped song.mid");
    const std::string imported = fieldText(list_.entries[1].path, kPathBytes);
    EXPECT_EQ(imported.rfind(dir_.path().string(), 0), 0u);
    EXPECT_EQ(fileSize(imported) > 0, true);
    EXPECT_EQ(cap->count(), 1u);
}

TEST_F(PlayerControllerTest, ChangingThePlateStopsPlaybackAndReloads) {
    add(writeSong("a.mid", 40), "A");
    auto& c = make();
    c.start();
    view_.pumpUntil([&] { return idle(); });
    c.startStop();
    ASSERT_TRUE(view_.pumpUntil([&] { return view_.noteOnsSeen >= 2; }));
    c.onTrayCommand(PlateToyPianoLarge);
    EXPECT_EQ(view_.comboPlate, PlateToyPianoLarge);
    EXPECT_EQ(settings_.plateType, PlateToyPianoLarge);
    EXPECT_FALSE(c.isPlaying());
    EXPECT_EQ(view_.label, "    START");
    EXPECT_EQ(view_.rebuilds, 1);
    EXPECT_EQ(c.clock().playerBusy(), 0);
    ASSERT_TRUE(view_.pumpUntil([&] { return idle() && c.hasSong(); }));
}

TEST_F(PlayerControllerTest, HideWithoutATrayMinimisesAndSaysSo) {
    ScopedCapture cap;
    cap->defaultAnswer = Answer::Cancel;
    auto& c = make();
    c.onButton(playerbutton::Hide);
    ASSERT_EQ(cap->count(), 1u);
    EXPECT_EQ(cap->visibleTexts()[0], kNoTrayText);
    EXPECT_EQ(view_.hides, 1);
    view_.tray = true;
    c.onButton(playerbutton::Hide);
    EXPECT_EQ(cap->visibleTexts()[1], "Click task tray icon if you want show window again.");
}

TEST_F(PlayerControllerTest, ReleasingTheSongWhilePlayingStopsTheRunFirst) {
    add(writeSong("a.mid", 200), "Alpha");
    ScopedCapture cap;
    auto& c = make();
    c.start();
    ASSERT_TRUE(view_.pumpUntil([&] { return idle() && c.hasSong(); }));
    c.startStop();
    ASSERT_TRUE(view_.pumpUntil([&] { return view_.noteOnsSeen >= 2; }));
    c.releaseSong();
    EXPECT_FALSE(c.isPlaying());
    EXPECT_FALSE(c.hasSong());
    EXPECT_EQ(c.clock().playerBusy(), 0);
    // Nothing starts again once the window is going.
    const int seen = view_.noteOnsSeen;
    c.startStop();
    view_.pumpEvents(300);
    EXPECT_EQ(view_.noteOnsSeen.load(), seen);
}

TEST(TrayMenu, EntriesFollowTheWindowAndTheTransport) {
    auto menu = trayMenu(true, false);
    ASSERT_EQ(menu.size(), 14u);
    EXPECT_EQ(menu[0], (TrayMenuEntry{256, "Hide Player"}));
    EXPECT_EQ(menu[2], (TrayMenuEntry{257, "Start"}));
    EXPECT_EQ(menu[3], (TrayMenuEntry{258, "Previous Song"}));
    EXPECT_EQ(menu[4], (TrayMenuEntry{259, "Next Song"}));
    EXPECT_EQ(menu[6], (TrayMenuEntry{260, "None"}));
    EXPECT_EQ(menu[11], (TrayMenuEntry{265, "Toypiano(Small)"}));
    EXPECT_EQ(menu[12].command, 0);  // separator
    EXPECT_EQ(menu[13], (TrayMenuEntry{266, "Quit"}));
    auto hidden = trayMenu(false, true);
    EXPECT_EQ(hidden[0].text, "Show Player");
    EXPECT_EQ(hidden[2].text, "Stop");
}

}  // namespace
}  // namespace tunecase
