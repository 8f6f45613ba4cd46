#include "app/gui/play_list_dlg.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QEventLoop>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QInputDialog>
#include <QMimeData>
#include <QMouseEvent>
#include <QUrl>
#include <algorithm>

#include "base/text_codec.h"
#include "controls/gui/native_paths.h"
#include "controls/gui/ui_text.h"
#include "net/gui/qr_dlg.h"
#include "net/gui/web_dlg.h"
#include "platform/offline_renderer.h"
#include "app/gui/compose_dlg.h"
#include "app/gui/desktop_trash.h"
#include "songs/gui/export_dlg.h"
#include "songs/gui/library_dlg.h"
#include "strips/gui/strip_dlg.h"
#include "base/translation.h"

namespace tunecase {

namespace {

constexpr QSize kClientSize(510, 450);
constexpr QRect kListRect(10, 10, 491, 244);
constexpr QRect kBusyRect(10, 380, 60, 60);  // (10, 380)-(70, 440)

// By button index (see listbutton::); the captions keep their spaces.
constexpr ButtonPlace kButtonPlaces[listbutton::Count] = {
    {N_("    MIDI   "), 20, 340, 108, 367},    {N_("   LIBRARY   "), 110, 340, 198, 367},
    {N_(" AUTO CMP "), 200, 340, 288, 367},    {N_("    UP"), 20, 280, 108, 307},
    {N_("   DOWN"), 110, 280, 198, 307},       {N_("   DELETE"), 405, 280, 493, 307},
    {N_("   DEL ALL"), 405, 340, 493, 367},    {N_("   EXPORT"), 200, 400, 288, 427},
    {N_(" AUTO SEL"), 110, 400, 198, 427},     {N_("  DOWNLD"), 290, 340, 378, 367},
    {N_("  UPLOAD"), 290, 400, 378, 427},      {N_("   CLOSE   "), 405, 400, 493, 427},
};

struct GroupPlace {
    const char* caption;
    QRect rect;
};

// Frames around the rows of buttons.
const GroupPlace kGroups[3] = {
    {N_("Order"), QRect(12, 262, 194, 53)},
    {N_("Delete"), QRect(397, 262, 104, 113)},
    {N_("Insert"), QRect(12, 322, 374, 53)},
};


struct AudioFilter {
    const char* text;
    const char* extension;
};
constexpr AudioFilter kAudioFilters[] = {
    {N_("WAV audio (*.wav)"), "wav"},         {N_("FLAC audio (*.flac)"), "flac"},
    {N_("Ogg Vorbis audio (*.ogg)"), "ogg"}, {N_("Opus audio (*.opus)"), "opus"},
    {N_("MP3 audio (*.mp3)"), "mp3"},
};

// The chosen file with `suffix` added when its name has no extension.
std::string withSuffix(const QString& chosen, const char* suffix) {
    if (chosen.isEmpty()) return {};
    if (QFileInfo(chosen).suffix().isEmpty()) return nativePath(chosen + "." + suffix);
    return nativePath(chosen);
}

}  // namespace

CPlayListDlg::CPlayListDlg(PlayerSettings& settings, SongList& list, ProgramFolders folders, QWidget* parent,
                           SongListEditor::Services services, Dialogs dialogs)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      settings_(settings),
      folders_(std::move(folders)),
      dialogs_(std::move(dialogs)) {
    setWindowTitle(uiText(kListCaption));
    setFixedSize(kClientSize);
    setAcceptDrops(true);

    list_ = new QListWidget(this);
    list_->setGeometry(kListRect);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    // RENAME: a double click on a line asks for its new title.
    connect(list_, &QListWidget::itemDoubleClicked, this, [this] {
        if (!ended_ && !editor_->busy()) editor_->renameSelected();
    });
    list_->setToolTip(QString::fromUtf8(tunecase::tr("Double-click a song to rename it.")));

    for (size_t i = 0; i < groups_.size(); ++i) {
        groups_[i] = new QGroupBox(QString::fromUtf8(tunecase::tr(kGroups[i].caption)), this);
        groups_[i]->setGeometry(kGroups[i].rect);
        groups_[i]->lower();  // behind the buttons it frames
    }

    placePictureButtons(buttons_, this, kButtonPlaces, listbutton::Count, [this](int index) { onButton(index); },
                        controls_.data());

    busyControl_ = new COffScreenControl(this);
    busyControl_->setGeometry(kBusyRect);
    busyPicture_.create(kBusyRect.width(), kBusyRect.height());
    busyControl_->setPaintHandler([this](QPainter& painter) { busyPicture_.copyTo(painter); });
    redrawBusyIndicator(0);
    busyTimer_.setInterval(kBusyTimerMs);
    connect(&busyTimer_, &QTimer::timeout, this, [this] { redrawBusyIndicator(editor_->tick()); });

    editor_ = std::make_unique<SongListEditor>(settings, list, folders_, *this, std::move(services));
    editor_->start();
}

CPlayListDlg::~CPlayListDlg() {
    // A job still running hands its songs in first; its posts need this window.
    editor_.reset();
    busyTimer_.stop();
    if (busyControl_) busyControl_->clearHandlers();
    buttons_.destroy();
}

void CPlayListDlg::run(PlayerSettings& settings, SongList& list, const ProgramFolders& folders, QWidget* parent) {
    SongListEditor::Services services;
    services.preferencesPath = composePreferencesPath();
    CPlayListDlg dialog(settings, list, folders, parent, std::move(services));
    dialog.exec();
}

COffScreenControl* CPlayListDlg::buttonControl(int index) const {
    if (index < 0 || index >= listbutton::Count) return nullptr;
    return controls_[static_cast<size_t>(index)];
}

void CPlayListDlg::onButton(int index) {
    // The action may open a modal window; it runs once the press itself is handled.
    QMetaObject::invokeMethod(
        this,
        [this, index] {
            if (ended_) return;
            editor_->onButton(index);
            releaseStuckButtons();
        },
        Qt::QueuedConnection);
}

void CPlayListDlg::releaseStuckButtons() {
    // A button whose press opened a window never saw its release; let it come up.
    if (QGuiApplication::mouseButtons() & Qt::LeftButton) return;
    for (int i = 0; i < buttons_.count(); ++i) {
        COffScreenControl* control = controls_[static_cast<size_t>(i)];
        if (!control || !control->pressed()) continue;
        QMouseEvent release(QEvent::MouseButtonRelease, QPointF(-1, -1), control->mapToGlobal(QPointF(-1, -1)),
                            Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(control, &release);
    }
}

void CPlayListDlg::redrawBusyIndicator(int frame) {
    busyPicture_.drawBusyRing(frame);
    if (busyControl_) busyControl_->update();
}

void CPlayListDlg::reject() {
    if (!ended_) editor_->close();
}

void CPlayListDlg::dropFiles(const std::vector<std::string>& paths) { editor_->onFilesDropped(paths); }

void CPlayListDlg::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls() && !editor_->busy()) event->acceptProposedAction();
    else QDialog::dragEnterEvent(event);
}

void CPlayListDlg::dropEvent(QDropEvent* event) {
    if (!event->mimeData()->hasUrls()) {
        QDialog::dropEvent(event);
        return;
    }
    event->acceptProposedAction();
    dropFiles(droppedFilePaths(event->mimeData()->urls()));
}

// ---- SongListView ------------------------------------------------------------------------------

void CPlayListDlg::postToUi(std::function<void()> task) {
    QMetaObject::invokeMethod(this, std::move(task), Qt::QueuedConnection);
}

void CPlayListDlg::pumpEvents(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
}

void CPlayListDlg::showList(const std::vector<std::string>& storedTitles, int selectedLine) {
    list_->clear();
    for (const std::string& title : storedTitles) list_->addItem(QString::fromStdString(displayText(title)));
    if (selectedLine >= 0 && selectedLine < list_->count()) {
        list_->setCurrentRow(selectedLine);
        list_->scrollToItem(list_->item(selectedLine));
    } else {
        list_->setCurrentRow(-1);
        list_->clearSelection();
    }
}

int CPlayListDlg::selectedLine() {
    const QList<QListWidgetItem*> selected = list_->selectedItems();
    return selected.isEmpty() ? -1 : list_->row(selected.front());
}

void CPlayListDlg::setBusy(bool busy) {
    for (int i = 0; i < buttons_.count(); ++i) buttons_.enable(i, !busy);
    // The list holds still while songs join it at the selected line.
    list_->setEnabled(!busy);
    if (busy) {
        setCursor(Qt::WaitCursor);
        busyTimer_.start();
    } else {
        busyTimer_.stop();
        redrawBusyIndicator(0);
        unsetCursor();
        update();
        releaseStuckButtons();
    }
}

std::string CPlayListDlg::chooseMidiFile() {
    if (dialogs_.chooseMidiFile) return dialogs_.chooseMidiFile();
    const QString folder = QFile::decodeName(QByteArray::fromStdString(editor_->importStartFolder()));
    return nativePath(QFileDialog::getOpenFileName(this, QString(), folder, uiText(kSmfFilter)));
}

std::string CPlayListDlg::runLibrary(const std::string& outputPath) {
    libraryStrip_ = false;
    if (dialogs_.runLibrary) return dialogs_.runLibrary(outputPath);
    return CLibraryDlg::run(folders_.library, outputPath, this, &libraryStrip_);
}

ExportRequest CPlayListDlg::askExport(bool upload) {
    if (dialogs_.askExport) return dialogs_.askExport(upload);
    const ExportRequest remembered = editor_->rememberedExportRange();
    const ExportDialogResult chosen = CExportDlg::run(upload ? exportmode::Upload : exportmode::Export, this,
                                                      remembered.lowNote, remembered.highNote);
    ExportRequest request;
    request.lowNote = chosen.lowNote;
    request.highNote = chosen.highNote;
    request.kind = chosen.choice == exportchoice::MusicBox   ? ExportKind::MusicBox
                   : chosen.choice == exportchoice::ToyPiano ? ExportKind::ToyPiano
                   : chosen.choice == exportchoice::Strip    ? ExportKind::Strip
                   : chosen.choice == exportchoice::Audio    ? ExportKind::Audio
                                                             : ExportKind::Cancelled;
    return request;
}

ExportTarget CPlayListDlg::chooseExportFile(ExportKind kind) {
    if (dialogs_.chooseExportFile) return dialogs_.chooseExportFile(kind);
    ExportTarget target;
    const auto suggested = [this](const char* extension) {
        return QFile::decodeName(QByteArray::fromStdString(editor_->suggestedExportPath(extension)));
    };
    if (kind == ExportKind::Strip) {
        target.format = ExportTarget::StripPdf;
        target.path = withSuffix(
            QFileDialog::getSaveFileName(this, QString(), suggested("pdf"), uiText(kStripFilesFilter)), "pdf");
        return target;
    }
    if (kind == ExportKind::Audio) {
        // One filter a format; the chosen filter's extension when the name gives no format.
        QStringList filters;
        for (const AudioFilter& filter : kAudioFilters) filters << uiText(filter.text);
        QString chosenFilter = filters.front();
        const QString chosen = QFileDialog::getSaveFileName(this, QString(), suggested(kAudioFilters[0].extension),
                                                            filters.join(";;"), &chosenFilter);
        target.format = ExportTarget::AudioFile;
        const int index = std::max<int>(0, static_cast<int>(filters.indexOf(chosenFilter)));
        target.path = withSuffix(chosen, kAudioFilters[index].extension);
        if (!target.path.empty() && !audioFormatFor(target.path))
            target.path += std::string(".") + kAudioFilters[index].extension;
        return target;
    }
    if (kind == ExportKind::MusicBox) {
        target.format = ExportTarget::MusicBoxMidi;
        target.path = withSuffix(
            QFileDialog::getSaveFileName(this, QString(), suggested("mid"), uiText(kTunecaseFilesFilter)), "mid");
        return target;
    }
    const QString filters = uiText(kToyPianoFilesFilter) + ";;" + uiText(kTunecaseFilesFilter);
    QString chosenFilter = uiText(kToyPianoFilesFilter);
    const QString chosen = QFileDialog::getSaveFileName(this, QString(), suggested("fem"), filters, &chosenFilter);
    const bool midi = chosenFilter == uiText(kTunecaseFilesFilter);
    target.format = midi ? ExportTarget::ToyPianoMidi : ExportTarget::ToyPianoFile;
    target.path = withSuffix(chosen, midi ? "mid" : "fem");
    return target;
}

std::optional<StripChoice> CPlayListDlg::askStrip(const std::vector<std::string>& boxes,
                                                  const StripReporter& reportFor) {
    if (dialogs_.askStrip) return dialogs_.askStrip(boxes, reportFor);
    return CStripDlg::run(boxes, reportFor, this);
}

std::optional<StripChoice> CPlayListDlg::askStripWithPreview(const std::vector<std::string>& boxes,
                                                             const StripReporter& reportFor,
                                                             const StripPreviewer& preview) {
    if (dialogs_.askStrip) return dialogs_.askStrip(boxes, reportFor);
    return CStripDlg::run(boxes, reportFor, this, preview);
}

void CPlayListDlg::runUpload(const std::string& workFile) {
    if (dialogs_.runUpload) return dialogs_.runUpload(workFile);
    CQrDlg::run(workFile, this);
}

void CPlayListDlg::runDownload() {
    if (dialogs_.runDownload) return dialogs_.runDownload();
    CWebDlg::Options options;
    options.folders = folders_;
    CWebDlg web(songFolder(settings_), this, std::move(options));
    web.exec();
}

bool CPlayListDlg::moveToTrash(const std::string& path, std::string& reason) {
    return moveToDesktopTrash(path, reason);
}

std::optional<ComposeAnswer> CPlayListDlg::askCompose(const ComposeChoices& initial) {
    if (dialogs_.askCompose) return dialogs_.askCompose(initial);
    return CComposeDlg::run(initial, editor_->songFolderPath(), editor_->choiceComposer(), this);
}

std::optional<std::string> CPlayListDlg::askTitle(const std::string& current) {
    if (dialogs_.askTitle) return dialogs_.askTitle(current);
    bool ok = false;
    const QString title = QInputDialog::getText(this, QString::fromUtf8(tunecase::tr("Rename")),
                                                QString::fromUtf8(tunecase::tr("Title:")), QLineEdit::Normal,
                                                QString::fromStdString(displayText(current)), &ok);
    if (!ok) return std::nullopt;
    return title.toStdString();
}

void CPlayListDlg::endDialog() {
    if (ended_) return;
    ended_ = true;
    QDialog::done(QDialog::Accepted);
}

}  // namespace tunecase
