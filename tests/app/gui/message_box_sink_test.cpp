#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QMessageBox>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <thread>

#include "app/gui/message_box_sink.h"
#include "support/qt_test_app.h"

namespace tunecase {
namespace {

TEST(MessageBoxSink, ReportsFromAWorkerAreShownOnTheUiThreadAndTheWorkerWaitsForTheAnswer) {
    testing::qtTestApp();
    std::vector<Report> shown;
    std::vector<bool> onUiThread;
    ScopedMessageBoxSink boxes([&](const Report& r) {
        shown.push_back(r);
        onUiThread.push_back(QThread::currentThread() == qApp->thread());
        return r.kind == BoxKind::OkCancel ? Answer::Cancel : Answer::Ok;
    });

    EXPECT_EQ(reportText("here", BoxKind::Ok), Answer::Ok);

    std::atomic<int> answered{0};
    Answer workerAnswer = Answer::Ok;
    std::thread worker([&] {
        reportCodedText("MDTK", 0x0D000001, "x", "/p");
        workerAnswer = reportText("Continue?", BoxKind::OkCancel);
        answered = 1;
    });
    // The worker cannot go on until the UI thread has shown both boxes.
    for (int i = 0; i < 2000 && !answered; ++i) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    worker.join();
    ASSERT_EQ(shown.size(), 3u);
    EXPECT_EQ(onUiThread, (std::vector<bool>{true, true, true}));
    EXPECT_EQ(shown[1].visible, "MDTK0D000001 x [/p]");
    EXPECT_EQ(shown[1].kind, BoxKind::SystemModalOk);
    EXPECT_EQ(shown[2].kind, BoxKind::OkCancel);
    EXPECT_EQ(workerAnswer, Answer::Cancel);
}

// Clicks `which` on the first message box that opens.
void answerNextBox(QMessageBox::StandardButton which, QString* text, QMessageBox::StandardButtons* buttons) {
    QTimer::singleShot(20, [=] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* box = qobject_cast<QMessageBox*>(w);
            if (!box || !box->isVisible()) continue;
            *text = box->text();
            *buttons = box->standardButtons();
            box->button(which)->click();
            return;
        }
        answerNextBox(which, text, buttons);
    });
}

TEST(MessageBoxSink, RealBoxesShowTheTextAndTheButtonsOfTheirKind) {
    testing::qtTestApp();
    ScopedMessageBoxSink boxes;
    QString text;
    QMessageBox::StandardButtons buttons;

    answerNextBox(QMessageBox::Cancel, &text, &buttons);
    EXPECT_EQ(reportText("Song list is empty. Do you want to create a song list automatically?", BoxKind::OkCancel),
              Answer::Cancel);
    EXPECT_EQ(text, "Song list is empty. Do you want to create a song list automatically?");
    EXPECT_EQ(buttons, QMessageBox::Ok | QMessageBox::Cancel);

    answerNextBox(QMessageBox::Ok, &text, &buttons);
    EXPECT_EQ(reportText("Continue?", BoxKind::OkCancel), Answer::Ok);

    answerNextBox(QMessageBox::Ok, &text, &buttons);
    reportCodedText("GENE", 0x01000007, "Cant open file!", "/x/setup.ini");
    EXPECT_EQ(text, "GENE01000007 Cant open file! [/x/setup.ini]");
    EXPECT_EQ(buttons, QMessageBox::Ok);

    // A beep opens no box.
    EXPECT_EQ(reportText("", BoxKind::Beep), Answer::Ok);
}

}  // namespace
}  // namespace tunecase
