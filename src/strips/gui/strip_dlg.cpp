#include "strips/gui/strip_dlg.h"

#include <QFontDatabase>
#include <QPixmap>
#include <algorithm>
#include <QLabel>

#include "base/text_codec.h"
#include "base/translation.h"

namespace tunecase {

namespace {

constexpr ButtonPlace kButtonPlaces[stripbutton::Count] = {
    {N_("    SAVE"), 250, 330, 338, 357},
    {N_("   CANCEL"), 350, 330, 438, 357},
};

}  // namespace

CStripDlg::CStripDlg(const std::vector<std::string>& boxes, StripReporter reportFor, QWidget* parent,
                     StripPreviewer preview)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      reportFor_(std::move(reportFor)),
      previewer_(std::move(preview)) {
    setWindowTitle(QString::fromUtf8(tunecase::tr(kStripCaption)));
    // The preview takes a column of its own to the right; without one the dialog keeps its size.
    setFixedSize(previewer_ ? 918 : 458, 367);

    auto* boxLabel = new QLabel(QString::fromUtf8(tunecase::tr("Music box")), this);
    boxLabel->setGeometry(20, 12, 80, 22);
    boxes_ = new QComboBox(this);
    boxes_->setGeometry(100, 12, 140, 22);
    for (const std::string& name : boxes) boxes_->addItem(QString::fromStdString(name));
    auto* paperLabel = new QLabel(QString::fromUtf8(tunecase::tr("Paper")), this);
    paperLabel->setGeometry(260, 12, 50, 22);
    paper_ = new QComboBox(this);
    paper_->setGeometry(310, 12, 128, 22);
    paper_->addItem("A4");
    paper_->addItem(QString::fromUtf8(tunecase::tr("Letter")));

    report_ = new QPlainTextEdit(this);
    report_->setGeometry(20, 44, 418, 276);
    report_->setReadOnly(true);
    report_->setLineWrapMode(QPlainTextEdit::NoWrap);
    report_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));

    placePictureButtons(buttons_, this, kButtonPlaces, stripbutton::Count, [this](int index) { onButton(index); },
                        controls_.data());
    buttons_.enable(stripbutton::Save, !boxes.empty());

    if (previewer_) {
        previewArea_ = new QScrollArea(this);
        previewArea_->setGeometry(458, 12, 440, 308);
        previewArea_->setAlignment(Qt::AlignCenter);
        preview_ = new QLabel;
        preview_->setObjectName("stripPreview");
        preview_->setAlignment(Qt::AlignCenter);
        preview_->setAccessibleName(QString::fromUtf8(tunecase::tr("Strip preview")));
        previewArea_->setWidget(preview_);
        previewArea_->setWidgetResizable(false);
        zoomOut_ = new QToolButton(this);
        zoomOut_->setText(QString::fromUtf8("\u2212"));
        zoomOut_->setToolTip(QString::fromUtf8(tunecase::tr("Zoom out")));
        zoomOut_->setAccessibleName(zoomOut_->toolTip());
        zoomOut_->setGeometry(458, 330, 30, 27);
        zoomIn_ = new QToolButton(this);
        zoomIn_->setText("+");
        zoomIn_->setToolTip(QString::fromUtf8(tunecase::tr("Zoom in")));
        zoomIn_->setAccessibleName(zoomIn_->toolTip());
        zoomIn_->setGeometry(494, 330, 30, 27);
        connect(zoomOut_, &QToolButton::clicked, this, [this] { zoom(1 / 1.5); });
        connect(zoomIn_, &QToolButton::clicked, this, [this] { zoom(1.5); });
        connect(paper_, &QComboBox::currentIndexChanged, this, [this] { showPreview(); });
    }
    connect(boxes_, &QComboBox::currentIndexChanged, this, [this] {
        showReport();
        showPreview();
    });
    showReport();
    showPreview();
}

void CStripDlg::zoom(double factor) {
    scale_ = std::clamp(scale_ * factor, kPreviewScaleMin, kPreviewScaleMax);
    showPreview();
}

void CStripDlg::showPreview() {
    if (!previewer_ || !preview_) return;
    const std::string box = boxes_->currentText().toStdString();
    const StripImage image = box.empty() ? StripImage{} : previewer_(box, paper_->currentIndex() == 1, scale_);
    if (image.empty()) {
        preview_->setPixmap(QPixmap());
        preview_->setText(QString::fromUtf8(tunecase::tr("No preview: the strip cannot be drawn for this box.")));
    } else {
        // The image owns no copy of the pixels: copy before they go.
        const QImage picture(image.pixels.data(), image.width, image.height, image.stride,
                             QImage::Format_ARGB32_Premultiplied);
        preview_->setPixmap(QPixmap::fromImage(picture.copy()));
    }
    preview_->adjustSize();
    zoomIn_->setEnabled(scale_ < kPreviewScaleMax);
    zoomOut_->setEnabled(scale_ > kPreviewScaleMin);
}

CStripDlg::~CStripDlg() { buttons_.destroy(); }

std::optional<StripChoice> CStripDlg::run(const std::vector<std::string>& boxes, StripReporter reportFor,
                                          QWidget* parent, StripPreviewer preview) {
    CStripDlg dialog(boxes, std::move(reportFor), parent, std::move(preview));
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
