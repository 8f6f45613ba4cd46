// Picture buttons: groups of owner-drawn buttons with a face picture, a label, a pressed
// state and an enabled state. A button acts when the mouse button goes down on it.
#pragma once

#include <QFont>
#include <QImage>
#include <QPointer>
#include <QRect>
#include <QString>
#include <array>
#include <functional>
#include <memory>
#include <vector>

#include "controls/gui/off_screen_control.h"
#include "controls/picture_controls.h"

namespace tunecase {

// The face picture `face` (a ButtonFace) at the given size. Faces are painted once per
// size and kept.
const QImage& buttonFace(int face, QSize size);

// Draws one button: white, then the face, then the label in `textColour` as one
// left-aligned line vertically centred in (2, 2)-(210, 28).
void drawPictureButton(QImage& target, const QImage& face, const QString& label,
                       const QColor& textColour, const QFont& font);

// One row of buttons and its handlers; the two button classes below are built on it.
class PictureButtonRow {
public:
    using Handler = std::function<void(int index)>;

    struct Button {
        QPointer<COffScreenControl> control;
        QString label;
        int normalFace = FacePlain;
        int pressedFace = FacePressed;
        int fontHeight = 0;
        int pressed = 0;
        bool enabled = true;
        QImage picture;
    };

    PictureButtonRow(int group, Handler click, Handler release);
    ~PictureButtonRow();
    PictureButtonRow(const PictureButtonRow&) = delete;
    PictureButtonRow& operator=(const PictureButtonRow&) = delete;

    // Places `control` at `rect`, hooks it up and draws it. Returns the new index.
    int add(COffScreenControl* control, const QRect& rect, const QString& label, int normalFace,
            int pressedFace, int fontHeight);
    // False when no button has that index.
    bool setLabel(int index, const QString& text);
    bool enable(int index, bool on);
    void setEnabledTextColour(const QColor& colour);
    void redrawAll();
    // Releases the buttons last-first. Returns false when a button's window was already
    // gone, i.e. something released the buttons in another order.
    bool release();

    int count() const { return static_cast<int>(buttons_.size()); }
    const Button* button(int index) const;

private:
    void press(int index);
    void unpress(int index);
    void redraw(int index);

    int group_;
    Handler click_;
    Handler release_;
    QColor enabledText_;
    QColor disabledText_;
    std::vector<Button> buttons_;
};

// One group of buttons, as each dialog has.
class CButtonPicture {
public:
    using Handler = PictureButtonRow::Handler;

    CButtonPicture() = default;
    ~CButtonPicture();
    CButtonPicture(const CButtonPicture&) = delete;
    CButtonPicture& operator=(const CButtonPicture&) = delete;

    // Creates the group with its first button (index 0).
    void create(Handler click, Handler release, COffScreenControl* control, const QRect& rect,
                const QString& label, int normalFace, int pressedFace, int fontHeight = 0);
    // Adds a button; its index is the number of buttons before it.
    int add(COffScreenControl* control, const QRect& rect, const QString& label, int normalFace,
            int pressedFace, int fontHeight = 0);
    // Replaces the label of button `index` and redraws it; an unknown index changes nothing.
    void setLabel(int index, const QString& text);
    void enable(int index, bool on);
    void redrawAll();
    // Releases the buttons in reverse order.
    void destroy();

    int count() const { return row_ ? row_->count() : 0; }
    bool isPressed(int index) const;
    QString label(int index) const;
    // The button's off-screen picture, as last drawn.
    QImage picture(int index) const;

private:
    std::unique_ptr<PictureButtonRow> row_;
};

// Where a dialog's picture button sits: its caption and its edges in dialog pixels.
struct ButtonPlace {
    const char* label;
    int left, top, right, bottom;
};

// Makes a control on `parent` for each of the `count` places and puts a button on it with
// the plain and pressed faces: the first creates the group of `buttons` with `click` as its
// handler, the others join it. The controls are written to `controls` in the same order.
void placePictureButtons(CButtonPicture& buttons, QWidget* parent, const ButtonPlace* places, int count,
                         CButtonPicture::Handler click, COffScreenControl** controls);

// Up to 16 independent groups (0..15) of at most 31 buttons in one object. Handlers get
// (index, group); a button reports group * 256 + index.
class CMultiModalButtonPicture {
public:
    using Handler = std::function<void(int index, int group)>;

    CMultiModalButtonPicture() = default;
    ~CMultiModalButtonPicture();
    CMultiModalButtonPicture(const CMultiModalButtonPicture&) = delete;
    CMultiModalButtonPicture& operator=(const CMultiModalButtonPicture&) = delete;

    // Creates `group` with its first button. False (after the message) for a group
    // outside 0..15.
    bool createGroup(int group, Handler click, Handler release, COffScreenControl* control,
                     const QRect& rect, const QString& label, int normalFace, int pressedFace,
                     int fontHeight = 0);
    // Adds a button to an existing group; -1 (after the message) for a 32nd button or an
    // unknown group.
    int add(int group, COffScreenControl* control, const QRect& rect, const QString& label,
            int normalFace, int pressedFace, int fontHeight = 0);
    void setLabel(int group, int index, const QString& text);
    void enable(int group, int index, bool on);
    // Changes the enabled label colour of a group and redraws it.
    void setEnabledTextColour(int group, const QColor& colour);
    void redrawAll();
    void destroyGroup(int group);
    void destroy();

    int count(int group) const;
    QImage picture(int group, int index) const;

private:
    PictureButtonRow* row(int group) const;

    std::array<std::unique_ptr<PictureButtonRow>, kMaxButtonGroups> rows_;
};

}  // namespace tunecase
