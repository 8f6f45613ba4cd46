// Writes the events of one part into its track in time order. The generators think in
// absolute ticks; the writer turns each time into the delta since the event written before
// it, so a part's notes land exactly where its steps put them.
#pragma once

#include <cstdint>

#include "midi/midi_track_data.h"

namespace tunecase {

inline constexpr int kBendCentre = 8192;

class PartWriter {
public:
    // Continues after the events already in `track` (their deltas summed).
    PartWriter(MidiTrackData& track, int channel);

    // A note of `gate` ticks (at least 1) at `at`. A pitch outside 1 .. 127 or a velocity
    // of 0 writes nothing: a tone the chord lacks stays silent.
    void Note(int64_t at, int pitch, int velocity, int gate);
    void Control(int64_t at, int controller, int value);
    void Bend(int64_t at, int value);
    void Program(int64_t at, int program);

    // The time of the last event written (or of the track's end when nothing was).
    int64_t LastTime() const { return last_; }
    int Channel() const { return channel_; }
    MidiTrackData& Track() { return track_; }

private:
    // The delta from the last event to `at`; a time before it is taken as that time.
    int32_t DeltaTo(int64_t at);

    MidiTrackData& track_;
    int channel_;
    int64_t last_;
};

}  // namespace tunecase
