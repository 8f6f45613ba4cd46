// Helpers for the Standard MIDI File tests: notes as plain tuples, and the same notes as an
// outside reader (python3-mido) sees them in a file.
#pragma once

#include <algorithm>
#include <cstdint>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "midi/midi_track_data.h"
#include "support/test_support.h"

namespace tunecase::testing {

// start, channel, key, velocity, duration
using NoteTuple = std::tuple<int64_t, int, int, int, int64_t>;

// The 0x10 notes of a state 2 track, sorted.
inline std::vector<NoteTuple> notesOf(const MidiTrackData& track) {
    std::vector<NoteTuple> out;
    int64_t t = 0;
    for (const auto& e : track.events()) {
        t += e->delta;
        if (e->status == ev::Note) out.emplace_back(t, e->channel, e->data1, e->velocity, e->duration);
    }
    std::sort(out.begin(), out.end());
    return out;
}

inline std::string midiDataFolder() { return std::string(TUNECASE_TEST_DATA) + "/midi"; }

// Python with mido: the system interpreter (a user-level python may not have it).
inline bool haveMido() {
    std::string out;
    return runCommand("/usr/bin/python3 -c 'import mido'", out) == 0;
}

// The notes python3-mido reads from the file; `header` gets "type T tracks N division D".
inline std::vector<NoteTuple> midoNotes(const std::string& path, std::string* header = nullptr) {
    std::string out;
    runCommand("/usr/bin/python3 " + midiDataFolder() + "/mido_notes.py '" + path + "'", out);
    std::istringstream in(out);
    std::string line;
    std::vector<NoteTuple> notes;
    if (std::getline(in, line) && header) *header = line;
    while (std::getline(in, line)) {
        std::istringstream l(line);
        int64_t start, duration;
        int channel, key, velocity;
        if (l >> start >> channel >> key >> velocity >> duration)
            notes.emplace_back(start, channel, key, velocity, duration);
    }
    return notes;
}

}  // namespace tunecase::testing
