// The front through which the program starts and stops the MIDI player. The player window
// owns one instance, and a song preview owns another. Each has its own clock, which its
// owner reads and steers through clock(); only one run plays at a time in the process, and
// a second run is refused while one is alive.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

#include "base/reporter.h"
#include "playback/midi_player.h"

namespace tunecase {

namespace mdsp {
inline constexpr uint32_t InternalError = 0x09000001;
}  // namespace mdsp

extern const MessageTable kMusicPlayerErrors;

class MusicPlayer {
public:
    MusicPlayer() = default;
    ~MusicPlayer();  // stops and destroys whatever run is left
    MusicPlayer(const MusicPlayer&) = delete;
    MusicPlayer& operator=(const MusicPlayer&) = delete;

    // The clock of this player's runs: speed, stop request, busy flag, tempo, position.
    PlayerClock& clock() { return clock_; }
    const PlayerClock& clock() const { return clock_; }

    // 1 while idle; a preview thread clears it for the length of its run.
    std::atomic<int32_t> ready{1};

    // Plays a whole song in callback mode on the mapper, ending when the next event would
    // reach the song's total length. Returns 1 when the port opened.
    int startWholeSong(PlayableSong song, EndCallback endCallback, PerEventCallback perEvent);

    // Callback mode on the mapper from `startTick`, ending at `endTime` (-1: at the end).
    // A song not in event form shows MDSP 0x09000001 first. Returns 1 when the port opened.
    int startCallbackRun(PlayableSong song, EndCallback endCallback, PerEventCallback perEvent,
                         int startTime, int startTick, int endTime);

    // Destroys the whole-song run. Call after the clock's requestStop and waitWhileBusy.
    void stopWholeSong();

    // The generic entry of the preview: callback mode when `perEvent` is given, else a
    // simple run from tick 0. Returns 1 when the port opened.
    int play(PlayableSong song, PerEventCallback perEvent, int startTime, int startTick,
             int endTime, EndCallback endCallback);

    // Asks a simple or generic callback run to stop.
    void requestStop();

    // Kills the pending timer of the simple run, else of the callback run; marks idle.
    void killTimer();

    // 1 while a simple or generic callback run exists.
    int isActive() const;

    // Waits until the player is idle. Returns 0 when a stop was requested, else the result
    // of `completion` (1 without one).
    int waitUntilDone(const std::function<int()>& completion = {});

    // Destroys the generic run (callback or simple).
    void release();

    bool hasWholeSongRun() const { return wholeSongRun_ != nullptr; }

private:
    PlayerClock clock_;  // first: the runs below use it until they are gone
    std::unique_ptr<MidiPlayer> simpleRun_;
    std::unique_ptr<MidiPlayer> callbackRun_;
    std::unique_ptr<MidiPlayer> wholeSongRun_;
    PerEventCallback callbackModeCallback_;
};

}  // namespace tunecase
