// The desktop player: a short pause, then the player window until it closes.
#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTimer>
#include <QTranslator>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "app/compose_preferences.h"
#include "app/command_line.h"
#include "app/gui/message_box_sink.h"
#include "app/gui/termination_signals.h"
#include "app/gui/tunecase_app.h"
#include "base/translation.h"
#include "base/user_folders.h"
#include "base/utilities.h"

int main(int argc, char** argv) {
    tunecase::initTranslations(tunecase::findLocaleFolder());
    // Read before any window: --help and --version answer without a display.
    const tunecase::PlayerCommandLine commandLine = tunecase::parsePlayerCommandLine(argc, argv);
    switch (commandLine.action) {
        case tunecase::PlayerCommandLine::Help: std::fputs(tunecase::playerUsageText().c_str(), stdout); return 0;
        case tunecase::PlayerCommandLine::Version: std::fputs(tunecase::playerVersionText().c_str(), stdout); return 0;
        case tunecase::PlayerCommandLine::Error:
            std::fputs(tunecase::playerOptionErrorText(commandLine.error).c_str(), stderr);
            return 2;
        case tunecase::PlayerCommandLine::Run: break;
    }
    QApplication qtApp(argc, argv);
    // Qt's own dialogs (the folder chooser, the file dialogs) in the same language as ours.
    QTranslator qtTexts;
    if (qtTexts.load(QLocale(), "qtbase", "_", QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        qtApp.installTranslator(&qtTexts);
    qtApp.setApplicationName("Tunecase");
    // Desktops match the window to the installed menu entry and icon by this name.
    QGuiApplication::setDesktopFileName("org.tunecase.Tunecase");
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    tunecase::ScopedMessageBoxSink boxes;
    tunecase::seedRandom();
    tunecase::applyDiagnosticEnvironment();
    tunecase::setPlayerSynthGain(tunecase::readVolume(tunecase::composePreferencesPath()));

    tunecase::TunecaseApp app;
    // Diagnostic: press START as soon as the window runs (whole-window checks).
    if (const char* autostart = std::getenv("TUNECASE_AUTOSTART"); autostart && *autostart == '1')
        QTimer::singleShot(0, &app.window(), [&app] { app.window().controller().startStop(); });
    // Files named on the command line (the desktop entry's %F) join the list as drops do.
    std::vector<std::string> files;
    for (const std::string& file : commandLine.files) {
        std::error_code ec;
        const std::filesystem::path absolute = std::filesystem::absolute(file, ec);
        files.push_back(ec ? file : absolute.string());
    }
    if (!files.empty()) QTimer::singleShot(0, &app.window(), [&app, files] { app.window().openFiles(files); });
    // Logging out or Ctrl-C: the same shutdown as QUIT, so nothing is lost.
    tunecase::TerminationSignals sessionEnd([&app](int) { app.window().closeForSessionEnd(); });
    // However the window closed, the process ends normally.
    app.exec();
    return 0;
}
