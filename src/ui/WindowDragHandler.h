#pragma once

#include <QWidget>

#include <functional>

class Preferences;

// The widget's header surface: a press moves the window with the pointer (through the window
// manager) unless the widget is locked, read at the moment of the press. Where no window manager moves
// windows (a bare X server), the window follows the pointer until the button is released.
class WindowDragHandler : public QWidget
{
    Q_OBJECT

public:
    using MoveFn = std::function<bool(QWindow*)>;

    explicit WindowDragHandler(Preferences& preferences, QWidget* parent = nullptr);

    // Tests replace how the window is moved; by default the window manager moves it. A function that
    // returns false leaves the move to the pointer.
    void setMoveFunction(MoveFn move) { m_move = std::move(move); }
    bool isFollowingPointer() const { return m_following; }
    // A colour laid over the frosted surface; it takes no clicks of its own.
    void setTint(const QColor& tint)
    {
        m_tint = tint;
        update();
    }

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    Preferences& m_preferences;
    MoveFn m_move;
    QColor m_tint;
    bool m_following = false;
    QPoint m_pressOffset; // the pointer's place in the window at the press
};

// A translucent, frosted-looking background: blur where the compositor offers it, a translucent fill of
// similar lightness everywhere.
class VisualEffectView : public QWidget
{
    Q_OBJECT

public:
    enum class Material { Titlebar, HudWindow };

    explicit VisualEffectView(Material material, QWidget* parent = nullptr);
    static QColor fill(Material material, bool dark);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Material m_material;
};

// Makes a frameless window movable by presses on `handle` that no child takes: through the window
// manager where it moves windows, by following the pointer where it does not.
class WindowMoveFilter : public QObject
{
    Q_OBJECT

public:
    explicit WindowMoveFilter(QWidget* handle);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* m_handle;
    bool m_following = false;
    QPoint m_pressOffset;
};
