// The settings one melodic part reads from the parameter record: its rhythm, range, pitch
// algorithm, switches and pace. The melody is part 1; the counter-melodies use parts 4
// and 5 with the same settings.
#pragma once

namespace tunecase {

struct ComposeContext;

// Places in partRules[part] of the melody switches that the record leaves to the engine
// (the fixed places are in the record's own `rule` names).
namespace melody_rule {
inline constexpr int RestSwitch = 2;          // 1: rests may be inserted
inline constexpr int Alteration = 5;          // chord-tone alteration 0, 1 or 2
inline constexpr int RhythmRepetition = 10;   // 0 never, 1 half the time, 2 always
inline constexpr int IntervalRepetition = 11; // 0 never, 1 half the time, 2 always
inline constexpr int WalkVariant = 12;        // random walk: 0 wanders on, 1 steps from the last pitch
}  // namespace melody_rule

inline constexpr int kLongestMelodyNote = 384;  // the longest note a melodic part may hold

struct MelodyPartSettings {
    int part = 1;
    int consonance = 0;        // lowest acceptable chord-profile weight; 1-in-n chances
    int rhythmMode = 1;        // 1 .. 10
    int restSwitch = 0;
    int effect = 0;
    int secondLine = 0;
    int highest = 80;
    int lowest = 50;
    int algorithm = 1;         // 1 .. 7
    int alteration = 0;
    int rhythmRepetition = 0;
    int intervalRepetition = 0;
    int walkVariant = 0;
    int program = 0;           // program written before each chord when not 0
    int pace = 100;
    int paceClass = 4;         // 8 (slowest) .. 1
    int beat = 0;              // the record's rhythm feel: 3 triplet feel, 1 triplet groups
    int scale = 1;
    bool majorKnowledge = true;

    int middle() const { return (highest + lowest) / 2; }
    bool inRange(int pitch) const { return pitch >= lowest && pitch <= highest; }
};

// The settings of `part` (1 .. 15) from the context's parameters.
MelodyPartSettings MelodySettings(const ComposeContext& ctx, int part);

}  // namespace tunecase
