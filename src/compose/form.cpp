#include "compose/form.h"

#include <algorithm>

#include "compose/chords.h"
#include "compose/compose_context.h"
#include "compose/compose_errors.h"
#include "compose/compose_information.h"
#include "compose/engine_constants.h"
#include "compose/knowledge_files.h"
#include "compose/time_chart.h"
#include "styles/composition_parameters.h"

namespace tunecase {

namespace {

constexpr int kLongSongMeasures = 30;  // above this, more blocks and more plays

// Scale kinds that count as plain diatonic harmony for the splits and passing chords.
bool splitHarmony(int scale) { return scale == 1 || scale == 7; }
bool passingHarmony(int scale) { return scale == 1 || scale == 6 || scale == 7; }

// The chart of a block: from `text` for chart kind 0, generated for kind 4. A kind outside
// those reports 0xff0101c7; a file that gives no chart (reported when picked) and a bad
// kind fall back to a generated chart, so every block has chords.
std::vector<int32_t> chartFor(ComposeContext& ctx, std::string_view text) {
    std::vector<int32_t> chart;
    const int kind = ctx.parameters.chartKind;
    if (kind == 0) {
        if (!ReadTimeChart(ctx, text, chart) || chart.empty()) GenerateTimeChart(ctx, chart, 0);
    } else {
        if (kind != 4) ReportComposeError(zemc::ChordBlockLength);
        GenerateTimeChart(ctx, chart, 4);
    }
    return chart;
}

}  // namespace

int RandomTwoWay(ComposeContext& ctx, int a, int b) {
    const int r = ctx.random.range(1, b + 2);
    return r >= b + 1 ? a : r;
}

int ChooseBlockCount(ComposeContext& ctx) {
    const CompositionParameters& p = ctx.parameters;
    if (p.progressionFamily == 7) return kBaseBlockCount - 2;
    if (p.oneChordPerMeasure == 1) {
        int count = 0;
        if (p.chartKind == 0) count = (p.measureCount - 2) / ctx.random.range(4, 6);
        else if (p.chartKind == 4) count = (p.measureCount - 2) / 4 / kBlockRepeats;
        else ReportComposeError(zemc::ChordBlockLength);
        if (count <= 0) {
            ReportComposeError(zemc::ChordPattern);
            count = 1;  // the closing block alone
        }
        return std::min(count, kMaxBlocks);
    }
    int count;
    do {
        count = p.measureCount > kLongSongMeasures ? RandomTwoWay(ctx, kBaseBlockCount, 13)
                                                   : RandomTwoWay(ctx, kBaseBlockCount - 1, 12);
    } while (count < 2);
    return count;
}

std::vector<int> BuildForm(ComposeContext& ctx, int blockCount) {
    const CompositionParameters& p = ctx.parameters;
    std::vector<int> form;
    for (int block = 1; block <= blockCount; ++block) {
        int plays;
        if (p.progressionFamily == 7) plays = 2;
        else if (p.chartKind != 0) plays = kBlockRepeats;
        else plays = p.measureCount > kLongSongMeasures ? RandomTwoWay(ctx, 2, 4) : RandomTwoWay(ctx, 2, 3);
        for (int n = 0; n < plays && form.size() < static_cast<size_t>(kMaxFormEntries); ++n) form.push_back(block);
    }
    return form;
}

void WalkBlockChart(ComposeContext& ctx, int blockIndex, const std::vector<int32_t>& chart) {
    const CompositionParameters& p = ctx.parameters;
    EventList& chords = ctx.information.blockChords[static_cast<size_t>(blockIndex)];
    chords.Clear();
    const ChordCode tonic = TonicCode(ctx);
    const int meter = p.timeSignature;
    ChordCode current = tonic;

    size_t i = 0;
    while (i < chart.size() && chart[i] != 0) {
        int duration = chart[i];
        if (p.progressionFamily == 7) {
            current = tonic;
            duration = meter == 0 ? 768 : meter == 1 ? 576 : 336;
        } else if (p.oneChordPerMeasure == 1) {
            duration = measureTicks(meter);
        }

        // A long chord may be split in two halves, which take the places of this duration
        // and the next one: a suspended fourth resolving to its dominant seventh, or the
        // tonic moving to its augmented form.
        bool split = false;
        if (meter == 0 && splitHarmony(p.scale)) {
            if (current.isDominantSeventh() && duration >= 384 && p.progressionFamily != 6 && p.chartKind != 4) {
                if (ctx.random.range(1, 3) == 1) {
                    ChordCode suspended = current;
                    suspended.c[1] = '4';
                    chords.AddChord(duration / 2, suspended, "00");
                    chords.AddChord(duration - duration / 2, current, "00");
                    split = true;
                }
            } else if (p.progressionFamily == 9 && current.third() == 'M' && duration >= 384 && current == tonic) {
                if (ctx.random.range(1, 4) == 1) {
                    ChordCode augmented = current;
                    augmented.c[2] = 'A';
                    chords.AddChord(duration / 2, current, "00");
                    chords.AddChord(duration - duration / 2, augmented, "00");
                    split = true;
                }
            }
        }
        if (!split) chords.AddChord(duration, current, ChooseBassText(ctx, current));

        NextChord(ctx, current);
        i += split ? 2 : 1;

        // A chromatic passing chord may lead into the chord just chosen, taking a short
        // duration that is followed by another.
        if (p.progressionMethod == 1 && p.progressionFamily != 6 && passingHarmony(p.scale) && i + 1 < chart.size() &&
            chart[i + 1] != 0 && (chart[i] == 96 || chart[i] == 192) && ctx.random.range(1, 4) == 1) {
            chords.AddChord(chart[i], PassingChord(ctx, current), "00");
            ++i;
        }
    }
}

void BuildClosingBlock(ComposeContext& ctx) {
    ComposeInformation& ci = ctx.information;
    const CompositionParameters& p = ctx.parameters;
    if (ci.blockCount < 1) return;
    const size_t b = static_cast<size_t>(ci.blockCount - 1);

    std::vector<int32_t> chart = chartFor(ctx, CadenceTimeChartText(ctx));
    if (p.oneChordPerMeasure == 1) std::fill(chart.begin(), chart.end(), measureTicks(p.timeSignature));
    ci.timeCharts[b] = chart;

    ChordCode before = TonicCode(ctx);
    if (b > 0) {
        const EventList& previous = ci.blockChords[b - 1];
        for (const ComposeEntry& e : previous)
            if (e.isChord()) before = e.chord;
    }
    const std::vector<ChordCode> closing = PickCadence(ctx, before, static_cast<int>(chart.size()));
    EventList& chords = ci.blockChords[b];
    chords.Clear();
    for (size_t k = 0; k < chart.size() && k < closing.size(); ++k) chords.AddChord(chart[k], closing[k], "00");
}

void BuildFormAndCharts(ComposeContext& ctx) {
    ComposeInformation& ci = ctx.information;
    ci.blockCount = ChooseBlockCount(ctx);
    ci.form = BuildForm(ctx, ci.blockCount);
    for (int b = 0; b + 1 < ci.blockCount; ++b) {
        ci.timeCharts[static_cast<size_t>(b)] = chartFor(ctx, TimeChartText(ctx));
        WalkBlockChart(ctx, b, ci.timeCharts[static_cast<size_t>(b)]);
    }
    BuildClosingBlock(ctx);
}

}  // namespace tunecase
