// The large multi-track file the benchmarks open: format 1 at 480 ticks, a conductor track
// and 16 parts of notes in running status (102,400 events). Kept at
// $TMPDIR/tunecase_bench_large.mid so that other readers can be timed on the same bytes.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "base/reporter.h"

namespace tunecase::bench {

// Benchmarks run without boxes.
constexpr int kTracks = 16;
constexpr int kNotesPerTrack = 3200;  // two events each: 102,400 events in all

inline void put32(std::vector<uint8_t>& b, uint32_t v) {
    for (int s = 24; s >= 0; s -= 8) b.push_back(static_cast<uint8_t>(v >> s));
}

// Format 1 at 480 ticks: a conductor track and 16 parts of notes in running status, with
// note offs written as velocity-0 note ons, as most sequencers write them.
inline std::vector<uint8_t> largeFile() {
    std::vector<uint8_t> b = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1, 0, kTracks + 1, 0x01, 0xE0};
    const std::vector<uint8_t> conductor = {0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20, 0x00, 0xFF, 0x58, 0x04,
                                            0x04, 0x02, 0x18, 0x08, 0x00, 0xFF, 0x2F, 0x00};
    b.insert(b.end(), {'M', 'T', 'r', 'k'});
    put32(b, static_cast<uint32_t>(conductor.size()));
    b.insert(b.end(), conductor.begin(), conductor.end());
    uint32_t seed = 12345;
    auto next = [&seed] { return (seed = seed * 1103515245u + 12345u) >> 16; };
    for (int t = 0; t < kTracks; ++t) {
        std::vector<uint8_t> c = {0x00, static_cast<uint8_t>(0x90 | t)};
        for (int n = 0; n < kNotesPerTrack; ++n) {
            const uint8_t key = static_cast<uint8_t>(36 + next() % 60);
            if (n > 0) c.push_back(static_cast<uint8_t>(next() % 3 == 0 ? 0 : 60));  // some chords
            c.insert(c.end(), {key, static_cast<uint8_t>(1 + next() % 126)});
            c.insert(c.end(), {static_cast<uint8_t>(next() % 2 ? 60 : 30), key, 0});
        }
        c.insert(c.end(), {0x00, 0xFF, 0x2F, 0x00});
        b.insert(b.end(), {'M', 'T', 'r', 'k'});
        put32(b, static_cast<uint32_t>(c.size()));
        b.insert(b.end(), c.begin(), c.end());
    }
    return b;
}

inline const std::string& largeFilePath() {
    static const std::string path = [] {
        const auto p = (std::filesystem::temp_directory_path() / "tunecase_bench_large.mid").string();
        const auto bytes = largeFile();
        std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                 static_cast<std::streamsize>(bytes.size()));
        return p;
    }();
    return path;
}

}  // namespace tunecase::bench
