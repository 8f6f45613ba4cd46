#include "app/gui/compose_dlg.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QMetaObject>
#include <QPushButton>
#include <QVBoxLayout>

#include "base/reporter.h"
#include "compose/song_key.h"
#include "controls/gui/ui_text.h"

namespace tunecase {

CComposeDlg::CComposeDlg(const ComposeChoices& initial, std::string folder, ChoiceComposer composer, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      folder_(std::move(folder)),
      composer_(std::move(composer)),
      jobs_([this](JobRunner::Task task) { QMetaObject::invokeMethod(this, std::move(task), Qt::QueuedConnection); }) {
    setWindowTitle(uiText(kComposeCaption));
    auto* form = new QFormLayout;
    style_ = new QComboBox(this);
    for (const ComposableStyle& s : composableStyles()) style_->addItem(s.name);
    description_ = new QLabel(this);
    description_->setWordWrap(true);
    description_->setMinimumWidth(300);
    key_ = new QComboBox(this);
    for (const std::string& name : allSongKeyNames()) key_->addItem(QString::fromStdString(name));
    meter_ = new QComboBox(this);
    meter_->addItems({uiText(kStylesOwnText), "4/4", "3/4"});
    // The lowest value of each box stands for "the style's own".
    tempo_ = new QSpinBox(this);
    tempo_->setRange(kLowestComposeBpm - 1, kHighestComposeBpm);
    tempo_->setSpecialValueText(uiText(kStylesOwnText));
    tempo_->setSuffix(" BPM");
    measures_ = new QSpinBox(this);
    measures_->setRange(kFewestComposeMeasures - 1, kMostComposeMeasures);
    measures_->setSpecialValueText(uiText(kStylesOwnText));
    form->addRow(uiText(N_("Style")), style_);
    form->addRow("", description_);
    form->addRow(uiText(N_("Key")), key_);
    form->addRow(uiText(N_("Meter")), meter_);
    form->addRow(uiText(N_("Tempo")), tempo_);
    form->addRow(uiText(N_("Measures")), measures_);

    preview_ = new QPushButton(uiText(kPreviewLabel), this);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(uiText(N_("OK")));
    buttons->button(QDialogButtonBox::Cancel)->setText(uiText(N_("Cancel")));
    buttons->addButton(preview_, QDialogButtonBox::ActionRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &CComposeDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CComposeDlg::reject);
    connect(preview_, &QPushButton::clicked, this, &CComposeDlg::previewOrStop);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);

    // The remembered choices; the core has checked them already.
    if (const ComposableStyle* s = findComposableStyle(initial.style))
        style_->setCurrentIndex(static_cast<int>(s - composableStyles().data()));
    if (const auto key = parseSongKey(initial.key))
        key_->setCurrentIndex((key->minor ? 12 : 0) + key->tonic);
    meter_->setCurrentIndex(initial.meter + 1);
    tempo_->setValue(initial.bpm == 0 ? tempo_->minimum() : initial.bpm);
    measures_->setValue(initial.measures == 0 ? measures_->minimum() : initial.measures);
    connect(style_, &QComboBox::currentIndexChanged, this, [this] { styleChanged(); });
    styleChanged();
}

CComposeDlg::~CComposeDlg() {
    // A preview still playing ends before the song it plays goes.
    if (player_.running()) player_.stop();
}

std::optional<ComposeAnswer> CComposeDlg::run(const ComposeChoices& initial, const std::string& folder,
                                              const ChoiceComposer& composer, QWidget* parent) {
    CComposeDlg dialog(initial, folder, composer, parent);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.answer();
}

ComposeChoices CComposeDlg::choices() const {
    ComposeChoices c;
    c.style = style_->currentText().toStdString();
    const int key = key_->currentIndex();
    // C major is the style's own key: it is remembered as no choice.
    c.key = key <= 0 ? std::string() : songKeyName({key % 12, key >= 12});
    c.meter = meter_->currentIndex() - 1;
    c.bpm = tempo_->value() == tempo_->minimum() ? 0 : tempo_->value();
    c.measures = measures_->value() == measures_->minimum() ? 0 : measures_->value();
    return c;
}

ComposeAnswer CComposeDlg::answer() {
    if (answer_) return std::move(*answer_);
    return ComposeAnswer{choices(), kept_.takeFor(choices())};
}

void CComposeDlg::styleChanged() {
    const ComposableStyle& s = composableStyles()[static_cast<size_t>(std::max(0, style_->currentIndex()))];
    description_->setText(uiText(s.description) + QString(" (%1, %2 BPM)")
                                                                 .arg(meterName(s.meter))
                                                                 .arg(styleBpm(s)));
    // A style written for one meter offers only that one.
    if (!s.eitherMeter) meter_->setCurrentIndex(0);
    meter_->setEnabled(s.eitherMeter);
}

void CComposeDlg::previewOrStop() {
    if (jobs_.busy()) return;
    if (playing_) {
        stopThen([] {});
        return;
    }
    const ComposeChoices chosen = choices();
    ComposeOptions checked;
    if (const std::string refused = prepareComposeOptions(chosen, checked); !refused.empty()) {
        reportText(refused, BoxKind::Ok);
        return;
    }
    playing_ = true;
    preview_->setText(uiText(kStopPreviewLabel));
    setCursor(Qt::BusyCursor);
    const int generation = ++generation_;
    auto song = std::make_shared<std::optional<MadeSong>>();
    auto started = std::make_shared<bool>(false);
    jobs_.start(
        [this, chosen, song, started, generation](const JobRunner::Job& job) {
            *song = composeChosenSong(folder_, chosen, composer_);
            if (!*song || job.cancelled()) return;
            played_ = MidiF0Data::openFile((*song)->path, kDefaultSongCapacity);
            if (played_->state() != MidiF0Data::NoteEvents || !played_->track()) return;
            // The preview ends on its player's thread; its ending comes back as a post.
            *started = player_.play(*played_,
                                    [this, generation] {
                                        jobs_.post([this, generation] {
                                            if (generation != generation_) return;
                                            playing_ = false;
                                            preview_->setText(uiText(kPreviewLabel));
                                        });
                                        return 1;
                                    },
                                    {}, true, false) == 1;
        },
        [this, chosen, song, started] {
            unsetCursor();
            if (*song) kept_.keep(**song, chosen);
            if (!*started) {
                playing_ = false;
                preview_->setText(uiText(kPreviewLabel));
            }
        });
}

void CComposeDlg::stopThen(std::function<void()> then) {
    ++generation_;
    playing_ = false;
    preview_->setText(uiText(kPreviewLabel));
    jobs_.start([this](const JobRunner::Job&) {
        if (player_.running()) player_.stop();
    }, std::move(then));
}

void CComposeDlg::finish(bool ok) {
    if (ok) answer_ = ComposeAnswer{choices(), kept_.takeFor(choices())};
    else kept_.discard();
    QDialog::done(ok ? QDialog::Accepted : QDialog::Rejected);
}

void CComposeDlg::accept() {
    if (jobs_.busy()) return;  // a preview is still being made or stopped
    ComposeOptions checked;
    if (const std::string refused = prepareComposeOptions(choices(), checked); !refused.empty()) {
        reportText(refused, BoxKind::Ok);
        return;
    }
    if (player_.running()) stopThen([this] { finish(true); });
    else finish(true);
}

void CComposeDlg::reject() {
    if (jobs_.busy()) return;
    if (player_.running()) stopThen([this] { finish(false); });
    else finish(false);
}

}  // namespace tunecase
