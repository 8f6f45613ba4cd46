// Track data at the sizes a real file reaches: 10,000 events and a full track of 131,072.
// Each bulk operation must stay close to linear in the number of events.
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "base/reporter.h"
#include "midi/midi_track_data.h"

namespace {

using namespace tunecase;

constexpr int kBenchCapacity = 0x100000;  // room for the chunk bytes of a full track

void silence() {
    static SilentSink sink;
    setReportSink(&sink);
}

// A state 2 track of `notes` notes in three- and four-note chords, with repeated keys
// inside chords so that the duplicate removal has work to do.
std::unique_ptr<MidiTrackData> noteTrack(int notes) {
    auto t = std::make_unique<MidiTrackData>(kBenchCapacity, MidiTrackData::NoteEvents);
    for (int i = 0; i < notes; ++i) {
        const int key = (i % 5 == 4) ? 48 + ((i - 1) * 7) % 36 : 48 + (i * 7) % 36;
        t->addNote(i % 8, i % 4 == 0 ? 24 : 0, key, 100, 20 + (i % 3) * 4);
    }
    return t;
}

// The chunk bytes of a file-form track of `events` events (note ons and offs, End of Track).
std::vector<uint8_t> chunkOf(int events) {
    auto t = noteTrack((events - 1) / 2);
    t->ensureEndOfTrack(0);
    t->splitNotes();
    t->prepareForWriting();
    const int size = t->encodeChunk();
    return std::vector<uint8_t>(t->bytes(), t->bytes() + size);
}

std::unique_ptr<MidiTrackData> read(const std::vector<uint8_t>& chunk) {
    return std::make_unique<MidiTrackData>(chunk.data(), static_cast<int>(chunk.size()), 0, 0, kBenchCapacity);
}

void BM_ReadChunk(benchmark::State& state) {
    silence();
    const auto chunk = chunkOf(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        auto t = read(chunk);
        benchmark::DoNotOptimize(t->eventCount());
    }
    state.counters["events"] = static_cast<double>(read(chunk)->eventCount());
}

// Deletes a track outside the timing: the edits are timed, not freeing the whole track.
void deleteUntimed(benchmark::State& state, std::unique_ptr<MidiTrackData>& t) {
    state.PauseTiming();
    t.reset();
    state.ResumeTiming();
}

void BM_JoinNotes(benchmark::State& state) {
    silence();
    const auto chunk = chunkOf(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        state.PauseTiming();
        auto t = read(chunk);
        state.ResumeTiming();
        t->joinNotes();
        benchmark::DoNotOptimize(t->eventCount());
        deleteUntimed(state, t);
    }
}

void BM_SplitNotes(benchmark::State& state) {
    silence();
    // Split doubles the notes: a full file-form track comes from half as many notes.
    auto source = noteTrack(static_cast<int>(state.range(0) - 1) / 2);
    source->ensureEndOfTrack(0);
    for (auto _ : state) {
        state.PauseTiming();
        auto t = std::make_unique<MidiTrackData>(*source, kBenchCapacity);
        state.ResumeTiming();
        t->splitNotes();
        benchmark::DoNotOptimize(t->eventCount());
        deleteUntimed(state, t);
    }
}

// Times `edit` on a fresh copy of a note track per iteration; `prepare` runs untimed first.
template <class Prepare, class Edit>
void timeOnCopies(benchmark::State& state, Prepare prepare, Edit edit) {
    silence();
    auto source = noteTrack(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        state.PauseTiming();
        auto t = std::make_unique<MidiTrackData>(*source, kBenchCapacity);
        prepare(*t);
        state.ResumeTiming();
        benchmark::DoNotOptimize(edit(*t));
        deleteUntimed(state, t);
    }
}

void BM_Compact(benchmark::State& state) {
    timeOnCopies(
        state,
        [](MidiTrackData& t) {
            for (int i = 0; i < t.eventCount(); i += 3) t.event(i)->status = ev::Deleted;
        },
        [](MidiTrackData& t) { return t.compact(); });
}

void BM_RemoveDuplicateNotes(benchmark::State& state) {
    timeOnCopies(state, [](MidiTrackData&) {}, [](MidiTrackData& t) { return t.removeDuplicateNotes(); });
}

void BM_RemoveOctaveDoublings(benchmark::State& state) {
    timeOnCopies(state, [](MidiTrackData&) {}, [](MidiTrackData& t) { return t.removeOctaveDoublings(); });
}

#define TRACK_SIZES ->Arg(10000)->Arg(131072)->Unit(benchmark::kMillisecond)
BENCHMARK(BM_ReadChunk) TRACK_SIZES;
BENCHMARK(BM_JoinNotes) TRACK_SIZES;
BENCHMARK(BM_SplitNotes) TRACK_SIZES;
BENCHMARK(BM_Compact) TRACK_SIZES;
BENCHMARK(BM_RemoveDuplicateNotes) TRACK_SIZES;
BENCHMARK(BM_RemoveOctaveDoublings) TRACK_SIZES;

}  // namespace
