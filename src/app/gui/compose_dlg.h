// CComposeDlg: AUTO CMP's choices (style with its description, key, meter, tempo, length)
// and a preview that composes a song for them and plays it before it joins the list. What
// the choices mean, and the song a preview leaves, is decided by the core (compose_choices,
// ComposePreview); the dialog shows them.
#pragma once

#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <memory>
#include <optional>
#include <string>

#include "app/compose_preferences.h"
#include "app/song_list_editor.h"
#include "base/job_runner.h"
#include "midi/midi_f0_data.h"
#include "playback/song_preview.h"
#include "base/translation.h"

namespace tunecase {

inline constexpr const char* kComposeCaption = N_("Compose a Song");
inline constexpr const char* kPreviewLabel = N_("PREVIEW");
inline constexpr const char* kStopPreviewLabel = N_("STOP");
inline constexpr const char* kStylesOwnText = N_("the style's own");

class CComposeDlg : public QDialog {
    Q_OBJECT
public:
    // Songs a preview makes go to `folder` through `composer`.
    CComposeDlg(const ComposeChoices& initial, std::string folder, ChoiceComposer composer, QWidget* parent = nullptr);
    ~CComposeDlg() override;

    // The modal dialog: the choices and the previewed song at OK, nothing at Cancel.
    static std::optional<ComposeAnswer> run(const ComposeChoices& initial, const std::string& folder,
                                            const ChoiceComposer& composer, QWidget* parent = nullptr);

    ComposeChoices choices() const;
    // OK's answer (the preview song handed over when it was made for these choices).
    ComposeAnswer answer();

    QComboBox* styleBox() const { return style_; }
    QComboBox* keyBox() const { return key_; }
    QComboBox* meterBox() const { return meter_; }
    QSpinBox* tempoBox() const { return tempo_; }
    QSpinBox* measuresBox() const { return measures_; }
    QLabel* description() const { return description_; }
    QPushButton* previewButton() const { return preview_; }
    bool busy() const { return jobs_.busy(); }
    bool playing() const { return playing_; }
    const std::optional<MadeSong>& previewSong() const { return kept_.song(); }

    // PREVIEW: composes and plays (or stops what plays).
    void previewOrStop();
    void accept() override;
    void reject() override;

private:
    void styleChanged();
    // Stops the preview off the window's thread, then `then`.
    void stopThen(std::function<void()> then);
    void finish(bool ok);

    std::string folder_;
    ChoiceComposer composer_;
    QComboBox* style_ = nullptr;
    QLabel* description_ = nullptr;
    QComboBox* key_ = nullptr;
    QComboBox* meter_ = nullptr;
    QSpinBox* tempo_ = nullptr;
    QSpinBox* measures_ = nullptr;
    QPushButton* preview_ = nullptr;
    ComposePreview kept_;
    std::unique_ptr<MidiF0Data> played_;
    SongPreview player_;
    bool playing_ = false;
    int generation_ = 0;
    std::optional<ComposeAnswer> answer_;
    JobRunner jobs_;  // last: its workers end before what they use goes
};

}  // namespace tunecase
