#pragma once

#include <QObject>
#include <QTimer>

#include <functional>

class Preferences;
class QAction;
class QIcon;
class QMenu;
class QSystemTrayIcon;

// The tray icon and its menu. A left click asks for the panel, the right click (or a StatusNotifierItem
// host) shows the menu; the icon and its tooltip follow the pause preference. It also tells when the
// desktop has no tray at all, and when one shows up later.
class TrayController : public QObject
{
    Q_OBJECT

public:
    // How long a desktop may take to start its tray before the program opens its history as a window.
    static constexpr int trayGraceMs = 3000;
    static constexpr int trayProbeMs = 500;

    explicit TrayController(Preferences& preferences, QObject* parent = nullptr);
    ~TrayController() override;

    QSystemTrayIcon* icon() const { return m_icon; }
    QMenu* menu() const { return m_menu; }
    QAction* openAction() const { return m_openAction; }
    QAction* pauseAction() const { return m_pauseAction; }
    QAction* ignoreNextAction() const { return m_ignoreNextAction; }
    QAction* settingsAction() const { return m_settingsAction; }
    QAction* quitAction() const { return m_quitAction; }

    // Shows the icon (it docks whenever a tray exists) and starts looking for a tray, reporting
    // noTrayFound when there is none after `graceMs`.
    void show(int graceMs = trayGraceMs);
    // True once a tray shows the icon. Tests replace the probe; the default asks the desktop.
    bool hasTray() const { return m_hasTray; }
    std::function<bool()> trayProbe;

    // The glyph, dimmed and with a pause badge while paused.
    static QIcon statusIcon(bool paused);
    static QString toolTip(bool paused, bool ignoringNext = false);

    // Whether the next copy will be passed over: the action's check mark and the tooltip say so.
    void setIgnoringNext(bool armed);

Q_SIGNALS:
    // A left click on the icon. The menu's open action is the shell's to interpret: the open menu may
    // have taken the panel's focus, so it toggles what the user saw when the menu opened.
    void panelRequested();
    // The user asked that the next copy not be recorded.
    void ignoreNextRequested();
    void settingsRequested();
    void quitRequested();
    // No tray at start and none within the grace period.
    void noTrayFound();
    // A tray appeared after noTrayFound.
    void trayAppeared();
    // The menu is about to open, before it takes the focus.
    void menuAboutToShow();

private:
    void refreshPause();
    void probe();

    Preferences& m_preferences;
    QSystemTrayIcon* m_icon = nullptr;
    QMenu* m_menu = nullptr;
    QAction* m_openAction = nullptr;
    QAction* m_pauseAction = nullptr;
    QAction* m_ignoreNextAction = nullptr;
    QAction* m_settingsAction = nullptr;
    QAction* m_quitAction = nullptr;
    QTimer m_probeTimer;
    qint64 m_waitedMs = 0;
    int m_graceMs = trayGraceMs;
    bool m_hasTray = false;
    bool m_reportedNoTray = false;
    bool m_ignoringNext = false;
};
