#include "songs/gui/export_dlg.h"
#include "base/translation.h"

#include <QLabel>

namespace tunecase {

namespace {

constexpr ButtonPlace kButtonPlaces[exportchoice::Count] = {
    {N_("  TUNECASE"), 20, 60, 108, 87},
    {N_("  TOYPIANO"), 120, 60, 208, 87},
    {N_("    STRIP"), 220, 60, 308, 87},
    {N_("   CANCEL"), 320, 60, 408, 87},
    {N_("    AUDIO"), 320, 20, 408, 47},
};

}  // namespace

CExportDlg::CExportDlg(int mode, QWidget* parent, int lowNote, int highNote)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      mode_(mode),
      lowNote_(lowNote),
      highNote_(highNote) {
    setWindowTitle(QString::fromUtf8(tunecase::tr(kExportCaption)));
    setFixedSize(428, 100);

    range_ = new QGroupBox(QString::fromUtf8(tunecase::tr(kExportRangeGroup)), this);
    range_->setGeometry(20, 2, 288, 50);
    low_ = new QSpinBox(range_);
    low_->setGeometry(12, 20, 70, 22);
    auto* dash = new QLabel("-", range_);
    dash->setGeometry(90, 20, 10, 22);
    high_ = new QSpinBox(range_);
    high_->setGeometry(104, 20, 70, 22);
    // Any pair is taken as it is, even a low end above the high end.
    for (QSpinBox* spin : {low_, high_}) spin->setRange(0, 127);
    low_->setValue(lowNote_);
    high_->setValue(highNote_);

    placePictureButtons(buttons_, this, kButtonPlaces, exportchoice::Count, [this](int index) { choose(index); },
                        controls_.data());
    if (mode_ == exportmode::Upload) {
        buttons_.enable(exportchoice::ToyPiano, false);
        buttons_.enable(exportchoice::Strip, false);
        buttons_.enable(exportchoice::Audio, false);
    }
}

CExportDlg::~CExportDlg() { buttons_.destroy(); }

ExportDialogResult CExportDlg::run(int mode, QWidget* parent, int lowNote, int highNote) {
    CExportDlg dialog(mode, parent, lowNote, highNote);
    dialog.exec();
    return {dialog.choice(), dialog.lowNote(), dialog.highNote()};
}

COffScreenControl* CExportDlg::buttonControl(int index) const {
    if (index < 0 || index >= exportchoice::Count) return nullptr;
    return controls_[index];
}

void CExportDlg::choose(int choice) {
    const bool exportOnly =
        choice == exportchoice::ToyPiano || choice == exportchoice::Strip || choice == exportchoice::Audio;
    if (exportOnly && mode_ == exportmode::Upload) return;
    if (choice == exportchoice::MusicBox || exportOnly) {
        choice_ = choice;
        lowNote_ = low_->value();
        highNote_ = high_->value();
        accept();
        return;
    }
    choice_ = exportchoice::Cancelled;
    reject();
}

}  // namespace tunecase
