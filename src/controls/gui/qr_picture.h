// CQrPicture: a picture control that shows a text as a QR code (level M, the smallest
// version that fits, the best mask), drawn to fill the control inside a light margin.
#pragma once

#include <QImage>
#include <QPointer>
#include <QRect>
#include <string>

#include "controls/gui/off_screen_control.h"

namespace tunecase {

class CQrPicture {
public:
    // The longest text the picture keeps; anything after it is dropped.
    static constexpr size_t kMaxText = 1024;

    CQrPicture() = default;
    ~CQrPicture();
    CQrPicture(const CQrPicture&) = delete;
    CQrPicture& operator=(const CQrPicture&) = delete;

    // Places `control` at `rect` and shows a white picture there, to be drawn `margin`
    // pixels in from every edge. The control stays its parent's; the picture paints it.
    void create(COffScreenControl* control, const QRect& rect, int margin);

    // Keeps up to kMaxText bytes of `text` and redraws. A text that cannot be encoded
    // (empty, or too long for any version) leaves the picture white; a control too small
    // for its margins sounds the bell and stays white.
    void setText(const std::string& text);
    // Repaints the control from the off-screen picture.
    void redrawAll();

    const QImage& picture() const { return picture_; }
    const std::string& text() const { return text_; }
    int margin() const { return margin_; }
    COffScreenControl* control() const { return control_; }

private:
    void draw();

    QPointer<COffScreenControl> control_;
    QRect rect_;
    int margin_ = 0;
    std::string text_;
    QImage picture_;
};

}  // namespace tunecase
