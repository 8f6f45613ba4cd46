// The status snapshot: program, pitch bend and controllers of every channel plus tempo and
// time signature, gathered while playback skips over the start of a song and turned back
// into events that restore that state.
#pragma once

#include <cstdint>
#include <vector>

#include "midi/midi_event.h"

namespace tunecase {

struct MidiStatus {
    // Every cell is -1 while it is not set.
    int32_t program[16];
    int32_t pitchBend[16][2];        // (high 7 bits, low 7 bits)
    int32_t controllers[16][128];
    int32_t tempo;                   // microseconds per quarter note
    int32_t timeSignature;           // numerator * 256 + denominator

    MidiStatus() { reset(); }

    // Sets every cell to -1.
    void reset();

    // Records what a channel message, tempo or time-signature event changes; other events
    // and channels outside 0..15 are ignored.
    void record(const MidiEvent& event);

    // Appends to `out`, all at delta 0: for channels 0..15 the program change, the pitch
    // bend and the set controllers 0..127; then the tempo; then the time signature (4 data
    // bytes numerator, log2 denominator, 18, 8). Returns the number appended. A set time
    // signature of 0 shows MDSS 37000002 and is skipped.
    int toEvents(std::vector<MidiEvent>& out) const;
};

}  // namespace tunecase
