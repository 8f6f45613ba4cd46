#include "net/gui/qr_dlg.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QTimer>

namespace tunecase {

namespace {

const QRect kQrRect = rectFromEdges(10, 10, 130, 130);
const QRect kCloseRect = rectFromEdges(10, 140, 130, 167);
// Three lines of small type: a page's whole address, broken anywhere.
const QRect kAddressRect = rectFromEdges(10, 174, 130, 218);
const QRect kCopyRect = rectFromEdges(10, 222, 130, 246);

}  // namespace

CQrDlg::CQrDlg(std::string path, QWidget* parent, Options options)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      uploader_(options.server ? *options.server : loadServerSettings().settings.uploadServer, options.timeouts) {
    setFixedSize(140, 254);
    closeControl_ = new COffScreenControl(this);
    button_.create(
        [this](int) { QTimer::singleShot(kCloseDelayMs, this, [this] { closeAndDelete(); }); }, nullptr,
        closeControl_, kCloseRect, kQrCloseLabel, FacePlain, FacePressed);
    qrControl_ = new COffScreenControl(this);
    qr_.create(qrControl_, kQrRect, kQrMargin);
    address_ = new QPlainTextEdit(this);
    address_->setReadOnly(true);
    address_->setGeometry(kAddressRect);
    address_->setWordWrapMode(QTextOption::WrapAnywhere);
    address_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    address_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    address_->document()->setDocumentMargin(1);
    QFont small = address_->font();
    small.setPointSizeF(small.pointSizeF() * 0.8);
    address_->setFont(small);
    copy_ = new QPushButton(QString::fromUtf8(tunecase::tr(kQrCopyLabel)), this);
    copy_->setGeometry(kCopyRect);
    copy_->setEnabled(false);
    connect(copy_, &QPushButton::clicked, this,
            [this] { QGuiApplication::clipboard()->setText(address_->toPlainText()); });
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
    // (kUploadFailedText, or kUploadGeneralErrorText for a file that is not ".mid").
    job_.start([this, path](const JobRunner::Job&) { uploader_.upload(path); }, [this] { uploadFinished(); });
}

void CQrDlg::uploadFinished() {
    // The picture always shows the key held: after a failure the old song is gone from the
    // server too, so its code would lead nowhere.
    key_ = uploader_.key();
    qr_.setText(uploader_.qrText());
    address_->setPlainText(QString::fromStdString(uploader_.qrText()));
    copy_->setEnabled(!uploader_.qrText().empty());
    unsetCursor();
    // A failure has shown its box; a window with no code to show would only stand in the way.
    if (key_.empty() && !pendingUpload_ && !closePending_) {
        QDialog::done(QDialog::Rejected);
        return;
    }
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
