// The MIDI player: plays one song in event form through a MidiControler, driven by a chain
// of one-shot timers. Each timer callback sends the events that are due, works out the
// delay to the next one and sets the next timer.
//
// Two routines:
//  - callback mode: a per-event callback for every event sent, and an end time;
//  - simple mode: sends events and calls an end callback when the song runs out.
//
// Only one run exists at a time in the process, and its state (PlayerClock) is
// process-wide. Stopping follows one order: requestStop(), wait while playerBusy is 1,
// then destroyRun().
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

#include "base/reporter.h"
#include "midi/midi_event.h"
#include "midi/midi_track_data.h"
#include "playback/midi_controler.h"

namespace tunecase {

namespace mdpl {
inline constexpr uint32_t DivisionTooLarge = 0x08000001;
inline constexpr uint32_t CantUseTimer = 0x08000002;
inline constexpr uint32_t TempoTooSlow = 0x08000003;
inline constexpr uint32_t InternalError = 0x08000004;
inline constexpr uint32_t PlayPointWrong = 0x08000005;
inline constexpr uint32_t TempoWrong = 0x08000006;
inline constexpr uint32_t InvalidData = 0x08000007;
inline constexpr uint32_t AnotherRunActive = 0x08000008;
}  // namespace mdpl

extern const MessageTable kMidiPlayerErrors;

// Called on the timer thread just before an event is sent, with the event's index, the song
// time in ticks and a copy of the event that the callee must not keep (nullptr for the
// position report a song object sends before playback). It must not block.
using PerEventCallback = std::function<void(int index, int songTime, const MidiEvent* event)>;
using EndCallback = std::function<void()>;

// What the player plays: a track in event form and its ticks per quarter note.
struct PlayableSong {
    MidiTrackData* track = nullptr;
    int division = 0;
};

// The process-wide run state. Flags shared between the timer thread and the controlling
// thread are atomics.
struct PlayerClock {
    std::atomic<uint32_t> tempoBpm{240};
    std::atomic<int32_t> speedPercent{100};
    std::atomic<int32_t> nextIndex{0};
    std::atomic<uint32_t> period{1};
    std::atomic<int32_t> playerBusy{0};
    std::atomic<int32_t> stopRequested{0};
    std::atomic<int32_t> loopAtEnd{0};
    std::atomic<int32_t> lastDelta{0};
    std::atomic<int32_t> songTime{0};
    std::atomic<int32_t> endTime{-1};
    std::atomic<uint32_t> timerId{0};
};

PlayerClock& playerClock();

// Ticks per minute at the clock's tempo and speed: trunc(division * bpm * speed / 100).
int64_t ticksPerMinute(int division, uint32_t tempoBpm, int32_t speedPercent);

// Milliseconds until an event `delta` ticks away: delta * 60000 / tpm, truncated.
int64_t delayMs(int64_t delta, int64_t tpm);

// One run. At most one exists (is prepared and not destroyed) in the process at a time.
class MidiPlayer {
public:
    MidiPlayer();
    ~MidiPlayer();  // destroys the run if the caller has not
    MidiPlayer(const MidiPlayer&) = delete;
    MidiPlayer& operator=(const MidiPlayer&) = delete;

    // Opens the port and readies the clock: removes the song's GM System On and sends one,
    // chases to `startTick`, sends the pre-roll. Returns the timer resolution for the first
    // timer, or 0 on failure (MDPL 0x08000004 for a song not in event form; a closed port;
    // MDPL 0x08000008 when another run is alive). `outStartTime` receives the time of the
    // event before the first one played.
    int prepareRun(PlayableSong song, int deviceId, int startTick, int* outStartTime,
                   const PerEventCallback& perEvent);

    // Simple mode from the start. Returns 1 when the chain started.
    int startSimple(PlayableSong song, int deviceId, EndCallback endCallback = {});

    // Callback mode. `endTime` -1 plays to the end. Returns 1 when the run started (even if
    // nothing was left to play), 0 when it could not.
    int startWithCallbacks(PlayableSong song, int deviceId, EndCallback endCallback,
                           PerEventCallback perEvent, int startTime, int startTick, int endTime);

    // Writes the speed; the next delay computed uses it.
    static void setSpeed(int percent);

    // Asks the chain to end at its next timer callback.
    static void requestStop();

    // Kills the pending timer (when it has not started) and marks the player idle.
    void killTimer();

    // Resets and closes the port. Call after playerBusy has fallen to 0.
    void destroyRun();

    // All notes off through the port.
    void allNotesOff();

    bool isPrepared() const;

    // The run's state, shared with its pending timer callback (internal).
    struct Run;

private:
    std::shared_ptr<Run> run_;
};

// Waits while playerBusy is 1, polling every `stepMs`. Returns false when `maxWaitMs`
// (0 = no limit) ran out first.
bool waitWhilePlayerBusy(int stepMs, int maxWaitMs = 0);

}  // namespace tunecase
