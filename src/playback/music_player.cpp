#include "playback/music_player.h"

#include <chrono>

#include "platform/midi_out_device.h"
#include "base/translation.h"

namespace tunecase {

const MessageTable kMusicPlayerErrors{
    "MDSP",
    {{mdsp::InternalError, N_("Internal Error occured in MusicPlayer!")}},
    N_("Error occured in MusicPlayer!"),
};

namespace {

void warnIfNotEventForm(const PlayableSong& song) {
    if (!song.track || song.track->state() != MidiTrackData::MidiEvents)
        reportCoded(kMusicPlayerErrors, mdsp::InternalError);
}

// Stops a run that is still alive (giving its pending timer up to 5 s) and destroys it.
void stopAndDestroy(std::unique_ptr<MidiPlayer>& run) {
    if (!run) return;
    PlayerClock& clock = run->clock();
    if (clock.playerBusy() == 1) {
        clock.requestStop();
        if (!clock.waitWhileBusy(std::chrono::milliseconds(5000))) run->killTimer();
    }
    run->destroyRun();
    run.reset();
}

}  // namespace

MusicPlayer::~MusicPlayer() {
    stopAndDestroy(wholeSongRun_);
    stopAndDestroy(callbackRun_);
    stopAndDestroy(simpleRun_);
}

int MusicPlayer::startWholeSong(PlayableSong song, EndCallback endCallback, PerEventCallback perEvent) {
    int endTime = song.track ? clampTicks(song.track->totalTicks()) : 0;
    return startCallbackRun(song, std::move(endCallback), std::move(perEvent), 0, 0, endTime);
}

int MusicPlayer::startCallbackRun(PlayableSong song, EndCallback endCallback, PerEventCallback perEvent,
                                  int startTime, int startTick, int endTime) {
    warnIfNotEventForm(song);
    auto run = std::make_unique<MidiPlayer>(clock_);
    if (!run->startWithCallbacks(song, defaultMidiDeviceId.load(), std::move(endCallback),
                                 std::move(perEvent), startTime, startTick, endTime)) {
        run->destroyRun();
        wholeSongRun_.reset();
        return 0;
    }
    wholeSongRun_ = std::move(run);
    return 1;
}

void MusicPlayer::stopWholeSong() {
    if (!wholeSongRun_) return;
    wholeSongRun_->destroyRun();
    wholeSongRun_.reset();
}

int MusicPlayer::play(PlayableSong song, PerEventCallback perEvent, int startTime, int startTick,
                      int endTime, EndCallback endCallback) {
    callbackModeCallback_ = nullptr;
    warnIfNotEventForm(song);
    auto run = std::make_unique<MidiPlayer>(clock_);
    if (perEvent) {
        callbackModeCallback_ = perEvent;
        if (!run->startWithCallbacks(song, defaultMidiDeviceId.load(), std::move(endCallback),
                                     std::move(perEvent), startTime, startTick, endTime)) {
            run->destroyRun();
            callbackModeCallback_ = nullptr;
            return 0;
        }
        callbackRun_ = std::move(run);
        return 1;
    }
    callbackRun_.reset();
    if (!run->startSimple(song, defaultMidiDeviceId.load(), std::move(endCallback))) {
        run->destroyRun();
        return 0;
    }
    simpleRun_ = std::move(run);
    return 1;
}

void MusicPlayer::requestStop() {
    if (simpleRun_ || callbackRun_) clock_.requestStop();
}

void MusicPlayer::killTimer() {
    if (simpleRun_) simpleRun_->killTimer();
    else if (callbackRun_) callbackRun_->killTimer();
    clock_.setPlayerBusy(0);
}

int MusicPlayer::isActive() const { return (simpleRun_ || callbackRun_) ? 1 : 0; }

int MusicPlayer::waitUntilDone(const std::function<int()>& completion) {
    clock_.waitWhileBusy();
    if (clock_.stopRequested) return 0;
    return completion ? completion() : 1;
}

void MusicPlayer::release() {
    if (callbackModeCallback_ || callbackRun_) {
        if (callbackRun_) callbackRun_->destroyRun();
        callbackRun_.reset();
        callbackModeCallback_ = nullptr;
    } else if (simpleRun_) {
        simpleRun_->destroyRun();
        simpleRun_.reset();
    }
}

}  // namespace tunecase
