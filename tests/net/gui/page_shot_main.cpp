// One web page in the embedded browser at a phone's width, saved as a picture: the song
// server's pages as a phone shows them (tests/e2e/upload_page.sh).
//
// usage: tunecase_page_shot URL OUT.png [WIDTH [HEIGHT]]
// Exits 1 when the page does not load within 20 s.
#include <unistd.h>

#include <QApplication>
#include <QTimer>
#include <QWebEngineView>

int main(int argc, char** argv) {
    if (argc < 3) return 2;
    // Chromium's sandbox refuses to start as root (test machines).
    if (geteuid() == 0 && qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QApplication app(argc, argv);
    const QString out = QString::fromLocal8Bit(argv[2]);
    const int width = argc > 3 ? std::atoi(argv[3]) : 390;
    const int height = argc > 4 ? std::atoi(argv[4]) : 844;
    QWebEngineView view;
    view.resize(width, height);
    view.show();
    int status = 1;
    QObject::connect(&view, &QWebEngineView::loadFinished, [&](bool ok) {
        if (!ok) return app.exit(1);
        // A moment for the layout and the player's controls to be drawn.
        QTimer::singleShot(1500, [&] {
            status = view.grab().save(out) ? 0 : 1;
            app.exit(status);
        });
    });
    QTimer::singleShot(20000, [&] { app.exit(1); });
    view.load(QUrl(QString::fromLocal8Bit(argv[1])));
    return app.exec() == 0 ? status : 1;
}
