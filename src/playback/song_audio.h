// A song made into sound as the music box plays it: the prepared song's messages, timed as
// the player would send them, rendered offline into an audio file. The command line's render,
// the song list's audio export and the song server's upload pages all go through here.
#pragma once

#include <string>

#include "platform/offline_renderer.h"
#include "playback/song_preparation.h"

namespace tunecase {

// Renders `prepared` (as prepareSongFile left it, ok) at `speedPercent` into `output`, in the
// format its extension names. The song's first General MIDI System On is taken out, as the
// schedule sends its own. A song that was not prepared gives an error and writes nothing.
RenderResult renderPreparedSong(PreparedSong& prepared, int speedPercent, const std::string& output,
                                const RenderOptions& options);

}  // namespace tunecase
