#include "base/records.h"

#include <cstring>

namespace tunecase {

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
