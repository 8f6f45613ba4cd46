// Adding songs to the list: new song file names in the data folder, the editor's add
// operation with its "list is full" message, and the import of any Standard MIDI File as a
// music-box song of its own.
#pragma once

#include <string>
#include <string_view>

#include "base/records.h"
#include "base/translation.h"

namespace tunecase {

inline constexpr const char* kListFullText = N_("The song list is full.");

// The program the imported songs play with (General MIDI music box, counted from 0).
inline constexpr int kMusicBoxProgram = 10;
inline constexpr int kImportDivision = 96;
inline constexpr int kImportTempo = 500000;

// A new file name in `folder` from the current UTC time, "%d-%d-%d-%d-%d-%d-%d.mid" as year,
// month, day, hour, minute, second, milliseconds. Never the name of an existing file: when
// two songs are made within the same millisecond the second waits for the next one.
std::string newSongPath(std::string_view folder);

// Adds a song to the list at `at` (entries from `at` move up) or, with -1, at the end.
// A full list shows "曲の数が最大に達しています。" and adds nothing; a path or title that does
// not fit its field is refused with a message too. currentIndex does not change.
// Returns true when the song was added.
bool addSongToList(SongList& list, std::string_view path, std::string_view title, int at = -1);

struct ImportedSong {
    bool ok = false;
    std::string path;   // the new format 0 file in the data folder
    std::string title;  // the track name, else the imported file's name
};

// Turns the file at `source` into a song of its own in `dataFolder`: drum channels dropped,
// every channel on the music-box program, no pitch bends, controllers or tempo changes, 96
// ticks per quarter note and one tempo of 120 BPM at the first notes. Saved as format 0 at
// newSongPath(dataFolder). Runs on a worker thread; it touches no shared state. A file no
// reader accepts gives ok = false after the readers' messages.
ImportedSong importMidiFile(const std::string& source, const std::string& dataFolder);

}  // namespace tunecase
