#include "songs/gui/library_dlg.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QMimeData>

#include "base/reporter.h"
#include "base/text_codec.h"
#include "base/utilities.h"
#include "controls/gui/native_paths.h"

namespace tunecase {

namespace {

constexpr ButtonPlace kButtonPlaces[librarybutton::Count] = {
    {"   LOAD", 10, 280, 98, 307},
    {"   CANCEL", 100, 280, 188, 307},
    {" ADD MWD", 220, 280, 308, 307},
};

const QRect kListRect(10, 10, 298, 262);
const QRect kBusyRect(318, 279, 30, 30);

std::string askForSongDataFile(QWidget* parent) {
    const QString chosen = QFileDialog::getOpenFileName(parent, QString(), QString(), kDawnPieceFilter);
    return chosen.isEmpty() ? std::string() : nativePath(chosen);
}

}  // namespace

CLibraryDlg::CLibraryDlg(std::string libraryFolder, std::string outputPath, QWidget* parent, SongArranger arranger,
                         FileChooser chooser)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      libraryFolder_(std::move(libraryFolder)),
      outputPath_(std::move(outputPath)),
      arranger_(arranger ? std::move(arranger) : defaultSongArranger()),
      chooser_(chooser ? std::move(chooser) : FileChooser(askForSongDataFile)) {
    setWindowTitle(kLibraryCaption);
    setFixedSize(356, 317);
    setAcceptDrops(true);

    list_ = new QListWidget(this);
    list_->setGeometry(kListRect);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);

    placePictureButtons(buttons_, this, kButtonPlaces, librarybutton::Count, [this](int index) { onButton(index); },
                        controls_.data());

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

std::string CLibraryDlg::run(const std::string& libraryFolder, const std::string& outputPath, QWidget* parent) {
    CLibraryDlg dialog(libraryFolder, outputPath, parent);
    if (dialog.exec() != QDialog::Accepted) return {};
    return dialog.title();
}

COffScreenControl* CLibraryDlg::buttonControl(int index) const {
    if (index < 0 || index >= librarybutton::Count) return nullptr;
    return controls_[index];
}

void CLibraryDlg::onButton(int index) {
    if (busy_) return;
    switch (index) {
        case librarybutton::Load:
            if (loadPending_) return;
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
    for (int i = 0; i < librarybutton::Count; ++i) buttons_.enable(i, !busy);
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
