// The settings one melodic part reads from the parameter record: its rhythm, range, pitch
// algorithm, switches and pace. The melody is part 1; the counter-melodies use parts 4
// and 5 with the same settings.
#pragma once

namespace tunecase {

struct ComposeContext;

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
    bool singable = false;
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
