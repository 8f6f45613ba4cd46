// The library's LOAD through the program's own arranger, kept apart from the listing so that
// the listing and adding need nothing of the composition engine.
#include "songs/library.h"
#include "songs/song_arrangement.h"

namespace tunecase {

SongArranger defaultSongArranger() {
    return [](const std::string& songDataPath, const std::string& outputPath, std::string& title) {
        return arrangeSongData(songDataPath, outputPath, title) != 0;
    };
}

}  // namespace tunecase
