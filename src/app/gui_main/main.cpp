// The desktop player: a short pause, then the player window until it closes.
#include <QApplication>
#include <QTimer>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "app/gui/message_box_sink.h"
#include "app/gui/termination_signals.h"
#include "app/gui/tunecase_app.h"
#include "base/utilities.h"

int main(int argc, char** argv) {
    QApplication qtApp(argc, argv);
    qtApp.setApplicationName("Tunecase");
    // Desktops match the window to the installed menu entry and icon by this name.
    QGuiApplication::setDesktopFileName("org.tunecase.Tunecase");
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    tunecase::ScopedMessageBoxSink boxes;
    tunecase::seedRandom();
    tunecase::applyDiagnosticEnvironment();

    tunecase::TunecaseApp app;
    // Diagnostic: press START as soon as the window runs (whole-window checks).
    if (const char* autostart = std::getenv("TUNECASE_AUTOSTART"); autostart && *autostart == '1')
        QTimer::singleShot(0, &app.window(), [&app] { app.window().controller().startStop(); });
    // Logging out or Ctrl-C: the same shutdown as QUIT, so nothing is lost.
    tunecase::TerminationSignals sessionEnd([&app](int) { app.window().closeForSessionEnd(); });
    // However the window closed, the process ends normally.
    app.exec();
    return 0;
}
