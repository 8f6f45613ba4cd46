// PlateDlg: the popup that shows the loaded song as a music-box plate - a turning pinned
// disk, a paper sheet, or a toy-piano keyboard - and nothing for "None".
#pragma once

#include <QImage>
#include <QTimer>
#include <QWidget>
#include <atomic>
#include <functional>
#include <memory>
#include <vector>

#include "app/plate_geometry.h"
#include "base/records.h"
#include "controls/gui/keyboard_picture.h"

namespace tunecase {

class PlateDlg : public QWidget {
    Q_OBJECT
public:
    static constexpr int kTimerMs = 100;
    static constexpr const char* kCaption = "PC TUNECASE";

    // Reads the plate type from `settings`. The angle, k, L, the song time and the playing
    // flag live in `motion`, which the player shares with its timer thread; without one
    // the window keeps its own. The window publishes itself as the current plate window.
    explicit PlateDlg(PlayerSettings* settings, PlateMotion* motion = nullptr, QWidget* parent = nullptr);
    ~PlateDlg() override;

    // The plate window of the process, or nullptr.
    static PlateDlg* current();

    // The client size of the window for a plate type.
    static QSize sizeForPlate(int32_t plateType);

    // Sets R from the plate type, sizes the window (keeping its position), rebuilds the
    // keyboard for a toy piano, and shows or hides the window.
    void fitToPlate();

    // The 100 ms timer that turns the disk between notes.
    void startTimer();
    void stopTimer();
    bool timerActive() const { return timer_.isActive(); }

    // One 100 ms step of the angle, then a repaint.
    void advance();
    // The ticks in 100 ms at the current tempo (the player reads its clock); 0 without one.
    void setTickSource(std::function<int64_t()> ticks) { tickSource_ = std::move(ticks); }

    // The loaded song: its note-ons at absolute times and its display length. Resets the
    // angle.
    void setSong(std::vector<PlateNote> notes, int32_t displayLength);
    const std::vector<PlateNote>& notes() const { return notes_; }
    void clearSong() { setSong({}, 0); }

    // What the player's per-event callback does for each sent event: on a toy piano
    // press or release the key, otherwise turn the plate to a sounded note-on (the last
    // of its chord). Records the song time. Any thread.
    void onSongEvent(PlateEventKind kind, int note, int32_t time, bool nextIsNoteOnSameTime);

    // Keyboard view, for the toy pianos; no-ops otherwise. Any thread.
    void pressKey(int note);
    void releaseKey(int note);
    void releaseAll();

    // Repaints from any thread (queued to the UI thread).
    void requestRepaint();

    PlateMotion& motion() { return *motion_; }
    int radius() const { return radius_; }
    bool initialised() const { return initialised_; }
    CKeyboardPicture* keyboard() const { return keyboard_.get(); }
    // Draws the plate into the back buffer and returns it (the disk and the paper).
    const QImage& renderPlate();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int32_t plateType() const;

    PlayerSettings* settings_;
    std::unique_ptr<PlateMotion> ownMotion_;
    PlateMotion* motion_;
    int radius_ = 0;
    QImage backBuffer_;
    std::unique_ptr<CKeyboardPicture> keyboard_;
    bool initialised_ = false;
    QTimer timer_;
    std::function<int64_t()> tickSource_;
    std::vector<PlateNote> notes_;
};

}  // namespace tunecase
