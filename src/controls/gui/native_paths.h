// Qt's file names as the native byte strings the core works with, for file dialogs and files
// dropped on a window.
#pragma once

#include <QFile>
#include <QList>
#include <QString>
#include <QUrl>
#include <string>
#include <vector>

namespace tunecase {

inline std::string nativePath(const QString& path) { return QFile::encodeName(path).toStdString(); }

inline std::vector<std::string> droppedFilePaths(const QList<QUrl>& urls) {
    std::vector<std::string> paths;
    for (const QUrl& url : urls) paths.push_back(nativePath(url.toLocalFile()));
    return paths;
}

}  // namespace tunecase
