#pragma once

#include "core/ClipboardItem.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QRect>

#include <memory>

class ClipboardMonitor;
class ContentView;
class ImageTextIndex;
class DesktopAppearance;
class InstanceLock;
class LoginItem;
class Pasteboard;
class PopoverWindow;
class Preferences;
class QSystemTrayIcon;
class QWidget;
class QWindow;
class StorageManager;
class TextRecognizer;
class WidgetWindow;

// The shell: owns the single-instance lock, the preferences, the history store and the clipboard
// monitor for the whole run, the tray icon, the panel and the auxiliary windows.
class AppDelegate : public QObject
{
    Q_OBJECT

public:
    static constexpr const char* applicationId = "com.pellamor.app";
    static constexpr int panelWidth = 340;
    static constexpr int rowHeight = 65;
    static constexpr int headerAllowance = 40;
    static constexpr int footerAllowance = 45;
    static constexpr int maxPanelHeight = 750;

    // The shell a view reaches for the shell's windows; null before start-up and in view tests.
    static AppDelegate* shared();

    explicit AppDelegate(QObject* parent = nullptr);
    ~AppDelegate() override;

    // Returns false, having printed the duplicate-instance line, when another instance already runs;
    // nothing of the history is touched then.
    bool applicationDidFinishLaunching();
    void applicationWillTerminate();

    // Start-up for tests: the given parts instead of the desktop's clipboard and the user's store.
    void launchWith(std::unique_ptr<Preferences> preferences, std::unique_ptr<StorageManager> storage,
                    std::unique_ptr<Pasteboard> pasteboard, std::unique_ptr<LoginItem> loginItem);

    ClipboardMonitor* clipboardMonitor() const { return m_clipboardMonitor.get(); }
    StorageManager* storageManager() const { return m_storageManager.get(); }
    Preferences* preferences() const { return m_preferences.get(); }
    PopoverWindow* popover() const { return m_popover; }
    ContentView* contentView() const { return m_contentView; }
    PopoverWindow* settingsPopover() const;
    QWidget* activePreviewWindow() const;
    QWidget* privacyPolicyWindow() const;
    QSystemTrayIcon* statusItem() const { return m_statusItem; }
    WidgetWindow* widgetWindow() const;

    // The panel's height for the history length and the number of entries listed.
    static int panelHeight(qsizetype entryCount, int displayCount);

public Q_SLOTS:
    void togglePopover();
    void updatePopoverSize();
    void updateAppearance();
    void handlePreferenceChange();
    void handlePopoverPersistence();
    void handleWidgetToggle();
    void handleWidgetPinned();
    void handleWidgetLocked();
    void showSettingsPopover(QWidget* anchor);
    void showPreviewWindow(const ClipboardItem& item);
    void showPrivacyPolicyWindow();
    // The clear confirmation over the widget; clears on "清空".
    void confirmClearFromWidget();
    // What clicking elsewhere does: focus moving to another application (null) or to another of our
    // windows.
    void handleFocusWindowChanged(QWindow* focusWindow);

private:
    void startUp();
    void setupWidgetWindow();
    void createStatusItem();
    QRect trayGeometry() const;
    bool belongsToPanel(QWindow* window) const;
    bool belongsToSettings(QWindow* window) const;
    bool keepsPanelOpen() const;
    void closePanel();

    std::unique_ptr<InstanceLock> m_instanceLock;
    std::unique_ptr<Preferences> m_preferences;
    std::unique_ptr<StorageManager> m_storageManager;
    std::unique_ptr<Pasteboard> m_pasteboard;
    std::unique_ptr<ClipboardMonitor> m_clipboardMonitor;
    std::unique_ptr<TextRecognizer> m_textRecognizer;
    std::unique_ptr<ImageTextIndex> m_imageTextIndex;
    std::unique_ptr<LoginItem> m_loginItem;
    DesktopAppearance* m_desktopAppearance = nullptr;
    QSystemTrayIcon* m_statusItem = nullptr;
    PopoverWindow* m_popover = nullptr;
    ContentView* m_contentView = nullptr;
    bool m_popoverGrowsUp = false;
    QElapsedTimer m_focusClosed;
    static constexpr int reopenGuardMs = 400;
    QPointer<PopoverWindow> m_settingsPopover;
    QPointer<QWidget> m_activePreviewWindow;
    QPointer<QWidget> m_privacyPolicyWindow;
    QPointer<WidgetWindow> m_widgetWindow;
    bool m_isSettingUpWidget = false;
};
