#pragma once

#include <QWidget>

class DesktopWidgetView;

// The frameless, translucent window that holds the board on the desktop. It takes no taskbar or
// window-switcher entry, floats above other windows when pinned and sits behind them otherwise.
class WidgetWindow : public QWidget
{
    Q_OBJECT

public:
    // Distance from the top-left corner of the primary screen's free area.
    static constexpr QPoint initialOffset{100, 100};

    explicit WidgetWindow(DesktopWidgetView* board, bool pinned);

    DesktopWidgetView* board() const { return m_board; }
    bool isPinned() const { return m_pinned; }
    // Floating and raised, or normal and lowered behind other windows.
    void applyPinned(bool pinned);

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    DesktopWidgetView* m_board;
    bool m_pinned = false;
};
