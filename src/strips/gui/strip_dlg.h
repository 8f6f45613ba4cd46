// CStripDlg ("Strip"): which paper-strip music box to print the song for and on which
// paper, with the fitting report for the box shown as it is chosen. The song list editor
// then asks for the PDF file and writes the strip.
#pragma once

#include <QComboBox>
#include <QDialog>
#include <QPlainTextEdit>
#include <array>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "controls/gui/button_picture.h"
#include "strips/strip_drawing.h"

namespace tunecase {

inline constexpr const char* kStripCaption = "Strip";

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
    CStripDlg(const std::vector<std::string>& boxes, StripReporter reportFor, QWidget* parent = nullptr);
    ~CStripDlg() override;

    // The modal dialog: the box and paper chosen, or nothing when cancelled.
    static std::optional<StripChoice> run(const std::vector<std::string>& boxes, StripReporter reportFor,
                                          QWidget* parent = nullptr);

    QComboBox* boxCombo() const { return boxes_; }
    QComboBox* paperCombo() const { return paper_; }
    QPlainTextEdit* reportView() const { return report_; }
    COffScreenControl* buttonControl(int index) const;
    const std::optional<StripChoice>& choice() const { return choice_; }

    void onButton(int index);

private:
    void showReport();

    StripReporter reportFor_;
    QComboBox* boxes_ = nullptr;
    QComboBox* paper_ = nullptr;
    QPlainTextEdit* report_ = nullptr;
    std::optional<StripChoice> choice_;
    std::array<COffScreenControl*, stripbutton::Count> controls_{};
    CButtonPicture buttons_;
};

}  // namespace tunecase
