#include "app/gui/config_dlg.h"

#include <QFile>
#include <QGroupBox>

#include "app/gui/folder_browser.h"
#include "app/settings_edit.h"
#include "base/utilities.h"

namespace tunecase {

namespace {

QString folderText(const PlayerSettings& settings) {
    return QFile::decodeName(QByteArray::fromStdString(fieldText(settings.dataFolder, kPathBytes)));
}

}  // namespace

CConfigDlg::CConfigDlg(PlayerSettings* settings, FolderBrowser* browser, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      settings_(settings),
      browser_(browser) {
    if (!browser_) {
        ownBrowser_ = std::make_unique<QtFolderBrowser>(this);
        browser_ = ownBrowser_.get();
    }
    setWindowTitle(kConfigCaption);
    setFixedSize(320, 236);

    auto* play = new QGroupBox(kConfigPlayGroup, this);
    play->setGeometry(8, 6, 304, 82);
    shortNote_ = new QCheckBox(kConfigShortNoteText, play);
    shortNote_->setGeometry(14, 22, 280, 22);
    longNote_ = new QCheckBox(kConfigLongNoteText, play);
    longNote_->setGeometry(14, 48, 280, 22);

    auto* data = new QGroupBox(kConfigFolderGroup, this);
    data->setGeometry(8, 96, 304, 62);
    folder_ = new QLineEdit(data);
    folder_->setGeometry(10, 24, 244, 26);
    // Shows the folder; what is typed here is never read back.
    folder_->setReadOnly(true);
    browse_ = new QPushButton(kConfigBrowseText, data);
    browse_->setGeometry(260, 24, 34, 26);
    browse_->setAutoDefault(false);
    connect(browse_, &QPushButton::clicked, this, &CConfigDlg::browse);

    shortNote_->setChecked(settings_->deleteShortNoteChannel == 1);
    longNote_->setChecked(settings_->deleteLongNoteChannel == 1);
    folder_->setText(folderText(*settings_));

    setControl_ = new COffScreenControl(this);
    // SET acts on the mouse-down, like every picture button.
    buttons_.create([this](int) { commit(); }, nullptr,
                    setControl_, rectFromEdges(10, 200, 98, 227), kConfigSetLabel, FacePlain,
                    FacePressed);
}

CConfigDlg::~CConfigDlg() { buttons_.destroy(); }

int CConfigDlg::run(PlayerSettings& settings, QWidget* parent, FolderBrowser* browser) {
    CConfigDlg dialog(&settings, browser, parent);
    return dialog.exec();
}

void CConfigDlg::browse() {
    std::string picked;
    const std::string initial = fieldText(settings_->dataFolder, kPathBytes);
    if (browser_->browseForFolder(initial, picked, kDataFolderPromptTitle) != FolderBrowser::Picked) return;
    if (storePickedDataFolder(*settings_, picked)) folder_->setText(folderText(*settings_));
}

void CConfigDlg::commit() {
    storeChannelOptions(*settings_, shortNote_->isChecked(), longNote_->isChecked());
    accept();
}

}  // namespace tunecase
