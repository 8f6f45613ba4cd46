#include "app/gui/plate_painter.h"

#include <QPainter>
#include <algorithm>

namespace tunecase {

namespace {

QColor toColor(const Rgb& c) { return QColor(c.r, c.g, c.b); }

// Writes a (2 half + 1)-pixel square around (x, y) straight into the scanlines: thousands
// of pins per frame would spend most of the repaint in QPainter's per-call set-up.
void stamp(QImage& image, int x, int y, int half, QRgb colour) {
    const int left = std::max(0, x - half);
    const int right = std::min(image.width() - 1, x + half);
    const int top = std::max(0, y - half);
    const int bottom = std::min(image.height() - 1, y + half);
    for (int row = top; row <= bottom; ++row) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(row));
        for (int col = left; col <= right; ++col) line[col] = colour;
    }
}

}  // namespace

void stampPins(QImage& target, const std::vector<PinMark>& pins) {
    if (target.isNull()) return;
    if (target.format() != QImage::Format_RGB32 && target.format() != QImage::Format_ARGB32 &&
        target.format() != QImage::Format_ARGB32_Premultiplied)
        target.convertTo(QImage::Format_RGB32);
    const QRgb pin = toColor(kPinColour).rgb();
    const QRgb sounding = toColor(kSoundingPinColour).rgb();
    for (const PinMark& p : pins)
        if (!p.sounding) stamp(target, p.x, p.y, kPinSize / 2, pin);
    // Sounding pins last, so a neighbour never covers the highlight.
    for (const PinMark& p : pins)
        if (p.sounding) stamp(target, p.x, p.y, kSoundingPinSize / 2, sounding);
}

void paintPaperPlate(QImage& target, int radius, const std::vector<PinMark>& pins) {
    {
        QPainter painter(&target);
        painter.setPen(QPen(Qt::black, kPlatePenWidth));
        painter.setBrush(toColor(kPlateFace));
        painter.drawRect(QRect(10, 0, 2 * radius, 2 * radius + 20));
    }
    stampPins(target, pins);
}

void paintDiskPlate(QImage& target, int radius, const std::vector<PlateLine>& spindle,
                    const std::vector<PinMark>& pins) {
    {
        QPainter painter(&target);
        painter.setRenderHint(QPainter::Antialiasing, true);
        painter.setPen(QPen(Qt::black, kPlatePenWidth));
        painter.setBrush(toColor(kPlateFace));
        painter.drawEllipse(QRectF(10, 10, 2 * radius, 2 * radius));
        painter.setPen(QPen(toColor(kSpindleColour), kPlatePenWidth));
        for (const PlateLine& line : spindle) painter.drawLine(line.x1, line.y1, line.x2, line.y2);
    }
    stampPins(target, pins);
}

}  // namespace tunecase
