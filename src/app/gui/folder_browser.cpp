#include "app/gui/folder_browser.h"

#include <QFile>
#include <QFileDialog>

#include "base/translation.h"
#include "controls/gui/native_paths.h"

namespace tunecase {

FolderBrowser::Result QtFolderBrowser::browseForFolder(const std::string& initial, std::string& out,
                                                       const std::string& title) {
    const QString picked = QFileDialog::getExistingDirectory(
        owner_, QString::fromUtf8(tunecase::tr(title)), QFile::decodeName(QByteArray::fromStdString(initial)),
        QFileDialog::ShowDirsOnly);
    if (picked.isEmpty()) return Cancelled;
    out = nativePath(picked);
    return Picked;
}

}  // namespace tunecase
