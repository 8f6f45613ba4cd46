// tunecase-cli compose: composes one song in a music-box style (the "Music Box" one unless
// another is asked), as the song list editor does, and writes it as a Standard MIDI File.
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>

#include "cli/commands.h"
#include "base/reporter.h"
#include "base/translation.h"
#include "cli/knowledge_folder.h"
#include "compose/compose_choices.h"
#include "compose/compose_context.h"
#include "compose/compose_driver.h"
#include "compose/knowledge_files.h"
#include "styles/composition_parameters.h"

namespace tunecase::cli {

namespace {

struct ComposeCommandOptions {
    int64_t seed = -1;
    ComposeChoices choices;
    std::string meter;
    bool listStyles = false;
    std::string knowledge;
    std::string out;
};

int listStyles() {
    for (const ComposableStyle& s : composableStyles())
        std::printf("%s%s\n", s.name, &s == &composableStyles().front() ? tr(" (default)") : "");
    return 0;
}

int compose(ComposeCommandOptions& o) {
    if (o.listStyles) return listStyles();
    if (o.out.empty()) {
        std::fputs(tr("tunecase-cli compose: OUT is required\nRun with --help for more information.\n"), stderr);
        return 2;
    }
    if (!o.meter.empty()) {
        const auto meter = parseMeter(o.meter);
        if (!meter) {
            std::fprintf(stderr, tr("tunecase-cli compose: --meter is 4/4 or 3/4, not \"%s\"\n"), o.meter.c_str());
            return 2;
        }
        o.choices.meter = *meter;
    }
    ComposeOptions options;
    if (const std::string refused = prepareComposeOptions(o.choices, options); !refused.empty()) {
        std::fprintf(stderr, tr("tunecase-cli compose: %s\n"), refused.c_str());
        return 2;
    }
    SetKnowledgeFolder(knowledgeFolder(o.knowledge));
    options.seeded = true;  // the seed printed is the seed used
    options.seed = o.seed >= 0 ? static_cast<int32_t>(o.seed) : ClockSeed();
    const auto ctx = std::make_unique<ComposeContext>();
    const int written = ComposeSong(*ctx, o.out, options);
    if (!written) return 1;
    std::printf("seed %d\ntitle %s\n", ctx->songSeed, options.title.c_str());
    return 0;
}

}  // namespace

Action declareCompose(CLI::App& sub) {
    auto o = std::make_shared<ComposeCommandOptions>();
    sub.add_option("--seed", o->seed, tr("seed of the random generator (default: the current time in seconds)"))
        ->check(CLI::Range(int64_t{0}, int64_t{INT32_MAX}));
    sub.add_option("--style", o->choices.style, tr("the style (default: Music Box; --list-styles names them)"));
    sub.add_flag("--list-styles", o->listStyles, tr("print the styles, one a line, the default marked, and exit"));
    sub.add_option("--key", o->choices.key,
                   tr("the key: C, F#, Bb, ... for major, Am, c#, E minor, ... for minor (default: C major)"));
    sub.add_option("--meter", o->meter, tr("4/4 or 3/4 (default: the style's own; a 3/4-only style refuses 4/4)"));
    sub.add_option("--tempo", o->choices.bpm,
                   fillIn(tr("beats per minute, %s to %s (default: the style's own; Music Box 120)"),
                          {std::to_string(kLowestComposeBpm), std::to_string(kHighestComposeBpm)}))
        ->check(CLI::Range(kLowestComposeBpm, kHighestComposeBpm));
    sub.add_option("--measures", o->choices.measures,
                   fillIn(tr("target length in measures, %s to %s (%s in 3/4; default: the style's 16); the song "
                             "comes out within four measures of it"),
                          {std::to_string(kFewestComposeMeasures), std::to_string(kMostComposeMeasures),
                           std::to_string(kMostComposeMeasuresIn34)}))
        ->check(CLI::Range(kFewestComposeMeasures, kMostComposeMeasures));
    sub.add_option("--knowledge", o->knowledge, tr(kKnowledgeOptionHelp));
    sub.add_option("OUT", o->out, tr("the MIDI file to write (not needed with --list-styles)"));
    return [o] { return compose(*o); };
}

}  // namespace tunecase::cli
