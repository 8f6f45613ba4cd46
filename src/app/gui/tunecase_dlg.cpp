#include "app/gui/tunecase_dlg.h"

#include <QApplication>
#include <QCursor>
#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QEventLoop>
#include <QFile>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QUrl>
#include <QVBoxLayout>
#include <cstdlib>
#include <cstring>

#include "base/general_errors.h"
#include "app/compose_preferences.h"
#include "app/gui/config_dlg.h"
#include "app/gui/play_list_dlg.h"
#include "base/text_codec.h"
#include "base/translation.h"
#include "controls/gui/native_paths.h"

namespace tunecase {

namespace {

// Where the controls sit in the client area. The picture buttons keep their historic
// pixel rectangles; the rest is laid out around them.
constexpr QSize kClientSize(430, 136);
constexpr QRect kTitleRect(12, 8, 262, 22);
constexpr QRect kComboRect(280, 6, 138, 24);
constexpr QRect kBusyRect(12, 46, 40, 40);
constexpr QRect kSpeedLabelRect(60, 106, 50, 22);
constexpr QRect kSliderRect(112, 106, 306, 22);

struct PlayerButtonPlace {
    const char* label;
    int left, top, right, bottom;
    int face;
};

// By button index (see playerbutton::).
constexpr PlayerButtonPlace kButtonPlaces[playerbutton::Count] = {
    {N_("    QUIT"), 330, 70, 418, 97, FacePlain},      {N_("    HELP"), 240, 70, 328, 97, FacePlain},
    {kStartLabel, 60, 36, 148, 63, FaceTransport},  {N_("   CONFIG"), 150, 70, 238, 97, FacePlain},
    {N_("    LIST"), 60, 70, 148, 97, FacePlain},       {N_("    HIDE"), 330, 36, 418, 63, FaceHide},
    {N_("    PREV"), 150, 36, 238, 63, FaceTransport},  {N_("    NEXT"), 240, 36, 328, 63, FaceTransport},
};

// The window's keys, wherever the focus is inside it.
struct KeyBinding {
    int key;
    Qt::KeyboardModifiers modifiers;
    int button;
};
constexpr KeyBinding kKeyBindings[] = {
    {Qt::Key_Space, Qt::NoModifier, playerbutton::StartStop}, {Qt::Key_Left, Qt::NoModifier, playerbutton::Prev},
    {Qt::Key_Right, Qt::NoModifier, playerbutton::Next},      {Qt::Key_F1, Qt::NoModifier, playerbutton::Help},
    {Qt::Key_Q, Qt::ControlModifier, playerbutton::Quit},
};

QString fromUtf8(const std::string& text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

bool envSet(const char* name) {
    const char* value = std::getenv(name);
    return value && *value;
}

}  // namespace

QIcon tunecaseIcon() {
    QIcon icon;
    for (int size : {16, 32, 48}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        const double s = size / 32.0;
        p.setPen(QPen(QColor(110, 80, 30), 1.5 * s));
        p.setBrush(QColor(214, 172, 82));
        p.drawEllipse(QPointF(16 * s, 16 * s), 14 * s, 14 * s);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(90, 60, 20));
        // A few pins around the disk and the spindle in the middle.
        const QPointF pins[] = {{16, 6}, {24, 11}, {25, 20}, {18, 26}, {9, 22}, {8, 12}, {13, 10}, {21, 17}};
        for (const QPointF& pin : pins) p.drawEllipse(QPointF(pin.x() * s, pin.y() * s), 1.3 * s, 1.3 * s);
        p.setBrush(QColor(60, 40, 10));
        p.drawEllipse(QPointF(16 * s, 16 * s), 2.5 * s, 2.5 * s);
        p.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

// ---- About box and help window ---------------------------------------------------------------

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QString::fromUtf8(tunecase::tr(kCaption)));
    setWindowIcon(tunecaseIcon());
    auto* picture = new QLabel(this);
    picture->setPixmap(tunecaseIcon().pixmap(32, 32));
    auto* text = new QLabel(QString::fromUtf8(tunecase::tr(kText)), this);
    text->setObjectName("aboutText");
    auto* ok = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    ok->button(QDialogButtonBox::Ok)->setText(QString::fromUtf8(tunecase::tr("OK")));
    connect(ok, &QDialogButtonBox::accepted, this, &QDialog::accept);
    auto* row = new QHBoxLayout;
    row->addWidget(picture);
    row->addSpacing(12);
    row->addWidget(text, 1);
    auto* column = new QVBoxLayout(this);
    column->addLayout(row);
    column->addWidget(ok);
}

CHelpWindow::CHelpWindow() : QWidget(nullptr, Qt::Window) {
    setWindowTitle(QString::fromUtf8(tunecase::tr(kCaption)));
    setWindowIcon(tunecaseIcon());
    browser_ = new QTextBrowser(this);
    // Pages link to each other; anything outside the help goes to the desktop's browser.
    browser_->setOpenExternalLinks(true);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(browser_);
    resize(640, 520);
}

void CHelpWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

void CHelpWindow::showPage(const std::string& path) {
    browser_->setSource(QUrl::fromLocalFile(QFile::decodeName(QByteArray::fromStdString(path))));
}

// ---- The window ------------------------------------------------------------------------------------

CTunecaseDlg::CTunecaseDlg(PlayerSettings& settings, SongList& list, Startup startup, QWidget* parent)
    : QDialog(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      settings_(settings),
      list_(list),
      startup_(std::move(startup)) {
    setWindowTitle(QString::fromUtf8(tunecase::tr(kCaption)));
    setWindowIcon(tunecaseIcon());
    setFixedSize(kClientSize);
    setAcceptDrops(true);
    controller_ = std::make_unique<PlayerController>(settings_, list_, *this);
    if (startup_.folders.program.empty()) startup_.folders = locateProgramFolders();
    controller_->setProgramFolders(startup_.folders);

    buildControls();

    // The plate window starts beside the player.
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.left() + std::max(0, (area.width() - width()) / 2 - 130), area.top() + area.height() / 4);
    }
    createPlate(QPoint(x() + width() + 24, y()));

    // The tray icon exists even where no tray is shown, so it can appear when one starts.
    tray_ = std::make_unique<QSystemTrayIcon>(windowIcon());
    connect(tray_.get(), &QSystemTrayIcon::activated, this, &CTunecaseDlg::onTrayActivated);
    if (QSystemTrayIcon::isSystemTrayAvailable()) tray_->show();

    controller_->start();
}

CTunecaseDlg::~CTunecaseDlg() {
    shutdownWindow();
    // The controller waits for its threads before the view it talks to goes away.
    controller_.reset();
}

void CTunecaseDlg::buildControls() {
    title_ = new QLabel(this);
    title_->setGeometry(kTitleRect);
    title_->setTextFormat(Qt::PlainText);

    combo_ = new QComboBox(this);
    combo_->setGeometry(kComboRect);
    for (int32_t code = PlateNone; code <= PlateToyPianoSmall; ++code) combo_->addItem(QString::fromUtf8(tunecase::tr(plateTypeName(code))), code);
    combo_->setCurrentIndex(std::max(0, combo_->findData(settings_.plateType)));
    combo_->setAccessibleName(QString::fromUtf8(tunecase::tr("Plate")));
    connect(combo_, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index >= 0) controller_->onPlateSelected(combo_->itemData(index).toInt());
    });

    auto* speedLabel = new QLabel(QString::fromUtf8(tunecase::tr("SPEED")), this);
    speedLabel->setGeometry(kSpeedLabelRect);
    slider_ = new QSlider(Qt::Horizontal, this);
    slider_->setGeometry(kSliderRect);
    slider_->setRange(kSpeedMin, kSpeedMax);
    slider_->setValue(settings_.speedPercent);
    slider_->setPageStep(10);
    speedLabel->setBuddy(slider_);
    slider_->setAccessibleName(speedLabel->text());
    connect(slider_, &QSlider::valueChanged, this, [this](int value) { controller_->onSpeedChanged(value); });

    busyControl_ = new COffScreenControl(this);
    busyControl_->setGeometry(kBusyRect);
    busyPicture_.create(kBusyRect.width(), kBusyRect.height());
    busyControl_->setPaintHandler([this](QPainter& painter) { busyPicture_.copyTo(painter); });
    redrawBusyIndicator();
    busyTimer_.setInterval(kBusyTimerMs);
    connect(&busyTimer_, &QTimer::timeout, this, &CTunecaseDlg::stepBusyIndicator);

    for (int i = 0; i < playerbutton::Count; ++i) {
        const PlayerButtonPlace& place = kButtonPlaces[i];
        buttonControls_[i] = new COffScreenControl(this);
        const QRect rect = rectFromEdges(place.left, place.top, place.right, place.bottom);
        if (i == 0)
            buttons_.create([this](int index) { controller_->onButton(index); }, nullptr, buttonControls_[i], rect,
                            place.label, place.face, FacePressed);
        else
            buttons_.add(buttonControls_[i], rect, place.label, place.face, FacePressed);
    }

    // The window's keys win over what the focused control would do with them.
    for (QWidget* child : findChildren<QWidget*>()) child->installEventFilter(this);

    // Qt has no window menu to extend; the about box hangs on the window's context menu.
    about_ = new QAction(QString::fromUtf8(tunecase::tr(kAboutMenuText)), this);
    connect(about_, &QAction::triggered, this, &CTunecaseDlg::showAbout);
    addAction(about_);
    setContextMenuPolicy(Qt::ActionsContextMenu);
}

void CTunecaseDlg::createPlate(const QPoint& where) {
    plate_ = std::make_unique<PlateDlg>(&settings_, &controller_->motion());
    plate_->setWindowIcon(windowIcon());
    plate_->setTickSource([this] { return controller_->ticksPer100ms(); });
    // Hidden to the tray, the player leaves the plate on top of everything.
    if (hiddenToTray_) plate_->setWindowFlag(Qt::WindowStaysOnTopHint, true);
    plate_->move(where);
    plate_->fitToPlate();
}

COffScreenControl* CTunecaseDlg::buttonControl(int index) const {
    if (index < 0 || index >= playerbutton::Count) return nullptr;
    return buttonControls_[index];
}

// ---- PlayerView: posting and waiting -----------------------------------------------------------

void CTunecaseDlg::postToUi(std::function<void()> task) {
    // Queued onto the window's thread; dropped once the window has shut down.
    QMetaObject::invokeMethod(
        this, [this, task = std::move(task)] {
            if (!shutDown_) task();
        },
        Qt::QueuedConnection);
}

void CTunecaseDlg::postToUiAfter(int ms, std::function<void()> task) {
    QTimer::singleShot(ms, this, [this, task = std::move(task)] {
        if (!shutDown_) task();
    });
}

void CTunecaseDlg::pumpEvents(int ms) {
    // Clicks wait until the wait is over, as they would behind a busy window; everything
    // else (posted messages, paints, a box raised by the player's thread) goes on.
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
}

// ---- PlayerView: the window's own controls ----------------------------------------------------

void CTunecaseDlg::showTitle(const std::string& storedTitle) {
    if (title_) title_->setText(fromUtf8(displayText(storedTitle)));
}

void CTunecaseDlg::setStartLabel(const char* label) { buttons_.setLabel(playerbutton::StartStop, label); }

void CTunecaseDlg::setButtonsEnabled(bool enabled) {
    for (int i = 0; i < buttons_.count(); ++i) buttons_.enable(i, enabled);
    if (!enabled) return;
    // A button disabled while held never saw its release; let it come up now.
    if (QGuiApplication::mouseButtons() & Qt::LeftButton) return;
    for (int i = 0; i < buttons_.count(); ++i) {
        COffScreenControl* control = buttonControls_[i];
        if (!control || !control->pressed()) continue;
        QMouseEvent release(QEvent::MouseButtonRelease, QPointF(-1, -1), control->mapToGlobal(QPointF(-1, -1)),
                            Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(control, &release);
    }
}

void CTunecaseDlg::setLoading(bool loading) {
    if (loading) {
        busyTimer_.start();
        setCursor(Qt::WaitCursor);
    } else {
        busyTimer_.stop();
        busyPhase_ = 0;
        redrawBusyIndicator();
        unsetCursor();
    }
}

void CTunecaseDlg::stepBusyIndicator() {
    busyPhase_ = (busyPhase_ + 3) % 100;
    redrawBusyIndicator();
}

void CTunecaseDlg::redrawBusyIndicator() {
    busyPicture_.drawBusyRing(busyPhase_);
    if (busyControl_) busyControl_->update();
}

// ---- PlayerView: the plate -------------------------------------------------------------------

void CTunecaseDlg::plateSetSong(const std::vector<PlateNote>& notes, int32_t displayLength) {
    if (plate_) plate_->setSong(notes, displayLength);
}

void CTunecaseDlg::plateAdvanceOnce() {
    if (plate_) plate_->advance();
}

void CTunecaseDlg::plateRepaint() {
    if (plate_) plate_->requestRepaint();
}

void CTunecaseDlg::plateTimer(bool on) {
    if (!plate_) return;
    if (on) plate_->startTimer();
    else plate_->stopTimer();
}

void CTunecaseDlg::plateSongEvent(PlateEventKind kind, int note, int32_t time, bool nextIsNoteOnSameTime) {
    // The player's thread; the plate is only replaced while no song runs.
    if (plate_) plate_->onSongEvent(kind, note, time, nextIsNoteOnSameTime);
}

void CTunecaseDlg::plateReleaseAllKeys() {
    if (plate_) plate_->releaseAll();
}

void CTunecaseDlg::plateRebuild() {
    const QPoint where = plate_ ? plate_->pos() : QPoint(x() + width() + 24, y());
    plate_.reset();  // its keyboard goes first
    createPlate(where);
    buttons_.redrawAll();
}

// ---- PlayerView: window commands ------------------------------------------------------------

bool CTunecaseDlg::trayAvailable() { return tray_ && QSystemTrayIcon::isSystemTrayAvailable(); }

void CTunecaseDlg::hideWindow() {
    if (!trayAvailable()) {
        // Without a tray a hidden window could not be brought back.
        showMinimized();
        return;
    }
    hide();
    hiddenToTray_ = true;
    if (plate_) {
        const bool shown = plate_->isVisible();
        plate_->setWindowFlag(Qt::WindowStaysOnTopHint, true);
        if (shown) plate_->show();
    }
}

void CTunecaseDlg::toggleWindow() {
    if (isVisible() && !isMinimized()) {
        hide();
        return;
    }
    hiddenToTray_ = false;
    showNormal();
    raise();
    activateWindow();
}

void CTunecaseDlg::selectPlateEntry(int32_t plateType) {
    const int index = combo_->findData(plateType);
    if (index < 0) return;
    QSignalBlocker quiet(combo_);
    combo_->setCurrentIndex(index);
}

void CTunecaseDlg::openHelp() {
    const std::string path = helpPagePath(startup_.folders.program);
    if (!fileCanBeOpened(path)) {
        generalError(gene::CantFindFile, path);
        return;
    }
    if (!help_) help_ = std::make_unique<CHelpWindow>();
    help_->showPage(path);
    help_->show();
    help_->raise();
    help_->activateWindow();
}

void CTunecaseDlg::runConfigDialog() { CConfigDlg::run(settings_, this); }

void CTunecaseDlg::runSongListEditor() { CPlayListDlg::run(settings_, list_, controller_->programFolders(), this); }

void CTunecaseDlg::closeWindow() {
    // Later, from the event loop: the QUIT button's own handler is still on the stack and
    // the shutdown takes its button away.
    if (closing_) return;
    closing_ = true;
    QMetaObject::invokeMethod(this, [this] { done(QDialog::Accepted); }, Qt::QueuedConnection);
}

// ---- Tray, drops, about ----------------------------------------------------------------------

std::unique_ptr<QMenu> CTunecaseDlg::makeTrayMenu() {
    auto menu = std::make_unique<QMenu>();
    for (const TrayMenuEntry& entry : trayMenu(isVisible() && !isMinimized(), controller_->isPlaying())) {
        if (entry.command == 0) {
            menu->addSeparator();
            continue;
        }
        QAction* action = menu->addAction(fromUtf8(tunecase::tr(entry.text)));
        action->setData(entry.command);
        const int command = entry.command;
        connect(action, &QAction::triggered, this, [this, command] { controller_->onTrayCommand(command); });
    }
    return menu;
}

void CTunecaseDlg::onTrayActivated(QSystemTrayIcon::ActivationReason reason) {
    if (reason != QSystemTrayIcon::Trigger && reason != QSystemTrayIcon::Context) return;
    trayMenu_ = makeTrayMenu();
    trayMenu_->popup(QCursor::pos());
}

void CTunecaseDlg::dropFiles(const QList<QUrl>& urls) {
    controller_->onFilesDropped(droppedFilePaths(urls));
}

void CTunecaseDlg::openFiles(const std::vector<std::string>& paths) {
    if (paths.empty() || shutDown_) return;
    if (controller_->isLoading()) {
        QTimer::singleShot(50, this, [this, paths] { openFiles(paths); });
        return;
    }
    controller_->openFiles(paths);
}

int CTunecaseDlg::buttonForKey(int key, Qt::KeyboardModifiers modifiers) {
    // The keypad's flag says where a key is, not what it means.
    modifiers &= ~Qt::KeypadModifier;
    for (const KeyBinding& binding : kKeyBindings)
        if (binding.key == key && binding.modifiers == modifiers) return binding.button;
    return -1;
}

bool CTunecaseDlg::handleKey(const QKeyEvent& event) {
    const int button = buttonForKey(event.key(), event.modifiers());
    if (button < 0) return false;
    // A held key repeats; one press is one click. A disabled button ignores its key too.
    if (event.isAutoRepeat() || shutDown_ || !buttonControls_[button] || !buttonControls_[button]->isEnabled())
        return true;
    controller_->onButton(button);
    return true;
}

void CTunecaseDlg::keyPressEvent(QKeyEvent* event) {
    if (handleKey(*event)) return;
    // The player is no dialog to dismiss: Escape must not quit it.
    if (event->key() == Qt::Key_Escape) return;
    QDialog::keyPressEvent(event);
}

bool CTunecaseDlg::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && handleKey(static_cast<const QKeyEvent&>(*event))) return true;
    return QDialog::eventFilter(watched, event);
}

void CTunecaseDlg::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls()) event->acceptProposedAction();
    else QDialog::dragEnterEvent(event);
}

void CTunecaseDlg::dropEvent(QDropEvent* event) {
    if (!event->mimeData()->hasUrls()) {
        QDialog::dropEvent(event);
        return;
    }
    event->acceptProposedAction();
    dropFiles(event->mimeData()->urls());
}

void CTunecaseDlg::showAbout() {
    CAboutDlg about(this);
    about.exec();
}

// ---- Shutdown -----------------------------------------------------------------------------------

void CTunecaseDlg::done(int result) {
    shutdownWindow();
    QDialog::done(result);
}

void CTunecaseDlg::closeForSessionEnd() {
    sessionEnding_ = true;
    closeWindow();
}

void CTunecaseDlg::openShutdownPage() {
    // A farewell page in the desktop's browser. Test runs, headless runs and an ending
    // session skip it, and it never holds up the shutdown: the browser is started on its own.
    if (sessionEnding_ || envSet("TUNECASE_NO_SHUTDOWN_PAGE")) return;
    if (!farewellPageWanted(composePreferencesPath())) return;
    if (QGuiApplication::platformName() == "offscreen") return;
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (platform && std::strcmp(platform, "offscreen") == 0) return;
    const std::string page = helpPagePath(startup_.folders.program, kShutdownPage);
    if (!fileCanBeOpened(page)) return;
    QDesktopServices::openUrl(QUrl::fromLocalFile(QFile::decodeName(QByteArray::fromStdString(page))));
}

void CTunecaseDlg::shutdownWindow() {
    // The stop below waits with events running, so a second close can arrive meanwhile.
    if (shutDown_ || shuttingDown_) return;
    shuttingDown_ = true;
    // A playing song stops and the load and import threads end before anything goes.
    controller_->shutdown();
    shutDown_ = true;
    busyTimer_.stop();
    openShutdownPage();
    if (tray_) tray_->hide();
    trayMenu_.reset();
    tray_.reset();
    controller_->releaseSong();
    startup_.workBuffer.reset();
    plate_.reset();
    buttons_.destroy();
    help_.reset();
    // Settings first, then the list; releasing the bindings saves each once more.
    if (startup_.records.settingsControl) startup_.records.settingsControl->save();
    if (startup_.records.listControl) startup_.records.listControl->save();
    startup_.records.settingsControl.reset();
    startup_.records.listControl.reset();
    if (busyControl_) busyControl_->clearHandlers();
}

}  // namespace tunecase
