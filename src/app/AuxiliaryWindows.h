#pragma once

#include "core/ClipboardItem.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QRect>

class ClipboardMonitor;
class EntryActions;
class HistoryModel;
class LoginItem;
class PopoverWindow;
class Preferences;
class QWidget;
class QWindow;
class ShortcutBinder;
class StorageManager;

// The shell's windows besides the panel and the board, each made when first asked for and at most one
// of each: the settings popover (with the launch-at-login controller that follows it), the one preview
// window, the privacy-policy window and the clear confirmation over the board.
class AuxiliaryWindows : public QObject
{
    Q_OBJECT

public:
    AuxiliaryWindows(HistoryModel& history, EntryActions& actions, StorageManager& storage, Preferences& preferences,
                     LoginItem& loginItem, QObject* parent = nullptr);
    ~AuxiliaryWindows() override;

    PopoverWindow* settingsPopover() const;
    QWidget* activePreviewWindow() const;
    QWidget* privacyPolicyWindow() const;

    // Why text recognition cannot run here, for the settings' switch; empty when it can.
    void setImageTextUnavailableReason(const QString& reason) { m_imageTextReason = reason; }
    // What the settings say under the paste-after-choosing switch, now and later.
    void setPasteLimitation(const QString& note, bool available);
    // See SettingsView::setApplicationIdentityNote.
    void setApplicationIdentityNote(const QString& note);
    // The binder whose problem the settings show, now and later; may be null.
    void setShortcutBinder(ShortcutBinder* binder);
    // Where the settings read what the capture rules skipped.
    void setClipboardMonitor(ClipboardMonitor* monitor) { m_monitor = monitor; }

    // A second press of the gear closes the settings; a press that only took the focus from them does
    // nothing.
    void toggleSettings(QWidget* anchor, bool floating);
    // The settings on their own, placed like the panel under the tray icon (or at the pointer).
    void showSettingsAlone(const QRect& trayIcon, bool floating);
    void setSettingsFloating(bool floating);
    // Hides the settings; `byGear` when the press that moved the focus was on the gear, so the click
    // that follows does not open them again.
    void closeSettings(bool byGear = false);
    // The settings popover and the dialogs it opens (clear confirmation, export).
    bool belongsToSettings(QWindow* window) const;

    // Replaces any open preview; beside `widgetFrame` when it is valid.
    void showPreviewWindow(const ClipboardItem& item, const QRect& widgetFrame);
    void showPrivacyPolicyWindow(bool floating);
    // The clear confirmation over `parent`; clears on "清空".
    void confirmClear(QWidget* parent);

Q_SIGNALS:
    // Before a window comes up, so the theme can be brought up to date.
    void aboutToShow();
    void privacyPolicyRequested();
    void quitRequested();

private:
    PopoverWindow* ensureSettingsPopover();

    HistoryModel& m_history;
    EntryActions& m_actions;
    StorageManager& m_storage;
    Preferences& m_preferences;
    LoginItem& m_loginItem;
    QString m_imageTextReason;
    QString m_pasteNote;
    QString m_identityNote;
    bool m_pasteAvailable = true;
    ClipboardMonitor* m_monitor = nullptr;
    QPointer<ShortcutBinder> m_shortcutBinder;
    QElapsedTimer m_settingsClosedByGear;
    QPointer<PopoverWindow> m_settingsPopover;
    QPointer<QWidget> m_activePreviewWindow;
    QPointer<QWidget> m_privacyPolicyWindow;
};
