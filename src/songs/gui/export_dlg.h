// CExportDlg ("Export"): which kind of export and which key range. The song list editor
// then asks for the output file and starts the export job.
#pragma once

#include <QDialog>
#include <QGroupBox>
#include <QSpinBox>
#include <array>

#include "controls/gui/button_picture.h"
#include "songs/export.h"
#include "base/translation.h"

namespace tunecase {

inline constexpr const char* kExportCaption = N_("Export");
inline constexpr const char* kExportRangeGroup = N_("Range");

// What the dialog is opened for: an upload offers only the music box file.
namespace exportmode {
inline constexpr int Upload = 0;
inline constexpr int Export = 1;
}  // namespace exportmode

// The choice it closes with; also the index of the picture button that makes it.
namespace exportchoice {
inline constexpr int MusicBox = 0;
inline constexpr int ToyPiano = 1;
inline constexpr int Strip = 2;
inline constexpr int Cancelled = 3;
inline constexpr int Audio = 4;  // the song as the music box sounds, in an audio file
inline constexpr int Count = 5;
}  // namespace exportchoice

struct ExportDialogResult {
    int choice = exportchoice::Cancelled;
    int lowNote = kDefaultLowNote;
    int highNote = kDefaultHighNote;
};

class CExportDlg : public QDialog {
    Q_OBJECT
public:
    CExportDlg(int mode, QWidget* parent = nullptr, int lowNote = kDefaultLowNote, int highNote = kDefaultHighNote);
    ~CExportDlg() override;

    // The modal dialog and what was chosen; closing it any other way is a cancel.
    static ExportDialogResult run(int mode, QWidget* parent = nullptr, int lowNote = kDefaultLowNote,
                                  int highNote = kDefaultHighNote);

    int mode() const { return mode_; }
    int choice() const { return choice_; }
    int lowNote() const { return lowNote_; }
    int highNote() const { return highNote_; }
    QSpinBox* lowSpin() const { return low_; }
    QSpinBox* highSpin() const { return high_; }
    QGroupBox* rangeGroup() const { return range_; }
    COffScreenControl* buttonControl(int index) const;
    const CButtonPicture& buttons() const { return buttons_; }

    // A picture button: the two file kinds read the range and close with OK; STRIP and AUDIO
    // close with OK (the strip dialog or the file's name asks the rest); CANCEL closes.
    void choose(int choice);

private:
    int mode_;
    int choice_ = exportchoice::Cancelled;
    int lowNote_;
    int highNote_;
    QGroupBox* range_ = nullptr;
    QSpinBox* low_ = nullptr;
    QSpinBox* high_ = nullptr;
    std::array<COffScreenControl*, exportchoice::Count> controls_{};
    CButtonPicture buttons_;
};

}  // namespace tunecase
