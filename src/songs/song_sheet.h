// Song sheets: a song written as plain text, the way the sample library is kept in the
// repository, turned into a song-data record. The form (see data/README):
//
//   # a comment line
//   title: Twinkle Twinkle Little Star
//   key: C                 # a key of the key table: C, G, ..., Am, F#m, ...
//   meter: 4/4             # 1/4 .. 8/4
//   tempo: 100             # beats per minute, 40..240 (default 120)
//   program: 10            # MIDI program counted from 0 (default 10, the music box)
//   lyrics: Twin-kle, twin-kle, lit-tle star   # up to 12 lines
//
//   C4 C4 G4 G4 | C . . .
//   A4 A4 G4:4  | F . C .
//
// One line per measure: the melody, a "|", and one chord per beat. A melody token is a note
// (C4 is middle C, F#4, Bb3), "r" for a rest or "-" to hold the note before it (across a bar
// line too), with ":N" for a length of N half beats (default 2, one beat). A half beat may be
// split into two or three even parts written "[E4 D4]" or "[C4 D4 E4]". A chord token is a
// chord name ("G7", "F#m7"), a slash chord ("C/E", the bass is kept as its interval above
// the root), "X,Y" for a beat whose second half changes chord, or "." to keep the chord.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "songs/song_data.h"

namespace tunecase {

struct SheetError {
    int line = 0;  // 1-based; 0 for the sheet as a whole
    std::string message;
};

// Parses a sheet. Returns the song, or nullptr with every error found in `errors`.
std::unique_ptr<CSongData> parseSongSheet(std::string_view text, std::vector<SheetError>& errors);

// "NAME:LINE: message" lines, one per error.
std::string describeSheetErrors(std::string_view name, const std::vector<SheetError>& errors);

// MIDI note number of a note name with octave ("C4" = 60, "F#3", "Bb5"), or -1.
int noteNumberOf(std::string_view name);

// True for a chord name the arranger reads: a root A-G, an optional "#" or "b" and one of
// the known suffixes ("", "m", "7", "M7", "m7", "dim", "sus4", "add9", ...), within 7 bytes.
bool isChordName(std::string_view name);

}  // namespace tunecase
