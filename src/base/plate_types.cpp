#include "base/plate_types.h"

#include "base/translation.h"

namespace tunecase {

const char* plateTypeName(int32_t code) {
    switch (code) {
        case PlateNone: return N_("None");
        case PlateLargeDisk: return N_("Large Disk");
        case PlateSmallDisk: return N_("Small Disk");
        case PlatePaper: return N_("Paper");
        case PlateToyPianoLarge: return N_("Toypiano(Large)");
        case PlateToyPianoSmall: return N_("Toypiano(Small)");
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
