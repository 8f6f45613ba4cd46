// The 24 keys a composition may be asked for. The engine knows major songs in C and minor
// songs in A minor only: a song in another key is composed there and every pitched note is
// moved by the nearest shift (-5..+6 semitones), so the tune stays near the range it was
// written for.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tunecase {

struct SongKey24 {
    int tonic = 0;  // pitch class 0..11 (0 = C)
    bool minor = false;
    bool operator==(const SongKey24&) const = default;
};

// The key from a name: a letter A-G, then '#', "b", "-sharp" or "-flat", then "m", "min",
// "minor", "maj" or "major" (a space before the mode allowed); a lower-case letter alone is
// minor ("c#" = C-sharp minor). Enharmonic spellings are taken ("Gb" = F-sharp major). Nothing
// for any other text.
std::optional<SongKey24> parseSongKey(std::string_view text);

// "C major", "B-flat major", "F-sharp minor": the one spelling each key is named and noted in.
std::string songKeyName(SongKey24 key);

// The 24 names, majors then minors, each from C upwards.
std::vector<std::string> allSongKeyNames();

// The key signature: sharps (> 0) or flats (< 0) of the key as it is named.
int keySignatureSharps(SongKey24 key);

// Semitones from C major (A minor for a minor key) to the key, the nearest way: -5..+6.
int keyTransposition(SongKey24 key);

// A chord marker's name ("Am7", "EbM7onG", "N/C") with its root and bass moved by
// `semitones`, spelled with flats or sharps.
std::string TransposeChordName(std::string_view name, int semitones, bool flats);

}  // namespace tunecase
