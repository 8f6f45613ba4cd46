// The player's timing worked out ahead of time: when each event of a song leaves the player
// in callback mode, without a timer or a device. It runs the player's own tick routine
// (player_tick.h) and sends through the player's own port code into a recorder, so what it
// gives is what a run sends. Offline rendering uses it, and so do the checks of the real
// player's timing.
#pragma once

#include <cstdint>
#include <vector>

#include "midi/midi_track_data.h"
#include "platform/midi_out_device.h"

namespace tunecase {

struct ScheduledEvent {
    int index = 0;       // index in the track
    int64_t timeMs = 0;  // milliseconds after the run started
};

// Every event a whole-song run sends (meta events included), in sending order, with its
// time: the pre-roll at 0, the first tick one timer period later, and each later tick after
// the delay computed from the tempo in force and `speedPercent`. Ends as a whole-song run
// does: the tick after which the next event would reach `endTime` (-1: the song's total
// length) is the last. The track must be in event form and hold no GM System On (the player
// removes it).
std::vector<ScheduledEvent> schedulePlayback(const MidiTrackData& track, int division,
                                             int speedPercent, int64_t endTime = -1);

// The messages of a whole-song run with their times, ready for offline rendering: GM System
// On at 0, then the bytes the port sends for every scheduled event.
std::vector<TimedMidiMessage> scheduledMessages(const MidiTrackData& track, int division,
                                                int speedPercent);

}  // namespace tunecase
