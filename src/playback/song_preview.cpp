// The song holder's preview: a copy of the song played by the process's preview player on
// a thread of its own, so the song itself can be edited meanwhile.
#include <chrono>
#include <thread>

#include "app/general_errors.h"
#include "midi/midi_f0_data.h"
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

int MidiF0Data::play(PreviewCompletion completion, PreviewProgress progress, bool fromMeasure, bool loop) {
    if (state_ != NoteEvents || !track_) {
        reportCoded(kFormat0Messages, m0dt::InternalError);
        return 0;
    }
    // The old copy may still be playing: it has to be stopped before it is dropped.
    if (playThread_.joinable()) stopPlayback();
    playbackCopy_.reset();

    auto copy = std::make_unique<MidiF0Data>(*this);
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

    playbackCopy_ = std::move(copy);
    MidiF0Data* song = playbackCopy_.get();
    player.ready = 0;
    previewThreadRunning_ = true;
    playThread_ = std::thread([this, song, completion, progress, loop, &player] {
        PlayableSong playable{song->track(), song->division()};
        if (player.play(playable, progress, 0, 0, -1, {})) {
            playerClock().loopAtEnd = loop ? 1 : 0;
            player.waitUntilDone(completion);
            player.release();
        } else if (completion) {
            completion();
        }
        playerClock().loopAtEnd = 0;
        player.ready = 1;
        previewThreadRunning_ = false;
    });
    // Until the preview is running (or has already failed and finished).
    for (int waits = 0; waits < 100 && previewThreadRunning_ && !player.isActive(); ++waits) sleepMs(50);
    return 1;
}

void MidiF0Data::stopPlayback() {
    MusicPlayer& player = previewPlayer();
    int waits = 0;
    while (previewThreadRunning_ && !player.isActive() && waits < 30) {
        sleepMs(100);
        ++waits;
    }
    if (previewThreadRunning_ && !player.isActive()) reportCoded(kFormat0Messages, m0dt::StopFailed);
    player.requestStop();
    for (waits = 0; previewThreadRunning_ && waits < 20; ++waits) sleepMs(100);
    if (previewThreadRunning_) player.killTimer();
    if (playThread_.joinable()) playThread_.join();
    playbackCopy_.reset();
    sleepMs(1000);
}

void MidiF0Data::setSpeedPercent(int percent) { MidiPlayer::setSpeed(percent); }

MidiF0Data::~MidiF0Data() {
    // The copy is played by another thread; it must end before the copy goes.
    if (playThread_.joinable()) {
        previewPlayer().requestStop();
        for (int waits = 0; previewThreadRunning_ && waits < 200; ++waits) sleepMs(10);
        if (previewThreadRunning_) previewPlayer().killTimer();
        playThread_.join();
    }
}

}  // namespace tunecase
