#include "app/gui/plate_dlg.h"

#include <QPainter>
#include <QThread>

#include "app/gui/plate_painter.h"

namespace tunecase {

namespace {

std::atomic<PlateDlg*> currentPlate{nullptr};

}  // namespace

PlateDlg::PlateDlg(PlayerSettings* settings, PlateMotion* motion, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      settings_(settings),
      ownMotion_(motion ? nullptr : std::make_unique<PlateMotion>()),
      motion_(motion ? motion : ownMotion_.get()) {
    setWindowTitle(kCaption);
    setAttribute(Qt::WA_OpaquePaintEvent);
    currentPlate = this;
    // Never cleared as a whole afterwards: each paint covers the plate, and the corners
    // keep the window's own colour from here.
    backBuffer_ = QImage(kPlateBufferSize.width, kPlateBufferSize.height, QImage::Format_RGB32);
    if (backBuffer_.isNull()) offScreenPictureError(ospc::DrawingError);
    else backBuffer_.fill(palette().window().color());
    timer_.setInterval(kTimerMs);
    connect(&timer_, &QTimer::timeout, this, &PlateDlg::advance);
    initialised_ = true;
}

PlateDlg::~PlateDlg() {
    timer_.stop();
    keyboard_.reset();
    PlateDlg* self = this;
    currentPlate.compare_exchange_strong(self, nullptr);
}

PlateDlg* PlateDlg::current() { return currentPlate.load(); }

QSize PlateDlg::sizeForPlate(int32_t plateType) {
    const PlateLayout layout = plateLayout(plateType);
    return QSize(layout.client.width, layout.client.height);
}

int32_t PlateDlg::plateType() const { return settings_ ? settings_->plateType : PlateNone; }

void PlateDlg::fitToPlate() {
    const PlateLayout layout = plateLayout(plateType());
    radius_ = layout.radius;
    keyboard_.reset();
    if (!layout.keys.empty()) {
        keyboard_ = std::make_unique<CKeyboardPicture>(
            this, QRect(0, 0, layout.keyboard.width, layout.keyboard.height), layout.keys.first,
            layout.keys.last);
    }
    // Only the size changes; the window stays where the user put it.
    setFixedSize(layout.client.width, layout.client.height);
    setVisible(layout.visible);
    update();
}

void PlateDlg::startTimer() { timer_.start(); }

void PlateDlg::stopTimer() { timer_.stop(); }

void PlateDlg::advance() {
    motion_->advance(tickSource_ ? tickSource_() : 0);
    update();
}

void PlateDlg::setSong(std::vector<PlateNote> notes, int32_t displayLength) {
    notes_ = std::move(notes);
    motion_->setDisplayLength(displayLength);
    update();
}

void PlateDlg::onSongEvent(PlateEventKind kind, int note, int32_t time, bool nextIsNoteOnSameTime) {
    const PlateEventEffect effect = plateEventEffect(plateType(), kind, note, nextIsNoteOnSameTime);
    if (effect.pressKey >= 0) pressKey(effect.pressKey);
    if (effect.releaseKey >= 0) releaseKey(effect.releaseKey);
    motion_->songTime = time;
    if (effect.turn) {
        motion_->noteSounded(time);
        requestRepaint();
    }
}

void PlateDlg::pressKey(int note) {
    if (keyboard_) keyboard_->pressKey(note);
}

void PlateDlg::releaseKey(int note) {
    if (keyboard_) keyboard_->releaseKey(note);
}

void PlateDlg::releaseAll() {
    if (keyboard_) keyboard_->releaseAll();
}

void PlateDlg::requestRepaint() {
    if (QThread::currentThread() == thread()) update();
    else QMetaObject::invokeMethod(this, [this] { update(); }, Qt::QueuedConnection);
}

const QImage& PlateDlg::renderPlate() {
    if (backBuffer_.isNull()) return backBuffer_;
    const int32_t length = motion_->displayLength.load();
    if (plateType() == PlatePaper) {
        paintPaperPlate(backBuffer_, radius_, paperPins(notes_, radius_, length, motion_->songTime.load()));
    } else {
        // k follows the song's length; the player's timer thread reads it for the angle.
        motion_->k = radiansPerTick(length);
        const double theta = motion_->theta.load();
        paintDiskPlate(backBuffer_, radius_, spindleLines(radius_, theta),
                       diskPins(notes_, radius_, length, theta, motion_->isPlaying.load() == 1));
    }
    return backBuffer_;
}

void PlateDlg::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (radius_ <= 0) {
        // The toy pianos: the keyboard control paints itself over this.
        painter.fillRect(rect(), palette().window());
        return;
    }
    const QImage& buffer = renderPlate();
    if (buffer.isNull()) {
        offScreenPictureError(ospc::DrawingError);
        return;
    }
    painter.drawImage(0, 0, buffer);
}

}  // namespace tunecase
