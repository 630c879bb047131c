#pragma once

#include <QWidget>

class QPropertyAnimation;

// A frameless, translucent window with rounded corners that hangs under the tray icon (the history
// panel) or under a button (the settings). It never takes a taskbar entry.
class PopoverWindow : public QWidget
{
    Q_OBJECT

public:
    static constexpr int cornerRadius = 10;
    static constexpr int resizeMilliseconds = 250;

    explicit PopoverWindow(QWidget* content, QWidget* parent = nullptr);

    QWidget* content() const { return m_content; }
    // Floating above other windows, or at the normal level.
    void setFloating(bool floating);
    bool isFloating() const { return m_floating; }
    // Animated while shown, immediate otherwise.
    void setFrame(const QRect& frame, bool animated);
    QRect targetFrame() const { return m_target; }

Q_SIGNALS:
    void hidden();

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QWidget* m_content;
    QPropertyAnimation* m_animation;
    QRect m_target;
    bool m_floating = false;
};
