// The upload dialog against our own server on loopback: the stored file, its page's address
// read back from the QR picture by zbarimg and shown under it, the delete when a new upload starts and when the dialog
// closes, and the two messages.
#include <gtest/gtest.h>

#include <QClipboard>
#include <QGuiApplication>
#include <QTest>

#include "base/reporter.h"
#include "qr/qr_test_util.h"
#include "net/gui/net_gui_test_support.h"
#include "net/gui/qr_dlg.h"
#include "support/qt_test_app.h"

namespace tunecase {
namespace {

using testing::pumpUntil;
using testing::readFileBytes;

class QrDlgTest : public ::testing::Test {
protected:
    QrDlgTest() {
        testing::qtTestApp();
        testing::writeFileBytes(first, {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0, 96, 1, 2, 3});
        testing::writeFileBytes(second, {'M', 'T', 'h', 'd', 9, 8, 7});
    }
    std::unique_ptr<CQrDlg> open(const std::string& path, ServerAddress address) {
        auto dialog = std::make_unique<CQrDlg>(path, nullptr, CQrDlg::Options{address, {}});
        dialog->show();
        EXPECT_TRUE(pumpUntil([&] { return !dialog->isBusy(); }));
        return dialog;
    }
    // What zbarimg reads from the dialog's QR picture, drawn four times larger.
    std::string decoded(const CQrDlg& dialog) {
        const std::string png = dir.file("qr.png");
        dialog.qrPicture().picture().scaled(480, 480).save(QString::fromStdString(png));
        return testing::zbarTexts({png})[png];
    }

    testing::TempFolder dir;
    const std::string first = dir.file("tmp_upload.MID");
    const std::string second = dir.file("other.mid");
    ScopedCapture boxes;
};

TEST_F(QrDlgTest, ShowsTheKeyAsAQrCodeAndDeletesTheUploadWhenReplacedOrClosed) {
    if (!testing::haveZbarimg()) GTEST_SKIP() << "zbarimg is missing";
    testing::LoopbackSongServer server({});
    auto dialog = open(first, server.address());
    const std::string key = dialog->serverKey();
    ASSERT_FALSE(key.empty());
    EXPECT_EQ(dialog->qrControl()->geometry(), QRect(10, 10, 120, 120));
    EXPECT_EQ(dialog->qrPicture().margin(), 10);
    EXPECT_EQ(dialog->buttons().label(0), "    CLOSE");
    // The server keeps the bytes under the key; our server's answer makes the picture read
    // back as the song page's address, which the field under it shows and COPY copies.
    ASSERT_EQ(server.uploadedKeys(), std::vector<std::string>{key});
    EXPECT_EQ(server.uploadedBytes(key), readFileBytes(first));
    const std::string page = server.url("/s/" + key);
    EXPECT_EQ(decoded(*dialog), page);
    EXPECT_EQ(dialog->addressField()->toPlainText().toStdString(), page);
    ASSERT_TRUE(dialog->copyButton()->isEnabled());
    dialog->copyButton()->click();
    EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), page);

    dialog->upload(second);
    ASSERT_TRUE(pumpUntil([&] { return !dialog->isBusy(); }));
    const std::string next = dialog->serverKey();
    EXPECT_NE(next, key);
    EXPECT_EQ(server.uploadedKeys(), std::vector<std::string>{next});
    EXPECT_EQ(decoded(*dialog), server.url("/s/" + next));

    QTest::mousePress(dialog->buttonControl(), Qt::LeftButton, {}, QPoint(8, 8));
    QTest::mouseRelease(dialog->buttonControl(), Qt::LeftButton, {}, QPoint(8, 8));
    ASSERT_TRUE(pumpUntil([&] { return !dialog->isVisible(); }));
    EXPECT_TRUE(server.uploadedKeys().empty());
    EXPECT_EQ(boxes->count(), 0u);
}

TEST_F(QrDlgTest, ReportsAFileThatIsNotMidiAndAServerThatIsNotThere) {
    testing::LoopbackSongServer server({});
    const std::string text = dir.file("song.txt");
    testing::writeFileText(text, "not a song");
    auto refused = open(text, server.address());
    EXPECT_EQ(boxes->visibleTexts(), std::vector<std::string>{"Only a MIDI file (.mid) can be uploaded."});
    EXPECT_TRUE(server.uploadedKeys().empty());
    EXPECT_EQ(refused->serverKey(), "");
    // Nothing to show: the window does not stay open empty.
    EXPECT_FALSE(refused->isVisible());
    EXPECT_EQ(refused->result(), QDialog::Rejected);

    // Stored, then the server goes: the next upload fails, the picture is blank again and
    // the window closes.
    auto dialog = open(first, server.address());
    ASSERT_FALSE(dialog->serverKey().empty());
    ASSERT_TRUE(dialog->isVisible());
    server.server.reset();
    dialog->upload(first);
    ASSERT_TRUE(pumpUntil([&] { return !dialog->isBusy(); }));
    EXPECT_EQ(dialog->serverKey(), "");
    EXPECT_EQ(testing::countPixels(dialog->qrPicture().picture(), Qt::black), 0);
    // One for the delete of the stored song, one for the upload.
    const std::vector<std::string> texts = {"Only a MIDI file (.mid) can be uploaded.", "Communication with the server failed.",
                                            "Communication with the server failed."};
    EXPECT_EQ(boxes->visibleTexts(), texts);
    EXPECT_FALSE(dialog->isVisible());
}

}  // namespace
}  // namespace tunecase
