#include "app/records.h"

#include <cstring>

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

PlayerSettings defaultPlayerSettings() {
    PlayerSettings s;
    std::memset(&s, 0, sizeof s);
    s.deleteShortNoteChannel = 1;
    s.deleteLongNoteChannel = 1;
    s.plateType = PlateLargeDisk;
    s.speedPercent = 100;
    return s;
}

}  // namespace tunecase
