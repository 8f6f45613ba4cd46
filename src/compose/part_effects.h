// The expressive effects of a rendered part, chosen by its effect setting (partRules[part][4]).
// None of them moves a note in time or leaves the part's channel: they change gates and
// velocities and add controllers and pitch bends inside the notes they shape.
//
// Note effects, applied as each note is written:
//    1 connected notes: a note followed at once by another sounds until it starts
//    2 portamento: glide on from the first note, off after the last
//    3 vibrato: a slow wobble of a quarter tone over the second half of long notes
//    4 mordent: the note starts a whole tone up and falls to its pitch
//    6 swell: expression rising over long notes
//    7 delayed vibrato: modulation half-way through long notes
//   11 fall: a long note before a rest falls a semitone at its end
//   14 scoop: the note starts a semitone low and rises to its pitch
//   15 staccato: half the gate
//   16 accents: notes on the first beat of a measure play louder
//   17 tenuto: the gate is the note's whole length less one tick
//   19 trill: long notes trill a whole tone up over their first half
// Part effects, applied to the closed track:
//    5 glide to the next note   10 delayed modulation   13 expression swell
//   17 legato   18 a closing expression at full level   19 a wide glide
//   20 a closing controller reset   21 a long swell   22 early modulation
#pragma once

#include <cstdint>

#include "compose/part_writer.h"
#include "midi/midi_track_data.h"

namespace tunecase {

class NoteEffect {
public:
    NoteEffect(PartWriter& w, int effect, int64_t songStart, int measure);

    // Writes the note of `length` ticks at `at` with its gate and velocity, through the effect.
    // `connected`: the next entry of the part is a note that starts where this one ends.
    // `copyVelocity` > 0 adds a copy one octave up (for pitches up to 115).
    void Note(int64_t at, int pitch, int velocity, int length, int gate, bool connected, int copyVelocity);

    // Events after the last note (the part's end lies at `end`).
    void Finish(int64_t end);

private:
    PartWriter& w_;
    int effect_;
    int64_t songStart_;
    int measure_;
    bool started_ = false;
    int64_t lastEnd_ = 0;
};

// The part effect of `effect` on a closed track (a format 1 track; others are left alone).
void ApplyPartEffect(MidiTrackData& track, int channel, int effect);

}  // namespace tunecase
