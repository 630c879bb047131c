#pragma once

#include "core/ClipboardItem.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QRect>

#include <functional>
#include <memory>

class AuxiliaryWindows;
class ClipboardMonitor;
class ContentView;
class ImageTextIndex;
class DesktopAppearance;
class EntryActions;
class GlobalShortcut;
class HistoryModel;
class HistoryService;
class KeystrokeSender;
class LoginItem;
class Pasteboard;
class PanelWindow;
class PasteController;
class PopoverWindow;
class Preferences;
class QSystemTrayIcon;
class QWidget;
class QWindow;
class ShortcutBinder;
class SingleInstance;
class StorageManager;
class TrayController;
class TextRecognizer;
class WidgetWindow;

// The shell: owns the single-instance lock, the preferences, the history store and the clipboard
// monitor for the whole run, and coordinates the tray icon (TrayController), the panel, the board and
// the auxiliary windows (AuxiliaryWindows) through the operations below.
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

    explicit AppDelegate(QObject* parent = nullptr);
    ~AppDelegate() override;

    // Returns false, having printed the duplicate-instance line, when another instance already runs;
    // nothing of the history is touched then.
    bool applicationDidFinishLaunching();
    void applicationWillTerminate();

    // Start-up for tests: the given parts instead of the desktop's clipboard and the user's store.
    void launchWith(std::unique_ptr<Preferences> preferences, std::unique_ptr<StorageManager> storage,
                    std::unique_ptr<Pasteboard> pasteboard, std::unique_ptr<LoginItem> loginItem);

    // Binds the stored shortcut through `shortcut` from now on, replacing any earlier binding.
    void bindGlobalShortcut(std::unique_ptr<GlobalShortcut> shortcut);
    ShortcutBinder* shortcutBinder() const { return m_shortcutBinder; }
    // Pastes chosen entries into the window the user came from through `sender`, from now on; says on
    // standard output when the setting is on and the desktop cannot do it.
    void usePasteSender(std::unique_ptr<KeystrokeSender> sender);
    PasteController* pasteController() const { return m_paste.get(); }

    HistoryModel* history() const { return m_history.get(); }
    ClipboardMonitor* clipboardMonitor() const { return m_clipboardMonitor.get(); }
    // Where every surface's choices, pins, deletes, edits, clears and undos are applied.
    EntryActions* entryActions() const { return m_actions.get(); }
    Preferences* preferences() const { return m_preferences.get(); }
    // The panel and its view, made the first time they are asked for.
    PopoverWindow* popover();
    ContentView* contentView();
    PopoverWindow* settingsPopover() const;
    QWidget* activePreviewWindow() const;
    QWidget* privacyPolicyWindow() const;
    QSystemTrayIcon* statusItem() const;
    TrayController* trayController() const { return m_tray; }
    HistoryService* historyService() const { return m_historyService; }
    // The panel as an ordinary window, for desktops without a tray; null until first needed.
    QWidget* panelWindow() const;
    // The tray icon with its menu. Tests pass a probe in place of asking the desktop for a tray, and
    // a shorter wait for one.
    void createStatusItem(std::function<bool()> trayProbe = {}, int trayGraceMs = 3000);
    WidgetWindow* widgetWindow() const;

    // The panel's height: what its content needs (contentHeight, measured by the panel), up to the
    // maximum; without a measure, rows x 65 plus the header and footer allowances for the history length
    // and the number of entries listed.
    static int panelHeight(qsizetype entryCount, int displayCount, int contentHeight = 0);

public Q_SLOTS:
    void togglePopover();
    // What a later start of the program asks for: "settings" shows the settings on their own; anything
    // else toggles the panel, or where there is no tray brings the history window up.
    void openSurface(const QString& surface);
    // The note under the paste switch, and whether the switch can be used.
    void showPasteSupport();
    void updatePopoverSize();
    void updateAppearance();
    void handlePreferenceChange();
    void handlePopoverPersistence();
    void handleWidgetToggle();
    void handleWidgetPinned();
    void showSettingsPopover(QWidget* anchor);
    void showPreviewWindow(const ClipboardItem& item);
    void showPrivacyPolicyWindow();
    // The settings on their own, placed like the panel: the tray menu's and the launcher's "设置".
    void showSettingsAlone();
    // What the global shortcut does: the panel toggled under the icon, or where there is no tray the
    // window, hidden when shown and brought up otherwise.
    void presentPanel();
    // Shows the panel as an ordinary window, centred the first time.
    void showPanelWindow();
    // The clear confirmation over the widget; clears on "清空".
    void confirmClearFromWidget();
    // What clicking elsewhere does: focus moving to another application (null) or to another of our
    // windows.
    void handleFocusWindowChanged(QWindow* focusWindow);

private:
    void startUp();
    void setupWidgetWindow();
    void handleNoTray();
    QRect trayGeometry() const;
    bool belongsToPanel(QWindow* window) const;
    bool keepsPanelOpen() const;
    bool panelShown() const;
    void closePanel();

    SingleInstance* m_singleInstance = nullptr;
    ShortcutBinder* m_shortcutBinder = nullptr;
    HistoryService* m_historyService = nullptr;
    std::unique_ptr<Preferences> m_preferences;
    std::unique_ptr<StorageManager> m_storageManager;
    std::unique_ptr<Pasteboard> m_pasteboard;
    std::unique_ptr<HistoryModel> m_history;
    std::unique_ptr<ClipboardMonitor> m_clipboardMonitor;
    std::unique_ptr<EntryActions> m_actions;
    std::unique_ptr<TextRecognizer> m_textRecognizer;
    std::unique_ptr<ImageTextIndex> m_imageTextIndex;
    std::unique_ptr<LoginItem> m_loginItem;
    std::unique_ptr<KeystrokeSender> m_keystrokeSender;
    std::unique_ptr<PasteController> m_paste;
    DesktopAppearance* m_desktopAppearance = nullptr;
    TrayController* m_tray = nullptr;
    QPointer<PanelWindow> m_panelWindow;
    bool m_panelAsWindow = false;
    bool m_panelOpenAtMenu = false;
    PopoverWindow* m_popover = nullptr;
    ContentView* m_contentView = nullptr;
    bool m_popoverGrowsUp = false;
    QElapsedTimer m_focusClosed;
    static constexpr int reopenGuardMs = 400;
    AuxiliaryWindows* m_windows = nullptr;
    QPointer<WidgetWindow> m_widgetWindow;
    bool m_isSettingUpWidget = false;
};
