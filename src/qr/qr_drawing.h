// How a QR picture is drawn: the symbol scaled into the picture, inside a light margin.
// The rule is shared by the picture control, the command line and its image files.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "qr/qr_encoder.h"

namespace tunecase {

// The pixels of one picture, row by row, 1 for black and 0 for white.
struct QrRaster final {
    int width = 0;
    int height = 0;
    bool beep = false;  // the margins leave no room: nothing is drawn and the bell sounds
    std::vector<uint8_t> black;

    bool isBlack(int x, int y) const {
        return x >= 0 && y >= 0 && x < width && y < height && black[static_cast<size_t>(y * width + x)] != 0;
    }
};

// The side s of the drawn square: the smaller of width and height less both margins.
// Negative when the margins do not fit.
int qrDrawingSide(int width, int height, int margin);

// Draws `symbol` into a white width x height picture: with s the drawing side and
// f = s / modules as a real number, pixel (margin + i, margin + j) for 0 <= i, j < s is
// black when module (trunc(i / f), trunc(j / f)) is dark. When s is negative nothing is
// drawn and `beep` is set. A null symbol (nothing encoded) leaves the picture white.
// Negative sizes count as 0.
QrRaster drawQrSymbol(const qr::Symbol* symbol, int width, int height, int margin);

// The QR picture of a text: encoded at level M in the smallest version with the best mask,
// then drawn as above. A text that cannot be encoded (empty, too long) gives a white
// picture without the bell.
QrRaster drawQrText(std::string_view text, int width, int height, int margin);

// The margin in pixels that leaves `modules` light modules on each side of a symbol of
// `moduleCount` modules in a picture of `pictureSide` pixels (floored).
int qrMarginForModules(int pictureSide, int moduleCount, int modules);

}  // namespace tunecase
