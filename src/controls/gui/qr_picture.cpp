#include "controls/gui/qr_picture.h"

#include <QPainter>

#include "base/reporter.h"
#include "qr/qr_drawing.h"

namespace tunecase {

CQrPicture::~CQrPicture() {
    if (control_) control_->clearHandlers();
}

void CQrPicture::create(COffScreenControl* control, const QRect& rect, int margin) {
    if (control_) control_->clearHandlers();
    control_ = control;
    rect_ = rect;
    margin_ = margin;
    text_.clear();
    picture_ = QImage(rect.size(), QImage::Format_RGB32);
    picture_.fill(Qt::white);
    if (!control_) return;
    control_->setGeometry(rect);
    control_->setPaintHandler([this](QPainter& painter) { painter.drawImage(0, 0, picture_); });
    control_->show();
    control_->update();
}

void CQrPicture::setText(const std::string& text) {
    text_ = text.substr(0, kMaxText);
    draw();
    if (control_) control_->update();
}

void CQrPicture::redrawAll() {
    if (control_) control_->repaint();
}

void CQrPicture::draw() {
    const QrRaster raster = drawQrText(text_, rect_.width(), rect_.height(), margin_);
    picture_ = QImage(rect_.size(), QImage::Format_RGB32);
    if (picture_.isNull()) return;
    picture_.fill(Qt::white);
    if (raster.beep) reportText("", BoxKind::Beep);
    const QRgb black = qRgb(0, 0, 0);
    for (int y = 0; y < raster.height && y < picture_.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(picture_.scanLine(y));
        const uint8_t* dark = raster.black.data() + static_cast<size_t>(y) * static_cast<size_t>(raster.width);
        for (int x = 0; x < raster.width && x < picture_.width(); ++x)
            if (dark[x]) line[x] = black;
    }
}

}  // namespace tunecase
