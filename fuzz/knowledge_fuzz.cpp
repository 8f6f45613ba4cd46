// Arbitrary bytes as the four knowledge files. The first byte picks the progression family
// and the meter, the second the progression method, scale kind, slash basses and whether
// the files go through the folder loader; the rest is split at 0x1E bytes into the pattern file,
// the cadence file, the time chart file and the cadence time chart file (a part that is
// not there is a missing file). Chords are then chosen, built and named from them.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "base/reporter.h"
#include "compose/chords.h"
#include "compose/knowledge_files.h"
#include "compose/random_range.h"
#include "styles/composition_parameters.h"
#include "styles/knowledge_names.h"

namespace {

using namespace tunecase;

// A folder of this process for the file round, removed at exit.
struct ScratchFolder {
    std::string path = "/tmp/tunecase-fuzz-knowledge-" + std::to_string(::getpid());
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

void writeOrRemove(const std::string& path, const std::string* bytes) {
    std::error_code ec;
    std::filesystem::remove(path, ec);
    if (!bytes) return;
    if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(bytes->data(), 1, bytes->size(), f);
        std::fclose(f);
    }
}

void checkChord(const ChordCode& code) {
    const ChordRecord c = MakeChord(384, code, "07");
    if (c.thirdPitch && (c.thirdPitch < 60 || c.thirdPitch > 83)) __builtin_trap();
    if (c.seventhPitch && (c.seventhPitch < 60 || c.seventhPitch > 83)) __builtin_trap();
    if (ChordProfile(code).size() != 12) __builtin_trap();
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
    std::vector<std::string> parts(1);
    for (size_t i = 2; i < size; ++i) {
        if (data[i] == 0x1E && parts.size() < 4) parts.emplace_back();
        else parts.back().push_back(static_cast<char>(data[i]));
    }

    SeedSongRandom(1);
    CompositionParameters style;
    initParameters(style);
    style.progressionFamily = kFamilies[shape % 10];
    style.timeSignature = (shape / 10) % 3;
    style.progressionMethod = (setting & 0x01) ? 1 : 0;
    style.scale = (setting & 0x02) ? 9 : 1;
    style.slashBass = (setting & 0x04) ? 1 : 0;
    finishStyle(style);
    applyStyle(style);

    if (setting & 0x08) {
        // Through the files: each part is one file, a missing part a missing file.
        const std::string folder = scratchFolder();
        SetKnowledgeFolder(folder);
        const char* names[4] = {"PATTERN.DB", "RESOLUT.DB", knowledgeNames.timeChartFile.c_str(),
                                knowledgeNames.cadenceTimeChartFile.c_str()};
        for (size_t i = 0; i < 4; ++i) writeOrRemove(folder + "/" + names[i], i < parts.size() ? &parts[i] : nullptr);
        LoadKnowledge();
    } else {
        const KnowledgeFile which[4] = {KnowledgeFile::Pattern, KnowledgeFile::Cadence, KnowledgeFile::TimeChart,
                                        KnowledgeFile::CadenceTimeChart};
        for (size_t i = 0; i < 4; ++i) SetKnowledgeText(which[i], i < parts.size() ? parts[i] : std::string());
        BuildChordToneTable();
    }

    ChordCode chord = TonicCode();
    for (int step = 0; step < 16; ++step) {
        NextChord(chord);
        checkChord(chord);
        const std::string bass = ChooseBassText(chord);
        if (bass.size() != 2) __builtin_trap();
        checkChord(PassingChord(chord));
    }
    for (int count = 0; count <= 5; ++count) {
        const auto closing = PickCadence(chord, count);
        if (closing.size() != static_cast<size_t>(count)) __builtin_trap();
        for (const auto& c : closing) checkChord(c);
    }
    std::string chart;
    for (std::string_view text : {TimeChartText(), CadenceTimeChartText()}) {
        if (PickChart(text, chart))
            for (size_t i = 0; i + 3 <= chart.size() && i < 3 * 255; i += 3) (void)RecordNumber(chart.substr(i, 3));
        (void)ReadChartList(text);
    }
    // Any four bytes of the pattern text as a chord code.
    const std::string_view pattern = PatternText();
    for (size_t i = 0; i + 4 <= pattern.size() && i < 64; i += 4) checkChord(ChordCode(pattern.substr(i, 4)));
    return 0;
}
