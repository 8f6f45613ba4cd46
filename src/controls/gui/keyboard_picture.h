// CKeyboardPicture: a toy-piano keyboard whose keys go down as notes play. Keys may be
// pressed and released from the player's timer thread; the picture is redrawn on the UI
// thread right after.
#pragma once

#include <QImage>
#include <QPointer>
#include <QRect>

#include "controls/gui/off_screen_control.h"
#include "controls/keyboard_geometry.h"

namespace tunecase {

class CKeyboardPicture {
public:
    // Shows keys firstNote..lastNote in `area` of `parent`, on a control of its own.
    CKeyboardPicture(QWidget* parent, const QRect& area, int firstNote, int lastNote);
    ~CKeyboardPicture();
    CKeyboardPicture(const CKeyboardPicture&) = delete;
    CKeyboardPicture& operator=(const CKeyboardPicture&) = delete;

    // Any thread.
    void pressKey(int note);
    void releaseKey(int note);
    void releaseAll();

    // UI thread: repaints the control now.
    void redraw();
    // The keyboard as it looks now.
    QImage render() const;

    COffScreenControl* control() const { return control_; }
    const HeldKeys& heldKeys() const { return held_; }
    const std::vector<KeyRect>& keys() const { return keys_; }

private:
    // Asks the UI thread to repaint; safe from any thread.
    void requestRedraw();

    QPointer<COffScreenControl> control_;
    COffScreenControl* rawControl_;
    std::vector<KeyRect> keys_;
    HeldKeys held_;
    QSize size_;
};

}  // namespace tunecase
