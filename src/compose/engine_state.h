// Switches the engine keeps across the attempts of one run. The composer and the arranger
// set them before a run; the stages read them.
#pragma once

namespace tunecase {

// The arrangement-mode value while a song-data file is being arranged.
inline constexpr int kArrangingMode = 3;

struct EngineState {
    // 0 when composing; kArrangingMode while the arranger supplies the melody and chords.
    // In that mode the structure marks get no closing measures and the melody never ends a
    // chord early on a chord tone.
    int arrangementMode = 0;
    // Set for the length of a composition run (rendering reads it for the lead-in, the
    // chord markers and the controller set-up).
    bool composeRun = false;
    // Set by the arranger: the melody of the run is given, not generated. A composition
    // clears both flags; the arranger never supplies a second line.
    bool suppliedMelody = false;
    bool suppliedSecondLine = false;

    bool Arranging() const { return arrangementMode == kArrangingMode; }
};

}  // namespace tunecase
