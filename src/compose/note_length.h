// Note lengths of a melodic part: one generator per rhythm mode.
//
//   1 .. 5  lengths drawn in 16ths by the position in the beat (5: eighths and quarters)
//   3       mostly quarters, now and then a half or dotted half note
//   6       the style's rhythm motif, read at the note's place in the block
//   7       lengths by the weight of the beat: long notes on the first beat, shorter ones
//           on the weak beats, eighths and 16ths off the beat
//   8, 9    lengths read from a rhythm table made for the chord's duration (9 makes a fresh
//           table for every chord, 8 keeps one while the durations repeat)
//   10      dotted swing: dotted eighth and 16th pairs
// Every length is cut at the chord's end, so the notes of a chord fill it exactly.
#pragma once

#include <cstddef>
#include <vector>

#include "compose/melody_settings.h"

namespace tunecase {

struct ComposeContext;

// What the generator keeps between notes of one block.
struct NoteLengthState {
    int tripletLeft = 0;        // notes still to come in a triplet group
    std::vector<int> table;     // rhythm table of modes 8 and 9
    size_t next = 0;            // next table entry
    int tableDuration = -1;     // the chord duration the table was made for
    int chordStart = 0;         // ticks from the block's start to the chord's start

    void BeginBlock();
    // A chord of `duration` begins `chordStart` ticks into the block; `previousLength` is
    // the length of the note before it (0 when none).
    void BeginChord(ComposeContext& ctx, const MelodyPartSettings& s, int duration, int chordStart, int previousLength);
};

// The next note length. `beatPosition` is the position used for beat decisions (wrapping
// at a measure), `chordPosition` the position from the chord's start, `remaining` the time
// left in the chord's walk and `previousLength` the previous note's length in ticks (0 when
// none). 0 means the chord has no more notes.
int NoteLength(ComposeContext& ctx, const MelodyPartSettings& s, NoteLengthState& state, int beatPosition,
               int chordPosition, int remaining, int previousLength);

// The rhythm table of modes 8 and 9 for a chord of `duration`. `tripletTables` selects the
// triplet-feel tables of mode 8 (a 672-tick chord then reports 0xff01003c).
std::vector<int> RhythmTable(ComposeContext& ctx, int duration, bool tripletTables);

// Durations with a table of their own design (each pattern fills its duration exactly).
inline constexpr int kPatternDurations[] = {240, 336, 384, 432, 720, 768};
// All patterns of one of those durations (empty for any other).
std::vector<std::vector<int>> RhythmPatterns(int duration);

}  // namespace tunecase
