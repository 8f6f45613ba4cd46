#include "controls/gui/keyboard_picture.h"

#include <QPainter>
#include <algorithm>
#include <QThread>

#include "base/reporter.h"

namespace tunecase {

namespace {

QColor toColor(const Rgb& c) { return QColor(c.r, c.g, c.b); }

// The outline lies inside the key: columns left..right-1, rows top..bottom-1.
void drawKey(QPainter& p, const KeyRect& key, const QColor& fill, const QColor& outline) {
    p.setPen(outline);
    p.setBrush(fill);
    p.drawRect(key.left, key.top, key.right - key.left - 1, key.bottom - key.top - 1);
}

}  // namespace

CKeyboardPicture::CKeyboardPicture(QWidget* parent, const QRect& area, int firstNote, int lastNote)
    : control_(new COffScreenControl(parent)),
      rawControl_(control_),
      keys_(keyboardLayout(firstNote, lastNote, area.width(), area.height())),
      size_(area.size()) {
    control_->setGeometry(area);
    control_->setId(0);
    // The keyboard only shows notes; a click on a control that lost its id is a wiring fault.
    control_->setCallbacks(
        [](int, int, int id) {
            if (id == -1) reportText(kKeyboardCallbackErrorText, BoxKind::Ok);
        },
        nullptr, nullptr, nullptr);
    control_->setPaintHandler([this](QPainter& painter) { painter.drawImage(0, 0, render()); });
    control_->show();
}

CKeyboardPicture::~CKeyboardPicture() {
    if (control_) {
        control_->clearHandlers();
        delete control_.data();
    } else {
        // Its window went first: the owner tore things down in the wrong order.
        reportText(kKeyboardPictureErrorText, BoxKind::Ok);
    }
}

void CKeyboardPicture::pressKey(int note) {
    held_.press(note);
    requestRedraw();
}

void CKeyboardPicture::releaseKey(int note) {
    held_.release(note);
    requestRedraw();
}

void CKeyboardPicture::releaseAll() {
    held_.releaseAll();
    requestRedraw();
}

void CKeyboardPicture::redraw() {
    if (control_) control_->repaint();
}

void CKeyboardPicture::requestRedraw() {
    if (QThread::currentThread() == rawControl_->thread()) {
        if (control_) control_->update();
        return;
    }
    QMetaObject::invokeMethod(rawControl_, [c = rawControl_] { c->update(); }, Qt::QueuedConnection);
}

QImage CKeyboardPicture::render() const {
    QImage image(size_, QImage::Format_RGB32);
    if (image.isNull()) return image;
    image.fill(toColor(kKeyboardBackground));
    const std::vector<int> held = held_.snapshot();
    auto isHeld = [&held](int note) { return std::find(held.begin(), held.end(), note) != held.end(); };
    QPainter p(&image);
    for (const KeyRect& key : keys_)
        if (!key.black) drawKey(p, key, isHeld(key.note) ? toColor(kHeldWhiteKey) : QColor(Qt::white), Qt::black);
    for (const KeyRect& key : keys_)
        if (key.black) drawKey(p, key, isHeld(key.note) ? toColor(kHeldBlackKey) : QColor(Qt::black), Qt::white);
    return image;
}

}  // namespace tunecase
