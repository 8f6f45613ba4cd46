// Writes a QR picture as a PNG file (1-bit greyscale, through libpng).
#pragma once

#include <string>

#include "qr/qr_drawing.h"

namespace tunecase {

// Writes `raster` to `path`, black and white. Returns false, with the reason in `error`
// when given ("PATH: the system's reason"), when the picture is empty or the file cannot be
// written; a failed write leaves any file already at `path` as it was.
bool writeQrPng(const std::string& path, const QrRaster& raster, std::string* error = nullptr);

}  // namespace tunecase
