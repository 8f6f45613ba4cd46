// The player's timing worked out ahead of time: when each event of a song leaves the player
// in callback mode, by the same tempo and delay arithmetic, without a timer or a device.
// Offline rendering uses it, and so do the checks of the real player's timing.
#pragma once

#include <cstdint>
#include <vector>

#include "midi/midi_event.h"
#include "midi/midi_track_data.h"
#include "platform/midi_out_device.h"

namespace tunecase {

struct ScheduledEvent {
    int index = 0;       // index in the track
    int64_t timeMs = 0;  // milliseconds after the run started
};

// Every event the player sends, in sending order, with its time: the pre-roll at 0, the
// first tick one timer period later, and each later tick after the delay computed from
// the tempo in force and `speedPercent`. Ends as a whole-song run does: the tick after
// which the next event would reach `endTime` (-1: the song's total length) is the last. The track must be in event form
// and hold no GM System On (the player removes it); tempo changes apply from the tick after
// the one that sends them.
std::vector<ScheduledEvent> schedulePlayback(const MidiTrackData& track, int division,
                                             int speedPercent, int64_t endTime = -1);

// The bytes the player's port sends for an event; empty for events that send nothing
// (meta events, notes in editing form). Note offs go out with release velocity 0, note on
// velocities above 127 as 127, and stored system-exclusive data without its length byte.
std::vector<uint8_t> midiBytesOf(const MidiEvent& event);

// The GM System On message every run sends first.
std::vector<uint8_t> gmSystemOnBytes();

// The messages of a whole-song run with their times, ready for offline rendering: GM System
// On at 0, then every scheduled event.
std::vector<TimedMidiMessage> scheduledMessages(const MidiTrackData& track, int division,
                                                int speedPercent);

}  // namespace tunecase
