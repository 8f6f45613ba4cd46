// The composition parameter record: every setting a style defines and the composition
// engine reads. A style is one complete record; applying it copies it into the record of
// one composition (its context's parameters), which is the only record the engine looks at.
//
// The record is a plain block of 22,732 bytes (copied by value, no pointers), with the
// field order and widths below fixed. Parts are numbered from 1; index 0 of the per-part
// arrays is not used.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <type_traits>

namespace tunecase {

class SeededRandom;
struct KnowledgeNames;

inline constexpr int kPartCount = 16;
inline constexpr int kMeasureTableEntries = 682;  // room in the measure table, 6 bytes each
inline constexpr int kMeasureEntryBytes = 6;
// The most measures the table can describe: the two closing zero bytes must fit too.
inline constexpr int kMaxMeasureEntries = (kMeasureTableEntries * kMeasureEntryBytes - 2) / kMeasureEntryBytes;
inline constexpr int kNotPlayed = 256;  // partProgram value of a silent part

// Indices into partMixer[part].
namespace mixer {
inline constexpr int Volume = 0;      // controller 7
inline constexpr int Chorus = 1;      // controller 93
inline constexpr int Reverb = 2;      // controller 91
inline constexpr int Brightness = 3;  // controller 74
inline constexpr int Attack = 4;      // controller 73
inline constexpr int Decay = 5;       // controller 75
inline constexpr int Release = 6;     // controller 72
inline constexpr int Resonance = 7;   // controller 71
inline constexpr int Pan = 8;         // controller 10
inline constexpr int CopyDelay = 9;   // ticks of the delayed, detuned copy; 0 = none
inline constexpr int BlockProgram = 10;
}  // namespace mixer

// Indices into partRules[part] that have a fixed meaning; the others are melody switches.
namespace rule {
inline constexpr int Consonance = 0;  // lowest acceptable chord-profile weight, also a 1-in-N chance
inline constexpr int RhythmMode = 1;  // 1..10
inline constexpr int Effect = 4;
inline constexpr int SecondLine = 6;  // melody only: 0 none, nonzero builds one, 2 holds through rests
inline constexpr int Highest = 7;     // highest MIDI note number
inline constexpr int Lowest = 8;      // lowest MIDI note number
inline constexpr int Algorithm = 9;   // pitch algorithm 1..7
}  // namespace rule

// The melody switches among the other indices.
namespace melody_rule {
inline constexpr int RestSwitch = 2;          // 1: rests may be inserted
inline constexpr int Alteration = 5;          // chord-tone alteration 0, 1 or 2
inline constexpr int RhythmRepetition = 10;   // 0 never, 1 half the time, 2 always
inline constexpr int IntervalRepetition = 11; // 0 never, 1 half the time, 2 always
inline constexpr int WalkVariant = 12;        // random walk: 0 wanders on, 1 steps from the last pitch
// 1: the smooth curve is sung rather than traced: chord tones on the strong beats, scale steps
// between them, a leap turned back by a step. Our own music-box styles set it.
inline constexpr int Singable = 14;
}  // namespace melody_rule

// Chord succession tables kept with a style. Row f holds, for progression family f, the
// weight of a root motion of k semitones upward in entry k (0..11); the other entries of a
// row are free for a style's own use. `rootWeights` weighs each pitch class as a chord root
// in C. The progression generator of this program takes its successions from the pattern
// files; these tables travel with the style for styles that adjust them.
struct ChordTransitionTables {
    int32_t succession[kPartCount][254];
    int32_t rootWeights[12];
};

struct CompositionParameters {
    int32_t partProgram[kPartCount];              // GM program 0..127, 256 = not played; part 9: drum kind
    uint8_t partMixer[kPartCount][16];            // see namespace mixer
    int32_t partOctave[14];                       // octaves added; part 1: 1 = octave copy; part 2: 99/101
    char shortName[24];                           // copy of name
    int32_t measureCount;                         // tune length in measures
    char name[40];
    char description[256];
    int32_t timeSignature;                        // 0 = 4/4, 1 = 3/4, 2 = 7/8
    int32_t tempo;                                // microseconds per quarter note
    int32_t knowledgeSet;                         // 1 = ".DB" knowledge, 2 = ".DB2" knowledge
    int32_t scale;                                // scale number (see scalePatternOf)
    int32_t key;                                  // tonic pitch class 0..11
    int16_t beatKind;                             // 2 with 3/4: dotted-quarter grouping
    uint8_t reservedBytes[2];
    int32_t reserved1;
    int32_t rhythmFeel;                           // 0 straight, 3 triplet feel, 1 and 2 variants
    int32_t octaveCopyVelocity;                   // 0 counts as 38
    int32_t part15Octave;
    int32_t reserved3[5];
    int32_t tensionNotes;                         // 1 = voicings add tension notes
    int32_t progressionMethod;                    // 8 free, 1 generated, other = from the files
    int32_t modulation[2];
    int32_t bassMode;                             // 10 = fixed bass pitch 43
    uint8_t rhythmMotif[96];                      // see makeRhythmMotif
    int32_t slashBass;                            // 1 = chords may get a bass other than the root
    char customScale[20];                         // scale pattern used for scale 11
    int32_t melodySwitches[4];
    int32_t jumpAcceptance[8];                    // per interval size class, percent
    int32_t jumpBias[8];
    char patternFileName[128];
    char resolutionFileName[128];
    ChordTransitionTables chordTransitions;
    int32_t oneChordPerMeasure;
    int32_t chartKind;                            // 0 charts from the files, 4 fixed four-chord charts
    int32_t reserved5[11];
    int32_t chordDisplay;                         // 1 = a composed song carries its chord names as markers
    int32_t derivedPartMode;                      // 6: part 4 follows the melody's rules
    int32_t backingPattern3;                      // backing kind of part 3
    int32_t progressionFamily;                    // 1, 2, 3, 4, 6, 7 or 9 (5, 10: special successions)
    int32_t drumPattern;
    int32_t backingPattern7;
    int32_t bassPattern;
    int32_t part5Mode;
    int32_t randomCategory;                       // 0 ordinary style, 1..9 random style of category 0..8
    int32_t reserved7;
    uint8_t measureTable[kMeasureTableEntries * kMeasureEntryBytes];
    int32_t partRules[kPartCount][15];            // see namespace rule
    int32_t partPace[12];                         // percent, 100 = normal
};

static_assert(std::is_standard_layout_v<CompositionParameters>);
static_assert(std::is_trivially_copyable_v<CompositionParameters>);
static_assert(sizeof(CompositionParameters) == 22732);
static_assert(offsetof(CompositionParameters, partProgram) == 0);
static_assert(offsetof(CompositionParameters, partMixer) == 64);
static_assert(offsetof(CompositionParameters, partOctave) == 320);
static_assert(offsetof(CompositionParameters, shortName) == 376);
static_assert(offsetof(CompositionParameters, measureCount) == 400);
static_assert(offsetof(CompositionParameters, name) == 404);
static_assert(offsetof(CompositionParameters, description) == 444);
static_assert(offsetof(CompositionParameters, timeSignature) == 700);
static_assert(offsetof(CompositionParameters, tempo) == 704);
static_assert(offsetof(CompositionParameters, knowledgeSet) == 708);
static_assert(offsetof(CompositionParameters, scale) == 712);
static_assert(offsetof(CompositionParameters, key) == 716);
static_assert(offsetof(CompositionParameters, beatKind) == 720);
static_assert(offsetof(CompositionParameters, reservedBytes) == 722);
static_assert(offsetof(CompositionParameters, reserved1) == 724);
static_assert(offsetof(CompositionParameters, rhythmFeel) == 728);
static_assert(offsetof(CompositionParameters, octaveCopyVelocity) == 732);
static_assert(offsetof(CompositionParameters, part15Octave) == 736);
static_assert(offsetof(CompositionParameters, reserved3) == 740);
static_assert(offsetof(CompositionParameters, tensionNotes) == 760);
static_assert(offsetof(CompositionParameters, progressionMethod) == 764);
static_assert(offsetof(CompositionParameters, modulation) == 768);
static_assert(offsetof(CompositionParameters, bassMode) == 776);
static_assert(offsetof(CompositionParameters, rhythmMotif) == 780);
static_assert(offsetof(CompositionParameters, slashBass) == 876);
static_assert(offsetof(CompositionParameters, customScale) == 880);
static_assert(offsetof(CompositionParameters, melodySwitches) == 900);
static_assert(offsetof(CompositionParameters, jumpAcceptance) == 916);
static_assert(offsetof(CompositionParameters, jumpBias) == 948);
static_assert(offsetof(CompositionParameters, patternFileName) == 980);
static_assert(offsetof(CompositionParameters, resolutionFileName) == 1108);
static_assert(offsetof(CompositionParameters, chordTransitions) == 1236);
static_assert(sizeof(ChordTransitionTables) == 16304);
static_assert(offsetof(CompositionParameters, oneChordPerMeasure) == 17540);
static_assert(offsetof(CompositionParameters, chartKind) == 17544);
static_assert(offsetof(CompositionParameters, reserved5) == 17548);
static_assert(offsetof(CompositionParameters, chordDisplay) == 17592);
static_assert(offsetof(CompositionParameters, derivedPartMode) == 17596);
static_assert(offsetof(CompositionParameters, backingPattern3) == 17600);
static_assert(offsetof(CompositionParameters, progressionFamily) == 17604);
static_assert(offsetof(CompositionParameters, drumPattern) == 17608);
static_assert(offsetof(CompositionParameters, backingPattern7) == 17612);
static_assert(offsetof(CompositionParameters, bassPattern) == 17616);
static_assert(offsetof(CompositionParameters, part5Mode) == 17620);
static_assert(offsetof(CompositionParameters, randomCategory) == 17624);
static_assert(offsetof(CompositionParameters, reserved7) == 17628);
static_assert(offsetof(CompositionParameters, measureTable) == 17632);
static_assert(offsetof(CompositionParameters, partRules) == 21724);
static_assert(offsetof(CompositionParameters, partPace) == 22684);

// Writes every default, the chord succession tables and, last, a fresh rhythm motif drawn
// from `random`.
void initParameters(CompositionParameters& p, SeededRandom& random);

// Fills the measure table (one entry per measure, "CMPS" and "GMPs" alternating every four
// measures, two zero bytes after the last) and, when derivedPartMode is 6, gives part 4
// the melody's rules.
void finishStyle(CompositionParameters& p);

// Copies `style` into `current` (the record a composition works on) and selects the
// knowledge file names for it into `names`.
void applyStyle(const CompositionParameters& style, CompositionParameters& current, KnowledgeNames& names);

// The scale pattern of a record: "xxxx" and twelve weight digits from C to B, transposed to
// the key.
std::string scalePatternOf(const CompositionParameters& p);

// Pace class of a partPace value: 8 (slowest) .. 1; 170 and above count as 4.
int paceClass(int pace);

// Ticks per measure for a timeSignature value: 384 (4/4), 288 (3/4), 336 (7/8 and others).
int measureTicks(int timeSignature);

// The measure table read back: entries up to the two zero bytes (or the end of the table).
int measureEntryCount(const CompositionParameters& p);
int measureEntryTicks(const CompositionParameters& p, int index);
std::string measureEntryChord(const CompositionParameters& p, int index);

// A rhythm motif: one byte per 16th-note step over six 4/4 measures. A nonzero byte starts
// a note that lasts that many 16ths; 0 continues the note before it. Each quarter-note
// beat is filled exactly by one of a handful of figures, drawn from `random`.
void makeRhythmMotif(uint8_t motif[96], SeededRandom& random);

// Copies `text` into a fixed field, cut to fit and NUL-terminated.
template <size_t N>
void setField(char (&field)[N], const char* text) {
    size_t i = 0;
    for (; text && text[i] && i + 1 < N; ++i) field[i] = text[i];
    for (; i < N; ++i) field[i] = '\0';
}

}  // namespace tunecase
