// CQrDlg: uploads one Standard MIDI File to the upload server and shows the key it answers
// with as a QR code, for a phone to fetch the file; from our own server the code carries the
// song page's address instead. What the code carries is shown as text under it, with a
// button that copies it. The stored file is deleted from the
// server when the dialog closes or another upload starts. Requests run off the window's
// thread.
#pragma once

#include <QDialog>
#include <QPlainTextEdit>
#include <QPushButton>
#include <optional>
#include <string>

#include "controls/gui/button_picture.h"
#include "controls/gui/qr_picture.h"
#include "base/job_runner.h"
#include "controls/gui/window_post.h"
#include "net/song_server_client.h"
#include "base/translation.h"

namespace tunecase {

inline constexpr const char* kQrCloseLabel = N_("    CLOSE");
inline constexpr const char* kQrCopyLabel = N_("Copy");

class CQrDlg : public QDialog {
    Q_OBJECT
public:
    struct Options {
        std::optional<ServerAddress> server;  // from the server settings file when not set
        NetTimeouts timeouts;
    };

    static constexpr int kCloseDelayMs = 100;
    static constexpr int kQrMargin = 10;

    // Starts the upload of `path` at once.
    explicit CQrDlg(std::string path, QWidget* parent = nullptr, Options options = {});
    ~CQrDlg() override;

    // The modal dialog for the song list editor's work file.
    static void run(const std::string& path, QWidget* parent = nullptr);

    // Uploads `path`, deleting the song stored before; after the request that runs, if any.
    void upload(const std::string& path);
    // CLOSE after its short wait: deletes the stored song, then closes.
    void closeAndDelete();

    bool isBusy() const { return job_.busy(); }
    // The key of the song stored on the server; "" when none. Window's thread, when not busy.
    const std::string& serverKey() const { return key_; }
    const CQrPicture& qrPicture() const { return qr_; }
    COffScreenControl* qrControl() const { return qrControl_; }
    COffScreenControl* buttonControl() const { return closeControl_; }
    const CButtonPicture& buttons() const { return button_; }
    // What the code carries ("" when nothing is stored), as the text under it shows it.
    QPlainTextEdit* addressField() const { return address_; }
    QPushButton* copyButton() const { return copy_; }

    // Escape and the window's close button close as CLOSE does.
    void reject() override;

private:
    void uploadFinished();
    void startPending();

    SongUploader uploader_;
    std::string key_;
    std::optional<std::string> pendingUpload_;
    bool closePending_ = false;

    COffScreenControl* qrControl_ = nullptr;
    CQrPicture qr_;
    COffScreenControl* closeControl_ = nullptr;
    CButtonPicture button_;
    QPlainTextEdit* address_ = nullptr;
    QPushButton* copy_ = nullptr;
    // Last: its workers end before anything they use goes.
    JobRunner job_{windowPost(this)};
};

}  // namespace tunecase
