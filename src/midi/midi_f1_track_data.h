// A track of a format 1 file, with the expressive edits that work on one part at a time:
// pitch-bend sensitivity, thinning of pitch-bend streams, turning bent notes into plain
// notes (a music box cannot bend), legato, expression swells, delayed modulation and glides.
//
// Every such track is made with half the capacity it is given, so that a file holder of
// 0x60000 bytes makes tracks of 0x30000. Each construction resets the module's shown-once
// warnings. Messages are "M1TK%08X %s" boxes (midi_file_messages.h).
#pragma once

#include "midi/midi_track_data.h"

namespace tunecase {

// Pitch-bend sensitivity in semitones when a track sets none.
inline constexpr int kDefaultBendSensitivity = 12;

class MidiF1TrackData : public MidiTrackData {
public:
    // An empty track of capacity / 2 bytes in the given state (-1 new, 1 events, 2 notes).
    explicit MidiF1TrackData(int capacity, int state = New);

    // Reads the chunk at `position` of `data` (see MidiTrackData), into capacity / 2 bytes.
    MidiF1TrackData(const uint8_t* data, int totalLength, int position, int yieldDelayMs, int capacity);

    // A deep copy of a state 2 track into capacity / 2 bytes.
    MidiF1TrackData(const MidiTrackData& source, int capacity);

    // The value of the last data entry (controller 6) that directly follows controller 101 = 0
    // and controller 100 = 0; 12 when there is none. More than one shows the shown-once
    // warning 0x03000017.
    int bendSensitivity() const;

    // State 2: controllers 101 = 0, 100 = 0 and 6 = semitones at time 0, behind the events
    // already there, on the track's first channel. A track without channel events gets none.
    // Returns 1 when inserted.
    int insertBendSensitivity(int semitones);

    // Every data entry sent while RPN 0/0 is selected on its channel (controllers 98 and 99
    // clear the selection). Returns the number removed.
    int removeBendSensitivity();

    // States 1 and 2: drops pitch bends that lie between their neighbours while nothing
    // sounds, then repeated values. A state 2 track is split, thinned and joined again.
    // Returns the number removed.
    int thinPitchBends();

    // State 2: turns pitch-bent notes into plain notes, one per semitone step the bend
    // reaches while the note sounds (`range` = the bend sensitivity). Modulation and pitch
    // bends are removed.
    void bendsToNotes(int range);

    // State 2: each note lasts until the next later note or End of Track, at most `longest`.
    void setLegato(int longest);

    // Expression (controller 11) rising in `steps` steps over the first `length` ticks of
    // every long note, ending at 127.
    void addExpressionSwell(int length, int steps);

    // Modulation 0 in front of every note and 127 `delay` ticks into every long note.
    void addDelayedModulation(int delay);

    // State 2: pitch bends gliding over the last `length` ticks of each long note towards
    // the next note's key (at most `range` semitones), centred again before every note.
    void addGlide(int length, int steps, int range);

    // velocity * 9 / 10 once per semitone; the velocity unchanged when that falls below half.
    static int decayVelocity(int velocity, int semitones);

    // Moves every General MIDI System On (F0 05 7E 7F 09 01 F7) to the front of its group of
    // simultaneous events. Returns the number moved.
    int gmSystemOnToFront();

private:
    bool requireNotes() const;
    // Ticks from a note start to its end: the duration of a 0x10 note, or the time to the
    // matching note off of a note on; -1 when the end is not found.
    int64_t noteLength(size_t index) const;
};

}  // namespace tunecase
