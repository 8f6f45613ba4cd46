// Paints the plates computed by the plate geometry into the back buffer: the paper sheet
// and the disk.
#pragma once

#include <QImage>
#include <vector>

#include "app/plate_geometry.h"

namespace tunecase {

// The sheet (10, 0)-(2R + 10, 2R + 20) and its pins.
void paintPaperPlate(QImage& target, int radius, const std::vector<PinMark>& pins);

// The disk (10, 10)-(2R + 10, 2R + 10), its spindle cross and its pins.
void paintDiskPlate(QImage& target, int radius, const std::vector<PlateLine>& spindle,
                    const std::vector<PinMark>& pins);

// The pins alone: a 3 x 3 block per pin, 5 x 5 for a sounding one (an ellipse of 2 or 4
// around the point, drawn with a 2-pixel pen), clipped to the image.
void stampPins(QImage& target, const std::vector<PinMark>& pins);

}  // namespace tunecase
