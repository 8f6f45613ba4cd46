// Arbitrary bytes as a Standard MIDI File: read as a format 0 song and as a format 1 file.
// Whatever a reader accepts must write and read again without harm.
//
// Every input goes through both readers, which is where outside bytes come in. Writing back
// handles only what the readers made of the bytes and costs two to four readings, so one
// input in eight also takes one of four write routes, and the campaign spends most of its
// time on the readers. A hash of the whole input chooses, so that mutants of an input that
// found something on a route spread over all the routes (a choice by one byte would be
// inherited, and the corpus would fill up with writing):
//   0: a format 0 song, or the format 1 file, saved and read again
//   1: the file's tracks merged into one song as the player opens a file (the events
//      move), the song saved and read again
//   2: the tracks merged by copying, the song split into 17 tracks and saved
//   3: both merges, which must give the same song
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string_view>
#include <vector>

#include "base/reporter.h"
#include "midi/midi_f0_data.h"
#include "midi/midi_f1_data.h"

namespace {

using namespace tunecase;

bool sameEvent(const MidiEvent& a, const MidiEvent& b) {
    if (a.status != b.status || a.delta != b.delta || a.channel != b.channel || a.data1 != b.data1 ||
        a.duration != b.duration || a.velocity != b.velocity || a.type != b.type || a.value != b.value ||
        a.length != b.length || a.bufferSize() != b.bufferSize())
        return false;
    return a.bufferSize() == 0 || std::memcmp(a.getData(), b.getData(), static_cast<size_t>(a.bufferSize())) == 0;
}

bool sameSong(const MidiF0Data& a, const MidiF0Data& b) {
    if (a.division() != b.division() || !a.track() || !b.track()) return false;
    const auto& x = a.track()->events();
    const auto& y = b.track()->events();
    if (x.size() != y.size()) return false;
    for (size_t i = 0; i < x.size(); ++i)
        if (!sameEvent(*x[i], *y[i])) return false;
    return true;
}

// Saves the song and reads what was written: it must read.
void saveAndReadAgain(MidiF0Data& song) {
    std::vector<uint8_t> out;
    if (!song.saveBytes(out)) return;
    auto again = MidiF0Data::fromBytes(out.data(), static_cast<int>(out.size()));
    if (!again->isLoaded()) __builtin_trap();  // we wrote something we cannot read
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static SilentSink sink;
    setReportSink(&sink);
    if (size > static_cast<size_t>(kDefaultSongCapacity)) return 0;
    const int length = static_cast<int>(size);
    const size_t choice = std::hash<std::string_view>{}(std::string_view(reinterpret_cast<const char*>(data), size));
    const bool write = choice % 8 == 0;
    const int route = static_cast<int>(choice / 8 % 4);

    auto song = MidiF0Data::fromBytes(data, length);
    if (write && route == 0 && song->isLoaded()) saveAndReadAgain(*song);

    auto file = MidiF1Data::fromBytes(data, length, true);
    if (!write) return 0;
    if (route == 0 || !file->isLoaded() || file->trackCount() == 0) {
        std::vector<uint8_t> out;
        if (route == 0) file->saveBytes(out);
        return 0;
    }
    auto merged = MidiF0Data::newSong();
    if (route == 1) {
        file->moveMergedInto(*merged);
        saveAndReadAgain(*merged);
    } else if (route == 2) {
        file->mergeInto(*merged);
        std::vector<uint8_t> out;
        MidiF1Data::fromFormat0(*merged)->saveBytes(out);
    } else {
        file->mergeInto(*merged);
        auto moved = MidiF0Data::newSong();
        file->moveMergedInto(*moved);
        if (!sameSong(*merged, *moved)) __builtin_trap();
    }
    return 0;
}
