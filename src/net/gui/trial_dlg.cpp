#include "net/gui/trial_dlg.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QUrlQuery>
#include <QWebEngineDownloadRequest>
#include <QWebEngineProfile>
#include <QWebEngineView>
#include <cstdio>

#include "base/general_errors.h"
#include "base/reporter.h"
#include "base/utilities.h"
#include "controls/gui/native_paths.h"
#include "songs/library.h"
#include "songs/song_arrangement.h"

namespace tunecase {

namespace {

// The browser draws with OpenGL when the windows share their GL contexts; this must be said
// before the application object exists, so it is said when the program loads.
void shareOpenGlContexts() { QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts); }
Q_CONSTRUCTOR_FUNCTION(shareOpenGlContexts)

// Chromium refuses to start its sandbox as root (as on build machines and in containers) and
// the page then stays blank; for root it runs without one. Read when the first browser starts.
// Under QT_QPA_PLATFORM=offscreen nothing more is needed: the browser falls back to software
// drawing ("No suitable graphics backend found" is only a notice); under Xvfb it uses Mesa.
void allowRootBrowser() {
    if (geteuid() == 0 && qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
}

constexpr ButtonPlace kTrialButtons[trialbutton::Count] = {
    {N_("   CLOSE"), 530, 450, 630, 477},
    {kPlayLabel, 10, 450, 110, 477},
    {N_("  ADD MWD"), 120, 450, 220, 477},
};
const QRect kBrowserRect(10, 10, 620, 430);

// The song-data copy the arranger reads, beside "trial.tmp".
constexpr const char* kTrialSongDataName = "trial.mwd.tmp";

std::string askForSongDataFile(QWidget* parent, const std::string& folder) {
    const QString chosen =
        QFileDialog::getOpenFileName(parent, QString(), QFile::decodeName(folder.c_str()),
                                     QString::fromUtf8(tunecase::tr(kDawnPieceFilterText)));
    return chosen.isEmpty() ? std::string() : nativePath(chosen);
}

// Addresses compare as the browser reports them: "http://h/p" and "http://h/p/" are one page.
QUrl comparable(const QUrl& url) {
    return url.adjusted(QUrl::NormalizePathSegments | QUrl::StripTrailingSlash | QUrl::RemoveFragment);
}

}  // namespace

std::unique_ptr<MidiF0Data> arrangeTrialSong(const CSongData& song, const ProgramFolders& folders) {
    prepareWorkFolder(folders);
    const std::string songDataPath = joinPath(folders.work, kTrialSongDataName);
    const std::string trialPath = joinPath(folders.work, kTrialFileName);
    const CSongData copy(song, 0, song.measures());
    if (!copy.saveFile(songDataPath)) {
        generalError(gene::CantOpenFile, songDataPath);
        return nullptr;
    }
    std::string title;
    const int arranged = arrangeSongData(songDataPath, trialPath, title);
    std::remove(songDataPath.c_str());
    if (!arranged) return nullptr;
    auto played = MidiF0Data::openFile(trialPath, kDefaultSongCapacity);
    std::remove(trialPath.c_str());
    if (played->state() != MidiF0Data::NoteEvents || !played->track()) return nullptr;
    return played;
}

CTrialDlg::CTrialDlg(std::string pageAddress, const CSongData& song, std::string dataFolder, QWidget* parent,
                     Options options)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      pageAddress_(std::move(pageAddress)),
      pageUrl_(QUrl(QString::fromStdString(pageAddress_))),
      song_(song),
      dataFolder_(std::move(dataFolder)),
      folders_(options.folders ? std::move(*options.folders) : locateProgramFolders()),
      chooseFile_(options.chooseFile ? std::move(options.chooseFile) : FileChooser(askForSongDataFile)) {
    setWindowTitle(QString::fromUtf8(tunecase::tr(kTrialCaption)));
    setFixedSize(640, 487);

    allowRootBrowser();
    view_ = new QWebEngineView(this);
    view_->setGeometry(kBrowserRect);
    // A song file linked from the page is saved in the data folder, where ADD MWD looks first.
    connect(view_->page()->profile(), &QWebEngineProfile::downloadRequested, this,
            [this](QWebEngineDownloadRequest* download) {
                if (download->page() == view_->page()) saveDownload(download);
            });
    view_->setUrl(pageUrl_);

    placePictureButtons(buttons_, this, kTrialButtons, trialbutton::Count, [this](int index) { onButton(index); },
                        controls_.data());

    addressTimer_.setInterval(kAddressCheckMs);
    connect(&addressTimer_, &QTimer::timeout, this, [this] { checkAddress(); });
    addressTimer_.start();
}

CTrialDlg::~CTrialDlg() {
    addressTimer_.stop();
    // Its ending posts through the runner, which goes before the preview does.
    preview_.stop();
    buttons_.destroy();
}

COffScreenControl* CTrialDlg::buttonControl(int index) const {
    if (index < 0 || index >= trialbutton::Count) return nullptr;
    return controls_[index];
}

bool CTrialDlg::showsPage() const { return comparable(view_->url()) == comparable(pageUrl_); }

void CTrialDlg::onButton(int index) {
    switch (index) {
        case trialbutton::Close:
            QTimer::singleShot(kCloseDelayMs, this, [this] { closeUnlessPlaying(); });
            break;
        case trialbutton::Play:
            playOrStop();
            break;
        case trialbutton::AddMwd:
            addSongDataFile();
            break;
        default:
            break;
    }
}

void CTrialDlg::playOrStop() {
    if (!showsPage()) view_->setUrl(pageUrl_);
    if (playing_) {
        stopPreview();
        return;
    }
    if (job_.busy()) return;  // the last preview is still being stopped
    if (!song_.isLoaded()) {
        reportText("", BoxKind::Beep);  // the download was refused: nothing to play
        return;
    }
    buttons_.setLabel(trialbutton::Play, kStopLabel);
    playing_ = true;
    const int generation = ++generation_;
    auto started = std::make_shared<bool>(false);
    job_.start(
        [this, generation, started](const JobRunner::Job&) {
            played_ = arrangeTrialSong(song_, folders_);
            if (!played_) return;
            // The preview ends on the player's own thread: its ending comes back as a post.
            auto ended = [this, generation] {
                job_.post([this, generation] { previewEnded(generation); });
                return 1;
            };
            *started = preview_.play(*played_, ended, {}, true, false) == 1;
        },
        [this, generation, started] {
            if (generation != generation_) {
                // Stopped while it was starting: stop what started.
                if (*started) job_.start([this](const JobRunner::Job&) { preview_.stop(); }, [this] {
                    if (closePending_) accept();
                });
                else if (closePending_) accept();
                return;
            }
            if (!*started) previewEnded(generation);
        });
}

void CTrialDlg::stopPreview() {
    playing_ = false;
    ++generation_;
    buttons_.setLabel(trialbutton::Play, kPlayLabel);
    // While the preview is still starting, its ending stops it.
    if (job_.busy()) return;
    job_.start([this](const JobRunner::Job&) { preview_.stop(); }, [this] {
        if (closePending_) accept();
    });
}

void CTrialDlg::previewEnded(int generation) {
    if (generation != generation_ || !playing_) return;
    playing_ = false;
    buttons_.setLabel(trialbutton::Play, kPlayLabel);
}

void CTrialDlg::checkAddress() {
    if (playing_ && !showsPage()) stopPreview();
}

void CTrialDlg::addSongDataFile() {
    // The file dialog opens where the page's song was saved, with that song chosen.
    std::string path = chooseFile_(this, lastSaved_.empty() ? dataFolder_ : lastSaved_);
    if (path.empty()) return;
    addToArchive(folders_.library, path);
}

void CTrialDlg::closeUnlessPlaying() {
    if (playing_) {
        reportText(kStopPlaybackFirstText, BoxKind::Ok);
        return;
    }
    if (job_.busy()) {
        closePending_ = true;  // closes once the preview has stopped
        return;
    }
    accept();
}

void CTrialDlg::reject() { closeUnlessPlaying(); }

void CTrialDlg::saveDownload(QWebEngineDownloadRequest* download) {
    // Our server's file link ends in "?fn=NAME.mwd": keep that name.
    const QString name = QFileInfo(QUrlQuery(download->url()).queryItemValue("fn", QUrl::FullyDecoded)).fileName();
    if (name.endsWith(".mwd", Qt::CaseInsensitive)) download->setDownloadFileName(name);
    download->setDownloadDirectory(QFile::decodeName(dataFolder_.c_str()));
    download->accept();
    lastSaved_ = nativePath(download->downloadDirectory() + "/" + download->downloadFileName());
}

}  // namespace tunecase
