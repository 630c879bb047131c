#pragma once

#include <QWidget>

// The history panel as an ordinary window, for desktops without a tray: decorated, titled "Pellamor",
// movable, with a task-bar entry. Closing it only hides it.
class PanelWindow : public QWidget
{
    Q_OBJECT

public:
    PanelWindow(QWidget* content, const QSize& size, QWidget* parent = nullptr);

    QWidget* content() const { return m_content; }
    // Shows it in front, centred on the screen under the pointer the first time, where the user left it
    // afterwards.
    void present();
    // Takes `height` as its list grows or shrinks, until the user gives it a size of their own.
    void fitHeight(int height);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QWidget* m_content;
    bool m_placed = false;
    QSize m_requested;
    bool m_sizedByUser = false;
};
