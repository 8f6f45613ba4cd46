// COffScreenControl: the window that hosts a picture (a button face, a keyboard, a busy
// ring) inside a dialog and reports its mouse and drop events to callbacks.
#pragma once

#include <QImage>
#include <QRect>
#include <QWidget>
#include <functional>
#include <string>

namespace tunecase {

// A rectangle given by its edges, right and bottom exclusive, as the dialogs list them.
inline QRect rectFromEdges(int left, int top, int right, int bottom) {
    return QRect(left, top, right - left, bottom - top);
}

class COffScreenControl : public QWidget {
    Q_OBJECT
public:
    using MouseCallback = std::function<void(int x, int y, int id)>;
    using DropCallback = std::function<void(const std::string& path, int id)>;
    using PaintHandler = std::function<void(QPainter& painter)>;

    explicit COffScreenControl(QWidget* parent = nullptr);

    void setId(int id) { id_ = id; }
    void setGroup(int group) { group_ = group; }
    int id() const { return id_; }
    int group() const { return group_; }
    // id outside a group, group * 256 + id inside one.
    int reportedId() const;
    int pressed() const { return pressed_; }

    void setCallbacks(MouseCallback onLeftDown, MouseCallback onLeftUp, MouseCallback onMouseMove,
                      MouseCallback onDoubleClick);
    void setRightDown(MouseCallback onRightDown);
    // Accepts dropped files from now on; a drop of exactly one file calls the handler.
    void setDropHandler(DropCallback onDropFile);
    // What the control shows: the owner paints its off-screen picture here.
    void setPaintHandler(PaintHandler paint);
    // Drops every callback (the owner is going away).
    void clearHandlers();
    // A picture button: Tab reaches it, a ring shows it has the focus, and Space or Enter
    // presses and lets go of it as a click does.
    void setButtonLike(bool on);
    bool buttonLike() const { return buttonLike_; }

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    // The pointer left while the button was held: release without coordinates.
    void slideOff();

    int id_ = -1;
    int group_ = -1;
    int pressed_ = 0;
    bool buttonLike_ = false;
    MouseCallback onLeftDown_;
    MouseCallback onLeftUp_;
    MouseCallback onMouseMove_;
    MouseCallback onDoubleClick_;
    MouseCallback onRightDown_;
    DropCallback onDropFile_;
    PaintHandler paint_;
};

}  // namespace tunecase
