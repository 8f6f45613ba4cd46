// Helpers for the MIDI tests: chunk bytes and a compact text form of a track.
#pragma once

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "midi/midi_track_data.h"

namespace tunecase::testing {

// "MTrk" + big-endian length + body.
inline std::vector<uint8_t> chunk(const std::vector<uint8_t>& body, const char* id = "MTrk") {
    std::vector<uint8_t> out(8 + body.size());
    const uint32_t n = static_cast<uint32_t>(body.size());
    const uint8_t head[8] = {uint8_t(id[0]), uint8_t(id[1]), uint8_t(id[2]), uint8_t(id[3]),
                             uint8_t(n >> 24), uint8_t(n >> 16), uint8_t(n >> 8), uint8_t(n)};
    std::copy(head, head + 8, out.begin());
    std::copy(body.begin(), body.end(), out.begin() + 8);
    return out;
}

inline std::unique_ptr<MidiTrackData> readChunk(const std::vector<uint8_t>& bytes, int capacity = kDefaultTrackCapacity) {
    return std::make_unique<MidiTrackData>(bytes.data(), static_cast<int>(bytes.size()), 0, 0, capacity);
}

// One token per event, "delta:kind": N60/96 note with duration, +60 note on, -60 note
// off, C7=100 control change, P5 program, A5 / D5 key / channel pressure, B8192 pitch
// bend, E end of track, T500000 tempo, M3 other meta, S9 system exclusive by class; "@ch" follows when the channel is not 0
// and the event has one.
inline std::string describe(const MidiTrackData& t) {
    std::string out;
    for (const auto& p : t.events()) {
        const MidiEvent& e = *p;
        if (!out.empty()) out += ' ';
        out += std::to_string(e.delta) + ':';
        switch (e.status) {
            case ev::Note: out += "N" + std::to_string(e.data1) + "/" + std::to_string(e.duration); break;
            case ev::NoteOn: out += "+" + std::to_string(e.data1); break;
            case ev::NoteOff: out += "-" + std::to_string(e.data1); break;
            case ev::ControlChange: out += "C" + std::to_string(e.type) + "=" + std::to_string(e.value); break;
            case ev::ProgramChange: out += "P" + std::to_string(e.value); break;
            case ev::PitchBend: out += "B" + std::to_string(e.pitchBendValue()); break;
            case ev::PolyPressure: out += "A" + std::to_string(e.value); break;
            case ev::ChannelPressure: out += "D" + std::to_string(e.value); break;
            case ev::SysEx: out += "S" + std::to_string(e.type); break;
            case ev::Meta:
                if (e.type == meta::EndOfTrack) out += "E";
                else if (e.type == meta::Tempo) out += "T" + std::to_string(e.value);
                else out += "M" + std::to_string(e.type);
                break;
            default: out += "?" + std::to_string(e.status); break;
        }
        if (e.channel != 0 && e.channel != 255) out += "@" + std::to_string(e.channel);
    }
    return out;
}

// A state 2 track from (delta, key, duration) triples on channel 0, velocity 100, closed by
// End of Track with `endDelta`.
struct NoteSpec {
    int delta, key, duration;
};
inline std::unique_ptr<MidiTrackData> noteTrack(std::initializer_list<NoteSpec> notes, int endDelta = -1) {
    auto t = std::make_unique<MidiTrackData>(kDefaultTrackCapacity, MidiTrackData::NoteEvents);
    for (const auto& n : notes) t->addNote(0, n.delta, n.key, 100, n.duration);
    if (endDelta >= 0) t->ensureEndOfTrack(endDelta);
    return t;
}

}  // namespace tunecase::testing
