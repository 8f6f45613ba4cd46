// Arbitrary bytes as song-data files and downloads. The first byte picks a file size (each
// layout's own, another size, or the input itself); the rest patches a well-formed song at
// the offsets that matter, so the fields vary without the fuzzer having to grow 120 KB
// inputs. Every buffer is sized exactly, so a read past the data is a read past the
// allocation (a buffer whose bytes after the data are poisoned). Afterwards the song must hold to its bounds and read back the same when written.
#include <cstddef>
#include <cstdint>
#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#if defined(__has_include)
#if __has_include(<sanitizer/asan_interface.h>)
#include <sanitizer/asan_interface.h>
#endif
#endif
#ifndef ASAN_POISON_MEMORY_REGION
#define ASAN_POISON_MEMORY_REGION(addr, size) ((void)(addr), (void)(size))
#define ASAN_UNPOISON_MEMORY_REGION(addr, size) ((void)(addr), (void)(size))
#endif

#include "base/reporter.h"
#include "songs/song_data.h"

namespace {

using namespace tunecase;

const std::vector<uint8_t>& templateSong() {
    static const std::vector<uint8_t> bytes = [] {
        CSongData song;
        song.newSong(8, 3, 16, 1);
        song.setTitle("Template");
        for (int beat = 0; beat < 24; ++beat) {
            NoteRecord r;
            r.value[0] = 60 + beat % 12;
            r.slot[0][0] = 1;
            song.setNoteRecord(beat, 0, r);
            song.setChordName(beat, beat % 2 ? "C9" : "Am");
            song.setSecondChordName(beat, "G7");
            song.setBassValues(beat, 4, 7);
        }
        song.setLyricLine(0, "la la");
        song.setLyricLine(1, "lu");
        song.setSongText("  some   text \r\n ");
        return song.toBytes();
    }();
    return bytes;
}

constexpr size_t kHot[] = {0, 8192, 16384, 32768, 81920, 90112, 90176, 90304, 90312, 90401,
                           90432, 90436, 90440, 90444, 92492, 93516, 94540, 99148};

void check(bool ok) {
    if (!ok) __builtin_trap();
}

void exercise(const CSongData& song) {
    check(song.beatCount() >= 0 && song.beatCount() <= 1024);
    if (song.isLoaded()) {
        check(song.beatsPerMeasure() >= 1 && song.beatsPerMeasure() <= 8);
        check(song.tempo() >= 40 && song.tempo() <= 240);
        check(song.program() >= 0 && song.program() <= 127);
    }
    check(song.keyIndex() >= 0 && song.keyIndex() < kSongKeyCount);
    check(song.title().size() <= 31 && song.songText().size() <= 2048);
    const int low = song.lowestNote(), high = song.highestNote();
    check(low <= high && low >= -1 && high <= 127);
    // A few beats across the song, the last one included.
    const int count = song.beatCount();
    for (int beat = 0; beat < count; beat += 1 + count / 16) {
        check(song.chordName(beat).size() <= 8 && song.secondChordName(count - 1 - beat).size() <= 4);
        check(song.noteRecord(beat, 1).positions() >= 1);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static SilentSink sink;
    setReportSink(&sink);
    if (size == 0) return 0;

    static constexpr size_t kSizes[] = {121880, 99208, 94540, 92492, 90444, 81932, 32780};
    const uint8_t pick = data[0] % 9;
    // One buffer for every run; the bytes after the file are poisoned so that a read past
    // its end is caught as it would be at the end of an allocation of the file's size.
    static constexpr size_t kCapacity = 128 * 1024;  // the largest size picked is 131,070
    static uint8_t* const buffer = new uint8_t[kCapacity];
    ASAN_UNPOISON_MEMORY_REGION(buffer, kCapacity);
    size_t fileSize = 0;
    if (pick <= 7) {
        const size_t n = pick < 7 ? kSizes[pick] : (size > 2 ? (size_t{data[1]} << 9 | size_t{data[2]} << 1) : 0);
        const auto& base = templateSong();
        const size_t copied = std::min(n, base.size());
        std::memcpy(buffer, base.data(), copied);
        std::memset(buffer + copied, 0, n - copied);
        fileSize = n;
        // Patches: [where, delta, length, bytes...].
        for (size_t at = 3; at + 3 <= size && fileSize > 0;) {
            const uint8_t where = data[at], delta = data[at + 1];
            const size_t length = std::min<size_t>(data[at + 2] % 32 + 1, size - at - 3);
            size_t offset = where < 0x80 ? kHot[where % (sizeof kHot / sizeof kHot[0])] + delta
                                         : (size_t{where & 0x7Fu} << 8 | delta) * fileSize / 32768;
            at += 3;
            for (size_t i = 0; i < length && offset + i < fileSize; ++i) buffer[offset + i] = data[at + i];
            at += length;
        }
    } else {
        fileSize = std::min(size - 1, kCapacity);
        std::memcpy(buffer, data + 1, fileSize);
    }
    ASAN_POISON_MEMORY_REGION(buffer + fileSize, kCapacity - fileSize);
    const uint8_t* const file = buffer;

    // The records and the written copy live on between runs: only the file is allocated anew
    // (at its exact size), so the run stays fast under the sanitizers.
    static CSongData song, again;
    static std::vector<uint8_t> written;
    int measures = data[0] & 0x10 ? 0 : 4, beats = 4, key = 0, mode = data[0] & 0x20 ? 2 : 0;
    song.loadFileBytes(file, fileSize, measures, beats, key, mode);
    exercise(song);
    check(measures == song.measures() && beats == song.beatsPerMeasure() && key == song.keyIndex());

    // What it writes reads back the same (on about half of the runs).
    if (data[0] & 0x08) {
        song.toBytes(written);
        int m2 = 0, b2 = 0, k2 = 0, mode2 = 0;
        again.loadFileBytes(written.data(), written.size(), m2, b2, k2, mode2);
        check(again.measures() == song.measures() && again.beatsPerMeasure() == song.beatsPerMeasure());
        check(again.title() == song.title() && again.tempo() == song.tempo());
        check(again.lowestNote() == song.lowestNote() && again.highestNote() == song.highestNote());
        if (song.lyricsFit()) {
            for (int i = 0; i < 12; ++i) check(again.lyricLine(i) == song.lyricLine(i));
        }
    }

    // The download reader and the measure copy on about half of the runs each.
    if (data[0] & 0x40) {
        CSongData download(file, fileSize);
        exercise(download);
    }
    if (data[0] & 0x80) {
        CSongData part(song, data[0] % 5, (size > 1 ? data[1] : 0) % 40);
        exercise(part);
    }
    return 0;
}
