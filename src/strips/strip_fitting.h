// Fitting a song to a paper-strip music box: the song prepared as for the music box, moved
// by the transposition (within two octaves either way) that keeps the most notes on the
// box's comb and, among equals, the fewest repeats of one tooth that are too close; notes
// still off the comb folded by octaves onto it where possible, otherwise dropped; every
// repeat closer than the box allows flagged. The report says what was done, with bars and
// beats.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "strips/box_models.h"

namespace tunecase {

// The furthest transposition tried, in semitones either way.
inline constexpr int kMaxStripTranspose = 24;

// A note of the song as the fitting sees it: when it sounds and its key.
struct SongNote {
    int64_t tick = 0;
    int key = 0;
};

// The song reduced to what a strip can hold: one voice of note onsets in tick order, its
// timing and its metre.
struct StripSong {
    std::string title;
    int division = 480;                   // ticks per quarter note
    int beatsPerBar = 4;                  // from the first time signature, 4 without one
    int beatUnit = 4;                     // its denominator (4 = quarter note)
    std::vector<SongNote> notes;          // sorted by tick, then key
};

// Where a note lies in the music: bar (from 1) and beat (from 1, fractional within the bar,
// counted in the time signature's beats).
struct BarBeat {
    int bar = 1;
    double beat = 1.0;
};

enum class StripNoteFate { Kept, Folded, Dropped };

struct StripNote {
    int64_t tick = 0;
    int originalKey = 0;        // the song's key before any change
    int key = 0;                // the key punched (transposed, maybe folded); -1 when dropped
    int tooth = -1;             // index into the comb, -1 when dropped
    StripNoteFate fate = StripNoteFate::Kept;
    bool tooClose = false;      // this hole follows the tooth's previous hole too closely
    double positionMm = 0;      // along the strip from the song's first beat
    BarBeat where;
};

struct StripFit {
    std::string boxName;
    std::string title;
    int transpose = 0;          // semitones applied to every note
    int kept = 0, folded = 0, dropped = 0, tooClose = 0;
    double mmPerBeat = 0;       // as used (the box's, or the one asked for)
    double lengthMm = 0;        // from the first beat to the last hole
    std::vector<StripNote> notes;  // every song note in order, dropped ones included
};

// How the transposition is chosen.
struct StripFitOptions {
    std::optional<int> transpose;    // a fixed transposition; the best one when empty
    std::optional<double> mmPerBeat; // the box's own when empty
};

// The song file at `path` prepared as for the music box (the player's channel rules, one
// voice) and reduced to a StripSong. Nothing when the file cannot be read (the readers'
// boxes have been shown).
std::optional<StripSong> loadStripSong(const std::string& path, bool deleteShortNoteChannel = true,
                                       bool deleteLongNoteChannel = true);

// The fitting as described above; ties between transpositions go to the smaller move, then
// to the upward one.
StripFit fitSongToBox(const StripSong& song, const BoxModel& box, const StripFitOptions& options = {});

// The bar and beat of `tick` in `song`.
BarBeat barBeatOf(const StripSong& song, int64_t tick);

// The fitting report as text lines for people: box, transposition, counts, then one line per
// folded, dropped or too-close note with its bar and beat.
std::string stripReportText(const StripFit& fit);

}  // namespace tunecase
