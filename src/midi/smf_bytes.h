// Byte-level helpers shared by the two Standard MIDI File holders.
#pragma once

#include <cstdint>
#include <cstring>

#include "midi/midi_event.h"

namespace tunecase::smf {

inline constexpr int kHeaderSize = 14;
inline constexpr int kMacBinarySize = 128;

inline int readBe16(const uint8_t* p) { return (p[0] << 8) | p[1]; }

inline int64_t readBe32(const uint8_t* p) {
    return (int64_t{p[0]} << 24) | (int64_t{p[1]} << 16) | (int64_t{p[2]} << 8) | int64_t{p[3]};
}

// Whether an encoded chunk holds the whole track. The encoder stops 256 bytes short of its
// capacity and closes what it has with End of Track, so a chunk that reaches into that
// reserve was cut (it has already said so); writing it would lose the rest of the song.
inline bool chunkIsWhole(const uint8_t* c, int chunk, int trackCapacity) {
    return c && chunk >= 12 && chunk + 256 <= trackCapacity && c[chunk - 3] == 0xFF &&
           c[chunk - 2] == meta::EndOfTrack && c[chunk - 1] == 0;
}

inline bool hasMThd(const uint8_t* bytes, int length, int position) {
    return position >= 0 && int64_t{position} + 4 <= length && std::memcmp(bytes + position, "MThd", 4) == 0;
}

}  // namespace tunecase::smf
