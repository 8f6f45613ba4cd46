// Arranging a song-data file into a Standard MIDI File: the beat grid becomes a melody line,
// a line of accompanying notes and a chord list, which the composition engine keeps while it
// adds the "Music Box" accompaniment around them.
//
// The grid walk below works on plain lists; the hand-over to the engine lives in its own
// file (song_arrangement_engine.cpp), so that nothing here needs the engine's chord types.
// Every arrangement works in a composition context of its own: arrangements and compositions
// may run on several threads at once.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>
#include "base/translation.h"

namespace tunecase {

class CSongData;
struct ComposeContext;

// Boxes of the arranger.
// A chord name whose sharp or flat cannot be applied to its root.
inline constexpr const char* kArrangerErrorText =
    N_("A chord name in the song could not be read; its root was kept as written.");

// The longest note either line may hold; longer ones are split.
inline constexpr int kArrangedLongestNote = 384;
// The most events one line may hold ("No more memory for notes!" once reached).
inline constexpr size_t kArrangedLineCapacity = 16383;

// The engine's four-character code of a chord name: "----" gives "CMPS", "Skip" stays as
// it is; otherwise a root letter (a sharp or flat moves it to the engine's letter for that
// pitch: C#m7 -> dmPs, Bb -> bMPo) and the quality of the suffix. An unknown suffix gives
// "MP9" when it begins with '9', else "MPo". A sharp or flat after a letter other than A-G
// shows kArrangerErrorText and keeps the letter. "" stays "".
std::string chordCode(std::string_view name);

// The overrides an arrangement makes to the style applied in `ctx`: the ".DB" knowledge
// files, no key changes, free progression (the chords are given), no second melody line, no
// delayed copies unless `keepDelays`, no environment part, the programs of parts 1, 3 and 7,
// the tempo and the beat kind. Also switches the context's engine to arranging a supplied
// melody.
void setArrangerParameters(ComposeContext& ctx, int melodyProgram, int tempoBpm, int part3Program, int part7Program,
                           int beatKind, int keepDelays);

// Selects the knowledge for song key `keyIndex` (0..29) in `ctx`: a major key the ".DB"
// files, knowledge set 1 and its tonic as the key; a minor key the ".DB2" files, knowledge
// set 2 and the tonic of its relative major.
void applySongKey(ComposeContext& ctx, int keyIndex);

// ---- The grid walk -----------------------------------------------------------------------------

// One entry of a note line: `pitch` 0 is a rest.
struct ArrangedNote {
    int32_t length;
    int32_t pitch;
    bool operator==(const ArrangedNote&) const = default;
};

// One chord of the chord list: its length in ticks, its four-character code and its bass
// value as two decimal digits.
struct ArrangedChord {
    int32_t length;
    std::string code;
    std::string bass;
    bool operator==(const ArrangedChord&) const = default;
};

struct ArrangedGrid {
    std::vector<ArrangedNote> melody;         // flagged notes, rests where the others sound
    std::vector<ArrangedNote> accompaniment;  // unflagged notes, rests where the melody sounds
    std::vector<ArrangedChord> chords;
};

// Walks the grid of `song` beat by beat and half beat by half beat (48 ticks each): a beat
// whose first chord name is "Skip" and a half whose chord name is "----" take no time; a
// half holds one, two or three note positions; a continued note (-2) grows the note before
// it. Notes longer than `longestNote` are split into notes of that length and rests.
ArrangedGrid arrangeGrid(const CSongData& song, int longestNote = kArrangedLongestNote);

// The engine's arrangement run over the parameters of `ctx`: the grid's melody on part 1, its
// accompanying notes on part 15, its chords in place of a progression. Writes `outputPath`;
// 1 when written.
int renderArrangedGrid(ComposeContext& ctx, const ArrangedGrid& grid, const std::string& outputPath);

// ---- Arranging a file --------------------------------------------------------------------------

// Loads the song-data file, arranges it in the "Music Box" style and writes the Standard MIDI
// File to `outputPath` (format 1, 96 ticks per quarter, no control changes), then gives the
// song's title (bytes as stored). The arrangement works in a composition context of its own,
// whose generator is seeded with `seed`, or with the time when none is given. Returns 1 when the file was written. A song-data file that is
// missing or cannot be read is reported and gives 0, and then nothing is written at
// `outputPath`; neither is anything when the engine or the final save fails.
int arrangeSongData(const std::string& songDataPath, const std::string& outputPath, std::string& titleOut,
                    std::optional<int32_t> seed = std::nullopt);

}  // namespace tunecase
