#include "app/gui/message_box_sink.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QThread>

#include "base/translation.h"

namespace tunecase {

MessageBoxSink::MessageBoxSink(std::function<Answer(const Report&)> present)
    : present_(present ? std::move(present) : &MessageBoxSink::showMessageBox) {}

Answer MessageBoxSink::show(const Report& report) {
    QCoreApplication* app = QCoreApplication::instance();
    if (!app) {
        StderrSink fallback;
        return fallback.show(report);
    }
    if (QThread::currentThread() == thread()) return present_(report);
    // A worker waits for the answer; the box itself belongs to the UI thread.
    Answer answer = Answer::Ok;
    QMetaObject::invokeMethod(
        this, [this, &report] { return present_(report); }, Qt::BlockingQueuedConnection, &answer);
    return answer;
}

Answer MessageBoxSink::showMessageBox(const Report& report) {
    if (report.kind == BoxKind::Beep) {
        QApplication::beep();
        return Answer::Ok;
    }
    QMessageBox box;
    box.setWindowTitle(kBoxTitle);
    box.setText(QString::fromStdString(report.visible));
    if (!report.reason.empty()) box.setInformativeText(QString::fromStdString(report.reason));
    switch (report.kind) {
        case BoxKind::SystemModalOk:
            // The closest Qt has to a system-modal box: modal to the application and on top.
            box.setIcon(QMessageBox::Warning);
            box.setWindowFlag(Qt::WindowStaysOnTopHint);
            box.setStandardButtons(QMessageBox::Ok);
            break;
        case BoxKind::OkCancel:
            box.setIcon(QMessageBox::Question);
            box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
            box.setDefaultButton(QMessageBox::Ok);
            box.setEscapeButton(QMessageBox::Cancel);
            break;
        default:
            box.setIcon(QMessageBox::Information);
            box.setStandardButtons(QMessageBox::Ok);
            break;
    }
    // The buttons speak the same language as the text.
    if (QAbstractButton* ok = box.button(QMessageBox::Ok)) ok->setText(QString::fromUtf8(tunecase::tr("OK")));
    if (QAbstractButton* cancel = box.button(QMessageBox::Cancel))
        cancel->setText(QString::fromUtf8(tunecase::tr("Cancel")));
    box.setWindowModality(Qt::ApplicationModal);
    const int result = box.exec();
    if (report.kind != BoxKind::OkCancel) return Answer::Ok;
    return result == QMessageBox::Ok ? Answer::Ok : Answer::Cancel;
}

}  // namespace tunecase
