// Drawing the plates with many pins into an image, as each 100 ms repaint does.
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <QImage>
#include <cstdlib>
#include <vector>

#include "app/gui/plate_painter.h"
#include "app/plate_geometry.h"

namespace {

using namespace tunecase;

// A song of `count` notes, two per eighth at 96 ticks per quarter, over the toy range.
std::vector<PlateNote> song(int count) {
    std::vector<PlateNote> notes;
    notes.reserve(count);
    for (int i = 0; i < count; ++i) notes.push_back({(i / 2) * 48, 40 + (i * 37) % 60});
    return notes;
}

int32_t lengthOf(const std::vector<PlateNote>& notes) { return notes.back().time + 48; }

void BM_DiskPins(benchmark::State& state) {
    const auto notes = song(static_cast<int>(state.range(0)));
    const int32_t length = lengthOf(notes);
    double theta = 0;
    for (auto _ : state) {
        auto pins = diskPins(notes, 100, length, theta, true);
        benchmark::DoNotOptimize(pins.data());
        theta += 0.01;
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_DrawDisk(benchmark::State& state) {
    const auto notes = song(static_cast<int>(state.range(0)));
    const int32_t length = lengthOf(notes);
    QImage buffer(kPlateBufferSize.width, kPlateBufferSize.height, QImage::Format_RGB32);
    buffer.fill(Qt::lightGray);
    double theta = 0;
    for (auto _ : state) {
        paintDiskPlate(buffer, 100, spindleLines(100, theta), diskPins(notes, 100, length, theta, true));
        theta += 0.01;
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_DrawPaper(benchmark::State& state) {
    const auto notes = song(static_cast<int>(state.range(0)));
    const int32_t length = lengthOf(notes);
    QImage buffer(kPlateBufferSize.width, kPlateBufferSize.height, QImage::Format_RGB32);
    buffer.fill(Qt::lightGray);
    int32_t now = 0;
    for (auto _ : state) {
        paintPaperPlate(buffer, 100, paperPins(notes, 100, length, now));
        now = (now + 48) % length;
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

BENCHMARK(BM_DiskPins)->Arg(500)->Arg(2000)->Arg(5000);
BENCHMARK(BM_DrawDisk)->Arg(500)->Arg(2000)->Arg(5000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DrawPaper)->Arg(500)->Arg(2000)->Arg(5000)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    // Painting into a QImage needs fonts and a platform, not a display.
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
