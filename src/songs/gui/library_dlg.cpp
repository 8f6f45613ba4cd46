#include "songs/gui/library_dlg.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMimeData>

#include "base/reporter.h"
#include "base/text_codec.h"
#include "base/utilities.h"
#include "controls/gui/native_paths.h"
#include "base/translation.h"

namespace tunecase {

namespace {

constexpr ButtonPlace kButtonPlaces[librarybutton::Count] = {
    {N_("   LOAD"), 10, 280, 98, 307},
    {N_("   CANCEL"), 100, 280, 188, 307},
    {N_(" ADD MWD"), 220, 280, 308, 307},
};

constexpr ButtonPlace kStripPlace = {N_("    STRIP"), 10, 314, 98, 341};

const QRect kListRect(10, 10, 298, 262);
const QRect kBusyRect(318, 279, 30, 30);

std::string askForSongDataFile(QWidget* parent) {
    // The next ADD MWD of this run opens where the last one found its file.
    static QString lastFolder;
    const QString chosen =
        QFileDialog::getOpenFileName(parent, QString(), lastFolder, QString::fromUtf8(tunecase::tr(kDawnPieceFilter)));
    if (chosen.isEmpty()) return {};
    lastFolder = QFileInfo(chosen).absolutePath();
    return nativePath(chosen);
}

}  // namespace

CLibraryDlg::CLibraryDlg(std::string libraryFolder, std::string outputPath, QWidget* parent, SongArranger arranger,
                         FileChooser chooser, bool offerStrip)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      libraryFolder_(std::move(libraryFolder)),
      outputPath_(std::move(outputPath)),
      arranger_(arranger ? std::move(arranger) : defaultSongArranger()),
      chooser_(chooser ? std::move(chooser) : FileChooser(askForSongDataFile)) {
    setWindowTitle(QString::fromUtf8(tunecase::tr(kLibraryCaption)));
    setFixedSize(356, 317);
    setAcceptDrops(true);

    list_ = new QListWidget(this);
    list_->setGeometry(kListRect);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);

    placePictureButtons(buttons_, this, kButtonPlaces, librarybutton::Count, [this](int index) { onButton(index); },
                        controls_.data());
    if (offerStrip) {
        setFixedSize(356, 351);
        controls_[librarybutton::Strip] = new COffScreenControl(this);
        buttons_.add(controls_[librarybutton::Strip],
                     rectFromEdges(kStripPlace.left, kStripPlace.top, kStripPlace.right, kStripPlace.bottom),
                     kStripPlace.label, FacePlain, FacePressed);
    }

    busyControl_ = new COffScreenControl(this);
    busyControl_->setGeometry(kBusyRect);
    busyPicture_.create(kBusyRect.width(), kBusyRect.height());
    busyControl_->setPaintHandler([this](QPainter& painter) { busyPicture_.copyTo(painter); });
    redrawBusyIndicator();
    busyTimer_.setInterval(kBusyTimerMs);
    connect(&busyTimer_, &QTimer::timeout, this, [this] {
        busyPhase_ = (busyPhase_ + 3) % 100;
        redrawBusyIndicator();
    });

    fillList();
}

CLibraryDlg::~CLibraryDlg() {
    // The arrangement writes into the caller's path and title: the runner, which goes first,
    // waits for it before they go.
    busyTimer_.stop();
    if (busyControl_) busyControl_->clearHandlers();
    buttons_.destroy();
}

std::string CLibraryDlg::run(const std::string& libraryFolder, const std::string& outputPath, QWidget* parent,
                             bool* stripWanted) {
    CLibraryDlg dialog(libraryFolder, outputPath, parent, {}, {}, stripWanted != nullptr);
    const bool accepted = dialog.exec() == QDialog::Accepted;
    if (stripWanted) *stripWanted = accepted && dialog.stripWanted();
    return accepted ? dialog.title() : std::string();
}

COffScreenControl* CLibraryDlg::buttonControl(int index) const {
    if (index < 0 || index >= buttons_.count()) return nullptr;
    return controls_[index];
}

void CLibraryDlg::onButton(int index) {
    if (busy_) return;
    switch (index) {
        case librarybutton::Strip:
        case librarybutton::Load:
            if (loadPending_) return;
            stripWanted_ = index == librarybutton::Strip;
            loadPending_ = true;
            QTimer::singleShot(kLoadDelayMs, this, [this] {
                loadPending_ = false;
                load();
            });
            break;
        case librarybutton::Cancel:
            cancel();
            break;
        case librarybutton::Add:
            addSongDataFile();
            break;
        default:
            break;
    }
}

void CLibraryDlg::fillList(const std::string& fileName) {
    list_->clear();
    entries_ = listLibrary(libraryFolder_);
    for (const auto& e : entries_) {
        auto* item = new QListWidgetItem(QString::fromStdString(displayText(e.title)), list_);
        item->setData(Qt::UserRole, QByteArray::fromStdString(e.fileName));
    }
    int line = fileName.empty() ? 0 : findLibraryEntry(entries_, fileName);
    if (line < 0) line = 0;
    if (line < list_->count()) list_->setCurrentRow(line);
}

void CLibraryDlg::load() {
    if (busy_) return;
    const int line = list_->currentRow();
    if (line < 0 || line >= static_cast<int>(entries_.size()) || !list_->item(line)->isSelected()) {
        reportText("", BoxKind::Beep);
        return;
    }
    const std::string fileName = list_->item(line)->data(Qt::UserRole).toByteArray().toStdString();
    setBusy(true);
    auto title = std::make_shared<std::string>();
    auto ok = std::make_shared<bool>(false);
    job_.start([this, fileName, title, ok](const JobRunner::Job&) {
        *ok = loadLibrarySong(libraryFolder_, fileName, outputPath_, *title, arranger_);
    },
               [this, title, ok] { arrangementFinished(*ok, std::move(*title)); });
}

void CLibraryDlg::arrangementFinished(bool ok, std::string title) {
    setBusy(false);
    if (!ok) return;  // the dialog stays open; the title stays empty
    title_ = std::move(title);
    accept();
}

void CLibraryDlg::cancel() {
    if (busy_) return;
    title_.clear();
    QDialog::reject();
}

void CLibraryDlg::reject() {
    if (busy_) return;
    QDialog::reject();
}

void CLibraryDlg::addSongDataFile() {
    if (busy_) return;
    std::string path = chooser_(this);
    if (path.empty()) return;
    if (addToArchive(libraryFolder_, path)) fillList(fileNamePart(path));
}

void CLibraryDlg::dropFiles(const std::vector<std::string>& paths) {
    if (busy_) return;
    const std::string added = addDroppedToLibrary(libraryFolder_, paths);
    if (!added.empty()) fillList(added);
}

void CLibraryDlg::setBusy(bool busy) {
    busy_ = busy;
    for (int i = 0; i < buttons_.count(); ++i) buttons_.enable(i, !busy);
    list_->setEnabled(!busy);
    if (busy) {
        setCursor(Qt::WaitCursor);
        busyTimer_.start();
    } else {
        unsetCursor();
        busyTimer_.stop();
        busyPhase_ = 0;
        redrawBusyIndicator();
    }
}

void CLibraryDlg::redrawBusyIndicator() {
    busyPicture_.drawBusyRing(busyPhase_);
    if (busyControl_) busyControl_->update();
}

void CLibraryDlg::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls() && !busy_) event->acceptProposedAction();
    else QDialog::dragEnterEvent(event);
}

void CLibraryDlg::dropEvent(QDropEvent* event) {
    if (!event->mimeData()->hasUrls()) {
        QDialog::dropEvent(event);
        return;
    }
    event->acceptProposedAction();
    dropFiles(droppedFilePaths(event->mimeData()->urls()));
}

}  // namespace tunecase
