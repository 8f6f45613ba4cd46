// Pitches of a melodic part: the seven pitch algorithms and the adjustments that keep a
// pitch on the chord (acceptable pitch, chord-tone alteration, direction step) and in the
// part's range.
//
//   1  a smooth curve: a cubic through four points picked once per block
//   2  a random walk that stops on a well-weighted pitch
//   3  a ladder of 21 pitches around the middle of the range, stepped by a table of 500
//      steps made once per block; short notes often repeat the previous pitch
//   4  the same ladder, two table steps per note (wider lines, no repeats)
//   5  contour patterns: one of a handful of melodic shapes, counted in scale steps from a
//      chord tone near the previous pitch, restarted on every chord (no octave correction)
//   6  jump values: interval sizes drawn by the record's jump acceptance, keeping or
//      turning the direction by its jump bias (small steps run on, big leaps turn back),
//      then the nearest well-weighted pitch; the walk adds ornament groups
//   7  the middle of the range for every note
// With the singable switch, algorithm 1's curve is a target the melody walks towards as a
// singer would, instead of being traced note for note.
// A pitch is a MIDI note number; 0 is a rest, and a rest stays a rest through every step.
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "compose/chords.h"
#include "compose/melody_settings.h"

namespace tunecase {

struct ComposeContext;

// What a pitch choice sees of the note being made.
struct PitchContext {
    const MelodyPartSettings* settings = nullptr;
    const ChordRecord* chord = nullptr;
    std::string profile;     // the chord's twelve-digit profile
    int length = 0;          // this note's length
    int previousLength = 0;  // the previous note's length (0 when none)
    int position = 0;        // ticks from the chord's start
    int blockPosition = 0;   // ticks from the block's start: where the block's curve is read
    int measure = 384;       // ticks in a bar (blocks start on a bar line)
    bool firstOfChord = false;
    int previous = 0;        // the previous pitch, 0 when none (or a rest)
    int previous2 = 0;       // the one before it
};

// The weight (0 .. 9) of a pitch's class in a twelve-digit profile.
int ProfileWeight(std::string_view profile, int pitch);

// Moves `pitch` to the first pitch whose weight reaches a threshold drawn from the
// consonance level, stepping away from the previous pitch inside the part's range; may give
// a rest (a repeated pitch on a quarter note inside the chord, or no pitch after 800 steps).
int AcceptablePitch(ComposeContext& ctx, int pitch, const PitchContext& c);

// One correction each way: above the highest pitch one octave down (one random step of
// 1 .. 3 semitones when the range is 19 semitones or less), then below the lowest one up.
// A pitch still outside is left there; the walk treats it as out of range.
int FitToRange(ComposeContext& ctx, int pitch, const MelodyPartSettings& s);

// Like FitToRange, but octave steps until the pitch is inside, keeping its pitch class
// (the nearest end of the range when no octave of it fits). For closing notes.
int FitClassIntoRange(int pitch, const MelodyPartSettings& s);

// The chord-tone alteration of the part (setting 1 blue notes, setting 2 tensions).
int AlterChordTone(ComposeContext& ctx, int pitch, const PitchContext& c);

// Moves by semitones towards the previous pitch while the pitch's weight is below 5 (at
// most 12 moves); tries the other way when that leaves the range.
int DirectionStep(int pitch, const PitchContext& c);

// The pitch nearest to `pitch` whose weight reaches `threshold`, looking in `direction`
// first (+1 up, -1 down); `pitch` itself when none lies within 11 semitones.
int NearestWeightedPitch(int pitch, std::string_view profile, int threshold, int direction);

// The cubic through four points (x distinct), evaluated at x.
double LagrangeValue(const std::array<double, 4>& xs, const std::array<double, 4>& ys, double x);

// The contour shapes of algorithm 5, in scale steps from the chord's anchor pitch.
inline constexpr int kContourLength = 8;
inline constexpr int kContours[][kContourLength] = {
    {0, 1, 2, 3, 2, 1, 0, -1},    // arch
    {0, 1, 2, 3, 4, 5, 6, 7},     // rising line
    {0, -1, -2, -3, -4, -5, -6, -7},  // falling line
    {0, 2, 1, 3, 2, 4, 3, 1},     // rising waves
    {0, -1, -2, -3, -2, -1, 0, 1},  // valley
    {0, 1, 0, -1, 0, 2, 1, 0},    // turn around the anchor
};
inline constexpr int kContourCount = static_cast<int>(sizeof kContours / sizeof kContours[0]);

// The state of one part's pitch algorithm through one block.
class PitchGenerator {
public:
    // A new block of `blockTicks` ticks: the curve points, the ladder's step table, the
    // contour.
    void BeginBlock(ComposeContext& ctx, const MelodyPartSettings& s, int blockTicks);
    // A new chord: the ladder and the contour anchor follow its profile.
    void BeginChord(const PitchContext& c);
    // The pitch of the part's algorithm for this note, adjusted; 0 for a rest.
    int Next(ComposeContext& ctx, const PitchContext& c);

private:
    int curvePitch(const PitchContext& c);
    int walkPitch(ComposeContext& ctx, const PitchContext& c);
    int ladderPitch(const PitchContext& c);
    int contourPitch(const PitchContext& c);
    int jumpPitch(ComposeContext& ctx, const PitchContext& c);
    int adjusted(ComposeContext& ctx, int pitch, const PitchContext& c, bool directionStep);
    int sungPitch(ComposeContext& ctx, int target, const PitchContext& c);

    const MelodyPartSettings* settings_ = nullptr;
    bool curveReady_ = false;
    std::array<double, 4> curveX_{};
    std::array<double, 4> curveY_{};
    int walkDirection_ = 1;
    std::array<int, 21> ladder_{};
    std::array<int, 500> ladderSteps_{};
    int ladderStep_ = 0;
    int rung_ = 10;
    int contour_ = 0;
    int contourIndex_ = 0;
    int anchor_ = 0;
    int jumpDirection_ = 1;
    bool invalidReported_ = false;
};

}  // namespace tunecase
