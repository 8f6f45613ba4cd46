#include "styles/composition_parameters.h"

#include <cstring>

#include "base/seeded_random.h"
#include "styles/knowledge_names.h"

namespace tunecase {

namespace {

struct ScaleRow {
    int scale;
    const char* major;  // knowledge set 1
    const char* minor;  // any other knowledge set
};

// Scale 11 is the record's own customScale; numbers not listed use scale 1.
constexpr ScaleRow kScales[] = {
    {1, "xxxx919299192929", "xxxx919295555929"},  {2, "xxxx900099090009", "xxxx900099090009"},
    {3, "xxxx900099090009", "xxxx900099090009"},  {4, "xxxx909009090900", "xxxx909009090900"},
    {5, "xxxx909909099009", "xxxx909909099009"},  {6, "xxxx919959199595", "xxxx919957777595"},
    {7, "xxxx929299292929", "xxxx929295555929"},  {8, "xxxx959398696897", "xxxx959398696897"},
    {9, "xxxx009090090909", "xxxx009090090909"},  {10, "xxxx990099099009", "xxxx990099099009"},
    {12, "xxxx909090909090", "xxxx909090909090"}, {13, "xxxx990009099000", "xxxx990009099000"},
    {14, "xxxx909099909099", "xxxx909099909099"}, {15, "xxxx990099099009", "xxxx990099099009"},
    {16, "xxxx900990990990", "xxxx900990990990"}, {17, "xxxx909099090990", "xxxx909099090990"},
    {18, "xxxx909090990909", "xxxx909090990909"}, {19, "xxxx990990990990", "xxxx990990990990"},
    {20, "xxxx909900000099", "xxxx909900000099"}, {21, "xxxx909099009909", "xxxx909099009909"},
    {22, "xxxx990909090909", "xxxx909099009990"}, {24, "xxxx990090909099", "xxxx990090909099"},
    {25, "xxxx909900999009", "xxxx909900999009"},
};

// Root motion weights (semitones upward, 0..11): the fourth up is the strongest move, then
// the fifth up, the sixth up and the steps; tritones and semitones are rare.
constexpr int32_t kRootMotionWeights[12] = {2, 1, 5, 3, 4, 9, 1, 6, 4, 6, 5, 2};
// Weight of each pitch class as a chord root in C: the primary triads first.
constexpr int32_t kRootWeights[12] = {9, 1, 7, 1, 5, 8, 1, 9, 1, 7, 1, 3};

void buildChordTransitions(ChordTransitionTables& t) {
    std::memset(&t, 0, sizeof t);
    for (auto& row : t.succession)
        for (int k = 0; k < 12; ++k) row[k] = kRootMotionWeights[k];
    for (int k = 0; k < 12; ++k) t.rootWeights[k] = kRootWeights[k];
}

// Figures filling one quarter-note beat, in 16ths.
struct BeatFigure {
    int count;
    uint8_t lengths[4];
};
constexpr BeatFigure kBeatFigures[] = {
    {1, {4}}, {2, {2, 2}}, {3, {2, 1, 1}}, {3, {1, 1, 2}}, {2, {3, 1}}, {4, {1, 1, 1, 1}}, {3, {1, 2, 1}},
};
constexpr int kBeatFigureCount = static_cast<int>(sizeof kBeatFigures / sizeof kBeatFigures[0]);

}  // namespace

void makeRhythmMotif(uint8_t motif[96], SeededRandom& random) {
    std::memset(motif, 0, 96);
    int step = 0;
    while (step < 96) {
        // On the first or third beat of a measure a half note now and then.
        if (step % 8 == 0 && random.range(1, 6) == 1) {
            motif[step] = 8;
            step += 8;
            continue;
        }
        const BeatFigure& f = kBeatFigures[random.range(0, kBeatFigureCount - 1)];
        for (int i = 0; i < f.count; ++i) {
            motif[step] = f.lengths[i];
            step += f.lengths[i];
        }
    }
}

void initParameters(CompositionParameters& p, SeededRandom& random) {
    std::memset(&p, 0, sizeof p);

    for (int k = 0; k < kPartCount; ++k) p.partProgram[k] = 0;
    for (int k : {2, 3, 4, 5, 7, 8, 9, 10, 11, 12, 13, 14}) p.partProgram[k] = kNotPlayed;
    p.partProgram[15] = 90;

    for (int k : {1, 2, 3, 4, 5, 7, 8, 9}) {
        for (int b = mixer::Chorus; b <= mixer::Pan; ++b) p.partMixer[k][b] = 64;
        p.partMixer[k][mixer::CopyDelay] = 0;
    }
    for (int k : {1, 2, 4, 8, 9}) p.partMixer[k][mixer::Volume] = 100;
    for (int k : {3, 7}) p.partMixer[k][mixer::Volume] = 115;
    p.partMixer[5][mixer::Volume] = 60;

    p.measureCount = 40;
    setField(p.description, "No music style is defined.");
    p.timeSignature = 0;
    p.tempo = 750000;
    p.knowledgeSet = 1;
    p.scale = 1;
    p.key = 0;
    p.beatKind = 1;
    p.reservedBytes[0] = 5;
    p.reservedBytes[1] = 200;
    p.reserved1 = 1;
    p.rhythmFeel = 0;
    p.octaveCopyVelocity = 38;
    p.part15Octave = 0;
    const int32_t reserved3[5] = {0, 100, 100, 100, 0};
    std::memcpy(p.reserved3, reserved3, sizeof reserved3);
    p.slashBass = 0;
    setField(p.customScale, "xxxx909099090909");
    for (auto& s : p.melodySwitches) s = 1;
    const int32_t acceptance[8] = {40, 10, 70, 90, 90, 92, 94, 96};
    const int32_t bias[8] = {-25, -25, 0, 10, 20, 30, 40, 50};
    std::memcpy(p.jumpAcceptance, acceptance, sizeof acceptance);
    std::memcpy(p.jumpBias, bias, sizeof bias);
    setField(p.patternFileName, "PATTERN.DB");
    setField(p.resolutionFileName, "RESOLUT.DB");
    buildChordTransitions(p.chordTransitions);
    const int32_t reserved5[11] = {0, 0, 90, 0, 0, 90, 0, 0, 0, 0, 0};
    std::memcpy(p.reserved5, reserved5, sizeof reserved5);
    p.derivedPartMode = 6;
    p.backingPattern3 = 17;
    p.progressionFamily = 7;
    p.drumPattern = 14;
    p.backingPattern7 = 15;
    p.bassPattern = 10;

    p.partRules[1][rule::RhythmMode] = 2;
    p.partRules[1][rule::Highest] = 80;
    p.partRules[1][rule::Lowest] = 50;
    p.partRules[1][rule::Algorithm] = 1;
    std::memcpy(p.partRules[4], p.partRules[1], sizeof p.partRules[1]);
    std::memcpy(p.partRules[5], p.partRules[1], sizeof p.partRules[1]);
    for (auto& pace : p.partPace) pace = 100;

    makeRhythmMotif(p.rhythmMotif, random);
}

int measureTicks(int timeSignature) {
    if (timeSignature == 0) return 384;
    if (timeSignature == 1) return 288;
    return 336;
}

void finishStyle(CompositionParameters& p) {
    std::memset(p.measureTable, 0, sizeof p.measureTable);
    const int length = measureTicks(p.timeSignature);
    int count = p.measureCount;
    if (count < 0) count = 0;
    if (count > kMaxMeasureEntries) count = kMaxMeasureEntries;  // keep room for the end mark
    uint8_t* at = p.measureTable;
    for (int i = 0; i < count; ++i) {
        at[0] = static_cast<uint8_t>(length / 256);
        at[1] = static_cast<uint8_t>(length % 256);
        std::memcpy(at + 2, (i & 4) ? "GMPs" : "CMPS", 4);
        at += kMeasureEntryBytes;
    }
    at[0] = 0;
    at[1] = 0;
    if (p.derivedPartMode == 6) std::memcpy(p.partRules[4], p.partRules[1], sizeof p.partRules[1]);
}

int measureEntryCount(const CompositionParameters& p) {
    int n = 0;
    for (; n < kMeasureTableEntries; ++n) {
        const uint8_t* at = p.measureTable + n * kMeasureEntryBytes;
        if (at[0] == 0 && at[1] == 0) break;
    }
    return n;
}

int measureEntryTicks(const CompositionParameters& p, int index) {
    if (index < 0 || index >= kMeasureTableEntries) return 0;
    const uint8_t* at = p.measureTable + index * kMeasureEntryBytes;
    return at[0] * 256 + at[1];
}

std::string measureEntryChord(const CompositionParameters& p, int index) {
    if (index < 0 || index >= kMeasureTableEntries) return {};
    const uint8_t* at = p.measureTable + index * kMeasureEntryBytes + 2;
    return std::string(reinterpret_cast<const char*>(at), 4);
}

void applyStyle(const CompositionParameters& style, CompositionParameters& current, KnowledgeNames& names) {
    current = style;
    names = SelectKnowledgeNames(current, current.knowledgeSet == 1 ? 1 : 2);
}

std::string scalePatternOf(const CompositionParameters& p) {
    std::string base;
    if (p.scale == 11) {
        // The user's own pattern; anything missing from its 16 characters counts as '0'.
        base.assign(16, '0');
        for (int i = 0; i < 16 && i < static_cast<int>(sizeof p.customScale) && p.customScale[i]; ++i)
            base[i] = p.customScale[i];
    } else {
        const ScaleRow* row = &kScales[0];
        for (const auto& r : kScales)
            if (r.scale == p.scale) row = &r;
        base = p.knowledgeSet == 1 ? row->major : row->minor;
    }
    const int shift = ((p.key % 12) + 12) % 12;
    if (shift == 0) return base;
    std::string out = base;
    for (int pc = 0; pc < 12; ++pc) out[4 + (pc + shift) % 12] = base[4 + pc];
    return out;
}

int paceClass(int pace) {
    if (pace < 30) return 8;
    if (pace < 50) return 7;
    if (pace < 70) return 6;
    if (pace < 90) return 5;
    if (pace < 110) return 4;
    if (pace < 130) return 3;
    if (pace < 150) return 2;
    if (pace < 170) return 1;
    return 4;
}

}  // namespace tunecase
