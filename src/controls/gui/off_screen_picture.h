// COffScreenPicture: a picture drawn off screen and copied to its control when painted.
// Drawing failures raise the OSPC box (the drawing error only once until cleared).
#pragma once

#include <QColor>
#include <QImage>
#include <QPainter>

#include "controls/picture_controls.h"

namespace tunecase {

class COffScreenPicture {
public:
    // Makes a picture of `width` x `height` filled with `fill`. A size that cannot be
    // allocated raises the drawing error and leaves the picture empty; returns false.
    bool create(int width, int height, const QColor& fill = Qt::white);
    bool isNull() const { return image_.isNull(); }
    int width() const { return image_.width(); }
    int height() const { return image_.height(); }
    QImage& image() { return image_; }
    const QImage& image() const { return image_; }

    void fill(const QColor& colour);
    // One frame of the busy ring for phase 0..99: background, the ring of jittered pixels
    // with its bright head, and the centre dot on part of each cycle.
    void drawBusyRing(int phase, const BusyRingColours& colours = kBusyRingColours);
    // Copies the picture to `painter` at (x, y).
    void copyTo(QPainter& painter, int x = 0, int y = 0) const;

    // Raises an OSPC error (0 re-arms the once-only drawing error).
    static void error(uint32_t code) { offScreenPictureError(code); }

private:
    // True when there is something to draw into; otherwise raises the drawing error.
    bool drawable() const;

    QImage image_;
};

}  // namespace tunecase
