// The player's tick routine: given the position on the clock, it works out which events are
// due, handles tempo events, computes the delay to the next tick and hands the events to an
// output. The real-time player runs it from its timer callbacks with the port and the
// per-event callback as output; the offline schedule runs the very same routine with an
// output that records the events and adds up the delays. So the two cannot disagree.
#pragma once

#include <cstdint>

#include "midi/midi_event.h"
#include "midi/midi_track_data.h"
#include "playback/midi_controler.h"
#include "playback/player_clock.h"

namespace tunecase {

// Sends one event through a port, as the player does: notes, controllers, programs, pitch
// bends and system-exclusive data; meta events and anything else send nothing.
void dispatchToPort(MidiControler& port, const MidiEvent& event);

// Where a tick's events go.
class TickOutput {
public:
    virtual ~TickOutput() = default;
    // Sends an event: the one at `index` of the track, or (index -1) a state event of the chase.
    virtual void send(int index, const MidiEvent& event) = 0;
    // The per-event listener: called just before a tick's event is sent, and during the
    // pre-roll with the event that playing has stepped to (song time 0).
    virtual void announce(int /*index*/, int /*songTime*/, const MidiEvent& /*event*/) {}
    // Sets the timer for the next tick, `delayMs` after the current one's; `endsRun` when that
    // timer only ends the run at the end time. Returns false when no timer could be set.
    virtual bool armNext(int64_t delayMs, bool endsRun) = 0;
    // A problem the player shows in a box (an MDPL code).
    virtual void problem(uint32_t /*code*/) {}
};

// How a tick left the run.
enum class TickEnd {
    Continue,  // the next tick is armed
    EndTimer,  // this tick's events went out; a last timer ends the run at the end time
    EndNow,    // the end time is reached: the run ends after this tick's events
    RanOut,    // the song ran out, or (callback mode) no timer could be set: the run ends
    Failed,    // 0 ticks per minute, or in simple mode a play point past the end or no
               // timer: the run ends at once (callback mode has sent nothing of this tick)
};

// A run's position in its track, moved by the tick routine. The clock, the track and the
// output outlive it.
class PlayCursor {
public:
    PlayCursor(PlayerClock& clock, const MidiTrackData& track, int division, TickOutput& output);

    // Sends everything before the first note on at once, from the clock's nextIndex, tempo
    // events included, and leaves nextIndex on that note on (or at the end). After each
    // event it announces the event now at nextIndex. Returns the ticks it passed over.
    int64_t preRoll();

    // One tick of callback mode: looks at the events from nextIndex on, adding their deltas
    // to songTime, until the next one is at least a millisecond away (or the run ends, or,
    // with loopAtEnd, wraps once to the first event); arms the next timer; then announces and
    // sends every event looked at, in order. A tempo event takes effect as it is looked at,
    // so it governs the gap that follows it.
    TickEnd tick();

    // One tick of simple mode: sends the events from nextIndex on as it steps past them,
    // until the next one is at least a millisecond away (then arms the timer) or the song
    // runs out (RanOut). A tempo event changes the very next delay.
    TickEnd simpleTick();

    // Sends an event that is not in the track (a chased state event), tempo included.
    void sendChased(const MidiEvent& event);

private:
    // Optionally sends the event at nextIndex, optionally steps past it. Returns the delta
    // of the event now at nextIndex, or -1 when the song ran out.
    int advance(bool send, bool step);
    void takeTempo(const MidiEvent& event);
    // Ticks per minute now, or 0 after "Tempo is wrong!".
    int64_t currentTicksPerMinute();

    PlayerClock& clock_;
    const MidiTrackData& track_;
    int division_;
    TickOutput& output_;
};

}  // namespace tunecase
