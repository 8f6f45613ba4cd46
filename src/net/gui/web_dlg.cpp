#include "net/gui/web_dlg.h"

#include <QCoreApplication>
#include <QEvent>
#include <QTimer>

#include "base/reporter.h"
#include "base/text_codec.h"
#include "base/utilities.h"
#include "net/gui/web_page_program.h"
#include "net/internet.h"
#include "songs/song_data.h"

namespace tunecase {

namespace {

constexpr ButtonPlace kWebButtons[webbutton::Count] = {
    {N_("  Web Page"), 10, 290, 110, 317},
    {kSearchInputLabel, 120, 290, 220, 317},
    {N_("   CLOSE"), 250, 290, 350, 317},
};
const QRect kWebListRect(10, 10, 340, 270);

const QRect kSearchFieldRect(10, 10, 300, 24);
constexpr ButtonPlace kSearchButton = {N_("  SEARCH"), 10, 44, 110, 71};

// `text` cut to at most `limit` bytes without splitting a UTF-8 character.
std::string cutUtf8(std::string text, size_t limit) {
    if (text.size() <= limit) return text;
    size_t end = limit;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    text.resize(end);
    return text;
}

}  // namespace

// ---- CWebSearchDlg ---------------------------------------------------------------------------

CWebSearchDlg::CWebSearchDlg(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint) {
    setWindowTitle(QString::fromUtf8(tunecase::tr(kWebSearchCaption)));
    setFixedSize(320, 81);
    field_ = new QLineEdit(this);
    field_->setGeometry(kSearchFieldRect);
    field_->setMaxLength(kMaxSearchText);
    control_ = new COffScreenControl(this);
    button_.create([this](int) { accept(); }, nullptr, control_,
                   rectFromEdges(kSearchButton.left, kSearchButton.top, kSearchButton.right, kSearchButton.bottom),
                   kSearchButton.label, FacePlain, FacePressed);
    connect(field_, &QLineEdit::returnPressed, this, &QDialog::accept);
    field_->setFocus();
}

CWebSearchDlg::~CWebSearchDlg() { button_.destroy(); }

std::string CWebSearchDlg::text() const {
    return cutUtf8(field_->text().toStdString(), kMaxSearchText);
}

bool CWebSearchDlg::ask(QWidget* parent, std::string& text) {
    CWebSearchDlg dialog(parent);
    if (dialog.exec() != QDialog::Accepted) return false;
    text = dialog.text();
    return true;
}

// ---- CWebDlg ---------------------------------------------------------------------------------

CWebDlg::CWebDlg(std::string dataFolder, QWidget* parent, Options options)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      dataFolder_(std::move(dataFolder)),
      folders_(options.folders ? std::move(*options.folders) : locateProgramFolders()),
      server_(options.server ? *options.server : loadServerSettings().settings.songServer),
      timeouts_(options.timeouts),
      askSearch_(options.askSearch ? std::move(options.askSearch) : SearchAsker(CWebSearchDlg::ask)),
      openPreview_(options.openPreview ? std::move(options.openPreview) : PreviewOpener(openWebPageProgram)) {
    setWindowTitle(QString::fromUtf8(tunecase::tr(kWebSiteCaption)));
    setFixedSize(360, 327);

    list_ = new QListWidget(this);
    list_->setGeometry(kWebListRect);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->addItem(QString::fromUtf8(tunecase::tr(kListLoadingLineText)));

    placePictureButtons(buttons_, this, kWebButtons, webbutton::Count, [this](int index) { onButton(index); },
                        controls_.data());

    // The list comes off the window's thread; the list-loaded message follows its attempt.
    QMetaObject::invokeMethod(
        this,
        [this] {
            listJob_.start([this](const JobRunner::Job&) {
                               listFailed_ = !SongServerClient(server_, timeouts_).fetchList(table_);
                           },
                           [this] {
                               QCoreApplication::postEvent(this,
                                                           new QEvent(static_cast<QEvent::Type>(kListLoadedMessage)));
                           });
        },
        Qt::QueuedConnection);
}

CWebDlg::~CWebDlg() { buttons_.destroy(); }

void CWebDlg::run(const std::string& dataFolder, QWidget* parent) {
    CWebDlg dialog(dataFolder, parent);
    dialog.exec();
}

COffScreenControl* CWebDlg::buttonControl(int index) const {
    if (index < 0 || index >= webbutton::Count) return nullptr;
    return controls_[index];
}

bool CWebDlg::event(QEvent* event) {
    if (event->type() == static_cast<QEvent::Type>(kListLoadedMessage)) {
        listLoaded();
        return true;
    }
    return QDialog::event(event);
}

void CWebDlg::onButton(int index) {
    switch (index) {
        case webbutton::WebPage:
            openSelectedSong();
            break;
        case webbutton::Search:
            searchOrClear();
            break;
        case webbutton::Close:
            QTimer::singleShot(kCloseDelayMs, this, [this] { closeWhenLoaded(); });
            break;
        default:
            break;
    }
}

void CWebDlg::listLoaded() {
    listAttemptDone_ = true;
    // A failed attempt has shown its box. With nothing read the window has nothing to offer
    // and closes; with the rows read before a fault the list shows what there is.
    if (listFailed_ && table_.rows() == 0) {
        QDialog::done(QDialog::Rejected);
        return;
    }
    fillList();
}

void CWebDlg::fillList() {
    buttons_.setLabel(webbutton::Search, searchText_.empty() ? kSearchInputLabel : kSearchClearLabel);
    if (!listAttemptDone_) return;  // the search is applied when the list arrives
    list_->clear();
    const SongListTable& table = table_;
    for (int row : table.search(searchText_)) {
        auto* item = new QListWidgetItem(QString::fromStdString(displayText(table.cell(row, kColumnTitle))), list_);
        item->setData(Qt::UserRole, row);
    }
    if (list_->count() > 0) list_->setCurrentRow(0);
}

void CWebDlg::searchOrClear() {
    if (download_.busy()) return;
    if (searchText_.empty()) {
        std::string text;
        if (askSearch_(this, text)) searchText_ = cutUtf8(std::move(text), kMaxSearchText);
    } else {
        searchText_.clear();
    }
    fillList();
}

void CWebDlg::openSelectedSong() {
    if (!listAttemptDone_) {
        reportText(kListStillLoadingText, BoxKind::Ok);
        return;
    }
    if (download_.busy()) return;
    QListWidgetItem* item = list_->currentItem();
    const int row = item && item->isSelected() ? item->data(Qt::UserRole).toInt() : -1;
    if (row < 0 || row >= table_.rows()) {
        reportText("", BoxKind::Beep);
        return;
    }
    // The table is only read once loaded, so the worker may read it too.
    auto result = std::make_shared<NetResult>();
    auto bytes = std::make_shared<std::vector<uint8_t>>();
    const SongListTable* table = &table_;
    setDownloading(true);
    download_.start(
        [this, table, row, result, bytes](const JobRunner::Job&) {
            SongServerClient client(server_, timeouts_);
            *result = client.fetchSong(*table, row, *bytes);
        },
        [this, result, bytes, row] {
            setDownloading(false);
            songDownloaded(*result, std::move(*bytes), row);
        });
}

void CWebDlg::songDownloaded(const NetResult& result, std::vector<uint8_t> bytes, int row) {
    if (!result) {
        // Nothing usable arrived: say so, rather than preview an empty song.
        reportText(kInternetConnectFailedText, BoxKind::Ok);
        if (closePending_) accept();
        return;
    }
    if (closePending_) {
        accept();
        return;
    }
    // A size the song data refuses shows its box and previews an empty song: the page is
    // still worth seeing, and PLAY has nothing to play.
    const CSongData song(bytes.data(), bytes.size());
    openPreview_(this, song, table_.cell(row, kColumnPageUrl), dataFolder_, folders_);
}

void CWebDlg::setDownloading(bool on) {
    for (int i = 0; i < webbutton::Count; ++i) buttons_.enable(i, !on);
    list_->setEnabled(!on);
    if (on) setCursor(Qt::WaitCursor);
    else unsetCursor();
}

void CWebDlg::closeWhenLoaded() {
    if (!listAttemptDone_) {
        reportText(kListStillLoadingText, BoxKind::Ok);
        return;
    }
    if (download_.busy()) {
        closePending_ = true;  // closes when the download ends
        return;
    }
    accept();
}

void CWebDlg::reject() { closeWhenLoaded(); }

}  // namespace tunecase
