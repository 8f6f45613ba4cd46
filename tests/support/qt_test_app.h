// The QApplication of the widget tests, created on first use on the offscreen platform.
#pragma once

#include <QApplication>
#include <QColor>
#include <QImage>
#include <cstdlib>

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
