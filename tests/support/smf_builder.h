// Standard MIDI Files built byte by byte, for what ordinary writers never make: SMPTE time,
// names with control bytes, a track name placed after other events.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tunecase::testing {

struct SmfEvent {
    uint32_t delta = 0;
    std::vector<uint8_t> bytes;  // status and data, as written after the delta
};
using SmfTrack = std::vector<SmfEvent>;

inline void putVariableLength(std::vector<uint8_t>& out, uint32_t value) {
    uint8_t groups[5];
    int n = 0;
    do {
        groups[n++] = static_cast<uint8_t>(value & 0x7F);
        value >>= 7;
    } while (value != 0);
    while (n-- > 0) out.push_back(static_cast<uint8_t>(groups[n] | (n > 0 ? 0x80 : 0)));
}

// A meta event with a text (track name 0x03, text 0x01, lyric 0x05 ...).
inline SmfEvent metaText(uint8_t type, std::string_view text, uint32_t delta = 0) {
    SmfEvent e{delta, {0xFF, type}};
    putVariableLength(e.bytes, static_cast<uint32_t>(text.size()));
    e.bytes.insert(e.bytes.end(), text.begin(), text.end());
    return e;
}

// Quarter notes one after another on channel 0, each `length` ticks.
inline void appendNotes(SmfTrack& track, const std::vector<int>& keys, uint32_t length) {
    for (int key : keys) {
        track.push_back({0, {0x90, static_cast<uint8_t>(key), 100}});
        track.push_back({length, {0x80, static_cast<uint8_t>(key), 0}});
    }
}

// The file: header with the 16 division bits as given, then each track closed by End of Track.
inline std::vector<uint8_t> smfBytes(int format, uint16_t division, const std::vector<SmfTrack>& tracks) {
    std::vector<uint8_t> out = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, static_cast<uint8_t>(format),
                                0, static_cast<uint8_t>(tracks.size()), static_cast<uint8_t>(division >> 8),
                                static_cast<uint8_t>(division & 0xFF)};
    for (const SmfTrack& track : tracks) {
        std::vector<uint8_t> body;
        for (const SmfEvent& e : track) {
            putVariableLength(body, e.delta);
            body.insert(body.end(), e.bytes.begin(), e.bytes.end());
        }
        body.insert(body.end(), {0x00, 0xFF, 0x2F, 0x00});
        const auto n = static_cast<uint32_t>(body.size());
        out.insert(out.end(), {'M', 'T', 'r', 'k', static_cast<uint8_t>(n >> 24), static_cast<uint8_t>(n >> 16),
                               static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(n)});
        out.insert(out.end(), body.begin(), body.end());
    }
    return out;
}

}  // namespace tunecase::testing
