// tunecase-cli compose: composes one song in the "Music Box" style, as the song list editor
// does, and writes it as a Standard MIDI File.
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>

#include "cli/commands.h"
#include "cli/knowledge_folder.h"
#include "compose/compose_context.h"
#include "compose/compose_driver.h"
#include "compose/knowledge_files.h"
#include "styles/composition_parameters.h"

namespace tunecase::cli {

namespace {

struct ComposeCommandOptions {
    int64_t seed = -1;
    int measures = 0;
    std::string knowledge;
    std::string out;
};

int compose(const ComposeCommandOptions& o) {
    SetKnowledgeFolder(knowledgeFolder(o.knowledge));
    ComposeOptions options;
    options.seeded = true;  // the seed printed is the seed used
    options.seed = o.seed >= 0 ? static_cast<int32_t>(o.seed) : ClockSeed();
    options.measures = o.measures;
    const auto ctx = std::make_unique<ComposeContext>();
    const int written = ComposeSong(*ctx, o.out, options);
    if (!written) return 1;
    std::printf("seed %d\n", ctx->songSeed);
    return 0;
}

}  // namespace

Action declareCompose(CLI::App& sub) {
    auto o = std::make_shared<ComposeCommandOptions>();
    sub.add_option("--seed", o->seed, "seed of the random generator (default: the current time in seconds)")
        ->check(CLI::Range(int64_t{0}, int64_t{INT32_MAX}));
    sub.add_option("--measures", o->measures, "target length in measures (default: the style's 16)")
        ->check(CLI::Range(1, kMaxMeasureEntries));
    sub.add_option("--knowledge", o->knowledge, kKnowledgeOptionHelp);
    sub.add_option("OUT", o->out, "the MIDI file to write")->required();
    return [o] { return compose(*o); };
}

}  // namespace tunecase::cli
