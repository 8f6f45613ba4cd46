#include "controls/gui/button_picture.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <map>
#include <tuple>

#include "base/reporter.h"
#include "base/translation.h"

namespace tunecase {

namespace {

QColor toColor(const Rgb& c) { return QColor(c.r, c.g, c.b); }

struct FaceStyle {
    QColor top;
    QColor bottom;
    QColor rim;
    bool grain;   // wood grain lines
    bool sunken;  // the pressed face: shadow along the top edge, light below
};

FaceStyle faceStyle(int face) {
    switch (face) {
        case FacePressed: return {QColor(150, 112, 48), QColor(204, 170, 96), QColor(96, 68, 24), false, true};
        case FaceTransport: return {QColor(206, 152, 96), QColor(138, 88, 46), QColor(92, 56, 26), true, false};
        case FaceHide: return {QColor(214, 218, 196), QColor(150, 158, 134), QColor(86, 92, 72), false, false};
        case FacePlain:
        default: return {QColor(236, 208, 128), QColor(176, 136, 62), QColor(112, 82, 30), false, false};
    }
}

// A rounded metal or wooden plate with a rim, a highlight and, for wood, a few grain lines.
QImage paintFace(int face, QSize size) {
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    if (size.isEmpty()) return image;
    const FaceStyle style = faceStyle(face);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF plate = QRectF(0.5, 0.5, size.width() - 1.0, size.height() - 1.0);
    const qreal radius = std::min<qreal>(6.0, size.height() / 3.0);
    QPainterPath outline;
    outline.addRoundedRect(plate, radius, radius);
    QLinearGradient fill(0, 0, 0, size.height());
    fill.setColorAt(0.0, style.top);
    fill.setColorAt(1.0, style.bottom);
    p.fillPath(outline, fill);
    p.setClipPath(outline);
    if (style.grain) {
        p.setPen(QPen(style.rim.lighter(130), 1.0));
        for (int i = 0; i < 4; ++i) {
            const qreal y = size.height() * (0.22 + 0.19 * i);
            QPainterPath line;
            line.moveTo(0, y);
            line.cubicTo(size.width() * 0.3, y - 2.0, size.width() * 0.6, y + 2.5, size.width(), y - 1.0);
            p.drawPath(line);
        }
    }
    if (style.sunken) {
        p.setPen(QPen(QColor(0, 0, 0, 90), 2.0));
        p.drawLine(QPointF(2, 2), QPointF(size.width() - 2, 2));
        p.drawLine(QPointF(2, 2), QPointF(2, size.height() - 2));
    } else {
        p.setPen(QPen(QColor(255, 255, 255, 150), 1.5));
        p.drawLine(QPointF(radius, 2), QPointF(size.width() - radius, 2));
    }
    p.setClipping(false);
    p.setPen(QPen(style.rim, 1.0));
    p.setBrush(Qt::NoBrush);
    p.drawPath(outline);
    return image;
}

}  // namespace

const QImage& buttonFace(int face, QSize size) {
    static std::map<std::tuple<int, int, int>, QImage> cache;
    auto key = std::make_tuple(face, size.width(), size.height());
    auto it = cache.find(key);
    if (it == cache.end()) it = cache.emplace(key, paintFace(face, size)).first;
    return it->second;
}

void drawPictureButton(QImage& target, const QImage& face, const QString& label,
                       const QColor& textColour, const QFont& font) {
    if (target.isNull()) {
        offScreenPictureError(ospc::DrawingError);
        return;
    }
    QPainter p(&target);
    p.fillRect(target.rect(), Qt::white);
    p.drawImage(0, 0, face);
    p.setPen(textColour);
    p.setFont(font);
    p.drawText(QRect(QPoint(kLabelLeft, kLabelTop), QPoint(kLabelRight - 1, kLabelBottom - 1)),
               Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, label);
}

// ---- PictureButtonRow ---------------------------------------------------------------------

PictureButtonRow::PictureButtonRow(int group, Handler click, Handler release)
    : group_(group),
      click_(std::move(click)),
      release_(std::move(release)),
      enabledText_(toColor(kButtonTextEnabled)),
      disabledText_(toColor(kButtonTextDisabled)) {}

PictureButtonRow::~PictureButtonRow() { release(); }

namespace {

// Every picture button's label is translated here, at one place, whoever gives it.
QString translatedLabel(const QString& label) {
    const QByteArray id = label.toUtf8();
    return QString::fromUtf8(tunecase::tr(id.constData()));
}

}  // namespace

int PictureButtonRow::add(COffScreenControl* control, const QRect& rect, const QString& label,
                          int normalFace, int pressedFace, int fontHeight) {
    const int index = count();
    Button b;
    b.control = control;
    b.label = translatedLabel(label);
    control->setButtonLike(true);
    control->setAccessibleName(b.label.trimmed());
    b.normalFace = normalFace;
    b.pressedFace = pressedFace;
    b.fontHeight = fontHeight;
    b.enabled = control->isEnabled();
    b.picture = QImage(rect.size(), QImage::Format_ARGB32_Premultiplied);
    buttons_.push_back(std::move(b));

    control->setGeometry(rect);
    control->setId(index);
    control->setGroup(group_);
    // The control reports group * 256 + index; the row only needs the index back.
    auto indexOf = [](int reported) { return reported & 0xFF; };
    control->setCallbacks([this, indexOf](int, int, int id) { press(indexOf(id)); },
                          [this, indexOf](int, int, int id) { unpress(indexOf(id)); }, nullptr,
                          nullptr);
    control->setPaintHandler([this, index](QPainter& painter) {
        if (index < count()) painter.drawImage(0, 0, buttons_[index].picture);
    });
    redraw(index);
    control->show();
    return index;
}

const PictureButtonRow::Button* PictureButtonRow::button(int index) const {
    if (index < 0 || index >= count()) return nullptr;
    return &buttons_[index];
}

bool PictureButtonRow::setLabel(int index, const QString& text) {
    if (!button(index)) return false;
    buttons_[index].label = translatedLabel(text);
    if (buttons_[index].control) buttons_[index].control->setAccessibleName(buttons_[index].label.trimmed());
    redraw(index);
    return true;
}

bool PictureButtonRow::enable(int index, bool on) {
    if (!button(index)) return false;
    Button& b = buttons_[index];
    b.enabled = on;
    if (b.control) b.control->setEnabled(on);
    redraw(index);
    return true;
}

void PictureButtonRow::setEnabledTextColour(const QColor& colour) {
    enabledText_ = colour;
    for (int i = 0; i < count(); ++i) redraw(i);
}

void PictureButtonRow::redrawAll() {
    for (Button& b : buttons_)
        if (b.control) b.control->update();
}

bool PictureButtonRow::release() {
    bool inOrder = true;
    while (!buttons_.empty()) {
        Button& last = buttons_.back();
        if (last.control) last.control->clearHandlers();
        else inOrder = false;
        buttons_.pop_back();
    }
    return inOrder;
}

void PictureButtonRow::press(int index) {
    if (!button(index)) return;
    buttons_[index].pressed = 1;
    redraw(index);
    if (buttons_[index].control) buttons_[index].control->repaint();
    // Last: the handler may relabel, disable or even destroy this row.
    if (click_) click_(index);
}

void PictureButtonRow::unpress(int index) {
    if (!button(index)) return;
    buttons_[index].pressed = 0;
    redraw(index);
    if (buttons_[index].control) buttons_[index].control->repaint();
    if (release_) release_(index);
}

void PictureButtonRow::redraw(int index) {
    Button& b = buttons_[index];
    const QImage& face = buttonFace(b.pressed ? b.pressedFace : b.normalFace, b.picture.size());
    QFont font = b.control ? b.control->font() : QFont();
    if (b.fontHeight > 0) font.setPixelSize(b.fontHeight);
    drawPictureButton(b.picture, face, b.label, b.enabled ? enabledText_ : disabledText_, font);
    if (b.control) b.control->update();
}

// ---- CButtonPicture -----------------------------------------------------------------------

CButtonPicture::~CButtonPicture() { destroy(); }

void CButtonPicture::create(Handler click, Handler release, COffScreenControl* control,
                            const QRect& rect, const QString& label, int normalFace,
                            int pressedFace, int fontHeight) {
    destroy();
    row_ = std::make_unique<PictureButtonRow>(-1, std::move(click), std::move(release));
    row_->add(control, rect, label, normalFace, pressedFace, fontHeight);
}

int CButtonPicture::add(COffScreenControl* control, const QRect& rect, const QString& label,
                        int normalFace, int pressedFace, int fontHeight) {
    if (!row_) row_ = std::make_unique<PictureButtonRow>(-1, nullptr, nullptr);
    return row_->add(control, rect, label, normalFace, pressedFace, fontHeight);
}

void CButtonPicture::setLabel(int index, const QString& text) {
    if (row_) row_->setLabel(index, text);
}

void CButtonPicture::enable(int index, bool on) {
    if (row_) row_->enable(index, on);
}

void CButtonPicture::redrawAll() {
    if (row_) row_->redrawAll();
}

void CButtonPicture::destroy() {
    if (!row_) return;
    const bool inOrder = row_->release();
    row_.reset();
    if (!inOrder) reportText(kButtonPictureErrorText, BoxKind::Ok);
}

bool CButtonPicture::isPressed(int index) const {
    const auto* b = row_ ? row_->button(index) : nullptr;
    return b && b->pressed;
}

QString CButtonPicture::label(int index) const {
    const auto* b = row_ ? row_->button(index) : nullptr;
    return b ? b->label : QString();
}

QImage CButtonPicture::picture(int index) const {
    const auto* b = row_ ? row_->button(index) : nullptr;
    return b ? b->picture : QImage();
}

// ---- CMultiModalButtonPicture -------------------------------------------------------------

CMultiModalButtonPicture::~CMultiModalButtonPicture() { destroy(); }

PictureButtonRow* CMultiModalButtonPicture::row(int group) const {
    if (group < 0 || group >= kMaxButtonGroups) return nullptr;
    return rows_[group].get();
}

bool CMultiModalButtonPicture::createGroup(int group, Handler click, Handler release,
                                           COffScreenControl* control, const QRect& rect,
                                           const QString& label, int normalFace, int pressedFace,
                                           int fontHeight) {
    if (group < 0 || group >= kMaxButtonGroups) {
        reportText(kMultiModalButtonErrorText, BoxKind::Ok);
        return false;
    }
    destroyGroup(group);
    auto bind = [group](Handler h) -> PictureButtonRow::Handler {
        if (!h) return nullptr;
        return [h, group](int index) { h(index, group); };
    };
    rows_[group] = std::make_unique<PictureButtonRow>(group, bind(std::move(click)), bind(std::move(release)));
    rows_[group]->add(control, rect, label, normalFace, pressedFace, fontHeight);
    return true;
}

int CMultiModalButtonPicture::add(int group, COffScreenControl* control, const QRect& rect,
                                  const QString& label, int normalFace, int pressedFace,
                                  int fontHeight) {
    PictureButtonRow* r = row(group);
    if (!r || r->count() >= kMaxButtonsPerGroup) {
        reportText(kMultiModalButtonErrorText, BoxKind::Ok);
        return -1;
    }
    return r->add(control, rect, label, normalFace, pressedFace, fontHeight);
}

void CMultiModalButtonPicture::setLabel(int group, int index, const QString& text) {
    if (auto* r = row(group)) r->setLabel(index, text);
}

void CMultiModalButtonPicture::enable(int group, int index, bool on) {
    if (auto* r = row(group)) r->enable(index, on);
}

void CMultiModalButtonPicture::setEnabledTextColour(int group, const QColor& colour) {
    if (auto* r = row(group)) r->setEnabledTextColour(colour);
}

void CMultiModalButtonPicture::redrawAll() {
    for (auto& r : rows_)
        if (r) r->redrawAll();
}

void CMultiModalButtonPicture::destroyGroup(int group) {
    PictureButtonRow* r = row(group);
    if (!r) return;
    const bool inOrder = r->release();
    rows_[group].reset();
    if (!inOrder) reportText(kButtonPictureErrorText, BoxKind::Ok);
}

void CMultiModalButtonPicture::destroy() {
    for (int g = kMaxButtonGroups - 1; g >= 0; --g) destroyGroup(g);
}

int CMultiModalButtonPicture::count(int group) const {
    auto* r = row(group);
    return r ? r->count() : 0;
}

QImage CMultiModalButtonPicture::picture(int group, int index) const {
    auto* r = row(group);
    const auto* b = r ? r->button(index) : nullptr;
    return b ? b->picture : QImage();
}

void placePictureButtons(CButtonPicture& buttons, QWidget* parent, const ButtonPlace* places, int count,
                         CButtonPicture::Handler click, COffScreenControl** controls) {
    for (int i = 0; i < count; ++i) {
        const ButtonPlace& place = places[i];
        controls[i] = new COffScreenControl(parent);
        const QRect rect = rectFromEdges(place.left, place.top, place.right, place.bottom);
        if (i == 0)
            buttons.create(click, nullptr, controls[i], rect, place.label, FacePlain, FacePressed);
        else
            buttons.add(controls[i], rect, place.label, FacePlain, FacePressed);
    }
}

}  // namespace tunecase
