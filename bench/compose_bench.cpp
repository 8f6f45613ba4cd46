// Composing a song: the driver end to end (a 16-measure "Music Box" song, the file written),
// and each stage on its own. The song list editor composes on the window's thread, so a song
// should take well under 50 ms.
//
// The knowledge files are read from the build tree's copy of the program folder ("data"
// beside the bench folder), else from the current folder.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>
#include <string>

#include "base/reporter.h"
#include "compose/compose_context.h"
#include "compose/compose_driver.h"
#include "compose/compose_information.h"
#include "compose/form.h"
#include "compose/knowledge_files.h"
#include "compose/score_rendering.h"
#include "styles/composition_parameters.h"
#include "styles/style_catalogue.h"

namespace {

using namespace tunecase;
namespace fs = std::filesystem;

constexpr int kSeeds = 64;  // the end-to-end run cycles through this many songs

void prepare() {
    static SilentSink sink;
    setReportSink(&sink);
    std::error_code ec;
    const fs::path data = fs::read_symlink("/proc/self/exe", ec).parent_path().parent_path() / "data";
    if (!ec && fs::exists(data / "PATTERN.DB")) SetKnowledgeFolder(data.string());
}

std::string scratchFile() { return (fs::temp_directory_path() / "tunecase_compose_bench.mid").string(); }

// The state a composition run sets up before its attempts: style, tempo, knowledge, flags.
void startRun(ComposeContext& ctx, int seed) {
    ctx.Seed(seed);
    rebuildAndApplyStyle(ctx.random, static_cast<unsigned>(seed), ctx.parameters, ctx.knowledgeNames);
    ctx.parameters.tempo = kComposeTempo;
    ctx.parameters.chordDisplay = 1;
    LoadKnowledge(ctx);
    ctx.engine.composeRun = true;
}

// One attempt that lands in the length window, ready for the melody.
void formInTheWindow(ComposeContext& ctx) {
    const LengthWindow window = LengthWindowFor(ctx.parameters.measureCount);
    do {
        ResetComposition(ctx);
        BuildFormAndCharts(ctx);
        FitSongLength(ctx, ctx.parameters.measureCount);
        BuildSongChords(ctx);
    } while (!window.accepts(ctx.information.measureCount));
}

void BM_ComposeSong(benchmark::State& state) {
    prepare();
    const std::string path = scratchFile();
    int seed = 0;
    int64_t measures = 0, songs = 0;
    for (auto _ : state) {
        // A fresh context for every song, as the song list editor makes one.
        const auto ctx = std::make_unique<ComposeContext>();
        ComposeOptions options;
        options.seeded = true;
        options.seed = 1 + seed++ % kSeeds;
        if (!ComposeSong(*ctx, path, options)) state.SkipWithError("the song was not written");
        measures += ctx->information.measureCount;
        ++songs;
    }
    state.counters["measures"] = static_cast<double>(measures) / static_cast<double>(songs);
    fs::remove(path);
}

// A 16-measure song in each style a user may choose, the default first.
void BM_ComposeStyle(benchmark::State& state) {
    prepare();
    const ComposableStyle& style = composableStyles()[static_cast<size_t>(state.range(0))];
    state.SetLabel(style.name);
    const std::string path = scratchFile();
    int seed = 0;
    for (auto _ : state) {
        const auto ctx = std::make_unique<ComposeContext>();
        ComposeOptions options;
        options.seeded = true;
        options.seed = 1 + seed++ % kSeeds;
        options.category = style.category;
        options.slot = style.slot;
        options.measures = 16;
        if (!ComposeSong(*ctx, path, options)) state.SkipWithError("the song was not written");
    }
    fs::remove(path);
}
BENCHMARK(BM_ComposeStyle)->DenseRange(0, static_cast<int>(composableStyles().size()) - 1)->Unit(benchmark::kMillisecond);

void BM_StyleAndKnowledge(benchmark::State& state) {
    prepare();
    const auto ctx = std::make_unique<ComposeContext>();
    int seed = 0;
    for (auto _ : state) startRun(*ctx, ++seed);
}

void BM_FormChordsAndFitting(benchmark::State& state) {
    prepare();
    const auto ctx = std::make_unique<ComposeContext>();
    startRun(*ctx, 1);
    for (auto _ : state) {
        ResetComposition(*ctx);
        BuildFormAndCharts(*ctx);
        FitSongLength(*ctx, ctx->parameters.measureCount);
        benchmark::DoNotOptimize(BuildSongChords(*ctx));
    }
}

void BM_MelodyAndMarks(benchmark::State& state) {
    prepare();
    const auto ctx = std::make_unique<ComposeContext>();
    startRun(*ctx, 1);
    formInTheWindow(*ctx);
    for (auto _ : state) benchmark::DoNotOptimize(GenerateSong(*ctx));
    state.counters["entries"] = static_cast<double>(ctx->information.songMelody.size());
    state.counters["blocks"] = ctx->information.blockCount;
}

void BM_RenderAndSave(benchmark::State& state) {
    prepare();
    const auto ctx = std::make_unique<ComposeContext>();
    startRun(*ctx, 1);
    formInTheWindow(*ctx);
    GenerateSong(*ctx);
    const std::string path = scratchFile();
    for (auto _ : state) benchmark::DoNotOptimize(RenderSong(*ctx, path, 384));
    fs::remove(path);
}

}  // namespace

BENCHMARK(BM_ComposeSong)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StyleAndKnowledge)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FormChordsAndFitting)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MelodyAndMarks)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RenderAndSave)->Unit(benchmark::kMicrosecond);
