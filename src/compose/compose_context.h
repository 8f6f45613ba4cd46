// Everything one composition (or arrangement) works on, in one object that the run owns from
// start to end: its generator and seed, the parameter record and knowledge names of its
// style, the engine's switches, the knowledge texts, the composition state and what the
// renderer keeps between its stages. Every stage of the engine takes the context it works
// for; nothing of a run lives anywhere else, so two runs on two threads share nothing.
//
// A context is about 45 KB; a fresh one is ready for a run (the driver and the arranger seed
// it and apply their style).
#pragma once

#include <cstdint>
#include <string>

#include "base/seeded_random.h"
#include "compose/compose_information.h"
#include "compose/engine_state.h"
#include "compose/knowledge_files.h"
#include "styles/composition_parameters.h"
#include "styles/knowledge_names.h"

namespace tunecase {

struct ComposeContext {
    // Every draw of the engine comes from here, so a song is fixed by its seed: the same
    // seed gives the same song on every run of this program.
    SeededRandom random;
    int32_t songSeed = 0;  // written into the song by the renderer

    CompositionParameters parameters{};  // the style as applied, changed by the run
    KnowledgeNames knowledgeNames;       // the time chart files and tonic of the style
    EngineState engine;
    KnowledgeTexts knowledge;
    ComposeInformation information;

    // The accompanying notes an arrangement supplies for channel 15 (empty when composing).
    EventList arrangementPart;
    std::string outputName;  // the output of the current run
    // How many songs the last run generated before it rendered one (1 when the first attempt
    // in the length window was taken; up to 5 when the length is not enforced).
    int generationsMade = 0;
    int firstNoteTime = 0;            // see FirstNoteTime
    bool adjustmentReported = false;  // the pitch adjustment's one-per-run message

    // What a composition run was asked for beyond its style; an arrangement leaves it empty.
    // The renderer names the first track `title`, moves every pitched note by `transposition`
    // and, when `keyAsked`, writes this key signature instead of the style's.
    struct Request {
        std::string title;
        int transposition = 0;
        bool keyAsked = false;
        int sharps = 0;  // flats below 0
        bool minor = false;
    } request;

    // Seeds the generator with `seed` and remembers it as the song's seed.
    void Seed(int32_t seed) {
        songSeed = seed;
        random.reseed(static_cast<unsigned>(seed));
    }
};

// The current calendar time in seconds, the seed of an unseeded composition.
int32_t ClockSeed();

}  // namespace tunecase
