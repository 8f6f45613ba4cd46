// The accompaniment around the melody: counter-melodies (channels 4 and 5), backing parts
// (channels 3 and 7), the bass (channel 2), drums (channel 9) and the environment part of
// sound effects (channel 8). The pattern parts walk the song chord sequence chord by chord
// and fill every chord exactly; the drums walk the structure marks. Every part begins after
// the lead-in (one measure in a compose run).
//
// Kinds, chosen by the parameter record:
//   backing kinds 1 .. 62 (channels 3 and 7), bass kinds 1 .. 23, drum styles 1 .. 40,
//   environment programs 122 (seashore), 123 (birds) and 126 (applause).
#pragma once

#include <cstdint>
#include <vector>

#include "compose/chords.h"
#include "compose/compose_information.h"
#include "midi/midi_track_data.h"

namespace tunecase {

struct ComposeContext;

inline constexpr int kBackingKinds = 62;
inline constexpr int kBassKinds = 23;
inline constexpr int kDrumStyles = 40;
inline constexpr int kDrumFigures = 53;

// The event list of derived part 4 or 5, ready for rendering: the melody generator run with
// the part's settings over every chord block, joined in form order with an ending; for part
// 4 with derived-part mode 8 the song melody one measure late; for part 5 with its
// counter-melody switch on a line of guide tones (one chord tone per chord, moving as little
// as it can). Failing blocks are retried; 0xff0101af is reported after every 1000 failures.
EventList BuildCounterMelody(ComposeContext& ctx, int part);

// Channel 3 or 7: set up, pan, the lead-in, the pattern of `kind` over `chords`, the octave
// shift, End of Track. A kind outside 1 .. 62 reports 0xff010027 and leaves the part empty.
void BuildBacking(ComposeContext& ctx, int channel, MidiTrackData& track, int program, int kind, int pace,
                  const std::vector<ChordRecord>& chords);

// Channel 2 with the record's bass kind (a kind outside 1 .. 23 reports 0xff010027).
void BuildBass(ComposeContext& ctx, MidiTrackData& track, const std::vector<ChordRecord>& chords);

// Channel 9 with the record's drum style over the structure marks (a style outside 1 .. 40
// reports 0xff010001).
void BuildDrums(ComposeContext& ctx, MidiTrackData& track);

// Channel 8 with the effect pattern of its program (any program but 122, 123 and 126 reports
// 0xff0101d2 and leaves the part empty).
void BuildEnvironment(ComposeContext& ctx, MidiTrackData& track, const std::vector<ChordRecord>& chords);

// The General MIDI key of drum figure `kind` (1 .. 53) and its usual velocity; a kind outside
// the table reports 0xff010002 and gives key 0.
struct DrumFigure {
    int key;
    int velocity;
};
DrumFigure DrumSound(int kind);

}  // namespace tunecase
