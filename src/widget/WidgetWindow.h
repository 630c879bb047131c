#pragma once

#include <QList>
#include <QTimer>
#include <QWidget>

#include <optional>

class DesktopWidgetView;

// The frameless, translucent window that holds the board on the desktop. It takes no taskbar or
// window-switcher entry, floats above other windows when pinned and sits behind them otherwise. It
// opens where the user last left it, and remembers each new place once the window has come to rest.
class WidgetWindow : public QWidget
{
    Q_OBJECT

public:
    // Distance from the top-left corner of the primary screen's free area.
    static constexpr QPoint initialOffset{100, 100};

    explicit WidgetWindow(DesktopWidgetView* board, bool pinned);

    // Where the window opens: at `stored` while part of its header lies on one of the screens' free
    // areas, so it can still be dragged; at the initial offset into `primary` otherwise.
    static QPoint placement(const std::optional<QPoint>& stored, const QList<QRect>& screens, const QRect& primary);

    DesktopWidgetView* board() const { return m_board; }
    bool isPinned() const { return m_pinned; }
    // Floating and raised, or normal and lowered behind other windows.
    void applyPinned(bool pinned);

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void moveEvent(QMoveEvent* event) override;

private:
    void rememberPosition();

    DesktopWidgetView* m_board;
    bool m_pinned = false;
    QPoint m_placedAt;
    QTimer m_restTimer;
};
