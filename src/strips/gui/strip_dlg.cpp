#include "strips/gui/strip_dlg.h"

#include <QFontDatabase>
#include <QLabel>

#include "base/text_codec.h"

namespace tunecase {

namespace {

constexpr ButtonPlace kButtonPlaces[stripbutton::Count] = {
    {"    SAVE", 250, 330, 338, 357},
    {"   CANCEL", 350, 330, 438, 357},
};

}  // namespace

CStripDlg::CStripDlg(const std::vector<std::string>& boxes, StripReporter reportFor, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      reportFor_(std::move(reportFor)) {
    setWindowTitle(kStripCaption);
    setFixedSize(458, 367);

    auto* boxLabel = new QLabel("Music box", this);
    boxLabel->setGeometry(20, 12, 80, 22);
    boxes_ = new QComboBox(this);
    boxes_->setGeometry(100, 12, 140, 22);
    for (const std::string& name : boxes) boxes_->addItem(QString::fromStdString(name));
    auto* paperLabel = new QLabel("Paper", this);
    paperLabel->setGeometry(260, 12, 50, 22);
    paper_ = new QComboBox(this);
    paper_->setGeometry(310, 12, 128, 22);
    paper_->addItem("A4");
    paper_->addItem("Letter");

    report_ = new QPlainTextEdit(this);
    report_->setGeometry(20, 44, 418, 276);
    report_->setReadOnly(true);
    report_->setLineWrapMode(QPlainTextEdit::NoWrap);
    report_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));

    placePictureButtons(buttons_, this, kButtonPlaces, stripbutton::Count, [this](int index) { onButton(index); },
                        controls_.data());
    buttons_.enable(stripbutton::Save, !boxes.empty());
    connect(boxes_, &QComboBox::currentIndexChanged, this, [this] { showReport(); });
    showReport();
}

CStripDlg::~CStripDlg() { buttons_.destroy(); }

std::optional<StripChoice> CStripDlg::run(const std::vector<std::string>& boxes, StripReporter reportFor,
                                          QWidget* parent) {
    CStripDlg dialog(boxes, std::move(reportFor), parent);
    dialog.exec();
    return dialog.choice();
}

COffScreenControl* CStripDlg::buttonControl(int index) const {
    if (index < 0 || index >= stripbutton::Count) return nullptr;
    return controls_[index];
}

void CStripDlg::showReport() {
    const std::string box = boxes_->currentText().toStdString();
    report_->setPlainText(box.empty() || !reportFor_ ? QString() : QString::fromStdString(displayText(reportFor_(box))));
}

void CStripDlg::onButton(int index) {
    if (index == stripbutton::Save && boxes_->currentIndex() >= 0) {
        choice_ = StripChoice{boxes_->currentText().toStdString(), paper_->currentIndex() == 1};
        accept();
        return;
    }
    choice_.reset();
    reject();
}

}  // namespace tunecase
