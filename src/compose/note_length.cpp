#include "compose/note_length.h"

#include <algorithm>

#include "compose/compose_context.h"
#include "compose/compose_errors.h"
#include "styles/composition_parameters.h"

namespace tunecase {

namespace {

constexpr int kSixteenth = 24;
constexpr int kTableEntries = 32;
constexpr int kTripletTableEntries = 128;
constexpr int kTripletNote = 64;
constexpr int kMotifSteps = 96;

// Patterns for the durations the plain tables do not cover. Each one adds up to its
// duration; a pattern is repeated to fill the table, so a walk pushed across the bar line
// still finds lengths.
const std::vector<std::vector<int>> kPatterns240 = {
    {96, 96, 48}, {144, 48, 48}, {48, 48, 96, 48}, {72, 24, 96, 48}, {192, 48}};
const std::vector<std::vector<int>> kPatterns336 = {
    {96, 96, 144}, {144, 96, 96}, {48, 48, 96, 144}, {96, 48, 48, 144}, {144, 48, 48, 96}};
const std::vector<std::vector<int>> kPatterns384 = {
    {96, 96, 96, 96}, {144, 48, 96, 96}, {192, 96, 96},         {96, 96, 192},
    {72, 24, 96, 192}, {48, 48, 96, 48, 48, 96}, {288, 96}, {96, 48, 48, 96, 96}};
const std::vector<std::vector<int>> kPatterns432 = {
    {144, 96, 96, 96}, {96, 96, 96, 144}, {192, 96, 144}, {144, 48, 48, 96, 96}};
const std::vector<std::vector<int>> kPatterns720 = {
    {192, 96, 96, 144, 96, 96}, {288, 96, 192, 144}, {96, 96, 96, 96, 144, 96, 96}, {360, 96, 96, 96, 72}};
const std::vector<std::vector<int>> kPatterns768 = {{192, 96, 96, 192, 192},
                                                    {288, 96, 288, 96},
                                                    {96, 96, 96, 96, 192, 192},
                                                    {144, 48, 96, 96, 144, 48, 192},
                                                    {360, 24, 96, 96, 192}};
// Triplet feel: swung eighths and quarters.
const std::vector<int> kTriplet384 = {64, 32, 64, 32, 96, 96};
const std::vector<int> kTriplet768 = {128, 64, 64, 128, 96, 96, 192};

std::vector<int> repeated(const std::vector<int>& pattern, size_t entries) {
    std::vector<int> table;
    table.reserve(entries);
    while (table.size() < entries)
        for (int v : pattern)
            if (table.size() < entries) table.push_back(v);
    return table;
}

// Modes 1 to 5: a count of 16ths by the position in the beat.
int drawnLength(ComposeContext& ctx, const MelodyPartSettings& s, NoteLengthState& state, int mode, int position,
                int previousLength) {
    int f;
    if (mode == 5) {
        f = 2 * ctx.random.range(1, 2);
    } else if (position % 96 != 0) {
        const bool onEighth = position % 48 == 0;
        if (onEighth) f = mode == 4 ? ctx.random.range(1, 2) : ctx.random.range(mode, 4);
        else f = ctx.random.range(mode, 2);
        if (s.restSwitch == 1 && ctx.random.range(1, 2) == 1) f = onEighth ? 4 : 2;
    } else {
        if (mode == 4) {
            f = ctx.random.range(1, 2);
            if (f == 2) f = ctx.random.range(1, 2);
        } else {
            f = ctx.random.range(mode, 10);
            if (f == 9) f = 2;
            if (f == 10) {
                if (s.beat == 1) {
                    state.tripletLeft = 2;
                    return kTripletNote;
                }
                f = 2;
            }
        }
        if (s.restSwitch == 1 && ctx.random.range(1, 3) <= 2) f = 1;
    }
    // A lone 16th is the rest switch's short note before a rest; without rests it would push every
    // later onset off the eighth-note grid. Mode 4 is made of 16ths and keeps them.
    if (f == 1 && mode != 4 && s.restSwitch != 1 && s.beat != 3) f = 2;
    if (f == 3 || f == 5 || f == 6 || f == 7) {
        const int previous16 = previousLength / kSixteenth;
        f = previous16 > 0 ? previous16 : 4;
    }
    int length = f * kSixteenth;

    if (s.beat == 3) {
        if (mode == 5) {
            length = ctx.random.range(1, 3) <= 2 ? ctx.random.range(1, 3) * 32 : 96;
        } else if (previousLength == 16) {
            length = 16;
        } else if (ctx.random.range(1, 8) == 1) {
            length = ctx.random.range(1, 4) == 1 ? 16 : 32;
        } else {
            length = 64;
        }
    }
    if (mode == 3) {
        length = 96;
        if (ctx.random.range(1, 3) == 1) length = ctx.random.range(1, 3) == 1 ? 288 : 192;
    }
    return length;
}

// Mode 6: the rhythm motif of the record, one byte per 16th over six measures; a nonzero
// byte starts a note of that many 16ths.
int motifLength(const ComposeContext& ctx, int blockPosition) {
    if (blockPosition % kSixteenth != 0) return kSixteenth - blockPosition % kSixteenth;
    const uint8_t* motif = ctx.parameters.rhythmMotif;
    const int step = (blockPosition / kSixteenth) % kMotifSteps;
    // Inside a motif note (the walk was cut off the motif's grid): what is left of it.
    int start = step;
    while (start > 0 && motif[start] == 0) --start;
    const int sixteenths = motif[start] > 0 ? motif[start] - (step - start) : 1;
    return std::max(sixteenths, 1) * kSixteenth;
}

// Mode 7: long notes on the strong beats, shorter on the weak ones.
int accentLength(ComposeContext& ctx, int position) {
    if (position % kSixteenth != 0) return kSixteenth - position % kSixteenth;
    if (position % 48 != 0) return kSixteenth;
    if (position % 96 != 0) return 48;
    const int meter = ctx.parameters.timeSignature;
    const int measure = measureTicks(meter);
    const int inMeasure = position % measure;
    if (inMeasure == 0) {
        if (meter == 2) return ctx.random.range(1, 2) == 1 ? 192 : 96;
        switch (ctx.random.range(1, 3)) {
            case 1: return 192;
            case 2: return 144;
            default: return 96;
        }
    }
    if (meter == 0 && inMeasure == 192) {
        switch (ctx.random.range(1, 4)) {
            case 3: return 144;
            case 4: return 192;
            default: return 96;
        }
    }
    if (meter == 2 && inMeasure == 192) return ctx.random.range(1, 2) == 1 ? 144 : 96;
    return ctx.random.range(1, 2) == 1 ? 96 : 48;
}

}  // namespace

std::vector<std::vector<int>> RhythmPatterns(int duration) {
    switch (duration) {
        case 240: return kPatterns240;
        case 336: return kPatterns336;
        case 384: return kPatterns384;
        case 432: return kPatterns432;
        case 720: return kPatterns720;
        case 768: return kPatterns768;
        default: return {};
    }
}

std::vector<int> RhythmTable(ComposeContext& ctx, int duration, bool tripletTables) {
    if (tripletTables) {
        if (duration == 384) return repeated(kTriplet384, kTripletTableEntries);
        if (duration == 768) return repeated(kTriplet768, kTripletTableEntries);
        if (duration == 672) ReportComposeError(zemc::CreateSevenEight);
        return std::vector<int>(kTripletTableEntries, 96);
    }
    switch (duration) {
        case 48: return {48};
        case 96: {
            const int r = ctx.random.range(1, 8);
            return std::vector<int>(kTableEntries, r <= 4 ? 96 : r == 5 ? 24 : 48);
        }
        case 144:
            if (ctx.random.range(1, 2) == 1) return repeated({96, 48}, kTableEntries);
            return std::vector<int>(kTableEntries, 144);
        case 192: {
            if (ctx.random.range(1, 2) == 1) {
                int v = 192;
                if (ctx.random.range(1, 3) == 1) v = 48;
                else if (ctx.random.range(1, 5) == 1) v = 24;
                return std::vector<int>(kTableEntries, v);
            }
            std::vector<int> table;
            while (table.size() < static_cast<size_t>(kTableEntries)) {
                if (ctx.random.range(1, 3) == 1) {
                    table.push_back(24);
                    table.push_back(72);
                } else {
                    table.push_back(96);
                }
            }
            table.resize(kTableEntries);
            return table;
        }
        case 288:
        case 576:
        case 672: {
            const int r = ctx.random.range(1, 4);
            return std::vector<int>(kTableEntries, r <= 2 ? 96 : r == 3 ? 48 : 24);
        }
        default: break;
    }
    const std::vector<std::vector<int>> patterns = RhythmPatterns(duration);
    if (patterns.empty()) return std::vector<int>(kTableEntries, 96);
    return repeated(patterns[static_cast<size_t>(ctx.random.range(0, static_cast<int>(patterns.size()) - 1))],
                    kTableEntries);
}

void NoteLengthState::BeginBlock() {
    tripletLeft = 0;
    table.clear();
    next = 0;
    tableDuration = -1;
    chordStart = 0;
}

void NoteLengthState::BeginChord(ComposeContext& ctx, const MelodyPartSettings& s, int duration, int start,
                                 int previousLength) {
    chordStart = start;
    next = 0;
    const int mode = s.rhythmMode;
    if (mode != 8 && mode != 9) return;
    const bool refill = mode == 9 || table.empty() || duration != tableDuration ||
                        (previousLength > 3 * kSixteenth && ctx.random.range(1, 2) == 1);
    if (!refill) return;
    table = RhythmTable(ctx, duration, mode == 8 && s.beat == 3);
    tableDuration = duration;
}

int NoteLength(ComposeContext& ctx, const MelodyPartSettings& s, NoteLengthState& state, int beatPosition,
               int chordPosition, int remaining, int previousLength) {
    if (remaining <= 0) return 0;
    int mode = s.rhythmMode;
    if (mode < 1 || mode > 10) mode = 1;

    int length;
    if (state.tripletLeft > 0) {
        --state.tripletLeft;
        length = kTripletNote;
    } else if (mode == 6) {
        length = motifLength(ctx, state.chordStart + chordPosition);
    } else if (mode == 7) {
        length = accentLength(ctx, beatPosition);
    } else if (mode == 8 || mode == 9) {
        length = state.next < state.table.size() ? state.table[state.next++] : 0;
    } else if (mode == 10) {
        if (beatPosition % 96 != 0) length = s.beat == 3 ? 32 : kSixteenth;
        else if (ctx.random.range(1, 4) == 1) length = 96;
        else length = s.beat == 3 ? 64 : 72;
    } else {
        length = drawnLength(ctx, s, state, mode, beatPosition, previousLength);
    }
    return std::min(length, remaining);
}

}  // namespace tunecase
