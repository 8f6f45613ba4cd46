#include "base/plate_types.h"

namespace tunecase {

const char* plateTypeName(int32_t code) {
    switch (code) {
        case PlateNone: return "None";
        case PlateLargeDisk: return "Large Disk";
        case PlateSmallDisk: return "Small Disk";
        case PlatePaper: return "Paper";
        case PlateToyPianoLarge: return "Toypiano(Large)";
        case PlateToyPianoSmall: return "Toypiano(Small)";
        default: return nullptr;
    }
}

bool isToyPiano(int32_t plateType) {
    return plateType == PlateToyPianoLarge || plateType == PlateToyPianoSmall;
}

NoteRange mechanismRange(int32_t plateType) {
    switch (plateType) {
        case PlateSmallDisk: return {60, 127};
        case PlateToyPianoLarge: return {48, 97};
        case PlateToyPianoSmall: return {60, 85};
        default: return {};
    }
}

}  // namespace tunecase
