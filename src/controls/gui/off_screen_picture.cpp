#include "controls/gui/off_screen_picture.h"

namespace tunecase {

bool COffScreenPicture::create(int width, int height, const QColor& fill) {
    image_ = QImage();
    if (width > 0 && height > 0) image_ = QImage(width, height, QImage::Format_RGB32);
    if (image_.isNull()) {
        error(ospc::DrawingError);
        return false;
    }
    image_.fill(fill);
    return true;
}

bool COffScreenPicture::drawable() const {
    if (!image_.isNull()) return true;
    error(ospc::DrawingError);
    return false;
}

void COffScreenPicture::fill(const QColor& colour) {
    if (drawable()) image_.fill(colour);
}

void COffScreenPicture::drawBusyRing(int phase, const BusyRingColours& colours) {
    if (!drawable()) return;
    const BusyRingFrame frame = busyRingFrame(width(), height(), phase, colours);
    image_.fill(QColor(colours.background.r, colours.background.g, colours.background.b));
    for (const RingPixel& p : frame.pixels)
        if (image_.valid(p.x, p.y)) image_.setPixel(p.x, p.y, qRgb(p.colour.r, p.colour.g, p.colour.b));
    if (frame.centreDot) {
        QPainter painter(&image_);
        const QColor centre(colours.centre.r, colours.centre.g, colours.centre.b);
        painter.setPen(centre);
        painter.setBrush(centre);
        painter.drawEllipse(QPoint(frame.centreX, frame.centreY), frame.centreRadius, frame.centreRadius);
    }
}

void COffScreenPicture::copyTo(QPainter& painter, int x, int y) const {
    if (drawable()) painter.drawImage(x, y, image_);
}

}  // namespace tunecase
