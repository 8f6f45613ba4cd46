#include "qr/qr_drawing.h"

#include <algorithm>

namespace tunecase {

int qrDrawingSide(int width, int height, int margin) {
    return std::min(width - 2 * margin, height - 2 * margin);
}

QrRaster drawQrSymbol(const qr::Symbol* symbol, int width, int height, int margin) {
    QrRaster r;
    r.width = std::max(width, 0);
    r.height = std::max(height, 0);
    r.black.assign(static_cast<size_t>(r.width) * static_cast<size_t>(r.height), 0);
    if (!symbol || symbol->size <= 0) return r;
    const int side = qrDrawingSide(width, height, margin);
    if (side < 0) {
        r.beep = true;
        return r;
    }
    // Module index of each drawn pixel offset, the same for rows and columns.
    const double scale = static_cast<double>(side) / symbol->size;
    std::vector<int> moduleAt(static_cast<size_t>(side));
    for (int i = 0; i < side; ++i) moduleAt[static_cast<size_t>(i)] = std::min(static_cast<int>(i / scale), symbol->size - 1);
    for (int j = 0; j < side; ++j) {
        const int y = margin + j;
        if (y < 0 || y >= r.height) continue;
        uint8_t* row = r.black.data() + static_cast<size_t>(y) * static_cast<size_t>(r.width);
        for (int i = 0; i < side; ++i) {
            const int x = margin + i;
            if (x >= 0 && x < r.width && symbol->isDark(moduleAt[static_cast<size_t>(i)], moduleAt[static_cast<size_t>(j)]))
                row[x] = 1;
        }
    }
    return r;
}

QrRaster drawQrText(std::string_view text, int width, int height, int margin) {
    const auto symbol = qr::encodeText(text, {qr::LevelM, 0, true, qr::ChooseMask});
    return drawQrSymbol(symbol ? &*symbol : nullptr, width, height, margin);
}

int qrMarginForModules(int pictureSide, int moduleCount, int modules) {
    // margin = modules * f with f = (side - 2 * margin) / moduleCount.
    const long long total = static_cast<long long>(moduleCount) + 2LL * modules;
    if (total <= 0 || pictureSide <= 0) return 0;
    return static_cast<int>(static_cast<long long>(modules) * pictureSide / total);
}

}  // namespace tunecase
