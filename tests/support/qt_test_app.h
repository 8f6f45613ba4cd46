// The QApplication of the widget tests, created on first use on the offscreen platform.
#pragma once

#include <QApplication>
#include <QColor>
#include <QElapsedTimer>
#include <QImage>
#include <QTest>
#include <QThread>
#include <cstdlib>
#include <functional>

namespace tunecase::testing {

inline QApplication& qtTestApp() {
    static QApplication* app = [] {
        if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
        static int argc = 1;
        static char name[] = "tunecase_gui_tests";
        static char* argv[] = {name, nullptr};
        // Never destroyed: widgets of other statics may outlive any order we choose.
        return new QApplication(argc, argv);
    }();
    return *app;
}

// Runs the window's thread until `done` holds or `seconds` pass; whether it holds.
inline bool pumpUntil(const std::function<bool()>& done, double seconds = 10) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < seconds * 1000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(2);
    }
    return done();
}
inline void pumpFor(int ms) { pumpUntil([] { return false; }, ms / 1000.0); }

// A click on a picture button's control: the left button pressed and released inside it.
inline void clickPicture(QWidget* control) {
    QTest::mousePress(control, Qt::LeftButton, {}, QPoint(8, 8));
    QTest::mouseRelease(control, Qt::LeftButton, {}, QPoint(8, 8));
}

// Pixels of `image` inside `area` whose colour is exactly `colour`.
inline int countPixels(const QImage& image, const QColor& colour, QRect area = {}) {
    if (area.isNull()) area = image.rect();
    area &= image.rect();
    const QRgb want = colour.rgb();
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if ((image.pixel(x, y) | 0xFF000000u) == (want | 0xFF000000u)) ++n;
    return n;
}

}  // namespace tunecase::testing
