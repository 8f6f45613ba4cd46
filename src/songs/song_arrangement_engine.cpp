// The hand-over of an arranged grid to the composition engine, kept apart from the grid
// walk so that the walk needs none of the engine's headers.
#include "compose/compose_context.h"
#include "compose/compose_driver.h"
#include "songs/song_arrangement.h"

namespace tunecase {

int renderArrangedGrid(ComposeContext& ctx, const ArrangedGrid& grid, const std::string& outputPath) {
    SuppliedSong song;
    for (const ArrangedNote& n : grid.melody) song.melody.AddNote(n.length, n.pitch);
    for (const ArrangedNote& n : grid.accompaniment) song.accompaniment.AddNote(n.length, n.pitch);
    for (const ArrangedChord& c : grid.chords) song.chords.AddChord(c.length, ChordCode(c.code), c.bass);
    return ArrangeSuppliedSong(ctx, outputPath, song);
}

}  // namespace tunecase
