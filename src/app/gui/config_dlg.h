// CConfigDlg: the settings dialog. Edits the caller's PlayerSettings in place: the two
// channel-deletion options (written by SET) and the data folder (written as soon as a
// folder is picked).
#pragma once

#include <QCheckBox>
#include <QDialog>
#include <QDoubleSpinBox>
#include <QLineEdit>
#include <QPushButton>

#include "base/records.h"
#include "app/startup.h"
#include "controls/gui/button_picture.h"

namespace tunecase {

class CConfigDlg : public QDialog {
    Q_OBJECT
public:
    // `browser` answers the "..." button; without one the dialog uses the Qt folder browser.
    // The farewell-page choice is kept in the preferences file at `preferencesPath` as soon as
    // it is clicked; "" means the one beside the settings.
    CConfigDlg(PlayerSettings* settings, FolderBrowser* browser = nullptr, QWidget* parent = nullptr,
               std::string preferencesPath = {});
    ~CConfigDlg() override;

    // Shows the dialog modally on `settings`. Returns when SET is pressed (Accepted) or the
    // dialog is cancelled with Escape (Rejected).
    static int run(PlayerSettings& settings, QWidget* parent = nullptr, FolderBrowser* browser = nullptr);

    QCheckBox* shortNoteBox() const { return shortNote_; }
    QCheckBox* longNoteBox() const { return longNote_; }
    QLineEdit* folderEdit() const { return folder_; }
    QCheckBox* farewellBox() const { return farewell_; }
    QDoubleSpinBox* volumeBox() const { return volume_; }
    QPushButton* browseButton() const { return browse_; }
    COffScreenControl* setControl() const { return setControl_; }

    // The "..." button: pick a folder and keep it at once.
    void browse();
    // SET: write the check boxes, keep the volume (in the preferences file and for the
    // synthesizer) and close with OK.
    void commit();

private:
    PlayerSettings* settings_;
    FolderBrowser* browser_;
    std::unique_ptr<FolderBrowser> ownBrowser_;
    QCheckBox* shortNote_;
    QCheckBox* longNote_;
    QCheckBox* farewell_;
    QDoubleSpinBox* volume_;
    std::string preferencesPath_;
    QLineEdit* folder_;
    QPushButton* browse_;
    COffScreenControl* setControl_;
    CButtonPicture buttons_;
};

}  // namespace tunecase
