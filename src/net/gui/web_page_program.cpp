#include "net/gui/web_page_program.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QProcess>
#include <QWidget>
#include <cstdio>
#include <filesystem>

#include "base/general_errors.h"
#include "base/utilities.h"
#include "songs/song_data.h"

namespace tunecase {

namespace {

// A page program still ending when the window's program ends is given a moment to finish
// on its own before it is killed.
class PageProcess final : public QProcess {
public:
    using QProcess::QProcess;
    ~PageProcess() override {
        if (state() != NotRunning) waitForFinished(kWindDownMs);
    }

private:
    static constexpr int kWindDownMs = 5000;
};

}  // namespace

std::string webPageProgramPath() {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    if (ec) return kWebPageProgramName;
    const fs::path folder = self.parent_path();
    for (const fs::path& candidate : {folder / TUNECASE_LIBEXEC_FROM_BIN / kWebPageProgramName,
                                      folder / kWebPageProgramName, folder.parent_path() / kWebPageProgramName}) {
        if (fs::is_regular_file(candidate, ec)) return candidate.lexically_normal().string();
    }
    return (folder / TUNECASE_LIBEXEC_FROM_BIN / kWebPageProgramName).lexically_normal().string();
}

QStringList webPageArguments(const std::string& pageAddress, const std::string& songFile,
                             const std::string& dataFolder, const ProgramFolders& folders) {
    QStringList arguments;
    for (const std::string* text : {&pageAddress, &songFile, &dataFolder, &folders.program, &folders.library, &folders.work})
        arguments << QString::fromStdString(*text);
    return arguments;
}

void openWebPageProgram(QWidget* parent, const CSongData& song, const std::string& pageAddress,
                        const std::string& dataFolder, const ProgramFolders& folders) {
    prepareWorkFolder(folders);
    const std::string songFile = joinPath(folders.work, kWebPageSongName);
    if (!song.saveFile(songFile)) return;  // the box has been shown
    const std::string program = webPageProgramPath();
    // Outlives this call while the program winds down; the application deletes it at the latest.
    auto* process = new PageProcess(QCoreApplication::instance());
    process->setProgram(QString::fromStdString(program));
    process->setArguments(webPageArguments(pageAddress, songFile, dataFolder, folders));
    process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QEventLoop loop;
    bool failed = false;
    QObject::connect(process, &QProcess::finished, process, &QObject::deleteLater);
    QObject::connect(process, &QProcess::finished, &loop, &QEventLoop::quit);
    QObject::connect(process, &QProcess::readyReadStandardOutput, &loop, [process, &loop] {
        while (process->canReadLine()) {
            const QByteArray line = process->readLine();
            if (line.trimmed() == kWebPageClosedLine) loop.quit();
            else std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stdout);
        }
    });
    QObject::connect(process, &QProcess::errorOccurred, &loop, [&](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart) return;
        failed = true;
        loop.quit();
    });
    // Modal, as the dialog in this window was.
    if (parent) parent->setEnabled(false);
    process->start();
    if (!failed && process->state() != QProcess::NotRunning) loop.exec();
    QObject::disconnect(process, nullptr, &loop, nullptr);
    if (parent) parent->setEnabled(true);
    std::remove(songFile.c_str());
    if (failed) {
        process->deleteLater();
        generalError(gene::CantFindFile, program);
    }
}

}  // namespace tunecase
