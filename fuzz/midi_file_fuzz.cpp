// Arbitrary bytes as a Standard MIDI File: read as a format 0 song and as a format 1 file,
// then written back. Whatever the readers accept must write and read again without harm.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "base/reporter.h"
#include "midi/midi_f0_data.h"
#include "midi/midi_f1_data.h"


extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static tunecase::SilentSink sink;
    tunecase::setReportSink(&sink);
    if (size > 0x60000) return 0;
    const int length = static_cast<int>(size);

    auto song = tunecase::MidiF0Data::fromBytes(data, length);
    std::vector<uint8_t> out;
    if (song->saveBytes(out)) {
        auto again = tunecase::MidiF0Data::fromBytes(out.data(), static_cast<int>(out.size()));
        if (!again->isLoaded()) __builtin_trap();  // we wrote something we cannot read
    }

    auto file = tunecase::MidiF1Data::fromBytes(data, length, true);
    if (file->isLoaded()) {
        auto merged = tunecase::MidiF0Data::newSong();
        if (file->trackCount() > 0) file->mergeInto(*merged);
        merged->saveBytes(out);
        auto split = tunecase::MidiF1Data::fromFormat0(*merged);
        split->saveBytes(out);
    }
    file->saveBytes(out);
    return 0;
}
