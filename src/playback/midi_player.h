// The MIDI player: plays one song in event form through a MidiControler, driven by a chain
// of one-shot timers. Each timer callback runs the tick routine (player_tick.h): it sends
// the events that are due, works out the delay to the next one and sets the next timer.
//
// Two routines:
//  - callback mode: a per-event callback for every event sent, and an end time;
//  - simple mode: sends events and calls an end callback when the song runs out.
//
// A player runs on the clock its owner gives it. Only one run exists at a time in the
// process (RunSlot); a second one is refused. Stopping follows one order: ask the clock to
// stop, wait while it is busy, then destroyRun().
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "base/reporter.h"
#include "midi/midi_event.h"
#include "midi/midi_track_data.h"
#include "playback/midi_controler.h"
#include "playback/player_clock.h"

namespace tunecase {

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

// Plays runs, one after another, on its owner's clock.
class MidiPlayer {
public:
    // `clock` belongs to the owner and outlives the player.
    explicit MidiPlayer(PlayerClock& clock);
    ~MidiPlayer();  // destroys the run if the caller has not
    MidiPlayer(const MidiPlayer&) = delete;
    MidiPlayer& operator=(const MidiPlayer&) = delete;

    PlayerClock& clock() { return clock_; }
    const PlayerClock& clock() const { return clock_; }

    // Opens the port and readies the clock: removes the song's GM System On and sends one,
    // chases to `startTick`, sends the pre-roll, picks the timer period. Returns the timer
    // resolution for the first timer, or 0 on failure (MDPL 0x08000004 for a song not in
    // event form; a closed port; MDPL 0x08000008 when another run is alive in the process).
    // `outStartTime` receives the time of the event before the first one played.
    int prepareRun(PlayableSong song, int deviceId, int startTick, int* outStartTime,
                   const PerEventCallback& perEvent);

    // Simple mode from the start. Returns 1 when the chain started.
    int startSimple(PlayableSong song, int deviceId, EndCallback endCallback = {});

    // Callback mode. `endTime` -1 plays to the end. Returns 1 when the run started (even if
    // nothing was left to play), 0 when it could not.
    int startWithCallbacks(PlayableSong song, int deviceId, EndCallback endCallback,
                           PerEventCallback perEvent, int startTime, int startTick, int endTime);

    // Writes the speed; the next delay computed uses it.
    void setSpeed(int percent) { clock_.setSpeed(percent); }

    // Asks the chain to end at its next timer callback.
    void requestStop() { clock_.requestStop(); }

    // Kills the pending timer (when it has not started) and marks the player idle.
    void killTimer() { clock_.killTimer(); }

    // Resets and closes the port. Call after playerBusy has fallen to 0.
    void destroyRun();

    // All notes off through the port.
    void allNotesOff();

    bool isPrepared() const;

    // The run's state, shared with its pending timer callback (internal).
    struct Run;

private:
    PlayerClock& clock_;
    std::shared_ptr<Run> run_;
};

}  // namespace tunecase
