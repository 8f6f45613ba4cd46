#include "app/gui/desktop_trash.h"

#include "base/translation.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace tunecase {

namespace {

// A file in a trash sits in its "files" folder, beside "info": under "Trash" in the data
// folder, or under ".Trash-UID" or ".Trash/UID" at the top of another disk.
bool inTrashFolder(const QString& path) {
    const QDir files = QFileInfo(path).absoluteDir();
    if (files.dirName() != QLatin1String("files")) return false;
    QDir trash = files;
    if (!trash.cdUp()) return false;
    if (trash.dirName() == QLatin1String("Trash") || trash.dirName().startsWith(QLatin1String(".Trash-"))) return true;
    return trash.cdUp() && trash.dirName() == QLatin1String(".Trash");
}

}  // namespace

bool moveToDesktopTrash(const std::string& path, std::string& reason) {
    // Without the data folder Qt makes no trash and files the song under the current folder
    // instead: make the folder first, as a fresh account may not have it yet.
    const QString dataHome = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (!dataHome.isEmpty()) QDir().mkpath(dataHome);

    const QString original = QFile::decodeName(QByteArray::fromStdString(path));
    QFile file(original);
    if (!file.moveToTrash()) {
        reason = file.errorString().toStdString();
        // Qt gives no error of its own when it finds no trash folder for the file's disk.
        if (reason.empty() || reason == "No error" || reason == "Unknown error") reason = tunecase::tr("no trash for it");
        return false;
    }
    if (inTrashFolder(file.fileName())) return true;
    // Anywhere else the user would never find it: put it back.
    const QFileInfo moved(file.fileName());
    QFile::remove(moved.absoluteDir().absoluteFilePath(QStringLiteral("../info/") + moved.fileName() +
                                                       QStringLiteral(".trashinfo")));
    QFile::rename(moved.absoluteFilePath(), original);
    reason = tunecase::tr("no trash for it");
    return false;
}

}  // namespace tunecase
