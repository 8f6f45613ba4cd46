// Arbitrary bytes as the four knowledge files. The first byte picks the progression family
// and the meter, the second the progression method, scale kind, slash basses, whether the
// files go through the folder loader and the length of the chord walk (1 or 2 steps) and of
// the closing (0 to 5 chords); the rest is split at 0x1E bytes into the pattern file, the
// cadence file, the time chart file and the cadence time chart file (a part that is not
// there is a missing file). Chords are then chosen, built and named from them.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/reporter.h"
#include "base/seeded_random.h"
#include "compose/chords.h"
#include "compose/compose_context.h"
#include "compose/knowledge_files.h"
#include "styles/composition_parameters.h"
#include "styles/knowledge_names.h"

namespace {

using namespace tunecase;

// A folder of this process for the file round, removed at exit; in memory (/dev/shm) where
// there is one, since every input writes the files again.
std::string scratchRoot() {
    std::error_code ec;
    return std::filesystem::is_directory("/dev/shm", ec) ? "/dev/shm" : "/tmp";
}

struct ScratchFolder {
    std::string path = scratchRoot() + "/tunecase-fuzz-knowledge-" + std::to_string(::getpid());
    ScratchFolder() { std::filesystem::create_directories(path); }
    ~ScratchFolder() {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
};

std::string scratchFolder() {
    static const ScratchFolder folder;
    return folder.path;
}

// Writes the file over the one there (so no new file is made each time), or removes it.
void writeOrRemove(const std::string& path, const std::string* bytes) {
    if (!bytes) {
        std::error_code ec;
        std::filesystem::remove(path, ec);
        return;
    }
    if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(bytes->data(), 1, bytes->size(), f);
        std::fclose(f);
    }
}

void checkChord(ComposeContext& ctx, const ChordCode& code) {
    const ChordRecord c = MakeChord(ctx, 384, code, "07");
    if (c.thirdPitch && (c.thirdPitch < 60 || c.thirdPitch > 83)) __builtin_trap();
    if (c.seventhPitch && (c.seventhPitch < 60 || c.seventhPitch > 83)) __builtin_trap();
    if (ChordProfile(ctx, code).size() != 12) __builtin_trap();
    if (ChordName(code, "04").empty()) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static SilentSink sink;
    setReportSink(&sink);
    if (size < 2) return 0;

    static const int kFamilies[] = {1, 2, 3, 4, 5, 6, 7, 9, 10, 0};
    const uint8_t shape = data[0];
    const uint8_t setting = data[1];
    std::vector<std::string> parts;
    const std::string_view rest(reinterpret_cast<const char*>(data) + 2, size - 2);
    size_t from = 0;
    while (parts.size() < 3) {
        const size_t cut = rest.find('\x1E', from);
        if (cut == std::string_view::npos) break;
        parts.emplace_back(rest.substr(from, cut - from));
        from = cut + 1;
    }
    parts.emplace_back(rest.substr(from));  // the last part keeps any further 0x1E bytes

    const auto context = std::make_unique<ComposeContext>();
    ComposeContext& ctx = *context;
    ctx.Seed(1);
    static const CompositionParameters defaults = [] {
        CompositionParameters p;
        SeededRandom random(1);
        initParameters(p, random);
        return p;
    }();
    CompositionParameters style = defaults;
    // A family whose lowest level no pattern weight reaches spends thousands of draws on every
    // chord before giving up, so most inputs use family 1, which any weight passes; one in
    // eight (by a hash of the whole input, so that mutants spread over both) takes its own.
    const size_t hash = std::hash<std::string_view>{}(std::string_view(reinterpret_cast<const char*>(data), size));
    style.progressionFamily = hash % 8 == 0 ? kFamilies[shape % 10] : 1;
    style.timeSignature = (shape / 10) % 3;
    style.progressionMethod = (setting & 0x01) ? 1 : 0;
    // A scale that refuses the drawn chord redraws it up to twenty times, each reading the
    // whole pattern file again: one in four of the inputs that ask for it take it.
    style.scale = (setting & 0x02) && hash / 8 % 4 == 0 ? 9 : 1;
    style.slashBass = (setting & 0x04) ? 1 : 0;
    finishStyle(style);
    applyStyle(style, ctx.parameters, ctx.knowledgeNames);

    if ((setting & 0x08) && hash / 32 % 4 == 0) {
        // Through the files (one in four of the inputs that ask, since every input writes them
        // again): each part is one file, a missing part a missing file.
        const std::string folder = scratchFolder();
        ctx.knowledge.folder = folder;
        const char* names[4] = {"PATTERN.DB", "RESOLUT.DB", ctx.knowledgeNames.timeChartFile.c_str(),
                                ctx.knowledgeNames.cadenceTimeChartFile.c_str()};
        for (size_t i = 0; i < 4; ++i) writeOrRemove(folder + "/" + names[i], i < parts.size() ? &parts[i] : nullptr);
        LoadKnowledge(ctx);
    } else {
        const KnowledgeFile which[4] = {KnowledgeFile::Pattern, KnowledgeFile::Cadence, KnowledgeFile::TimeChart,
                                        KnowledgeFile::CadenceTimeChart};
        for (size_t i = 0; i < 4; ++i) SetKnowledgeText(ctx, which[i], i < parts.size() ? parts[i] : std::string());
    }

    // Every step reads the whole pattern file again, so a few steps reach what many would.
    const int steps = 1 + ((setting >> 5) & 1);
    ChordCode chord = TonicCode(ctx);
    for (int step = 0; step < steps; ++step) {
        NextChord(ctx, chord);
        checkChord(ctx, chord);
        const std::string bass = ChooseBassText(ctx, chord);
        if (bass.size() != 2) __builtin_trap();
        checkChord(ctx, PassingChord(ctx, chord));
    }
    const int count = (setting >> 6) + ((setting >> 4) & 1) * 2;  // 0 to 5
    const auto closing = PickCadence(ctx, chord, count);
    if (closing.size() != static_cast<size_t>(count)) __builtin_trap();
    for (const auto& c : closing) checkChord(ctx, c);
    std::string chart;
    for (std::string_view text : {TimeChartText(ctx), CadenceTimeChartText(ctx)}) {
        if (PickChart(ctx, text, chart))
            for (size_t i = 0; i + 3 <= chart.size() && i < 3 * 255; i += 3) (void)RecordNumber(chart.substr(i, 3));
        (void)ReadChartList(text);
    }
    // The pattern text's first bytes, four at a time, as chord codes.
    const std::string_view pattern = PatternText(ctx);
    for (size_t i = 0; i + 4 <= pattern.size() && i < 16; i += 4) checkChord(ctx, ChordCode(pattern.substr(i, 4)));
    return 0;
}
