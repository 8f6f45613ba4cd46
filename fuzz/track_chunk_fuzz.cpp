// Reads arbitrary bytes as a track chunk, then joins, splits and encodes what was read and
// reads the encoded chunk back.
//
// Input layout: byte 0 holds the options (bit 0: the rest is taken as raw data holding its
// own chunk header, else it is wrapped in an "MTrk" header of the right length; bit 1: a
// small capacity, so that the slot and encoder limits are reached); the rest is the data.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "base/reporter.h"
#include "midi/midi_track_data.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace tunecase;
    static SilentSink sink;
    setReportSink(&sink);
    if (size == 0 || size > 200000) return 0;
    const uint8_t options = data[0];
    const int capacity = (options & 2) ? 900 : kDefaultTrackCapacity;

    // Exact-size copies so that any read past the data is caught by the sanitizers.
    std::vector<uint8_t> input;
    if (options & 1) {
        input.assign(data + 1, data + size);
    } else {
        const size_t n = size - 1;
        input = {'M', 'T', 'r', 'k', uint8_t(n >> 24), uint8_t(n >> 16), uint8_t(n >> 8), uint8_t(n)};
        input.insert(input.end(), data + 1, data + size);
    }
    const uint8_t* bytes = input.empty() ? nullptr : input.data();
    MidiTrackData track(bytes, static_cast<int>(input.size()), 0, 0, capacity);
    if (track.state() != MidiTrackData::MidiEvents) return 0;

    track.joinNotes();
    track.removeDuplicateNotes();
    track.removeOctaveDoublings();
    track.ensureEndOfTrack(0);
    track.splitNotes();
    track.prepareForWriting();
    // The writers keep no copy for undoing an encode when the bound says it fits.
    const size_t bound = track.chunkSizeBound();
    const MidiEvent* last = track.event(track.eventCount() - 1);
    const bool sure = track.surelyEncodesWhole() && last && last->status == ev::Meta && last->type == meta::EndOfTrack;
    const int chunkSize = track.encodeChunk("MTrk");
    if (sure && (chunkSize <= 0 || static_cast<size_t>(chunkSize) > bound)) __builtin_trap();
    if (chunkSize <= 0) return 0;
    if (chunkSize > track.capacity()) __builtin_trap();

    std::vector<uint8_t> encoded(track.bytes(), track.bytes() + chunkSize);
    MidiTrackData again(encoded.data(), static_cast<int>(encoded.size()), 0, 0, capacity);
    if (again.state() != MidiTrackData::MidiEvents) __builtin_trap();
    again.joinNotes();
    again.splitNotes();
    return 0;
}
