// Paints the plates computed by the plate geometry: the paper sheet and the disk.
#pragma once

#include <QPainter>
#include <vector>

#include "app/plate_geometry.h"

namespace tunecase {

// The sheet (10, 0)-(2R + 10, 2R + 20) and its pins.
void paintPaperPlate(QPainter& painter, int radius, const std::vector<PinMark>& pins);

// The disk (10, 10)-(2R + 10, 2R + 10), its spindle cross and its pins.
void paintDiskPlate(QPainter& painter, int radius, const std::vector<PlateLine>& spindle,
                    const std::vector<PinMark>& pins);

}  // namespace tunecase
