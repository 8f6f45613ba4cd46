// The folder browser of the desktop player: a folder-only file dialog.
#pragma once

#include <QPointer>
#include <QWidget>

#include "app/startup.h"

namespace tunecase {

class QtFolderBrowser final : public FolderBrowser {
public:
    explicit QtFolderBrowser(QWidget* owner = nullptr) : owner_(owner) {}
    Result browseForFolder(const std::string& initial, std::string& out,
                           const std::string& title) override;

private:
    QPointer<QWidget> owner_;
};

}  // namespace tunecase
