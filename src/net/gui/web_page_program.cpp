#include "net/gui/web_page_program.h"

#include <QEventLoop>
#include <QProcess>
#include <QWidget>
#include <cstdio>
#include <filesystem>

#include "base/general_errors.h"
#include "base/utilities.h"
#include "songs/song_data.h"

namespace tunecase {

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
    QProcess process;
    process.setProgram(QString::fromStdString(program));
    process.setArguments(webPageArguments(pageAddress, songFile, dataFolder, folders));
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    QEventLoop loop;
    bool failed = false;
    QObject::connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
    QObject::connect(&process, &QProcess::errorOccurred, &loop, [&](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart) return;
        failed = true;
        loop.quit();
    });
    // Modal, as the dialog in this window was.
    if (parent) parent->setEnabled(false);
    process.start();
    if (!failed && process.state() != QProcess::NotRunning) loop.exec();
    if (parent) parent->setEnabled(true);
    std::remove(songFile.c_str());
    if (failed) generalError(gene::CantFindFile, program);
}

}  // namespace tunecase
