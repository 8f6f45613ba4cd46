#include "app/gui/config_dlg.h"

#include <QFile>
#include <QGroupBox>
#include <QLabel>

#include "app/compose_preferences.h"
#include "app/gui/folder_browser.h"
#include "app/settings_edit.h"
#include "base/translation.h"
#include "base/utilities.h"

namespace tunecase {

namespace {

QString folderText(const PlayerSettings& settings) {
    return QFile::decodeName(QByteArray::fromStdString(fieldText(settings.dataFolder, kPathBytes)));
}

}  // namespace

CConfigDlg::CConfigDlg(PlayerSettings* settings, FolderBrowser* browser, QWidget* parent, std::string preferencesPath)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      settings_(settings),
      browser_(browser),
      preferencesPath_(preferencesPath.empty() ? composePreferencesPath() : std::move(preferencesPath)) {
    if (!browser_) {
        ownBrowser_ = std::make_unique<QtFolderBrowser>(this);
        browser_ = ownBrowser_.get();
    }
    setWindowTitle(QString::fromUtf8(tunecase::tr(kConfigCaption)));
    setFixedSize(320, 236);

    auto* play = new QGroupBox(QString::fromUtf8(tunecase::tr(kConfigPlayGroup)), this);
    play->setGeometry(8, 6, 304, 82);
    shortNote_ = new QCheckBox(QString::fromUtf8(tunecase::tr(kConfigShortNoteText)), play);
    shortNote_->setGeometry(14, 22, 280, 22);
    longNote_ = new QCheckBox(QString::fromUtf8(tunecase::tr(kConfigLongNoteText)), play);
    longNote_->setGeometry(14, 48, 280, 22);

    auto* data = new QGroupBox(QString::fromUtf8(tunecase::tr(kConfigFolderGroup)), this);
    data->setGeometry(8, 96, 304, 62);
    folder_ = new QLineEdit(data);
    folder_->setGeometry(10, 24, 244, 26);
    // Shows the folder; what is typed here is never read back.
    folder_->setReadOnly(true);
    browse_ = new QPushButton(QString::fromUtf8(tunecase::tr(kConfigBrowseText)), data);
    browse_->setGeometry(260, 24, 34, 26);
    browse_->setAutoDefault(false);
    connect(browse_, &QPushButton::clicked, this, &CConfigDlg::browse);

    shortNote_->setChecked(settings_->deleteShortNoteChannel == 1);
    longNote_->setChecked(settings_->deleteLongNoteChannel == 1);
    folder_->setText(folderText(*settings_));

    farewell_ = new QCheckBox(QString::fromUtf8(tunecase::tr("Open the farewell page in the browser at QUIT")), this);
    farewell_->setGeometry(16, 166, 296, 22);
    farewell_->setChecked(farewellPageWanted(preferencesPath_));
    connect(farewell_, &QCheckBox::toggled, this, [this](bool on) { writeFarewellPageWanted(preferencesPath_, on); });

    // The synthesizer's gain, beside SET.
    auto* volumeLabel = new QLabel(QString::fromUtf8(tunecase::tr("Volume")), this);
    volumeLabel->setGeometry(150, 202, 70, 22);
    volume_ = new QDoubleSpinBox(this);
    volume_->setGeometry(222, 200, 90, 26);
    volume_->setRange(0.0, kMaxPlayerGain);
    volume_->setDecimals(2);
    volume_->setSingleStep(0.1);
    volume_->setValue(readVolume(preferencesPath_));
    volume_->setToolTip(
        QString::fromUtf8(tunecase::tr("The synthesizer's gain; 3.20 is as loud as an exported audio file")));
    volumeLabel->setBuddy(volume_);

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
    setPlayerSynthGain(volume_->value());
    // Written only when changed: the file holds what the user chose, nothing else.
    if (volume_->value() != readVolume(preferencesPath_)) writeVolume(preferencesPath_, volume_->value());
    accept();
}

}  // namespace tunecase
