// Chords of the composition engine: the four-character chord code, the chord record with
// its pitches, the scale and chord profiles the melody and accompaniment pick notes from,
// and the choice of each next chord and of the closing progression.
//
// A chord code is four characters:
//   1 root     C d D e E F g G a A b B (a lower-case letter is the flat), N = no chord
//   2 third    M major (+4), m minor (+3), 4 suspended fourth (+5), o none
//   3 fifth    P perfect (+7), A augmented (+8), d diminished (+6), C none
//   4 seventh  S major seventh (+11), s minor seventh (+10), 6 sixth (+9), 9 ninth (+14),
//              o octave (+12), d none
// e.g. CMPS C major seventh, CMPs C seventh, CMPd C triad, AmPs A minor seventh, Bmds B
// half-diminished, G4Ps G seventh with suspended fourth, NoCd no chord. All chords are
// written in C major or A minor.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tunecase {

struct ComposeContext;

struct ChordCode {
    std::array<char, 4> c{'N', 'o', 'C', 'd'};

    ChordCode() = default;
    // The first four characters of `text`; missing ones are NUL.
    ChordCode(std::string_view text);  // NOLINT: codes are written as text everywhere
    ChordCode(const char* text) : ChordCode(std::string_view(text ? text : "")) {}

    char root() const { return c[0]; }
    char third() const { return c[1]; }
    char fifth() const { return c[2]; }
    char seventh() const { return c[3]; }
    std::string str() const { return std::string(c.data(), 4); }
    bool isNoChord() const { return c[0] == 'N'; }
    bool isDominantSeventh() const { return c[1] == 'M' && c[3] == 's'; }
    bool isMajorSeventh() const { return c[1] == 'M' && c[3] == 'S'; }
    bool isMinorSeventh() const { return c[1] == 'm' && c[3] == 's'; }

    bool operator==(const ChordCode&) const = default;
};

// The roots in pitch order from C; index = pitch class.
inline constexpr char kChordRoots[13] = "CdDeEFgGaAbB";

// Interval tables. A character outside its table gives kInvalidTone; a "none" character
// (o, C, d in positions 2, 3, 4) gives kNoTone.
inline constexpr int kNoTone = -1;
inline constexpr int kInvalidTone = -2;
int RootPitch(char root);          // 60..71, 0 for N, kInvalidTone otherwise
int ThirdInterval(char third);     // 4, 3, 5 or kNoTone
int FifthInterval(char fifth);     // 7, 8, 6 or kNoTone
int SeventhInterval(char seventh); // 11, 10, 9, 14, 12 or kNoTone

// Every position from its table (NoCd included).
bool IsValidChordCode(const ChordCode& code);

// The code with its root moved to pitch class `pitchClass` (any integer, taken mod 12).
ChordCode WithRoot(const ChordCode& code, int pitchClass);

// Pitch class of the root, or -1 for N and invalid roots.
int RootPitchClass(const ChordCode& code);

// Pitch classes of the root, third, fifth and seventh (the present ones), unplaced.
std::vector<int> ChordPitchClasses(const ChordCode& code);

// The chord of one place in a block. Pitches are MIDI note numbers, 0 = no such tone.
struct ChordRecord {
    int32_t duration = 0;          // ticks, 96 per quarter note
    ChordCode code;
    char bassText[2] = {'0', '0'}; // bass note above the root in semitones, two digits
    uint8_t rootPitch = 0;
    uint8_t bassPitch = 0;
    uint8_t thirdPitch = 0;
    uint8_t fifthPitch = 0;
    uint8_t seventhPitch = 0;

    std::string bass() const { return std::string(bassText, 2); }
};

// Builds a chord record. The root is 60..71; the bass is the root two octaves down (or the
// fixed pitch 43 with bass mode 10) plus the bass text's number; the fifth is root +
// interval; the third and seventh are placed by draws into 60..83 (the third without a draw
// when part 3's backing kind is 47). A character outside its table is reported (root: no
// chord; third: none; fifth: the root; seventh: interval 0). An empty bass text is "00".
ChordRecord MakeChord(ComposeContext& ctx, int duration, const ChordCode& code, std::string_view bassText = "00");

// The bass text's number: two decimal digits ("" and other text count as 0).
int BassNumber(std::string_view bassText);

// ---- Profiles ------------------------------------------------------------------------------

// The scale profile of the context's parameters: "xxxx" and twelve digits from C to B.
std::string ScaleProfile(const ComposeContext& ctx);

// The digit of pitch class `pc` in a profile string of 12 digits (or 16 with its head).
int ProfileDigit(std::string_view profile, int pc);

// The chord-tone table: for each of the 648 codes with a root, a third M m 4, a fifth P A d
// and a fourth character S s d o 6 9, a record of the code, twelve digits (root, third and
// fifth 9; sixth 5, ninth 4, major seventh 4, minor seventh 5) and "|\r\n". A constant,
// made on first use.
inline constexpr int kChordToneRecords = 648;
inline constexpr int kChordToneRecordBytes = 19;
std::string_view ChordToneText();
// The twelve digits of `code` from the table; false (and all '0') when it has none.
bool ChordToneDigits(const ChordCode& code, char digits[12]);

// The twelve-digit chord profile of `code`: the weights the melody uses over the chord.
// For a no-chord code it is the scale's own digits.
std::string ChordProfile(const ComposeContext& ctx, const ChordCode& code);

// The diatonic score of a chord: over its tones, 0 for C#, D#, A#; 1 for F#, G# with major
// knowledge (2 with minor); 2 for the others.
int DiatonicScore(const ComposeContext& ctx, const ChordCode& code);

// ---- Progression ---------------------------------------------------------------------------

// The chord every progression starts from and falls back to (set with the knowledge names).
ChordCode TonicCode(const ComposeContext& ctx);

// Replaces `current` by the chord that follows it, by the method of the context's
// progression family and progression method.
void NextChord(ComposeContext& ctx, ChordCode& current);

// The successor rules NextChord dispatches to (one draw each, no scale check).
ChordCode WeightedSuccession(ComposeContext& ctx, const ChordCode& current);
ChordCode RandomChord(ComposeContext& ctx);
ChordCode DominantChain(ComposeContext& ctx, const ChordCode& current);
ChordCode DescendingMinorLoop(ComposeContext& ctx, const ChordCode& current);
ChordCode GeneratedSuccession(ComposeContext& ctx, const ChordCode& current);

// The `count` chords of the closing block after `before`: from the cadence file, or derived
// chord by chord with progression method 1.
std::vector<ChordCode> PickCadence(ComposeContext& ctx, const ChordCode& before, int count);

// The bass text of a chord in a regular block ("00" unless slash chords are on).
std::string ChooseBassText(ComposeContext& ctx, const ChordCode& code);

// `next` with its root a semitone up or down.
ChordCode PassingChord(ComposeContext& ctx, const ChordCode& next);

// The display name: CMPS "CM7", CMPs "C7", AmPs "Am7", dMPs "Db7", Bmds "Bdim7", CMPd "C "
// (a triad ends with a space), with "on" and the bass note's name when the bass text is
// not "00" ("C onE").
std::string ChordName(const ChordCode& code, std::string_view bassText = "00");

}  // namespace tunecase
