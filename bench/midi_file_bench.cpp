// Opening a large multi-track Standard MIDI File as one song: reading the chunks, pairing
// note ons with note offs, and merging the tracks.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "base/reporter.h"
#include "midi/midi_f0_data.h"
#include "midi/midi_f1_data.h"
#include "large_midi_file.h"

namespace {

using namespace tunecase;
using tunecase::bench::largeFile;
using tunecase::bench::largeFilePath;


void BM_OpenLargeMultiTrackFile(benchmark::State& state) {
    static SilentSink sink;
    setReportSink(&sink);
    const std::string& path = largeFilePath();
    int64_t notes = 0;
    for (auto _ : state) {
        auto song = MidiF0Data::openFile(path);
        notes = song->track()->eventCount();
        benchmark::DoNotOptimize(notes);
    }
    state.counters["file_bytes"] = static_cast<double>(std::filesystem::file_size(path));
    state.counters["merged_events"] = static_cast<double>(notes);
    state.SetLabel(path);
    setReportSink(nullptr);
}
BENCHMARK(BM_OpenLargeMultiTrackFile)->Unit(benchmark::kMillisecond);

// The parts of the above: reading and joining the tracks, then merging them.
void BM_ReadAndJoinTracks(benchmark::State& state) {
    static SilentSink sink;
    setReportSink(&sink);
    const auto bytes = largeFile();
    for (auto _ : state) {
        auto file = MidiF1Data::fromBytes(bytes.data(), static_cast<int>(bytes.size()), false);
        benchmark::DoNotOptimize(file->trackCount());
    }
    setReportSink(nullptr);
}
BENCHMARK(BM_ReadAndJoinTracks)->Unit(benchmark::kMillisecond);

void BM_MergeTracks(benchmark::State& state) {
    static SilentSink sink;
    setReportSink(&sink);
    const auto bytes = largeFile();
    auto file = MidiF1Data::fromBytes(bytes.data(), static_cast<int>(bytes.size()), false);
    for (auto _ : state) {
        auto song = MidiF0Data::newSong();
        file->mergeInto(*song);
        benchmark::DoNotOptimize(song->track()->eventCount());
    }
    setReportSink(nullptr);
}
BENCHMARK(BM_MergeTracks)->Unit(benchmark::kMillisecond);

}  // namespace
