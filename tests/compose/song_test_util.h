// Helpers of the accompaniment, rendering and driver tests: chord records written out by
// hand, the notes of a part track, and the codes a run reported.
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "base/reporter.h"
#include "compose/chords.h"
#include "compose/score_rendering.h"
#include "midi/smf_test_util.h"

namespace tunecase::testing {

// A chord record with the pitches given (no draws): root, third, fifth, seventh; the bass is
// the root two octaves down.
inline ChordRecord chordOf(int duration, const char* code, int root, int third, int fifth, int seventh) {
    ChordRecord c;
    c.duration = duration;
    c.code = ChordCode(code);
    c.rootPitch = static_cast<uint8_t>(root);
    c.bassPitch = static_cast<uint8_t>(root ? root - 24 : 0);
    c.thirdPitch = static_cast<uint8_t>(third);
    c.fifthPitch = static_cast<uint8_t>(fifth);
    c.seventhPitch = static_cast<uint8_t>(seventh);
    return c;
}

inline std::vector<uint32_t> reportedCodes(CaptureSink& sink) {
    std::vector<uint32_t> codes;
    for (const Report& r : sink.reports()) codes.push_back(r.code);
    return codes;
}

inline bool reported(CaptureSink& sink, uint32_t code) {
    for (const Report& r : sink.reports())
        if (r.tag == "ZEMC" && r.code == code) return true;
    return false;
}

// start, key, velocity, duration of the notes of a track (all channels), in time order.
struct PartNote {
    int64_t start;
    int key;
    int velocity;
    int64_t duration;
    bool operator==(const PartNote&) const = default;
};
inline std::vector<PartNote> partNotes(const MidiTrackData& track) {
    std::vector<PartNote> out;
    for (const auto& [start, channel, key, velocity, duration] : notesOf(track))
        out.push_back({start, key, velocity, duration});
    return out;
}

// The time of the End of Track of a track (its deltas summed).
inline int64_t trackEnd(const MidiTrackData& track) {
    int64_t t = 0;
    for (const auto& e : track.events()) t += e->delta;
    return t;
}

// What python3-mido reads from a song (see song_summary.py); null when it cannot read it.
inline nlohmann::json songSummary(const std::string& path) {
    std::string out;
    const std::string script = std::string(TUNECASE_TEST_DATA) + "/../compose/song_summary.py";
    if (runCommand("/usr/bin/python3 '" + script + "' '" + path + "' 2>/dev/null", out) != 0) return nullptr;
    return nlohmann::json::parse(out, nullptr, false);
}

}  // namespace tunecase::testing
