#include "compose/compose_driver.h"

#include <algorithm>
#include <climits>

#include "base/reporter.h"
#include "compose/compose_context.h"
#include "compose/compose_information.h"
#include "compose/engine_constants.h"
#include "compose/form.h"
#include "compose/knowledge_files.h"
#include "compose/melody.h"
#include "compose/melody_settings.h"
#include "compose/score_rendering.h"
#include "styles/composition_parameters.h"
#include "styles/knowledge_names.h"
#include "styles/style_catalogue.h"

namespace tunecase {

namespace {

constexpr int kFittingSteps = 1000;
constexpr int kStepsBeforeGivingUp = 6;   // 4/4: an unchanged length after this many steps ends the fitting
constexpr int kStepsBeforeHalving = 3;    // 4/4: shorter chords may change after this many steps
constexpr int kStepsBeforeDropping = 500; // 3/4: a block may be dropped after this many steps

bool lengthIsFree(const ComposeContext& ctx) {
    const CompositionParameters& p = ctx.parameters;
    return p.progressionMethod == 8 || p.oneChordPerMeasure == 1 || p.chartKind == 4;
}

int closingChordTicks(const ComposeContext& ctx) { return ctx.parameters.timeSignature == 0 ? 768 : 576; }

// Every chord entry of every block, in block order.
template <typename F>
bool forEachChord(ComposeContext& ctx, F&& visit) {
    ComposeInformation& ci = ctx.information;
    for (int b = 0; b < ci.blockCount; ++b)
        for (ComposeEntry& e : ci.blockChords[static_cast<size_t>(b)])
            if (e.isChord() && visit(e)) return true;
    return false;
}

// 4/4: one long chord halved (1 in 3), or after a few steps one half-note chord halved again.
void shortenOneChord(ComposeContext& ctx, int step) {
    forEachChord(ctx, [&](ComposeEntry& e) {
        if (e.length >= 384) {
            if (ctx.random.range(1, 3) == 1) {
                e.length = 192;
                return true;
            }
        } else if (step > kStepsBeforeHalving && e.length >= 192 && ctx.random.range(1, 2) == 1) {
            e.length = 96;
            return true;
        }
        return false;
    });
}

// 4/4: one short chord made a measure, or a measure made two, or a quarter made a half.
void lengthenOneChord(ComposeContext& ctx, int step) {
    forEachChord(ctx, [&](ComposeEntry& e) {
        if (e.length < 384 && ctx.random.range(1, 3) == 1) {
            e.length = 384;
            return true;
        }
        if (e.length < 768 && ctx.random.range(1, 3) == 1) {
            e.length = 768;
            return true;
        }
        if (step > kStepsBeforeHalving && e.length < 192 && ctx.random.range(1, 2) == 1) {
            e.length = 192;
            return true;
        }
        return false;
    });
}

// 3/4: drops the last regular block, so that the closing block stays last in the form.
void dropLastRegularBlock(ComposeContext& ctx) {
    ComposeInformation& ci = ctx.information;
    const int closing = ci.blockCount;    // block numbers from 1
    const int dropped = closing - 1;
    const size_t from = static_cast<size_t>(closing - 1), to = static_cast<size_t>(dropped - 1);
    ci.blockChords[to] = ci.blockChords[from];
    ci.timeCharts[to] = ci.timeCharts[from];
    ci.blockChords[from].Clear();
    ci.timeCharts[from].clear();
    std::vector<int> form;
    for (int number : ci.form) {
        if (number == dropped) continue;
        form.push_back(number == closing ? dropped : number);
    }
    ci.form = std::move(form);
    --ci.blockCount;
}

// The layout of an attempt: enough to make the song again from it.
struct FormShape {
    int blockCount = 0;
    std::vector<int> form;
    std::vector<EventList> chords;
    std::vector<std::vector<int32_t>> charts;
};

FormShape SaveShape(const ComposeContext& ctx) {
    const ComposeInformation& ci = ctx.information;
    const size_t n = static_cast<size_t>(ci.blockCount);
    return {ci.blockCount, ci.form, {ci.blockChords.begin(), ci.blockChords.begin() + n},
            {ci.timeCharts.begin(), ci.timeCharts.begin() + n}};
}

void RestoreShape(ComposeContext& ctx, const FormShape& shape) {
    ComposeInformation& ci = ctx.information;
    ResetComposition(ctx);
    ci.blockCount = shape.blockCount;
    ci.form = shape.form;
    std::copy(shape.chords.begin(), shape.chords.end(), ci.blockChords.begin());
    std::copy(shape.charts.begin(), shape.charts.end(), ci.timeCharts.begin());
}

}  // namespace

LengthWindow LengthWindowFor(int target) {
    const int half = kLengthTolerance / 2;
    return {std::max(target - half, kShortestWindow), target + half};
}

int FormMeasures(const ComposeContext& ctx) {
    const ComposeInformation& ci = ctx.information;
    int64_t ticks = 0;
    for (int number : ci.form) {
        if (number < 1 || number > ci.blockCount) continue;
        for (const ComposeEntry& e : ci.blockChords[static_cast<size_t>(number - 1)])
            if (e.isChord()) ticks += e.length;
    }
    if (ctx.parameters.progressionMethod != 8) ticks += closingChordTicks(ctx);
    return static_cast<int>(ticks / 96 / BeatsPerMeasure(ctx));
}

int FitSongLength(ComposeContext& ctx, int target) {
    const CompositionParameters& p = ctx.parameters;
    int measures = FormMeasures(ctx);
    if (lengthIsFree(ctx) || p.timeSignature == 2) return measures;
    for (int step = 0; measures < target - 1 || measures > target + 1;) {
        const int before = measures;
        if (p.timeSignature == 0) {
            if (measures > target) shortenOneChord(ctx, step);
            else lengthenOneChord(ctx, step);
            measures = FormMeasures(ctx);
            if (measures == before && step >= kStepsBeforeGivingUp) break;
        } else {
            if (measures > target) {
                if (step > kStepsBeforeDropping && ctx.information.blockCount > 2) dropLastRegularBlock(ctx);
                forEachChord(ctx, [&](ComposeEntry& e) {
                    if (e.length <= 575) return false;
                    if (ctx.random.range(1, 3) == 1) e.length = 288;
                    return true;
                });
            } else {
                forEachChord(ctx, [&](ComposeEntry& e) {
                    if (e.length >= 288) return false;
                    if (ctx.random.range(1, 3) == 1) e.length = 576;
                    return true;
                });
            }
            measures = FormMeasures(ctx);
        }
        if (++step > kFittingSteps) break;
    }
    return measures;
}

int GenerateSong(ComposeContext& ctx) {
    ComposeInformation& ci = ctx.information;
    const bool secondLine = ctx.parameters.partRules[kMelodyChannel][rule::SecondLine] != 0;
    if (!PlaceMelodies(ctx, kMelodyChannel)) return 0;
    if (secondLine) DeriveSecondLine(ctx, kMelodyChannel);
    FlattenBlocks(ctx, ci.blockMelodies, ci.songMelody);
    CloseJoinLeaps(ctx, kMelodyChannel, ci.songMelody);
    const int last = LastPitch(ci.songMelody);
    AppendEnding(ctx, kMelodyChannel, ci.songMelody, last);
    if (secondLine) {
        FlattenBlocks(ctx, ci.blockSecondLines, ci.songSecondLine);
        AppendSecondLineEnding(ctx, kMelodyChannel, ci.songMelody, ci.songSecondLine);
    }
    BuildStructureMarks(ctx);
    return 1;
}

int ComposeAttempts(ComposeContext& ctx) {
    LoadKnowledge(ctx);
    const CompositionParameters& p = ctx.parameters;
    ComposeInformation& ci = ctx.information;
    const int target = p.measureCount;
    LengthWindow window = LengthWindowFor(target);
    int generations = 0;
    FormShape closest;  // the attempt that came nearest to the window
    int closestDistance = INT_MAX;
    ctx.generationsMade = 0;
    for (int attempt = 1;; ++attempt) {
        ResetComposition(ctx);
        BuildFormAndCharts(ctx);
        if (p.timeSignature == 2) {
            window.upper += 10;
            window.lower = kShortestWindow;
        } else {
            FitSongLength(ctx, target);
        }
        BuildSongChords(ctx);
        int distance = window.distance(ci.measureCount);
        // A window the knowledge cannot reach: the nearest attempt is taken in the end.
        const bool lastChance = attempt >= kMaxComposeAttempts && distance > 0 && !lengthIsFree(ctx);
        if (distance < closestDistance) {
            closestDistance = distance;
            if (!lastChance) closest = SaveShape(ctx);
        } else if (lastChance) {
            RestoreShape(ctx, closest);
            BuildSongChords(ctx);
            distance = closestDistance;
        }
        if (distance == 0 || lengthIsFree(ctx) || lastChance) {
            if (!GenerateSong(ctx)) return 0;
            ++ctx.generationsMade;
            if (generations > kExtraGenerations || lastChance) break;
            ++generations;
            if (p.oneChordPerMeasure == 1) break;
        }
        if (distance == 0) break;
    }
    return RenderSong(ctx, ctx.outputName, kLongestMelodyNote);
}

void SelectKnowledgeSet(ComposeContext& ctx, int set) {
    CompositionParameters& p = ctx.parameters;
    setField(p.patternFileName, set == 1 ? "PATTERN.DB" : "PATTERN.DB2");
    setField(p.resolutionFileName, set == 1 ? "RESOLUT.DB" : "RESOLUT.DB2");
    p.knowledgeSet = set;
    ctx.knowledgeNames = SelectKnowledgeNames(p, set);
}

int ComposeSong(ComposeContext& ctx, std::string_view outputPath, const ComposeOptions& options) {
    ctx.engine.arrangementMode = 0;
    ctx.engine.suppliedMelody = false;
    ctx.engine.suppliedSecondLine = false;
    ctx.arrangementPart.Clear();
    const int32_t seed = options.seeded ? options.seed : ClockSeed();
    ctx.Seed(seed);
    ctx.adjustmentReported = false;
    if (!rebuildAndApplyStyle(ctx.random, static_cast<unsigned>(seed), ctx.parameters, ctx.knowledgeNames,
                              options.category, options.slot))
        return 0;
    CompositionParameters& p = ctx.parameters;
    // The music-box styles of our own play at their own tempo; every other style at 120.
    bool ownTempo = false;
    for (const ComposableStyle& s : composableStyles())
        ownTempo |= s.category == options.category && s.slot == options.slot &&
                    !(s.category == kMusicBoxCategory && s.slot == kMusicBoxSlot);
    if (options.tempo > 0) p.tempo = options.tempo;
    else if (!ownTempo) p.tempo = kComposeTempo;
    p.chordDisplay = 1;
    bool reshaped = options.measures > 0;
    if (options.meter >= 0 && options.meter != p.timeSignature) {
        p.timeSignature = static_cast<int16_t>(options.meter);
        reshaped = true;
    }
    ctx.request = {};
    ctx.request.title = options.title;
    if (options.key) {
        // The engine knows C major and A minor; A minor's key is that of its relative major.
        SelectKnowledgeSet(ctx, options.key->minor ? 2 : 1);
        p.key = 0;
        ctx.request.transposition = keyTransposition(*options.key);
        ctx.request.keyAsked = true;
        ctx.request.sharps = keySignatureSharps(*options.key);
        ctx.request.minor = options.key->minor;
    } else if (reshaped) {
        ctx.knowledgeNames = SelectKnowledgeNames(p, p.knowledgeSet == 1 ? 1 : 2);
    }
    if (reshaped) {
        if (options.measures > 0) p.measureCount = std::min(options.measures, kMaxMeasureEntries);
        finishStyle(p);
    }
    if (options.adjust) options.adjust(p);
    // A missing knowledge file has been reported by the loader; without it every attempt
    // would report again for every chord block, so the run ends here.
    if (!LoadKnowledge(ctx)) return 0;
    // A file that is missing has been reported; one that is empty is said here, once.
    for (KnowledgeFile f : {KnowledgeFile::Cadence, KnowledgeFile::TimeChart, KnowledgeFile::CadenceTimeChart})
        if (KnowledgeText(ctx, f).empty()) {
            if (const std::string empty = EmptyKnowledgeFileText(ctx, f); !empty.empty())
                reportText(empty, BoxKind::Ok);
            return 0;
        }
    ctx.outputName = std::string(outputPath);
    ctx.engine.composeRun = true;
    const int written = ComposeAttempts(ctx);
    ctx.engine.composeRun = false;
    return written;
}

int ArrangeSuppliedSong(ComposeContext& ctx, std::string_view outputPath, const SuppliedSong& song) {
    if (!ctx.engine.Arranging() || !ctx.engine.suppliedMelody) return 0;
    if (ctx.parameters.modulation[0] == 1) reportText(kNoModulationText, BoxKind::Ok);
    // The knowledge is loaded as for a composition (a missing pattern file ends the run);
    // the files' progressions go unused.
    if (!LoadKnowledge(ctx)) return 0;
    ComposeInformation& ci = ctx.information;
    ResetComposition(ctx);
    // The whole song is one block played once: its chords are the supplied ones.
    ci.blockCount = 1;
    ci.form = {1};
    for (const ComposeEntry& e : song.chords)
        if (e.isChord()) ci.blockChords[0].Add(e);
    BuildSongChords(ctx);
    ci.songMelody = song.melody;
    BuildStructureMarks(ctx);
    ctx.arrangementPart = song.accompaniment;
    ctx.outputName = std::string(outputPath);
    ctx.engine.composeRun = false;
    ctx.request = {};
    ctx.generationsMade = 1;
    const int written = RenderSong(ctx, ctx.outputName, kLongestMelodyNote);
    ctx.arrangementPart.Clear();  // the accompanying notes belong to this song alone
    return written;
}

}  // namespace tunecase
