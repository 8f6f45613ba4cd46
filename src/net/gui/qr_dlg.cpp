#include "net/gui/qr_dlg.h"

#include <QTimer>

namespace tunecase {

namespace {

const QRect kQrRect = rectFromEdges(10, 10, 130, 130);
const QRect kCloseRect = rectFromEdges(10, 140, 130, 167);

}  // namespace

CQrDlg::CQrDlg(std::string path, QWidget* parent, Options options)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      uploader_(options.server ? *options.server : loadServerSettings().settings.uploadServer, options.timeouts) {
    setFixedSize(140, 177);
    closeControl_ = new COffScreenControl(this);
    button_.create(
        [this](int) { QTimer::singleShot(kCloseDelayMs, this, [this] { closeAndDelete(); }); }, nullptr,
        closeControl_, kCloseRect, kQrCloseLabel, FacePlain, FacePressed);
    qrControl_ = new COffScreenControl(this);
    qr_.create(qrControl_, kQrRect, kQrMargin);
    upload(path);
}

CQrDlg::~CQrDlg() {
    button_.destroy();
}

void CQrDlg::run(const std::string& path, QWidget* parent) {
    CQrDlg dialog(path, parent);
    dialog.exec();
}

void CQrDlg::upload(const std::string& path) {
    if (closePending_) return;
    if (job_.busy()) {
        pendingUpload_ = path;  // after the request that runs
        return;
    }
    setCursor(Qt::WaitCursor);
    // The uploader first deletes the song it holds, then sends the file; it shows the boxes
    // ("通信でエラーが発生しました。", "CQrDlg::ErrorMsg" for a file that is not ".mid").
    job_.start([this, path](const JobRunner::Job&) { uploader_.upload(path); }, [this] { uploadFinished(); });
}

void CQrDlg::uploadFinished() {
    // The picture always shows the key held: after a failure the old song is gone from the
    // server too, so its code would lead nowhere.
    key_ = uploader_.key();
    qr_.setText(key_);
    unsetCursor();
    startPending();
}

void CQrDlg::startPending() {
    if (closePending_) {
        closePending_ = false;
        closeAndDelete();
        return;
    }
    if (pendingUpload_) {
        const std::string next = std::move(*pendingUpload_);
        pendingUpload_.reset();
        upload(next);
    }
}

void CQrDlg::closeAndDelete() {
    if (job_.busy()) {
        closePending_ = true;  // after the request that runs
        pendingUpload_.reset();
        return;
    }
    if (uploader_.key().empty()) {
        accept();
        return;
    }
    setCursor(Qt::WaitCursor);
    job_.start([this](const JobRunner::Job&) { uploader_.release(); },
               [this] {
                   key_.clear();
                   accept();
               });
}

void CQrDlg::reject() { closeAndDelete(); }

}  // namespace tunecase
