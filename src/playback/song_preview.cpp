#include "playback/song_preview.h"

#include <chrono>
#include <thread>

#include "base/general_errors.h"
#include "midi/midi_file_messages.h"
#include "playback/music_player.h"

namespace tunecase {

namespace {

constexpr int kPreviewDivision = 96;

void sleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// The preview's own player; the player window has another. Only one of them runs at once.
MusicPlayer& previewPlayer() {
    static MusicPlayer player;
    return player;
}

}  // namespace

int SongPreview::play(const MidiF0Data& song, Completion completion, Progress progress, bool fromMeasure, bool loop) {
    if (song.state() != MidiF0Data::NoteEvents || !song.track()) {
        reportCoded(kFormat0Messages, m0dt::InternalError);
        return 0;
    }
    // The old copy may still be playing: it has to be stopped before it is dropped.
    if (thread_.joinable()) stop();
    copy_.reset();

    auto copy = std::make_unique<MidiF0Data>(song);
    copy->changeDivision(kPreviewDivision);
    copy->toMidi();
    int64_t trimmed = fromMeasure ? copy->roundStartToMeasure() : 0;
    if (progress) progress(0, static_cast<int>(trimmed), nullptr);

    // Wait for a run of the other player (or an earlier preview) to end.
    MusicPlayer& player = previewPlayer();
    for (int waits = 0; player.ready == 0 || playerClock().playerBusy == 1; ++waits) {
        if (waits == 50) MidiPlayer::requestStop();
        if (waits >= 100) {
            generalError(gene::QuitAndRestart);
            return 0;
        }
        sleepMs(100);
    }

    copy_ = std::move(copy);
    MidiF0Data* playing = copy_.get();
    player.ready = 0;
    threadRunning_ = true;
    thread_ = std::thread([this, playing, completion, progress, loop, &player] {
        PlayableSong playable{playing->track(), playing->division()};
        if (player.play(playable, progress, 0, 0, -1, {})) {
            playerClock().loopAtEnd = loop ? 1 : 0;
            player.waitUntilDone(completion);
            player.release();
        } else if (completion) {
            completion();
        }
        playerClock().loopAtEnd = 0;
        player.ready = 1;
        threadRunning_ = false;
    });
    // Until the preview is running (or has already failed and finished).
    for (int waits = 0; waits < 100 && threadRunning_ && !player.isActive(); ++waits) sleepMs(50);
    return 1;
}

void SongPreview::stop() {
    MusicPlayer& player = previewPlayer();
    int waits = 0;
    while (threadRunning_ && !player.isActive() && waits < 30) {
        sleepMs(100);
        ++waits;
    }
    if (threadRunning_ && !player.isActive()) reportCoded(kFormat0Messages, m0dt::StopFailed);
    player.requestStop();
    for (waits = 0; threadRunning_ && waits < 20; ++waits) sleepMs(100);
    if (threadRunning_) player.killTimer();
    if (thread_.joinable()) thread_.join();
    copy_.reset();
    sleepMs(1000);
}

void SongPreview::setSpeedPercent(int percent) { MidiPlayer::setSpeed(percent); }

SongPreview::~SongPreview() {
    // The copy is played by another thread; it must end before the copy goes.
    if (thread_.joinable()) {
        previewPlayer().requestStop();
        for (int waits = 0; threadRunning_ && waits < 200; ++waits) sleepMs(10);
        if (threadRunning_) previewPlayer().killTimer();
        thread_.join();
    }
}

}  // namespace tunecase
