// Byte-level helpers shared by the two Standard MIDI File holders.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

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

// The file image of a holder (format 0 or 1) in `out`, from any state; the holder ends in
// the state it had. `encode` writes the holder's bytes (state 1 -> 0); `readBack` reads them
// again (0 -> 1). Returns 1, or 0 with the holder back in its starting state.
template <class Holder, class Encode, class ReadBack>
int saveImage(Holder& holder, std::vector<uint8_t>& out, Encode encode, ReadBack readBack) {
    out.clear();
    const int start = holder.state();
    if (start == Holder::NoteEvents && !holder.toMidi()) return 0;
    if (start != Holder::BytesOnly && !encode()) {
        if (start == Holder::NoteEvents) holder.toNotes();
        return 0;
    }
    if (holder.byteLength() <= 0) return 0;
    out.assign(holder.bytes(), holder.bytes() + holder.byteLength());
    if (start == Holder::BytesOnly) return 1;
    // Back to the state we came from, as the file now holds it.
    readBack();
    if (start == Holder::NoteEvents) holder.toNotes();
    return 1;
}

}  // namespace tunecase::smf
