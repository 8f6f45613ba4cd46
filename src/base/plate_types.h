// The plates a song can be shown on, and the note range of each mechanism that has one.
// Both the preparation (which folds notes into the range) and the keyboard picture (which
// draws the keys) read the range from here.
#pragma once

#include <cstdint>

namespace tunecase {

// Plate codes. The code is also the combo box item's data and the tray menu command.
enum PlateType : int32_t {
    PlateNone = 260,
    PlateLargeDisk = 261,
    PlateSmallDisk = 262,
    PlatePaper = 263,
    PlateToyPianoLarge = 264,
    PlateToyPianoSmall = 265,
};

inline constexpr int kPlateTypeCount = 6;

// The name shown for a plate code; nullptr for an unknown code.
const char* plateTypeName(int32_t code);

bool isToyPiano(int32_t plateType);

// A closed range of note numbers; empty when last < first.
struct NoteRange {
    int first = 0;
    int last = -1;
    bool empty() const { return last < first; }
};

// The notes a mechanism can sound: 60..127 for the small disk, the keys of the toy pianos
// (48..97 large, 60..85 small). Empty for plates that keep the song's whole range.
NoteRange mechanismRange(int32_t plateType);

}  // namespace tunecase
