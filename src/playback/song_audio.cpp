#include "playback/song_audio.h"

#include "base/translation.h"
#include "midi/midi_f0_data.h"
#include "playback/player_schedule.h"

namespace tunecase {

RenderResult renderPreparedSong(PreparedSong& prepared, int speedPercent, const std::string& output,
                                const RenderOptions& options) {
    if (!prepared.ok || !prepared.song || !prepared.song->track()) {
        RenderResult none;
        none.error = tr("the song does not read as MIDI");
        return none;
    }
    MidiTrackData& track = *prepared.song->track();
    track.removeFirstSysExOfType(sysex::GmSystemOn);
    return renderAudioFile(scheduledMessages(track, prepared.song->division(), speedPercent), output, options);
}

}  // namespace tunecase
