// Small helpers shared by the track source files (not part of the public interface).
#pragma once

#include <chrono>
#include <cstddef>
#include <thread>

#include "midi/midi_event.h"
#include "midi/midi_track_data.h"

namespace tunecase::detail {

inline bool isEndOfTrack(const MidiEvent& e) { return e.status == ev::Meta && e.type == meta::EndOfTrack; }

inline bool isNoteStart(const MidiEvent& e) {
    return e.status == ev::Note || (e.status == ev::NoteOn && e.velocity > 0);
}

// Sleeps the yield delay before every `every`-th item of a long loop.
inline void yieldEvery(size_t index, size_t every) {
    if (index == 0 || index % every != 0) return;
    const int delay = trackYieldDelay();
    if (delay > 0) std::this_thread::sleep_for(std::chrono::milliseconds(delay));
}

}  // namespace tunecase::detail
