// Preparing a large multi-track file for the music box, as the player's load thread does:
// open and merge, trim, drop channels, fix note lengths, merge channels, thin doubled
// notes, fold into a plate's range, and convert to event form.
#include <benchmark/benchmark.h>

#include "large_midi_file.h"
#include "playback/song_preparation.h"

namespace {

using namespace tunecase;

void BM_PrepareLargeFile(benchmark::State& state) {
    static SilentSink sink;
    setReportSink(&sink);
    const std::string& path = bench::largeFilePath();
    PreparationOptions options;
    options.plateType = static_cast<int32_t>(state.range(0));
    options.deleteShortNoteChannel = false;  // keep every channel: the most work
    options.deleteLongNoteChannel = false;
    int events = 0;
    for (auto _ : state) {
        PreparedSong prepared = prepareSongFile(path, options);
        events = prepared.ok ? prepared.song->track()->eventCount() : -1;
        benchmark::DoNotOptimize(events);
    }
    state.counters["prepared_events"] = events;
    setReportSink(nullptr);
}
BENCHMARK(BM_PrepareLargeFile)->Arg(PlateLargeDisk)->Arg(PlateToyPianoSmall)->Unit(benchmark::kMillisecond);

}  // namespace
