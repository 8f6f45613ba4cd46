// CStripDlg ("Strip"): which paper-strip music box to print the song for and on which
// paper, with the fitting report for the box shown as it is chosen. The song list editor
// then asks for the PDF file and writes the strip.
#pragma once

#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QPlainTextEdit>
#include <QScrollArea>
#include <QToolButton>
#include <array>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "controls/gui/button_picture.h"
#include "strips/strip_drawing.h"
#include "base/translation.h"

namespace tunecase {

inline constexpr const char* kStripCaption = N_("Strip");

namespace stripbutton {
inline constexpr int Save = 0;
inline constexpr int Cancel = 1;
inline constexpr int Count = 2;
}  // namespace stripbutton

class CStripDlg : public QDialog {
    Q_OBJECT
public:
    // `boxes` are the box names in the file's order; `reportFor` gives the fitting report of
    // the song for a box name.
    // With `preview` the drawn strip shows beside the report, for the box and paper chosen.
    CStripDlg(const std::vector<std::string>& boxes, StripReporter reportFor, QWidget* parent = nullptr,
              StripPreviewer preview = {});
    ~CStripDlg() override;

    // The modal dialog: the box and paper chosen, or nothing when cancelled.
    static std::optional<StripChoice> run(const std::vector<std::string>& boxes, StripReporter reportFor,
                                          QWidget* parent = nullptr, StripPreviewer preview = {});

    // Pixels to the millimetre the preview starts at, and its limits.
    static constexpr double kPreviewScale = 2.0;
    static constexpr double kPreviewScaleMin = 0.5;
    static constexpr double kPreviewScaleMax = 12.0;

    QComboBox* boxCombo() const { return boxes_; }
    QComboBox* paperCombo() const { return paper_; }
    QPlainTextEdit* reportView() const { return report_; }
    QScrollArea* previewArea() const { return previewArea_; }
    QLabel* previewLabel() const { return preview_; }
    QToolButton* zoomInButton() const { return zoomIn_; }
    QToolButton* zoomOutButton() const { return zoomOut_; }
    double previewScale() const { return scale_; }
    COffScreenControl* buttonControl(int index) const;
    const std::optional<StripChoice>& choice() const { return choice_; }

    void onButton(int index);

    // Multiplies the preview's scale by `factor`, within the limits, and draws it again.
    void zoom(double factor);

private:
    void showReport();
    void showPreview();

    StripReporter reportFor_;
    QComboBox* boxes_ = nullptr;
    QComboBox* paper_ = nullptr;
    QPlainTextEdit* report_ = nullptr;
    StripPreviewer previewer_;
    QScrollArea* previewArea_ = nullptr;
    QLabel* preview_ = nullptr;
    QToolButton* zoomIn_ = nullptr;
    QToolButton* zoomOut_ = nullptr;
    double scale_ = kPreviewScale;
    std::optional<StripChoice> choice_;
    std::array<COffScreenControl*, stripbutton::Count> controls_{};
    CButtonPicture buttons_;
};

}  // namespace tunecase
