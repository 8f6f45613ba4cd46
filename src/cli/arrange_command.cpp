// tunecase-cli arrange: arranges a song-data file (".mwd") in the "Music Box" style, as the
// library's LOAD does, writes it as a Standard MIDI File and prints the song's title.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>

#include "base/text_codec.h"
#include "base/reporter.h"
#include "base/translation.h"
#include "cli/commands.h"
#include "cli/input_reasons.h"
#include "cli/knowledge_folder.h"
#include "compose/compose_context.h"
#include "compose/knowledge_files.h"
#include "songs/song_arrangement.h"

namespace tunecase::cli {

namespace {

struct ArrangeCommandOptions {
    int64_t seed = -1;
    std::string knowledge;
    std::string in;
    std::string out;
};

int arrange(const ArrangeCommandOptions& o) {
    SetKnowledgeFolder(knowledgeFolder(o.knowledge));
    const int32_t seed = o.seed >= 0 ? static_cast<int32_t>(o.seed) : ClockSeed();
    std::string title;
    ScopedReason why(songDataInputReason("arrange", o.in));
    if (!arrangeSongData(o.in, o.out, title, seed)) {
        std::fprintf(stderr, tr("arrange: %s was not arranged\n"), escapeControls(o.in).c_str());
        return 1;
    }
    std::printf("%s\n", escapeControls(title).c_str());
    return 0;
}

}  // namespace

Action declareArrange(CLI::App& sub) {
    auto o = std::make_shared<ArrangeCommandOptions>();
    sub.add_option("--seed", o->seed, tr("seed of the random generator (default: the current time in seconds)"))
        ->check(CLI::Range(int64_t{0}, int64_t{INT32_MAX}));
    sub.add_option("--knowledge", o->knowledge, tr(kKnowledgeOptionHelp));
    sub.add_option("IN", o->in, tr("the song-data file (.mwd) to arrange"))->required();
    sub.add_option("OUT", o->out, tr("the MIDI file to write"))->required();
    return [o] { return arrange(*o); };
}

}  // namespace tunecase::cli
