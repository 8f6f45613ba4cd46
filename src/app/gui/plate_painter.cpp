#include "app/gui/plate_painter.h"

namespace tunecase {

namespace {

QColor toColor(const Rgb& c) { return QColor(c.r, c.g, c.b); }

void paintPins(QPainter& painter, const std::vector<PinMark>& pins) {
    // Pins are a few pixels wide: drawn without smoothing so each lands on its own pixel.
    painter.setRenderHint(QPainter::Antialiasing, false);
    const QColor pin = toColor(kPinColour);
    const QColor sounding = toColor(kSoundingPinColour);
    const QPen pinPen(pin, kPlatePenWidth);
    const QPen soundingPen(sounding, kPlatePenWidth);
    painter.setPen(pinPen);
    painter.setBrush(pin);
    const qreal half = kPinSize / 2.0;
    for (const PinMark& p : pins)
        if (!p.sounding) painter.drawEllipse(QPointF(p.x + 0.5, p.y + 0.5), half, half);
    // Sounding pins last, so a neighbour never covers the highlight.
    painter.setPen(soundingPen);
    painter.setBrush(sounding);
    const qreal big = kSoundingPinSize / 2.0;
    for (const PinMark& p : pins)
        if (p.sounding) painter.drawEllipse(QPointF(p.x + 0.5, p.y + 0.5), big, big);
}

}  // namespace

void paintPaperPlate(QPainter& painter, int radius, const std::vector<PinMark>& pins) {
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(QPen(Qt::black, kPlatePenWidth));
    painter.setBrush(toColor(kPlateFace));
    painter.drawRect(QRect(10, 0, 2 * radius, 2 * radius + 20));
    paintPins(painter, pins);
}

void paintDiskPlate(QPainter& painter, int radius, const std::vector<PlateLine>& spindle,
                    const std::vector<PinMark>& pins) {
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setPen(QPen(Qt::black, kPlatePenWidth));
    painter.setBrush(toColor(kPlateFace));
    painter.drawEllipse(QRectF(10, 10, 2 * radius, 2 * radius));
    painter.setPen(QPen(toColor(kSpindleColour), kPlatePenWidth));
    for (const PlateLine& line : spindle) painter.drawLine(line.x1, line.y1, line.x2, line.y2);
    paintPins(painter, pins);
}

}  // namespace tunecase
