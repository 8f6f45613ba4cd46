#include "controls/gui/off_screen_control.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QFile>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QUrl>

#include "controls/gui/native_paths.h"
#include "controls/picture_controls.h"

namespace tunecase {

namespace {

// Calls a copy of the callback: the handler may clear the control's handlers (its group
// is being destroyed) while it runs.
template <typename Callback, typename... Args>
void callIfSet(const Callback& callback, Args&&... args) {
    if (!callback) return;
    Callback copy = callback;
    copy(std::forward<Args>(args)...);
}

// The single local file of a drop, or "" when the drop holds anything else.
QString singleDroppedFile(const QMimeData* mime) {
    if (!mime || !mime->hasUrls()) return {};
    const QList<QUrl> urls = mime->urls();
    if (urls.size() != 1 || !urls.front().isLocalFile()) return {};
    return urls.front().toLocalFile();
}

}  // namespace

COffScreenControl::COffScreenControl(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

int COffScreenControl::reportedId() const { return reportedControlId(id_, group_); }

void COffScreenControl::setCallbacks(MouseCallback onLeftDown, MouseCallback onLeftUp,
                                     MouseCallback onMouseMove, MouseCallback onDoubleClick) {
    onLeftDown_ = std::move(onLeftDown);
    onLeftUp_ = std::move(onLeftUp);
    onMouseMove_ = std::move(onMouseMove);
    onDoubleClick_ = std::move(onDoubleClick);
    // Moves are wanted without a held button only when someone listens to them.
    setMouseTracking(static_cast<bool>(onMouseMove_));
}

void COffScreenControl::setRightDown(MouseCallback onRightDown) { onRightDown_ = std::move(onRightDown); }

void COffScreenControl::setDropHandler(DropCallback onDropFile) {
    onDropFile_ = std::move(onDropFile);
    setAcceptDrops(static_cast<bool>(onDropFile_));
}

void COffScreenControl::setPaintHandler(PaintHandler paint) {
    paint_ = std::move(paint);
    update();
}

void COffScreenControl::clearHandlers() {
    onLeftDown_ = onLeftUp_ = onMouseMove_ = onDoubleClick_ = onRightDown_ = nullptr;
    onDropFile_ = nullptr;
    paint_ = nullptr;
    setMouseTracking(false);
    setAcceptDrops(false);
}

void COffScreenControl::mousePressEvent(QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    if (event->button() == Qt::LeftButton) {
        pressed_ = 1;
        callIfSet(onLeftDown_, p.x(), p.y(), reportedId());
    } else if (event->button() == Qt::RightButton) {
        callIfSet(onRightDown_, p.x(), p.y(), reportedId());
    }
    QWidget::mousePressEvent(event);
}

void COffScreenControl::mouseReleaseEvent(QMouseEvent* event) {
    // Qt keeps sending a held button's events to the widget it was pressed on; a release
    // after sliding off has already been reported and must not count twice.
    if (event->button() == Qt::LeftButton && pressed_) {
        const QPoint p = event->position().toPoint();
        pressed_ = 0;
        callIfSet(onLeftUp_, p.x(), p.y(), reportedId());
    }
    QWidget::mouseReleaseEvent(event);
}

void COffScreenControl::mouseMoveEvent(QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    if (!rect().contains(p)) {
        // With the button held Qt still delivers moves outside: that is the slide-off.
        if (pressed_) slideOff();
    } else if (onMouseMove_) {
        callIfSet(onMouseMove_, p.x(), p.y(), reportedId());
    }
    QWidget::mouseMoveEvent(event);
}

void COffScreenControl::mouseDoubleClickEvent(QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    if (event->button() == Qt::LeftButton) callIfSet(onDoubleClick_, p.x(), p.y(), reportedId());
    QWidget::mouseDoubleClickEvent(event);
}

void COffScreenControl::leaveEvent(QEvent* event) {
    if (pressed_) slideOff();
    QWidget::leaveEvent(event);
}

void COffScreenControl::slideOff() {
    pressed_ = 0;
    callIfSet(onLeftUp_, -1, -1, reportedId());
}

void COffScreenControl::dragEnterEvent(QDragEnterEvent* event) {
    if (onDropFile_ && event->mimeData()->hasUrls()) event->acceptProposedAction();
    else QWidget::dragEnterEvent(event);
}

void COffScreenControl::dropEvent(QDropEvent* event) {
    const QString path = singleDroppedFile(event->mimeData());
    if (onDropFile_ && !path.isEmpty()) {
        event->acceptProposedAction();
        callIfSet(onDropFile_, nativePath(path), id_);
        return;
    }
    QWidget::dropEvent(event);
}

void COffScreenControl::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (paint_) paint_(painter);
    else painter.fillRect(rect(), palette().window());
    if (buttonLike_ && hasFocus()) {
        // Dark and light dashes: visible on every face, pressed or not.
        const QRect ring = rect().adjusted(2, 2, -3, -3);
        painter.setBrush(Qt::NoBrush);
        painter.setPen(QPen(Qt::white, 1));
        painter.drawRect(ring);
        painter.setPen(QPen(palette().color(QPalette::Highlight).darker(150), 1, Qt::DashLine));
        painter.drawRect(ring);
    }
}

void COffScreenControl::setButtonLike(bool on) {
    buttonLike_ = on;
    // Tab only: a click acts at once and leaves the focus where the keyboard had it.
    setFocusPolicy(on ? Qt::TabFocus : Qt::NoFocus);
    update();
}

void COffScreenControl::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    if (buttonLike_ && event->modifiers() == Qt::NoModifier &&
        (key == Qt::Key_Space || key == Qt::Key_Return || key == Qt::Key_Enter)) {
        event->accept();
        QPointer<COffScreenControl> self(this);
        pressed_ = 1;
        callIfSet(onLeftDown_, 1, 1, reportedId());
        // The press may have released this button, or closed its window.
        if (self && pressed_) {
            pressed_ = 0;
            callIfSet(onLeftUp_, 1, 1, reportedId());
        }
        return;
    }
    QWidget::keyPressEvent(event);
}

void COffScreenControl::focusInEvent(QFocusEvent* event) {
    update();
    QWidget::focusInEvent(event);
}

void COffScreenControl::focusOutEvent(QFocusEvent* event) {
    update();
    QWidget::focusOutEvent(event);
}

}  // namespace tunecase
