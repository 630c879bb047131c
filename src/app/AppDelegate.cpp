#include "AppDelegate.h"

#include "AuxiliaryWindows.h"
#include "EntryActions.h"
#include "HistoryService.h"
#include "PanelWindow.h"
#include "PasteController.h"
#include "PopoverPlacement.h"
#include "PopoverWindow.h"
#include "ShortcutBinder.h"
#include "SingleInstance.h"
#include "TrayController.h"
#include "core/ClipboardMonitor.h"
#include "core/HistoryModel.h"
#include "core/ImageTextIndex.h"
#include "core/StandardOutput.h"
#include "core/StorageManager.h"
#include "panel/ContentView.h"
#include "platform/GlobalShortcut.h"
#include "platform/KeystrokeSender.h"
#include "platform/Preferences.h"
#include "platform/SystemPasteboard.h"
#include "platform/freedesktop/AutostartLoginItem.h"
#include "platform/freedesktop/DesktopAppearance.h"
#include "platform/freedesktop/PortalKeystrokeSender.h"
#include "platform/tesseract/TextRecognizerProcess.h"
#include "platform/wayland/WaylandKeystrokeSender.h"
#include "platform/wayland/WaylandPasteboard.h"
#include "platform/x11/WindowEffects.h"
#include "ui/Theme.h"
#include "ui/ThumbnailLoader.h"
#include "widget/DesktopWidgetView.h"
#include "widget/WidgetWindow.h"

#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QDBusConnection>
#include <QHash>
#include <QLabel>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QVBoxLayout>
#include <QWindow>

namespace {

QRect availableGeometryAt(const QPoint& point)
{
    QScreen* screen = QGuiApplication::screenAt(point);
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect();
}

} // namespace

PopoverWindow* AppDelegate::settingsPopover() const
{
    return m_windows ? m_windows->settingsPopover() : nullptr;
}

QWidget* AppDelegate::activePreviewWindow() const
{
    return m_windows ? m_windows->activePreviewWindow() : nullptr;
}

QWidget* AppDelegate::privacyPolicyWindow() const
{
    return m_windows ? m_windows->privacyPolicyWindow() : nullptr;
}

WidgetWindow* AppDelegate::widgetWindow() const
{
    return m_widgetWindow.data();
}

QSystemTrayIcon* AppDelegate::statusItem() const
{
    return m_tray ? m_tray->icon() : nullptr;
}

QWidget* AppDelegate::panelWindow() const
{
    return m_panelWindow.data();
}

AppDelegate::AppDelegate(QObject* parent)
    : QObject(parent)
{}

AppDelegate::~AppDelegate()
{
    delete m_historyService;
    delete m_shortcutBinder;
    delete m_widgetWindow;
    delete m_popover;
    delete m_windows;
    delete m_panelWindow;
    delete m_tray;
    m_paste.reset();
    if (auto* wayland = dynamic_cast<WaylandPasteboard*>(m_pasteboard.get()))
        wayland->setOwnerIdentity({});
    m_keystrokeSender.reset();
    // Thumbnails may still be decoding from the store.
    ThumbnailLoader::waitForDone();
    // The text index reads the monitor's entries and the store's files.
    if (m_imageTextIndex)
        m_history->setImageTextSource({});
    m_imageTextIndex.reset();
    // The monitor refers to the history, the clipboard and the preferences, and the history to the
    // store; they go first. The store's destructor then finishes every save already requested.
    m_actions.reset();
    m_clipboardMonitor.reset();
    m_history.reset();
    m_pasteboard.reset();
    m_storageManager.reset();
}

bool AppDelegate::applicationDidFinishLaunching()
{
    m_singleInstance = new SingleInstance(QString::fromLatin1(applicationId), {}, this);
    const QString surface = SingleInstance::requestedSurface(QCoreApplication::arguments());
    if (!m_singleInstance->start(surface))
        return false;
    connect(m_singleInstance, &SingleInstance::surfaceRequested, this, &AppDelegate::openSurface);
    m_preferences = std::make_unique<Preferences>();
    m_storageManager = std::make_unique<StorageManager>();
    // Read on a thread of its own wherever the session allows, so a hung owner never freezes the panel.
    m_pasteboard = SystemPasteboard::create(QGuiApplication::clipboard(), ClipboardMonitor::sensitiveMarkerTypes());
    m_loginItem = std::make_unique<AutostartLoginItem>();
    startUp();
    createStatusItem();
    bindGlobalShortcut(GlobalShortcut::createForSession());
    usePasteSender(KeystrokeSender::createForSession());
    // The history for scripts, launchers and `pellamor COMMAND`, on the user's own session bus.
    m_historyService = new HistoryService(*m_clipboardMonitor, *m_actions, *m_storageManager, *m_preferences, this);
    m_historyService->setPanelActions([this] { presentPanel(); },
                                      [this] {
                                          if (!panelShown() && !(m_panelWindow && m_panelWindow->isVisible()))
                                              presentPanel();
                                      });
    m_historyService->registerOn(QDBusConnection::sessionBus());
    if (surface != SingleInstance::panelSurface)
        openSurface(surface);
    return true;
}

void AppDelegate::bindGlobalShortcut(std::unique_ptr<GlobalShortcut> shortcut)
{
    delete m_shortcutBinder;
    m_shortcutBinder = new ShortcutBinder(*m_preferences, std::move(shortcut), this);
    connect(m_shortcutBinder, &ShortcutBinder::activated, this, &AppDelegate::presentPanel);
    if (m_windows)
        m_windows->setShortcutBinder(m_shortcutBinder);
}

void AppDelegate::usePasteSender(std::unique_ptr<KeystrokeSender> sender)
{
    m_paste.reset();
    // The reader may be asking the sender that goes now who copied.
    if (auto* wayland = dynamic_cast<WaylandPasteboard*>(m_pasteboard.get()))
        wayland->setOwnerIdentity({});
    m_keystrokeSender = std::move(sender);
    m_paste = std::make_unique<PasteController>(*m_keystrokeSender, *m_preferences);
    m_paste->setClipboard(m_pasteboard.get());
    // Data control does not say who copied: on a wlroots compositor or KWin the window list names the
    // application whose window is active, for the excluded applications. Elsewhere on Wayland no
    // application, or only those of XWayland (through the X11 clipboard), can be told apart.
    QString identityNote;
    if (auto* wayland = dynamic_cast<WaylandPasteboard*>(m_pasteboard.get())) {
        auto* windowList = dynamic_cast<WaylandKeystrokeSender*>(m_keystrokeSender.get());
        wayland->setOwnerIdentity(
            windowList ? std::function<QString()>([windowList] { return windowList->focusedWindow().appId; })
                       : std::function<QString()>());
        if (!windowList)
            identityNote = QStringLiteral("此桌面无法识别复制的应用");
    } else if (!qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
        identityNote = QStringLiteral("Wayland 下只能识别 X11 应用");
    }
    connect(m_actions.get(), &EntryActions::chosen, m_paste.get(), &PasteController::entryChosen);
    connect(m_actions.get(), &EntryActions::chosenToPaste, m_paste.get(), &PasteController::pasteOnce);
    connect(m_paste.get(), &PasteController::closePanelRequested, this, [this] {
        closePanel();
        if (m_panelWindow)
            m_panelWindow->hide();
    });
    // A paste that did not happen says why, in one line; the entry is on the clipboard all the same.
    connect(m_paste.get(), &PasteController::finished, this, [this](PasteController::Outcome outcome) {
        using Outcome = PasteController::Outcome;
        static const QHash<Outcome, const char*> reasons = {
            {Outcome::NoTarget, "no window of another application had the focus"},
            {Outcome::TargetGone, "the window is gone"},
            {Outcome::FocusLost, "another window took the focus"},
            {Outcome::FocusTimedOut, "the window did not get the focus back"},
            {Outcome::ModifiersHeld, "a modifier key was still held"},
        };
        if (outcome == Outcome::Unsupported)
            printLine(QStringLiteral("Pellamor: Nothing pasted: ") + m_keystrokeSender->limitation());
        else if (const char* reason = reasons.value(outcome))
            printLine(QStringLiteral("Pellamor: Nothing pasted: ") + QLatin1String(reason));
    });
    if (m_windows)
        m_windows->setApplicationIdentityNote(identityNote);
    if (auto* portal = qobject_cast<PortalKeystrokeSender*>(m_keystrokeSender.get())) {
        // The portal's session opens when the user asks for pasting, and its own dialog asks for consent.
        const auto startPortal = [this, portal] { portal->start(m_preferences->pasteRestoreToken()); };
        connect(portal, &PortalKeystrokeSender::restoreTokenChanged, m_preferences.get(),
                &Preferences::setPasteRestoreToken);
        connect(portal, &PortalKeystrokeSender::supportChanged, this, [this, portal] {
            showPasteSupport();
            if (portal->hasFailed())
                printLine(QStringLiteral("Pellamor: Paste after choosing is not available: ") + portal->limitation());
        });
        connect(m_preferences.get(), &Preferences::changed, portal, [this, startPortal](Preferences::Key key) {
            if (key == Preferences::Key::PasteAfterChoosing && m_preferences->pasteAfterChoosing())
                startPortal();
        });
        // Paste once asks for the session too; this choice is copied only.
        connect(m_actions.get(), &EntryActions::chosenToPaste, portal, startPortal);
        if (m_preferences->pasteAfterChoosing())
            startPortal();
        showPasteSupport();
        return;
    }
    showPasteSupport();
    if (m_preferences->pasteAfterChoosing() && m_keystrokeSender->support() != KeystrokeSender::Support::Full)
        printLine(QStringLiteral("Pellamor: Paste after choosing is not available: ") +
                  m_keystrokeSender->limitation());
}

void AppDelegate::showPasteSupport()
{
    if (!m_windows)
        return;
    if (auto* portal = qobject_cast<PortalKeystrokeSender*>(m_keystrokeSender.get())) {
        m_windows->setPasteLimitation(portal->hasFailed()
                                          ? QStringLiteral("桌面未允许模拟按键，无法自动粘贴")
                                          : QStringLiteral("开启时桌面会请求你的授权，允许后才能自动粘贴"),
                                      true);
        return;
    }
    const KeystrokeSender::Support support = m_keystrokeSender->support();
    m_windows->setPasteLimitation(support == KeystrokeSender::Support::Full ? QString()
                                  : support == KeystrokeSender::Support::X11WindowsOnly
                                      ? QStringLiteral("此桌面只能粘贴到 X11 窗口")
                                      : QStringLiteral("此桌面不支持自动粘贴"),
                                  support != KeystrokeSender::Support::None);
}

void AppDelegate::openSurface(const QString& surface)
{
    if (surface == SingleInstance::settingsSurface)
        showSettingsAlone();
    else if (m_panelAsWindow)
        showPanelWindow();
    else
        togglePopover();
}

void AppDelegate::launchWith(std::unique_ptr<Preferences> preferences, std::unique_ptr<StorageManager> storage,
                             std::unique_ptr<Pasteboard> pasteboard, std::unique_ptr<LoginItem> loginItem)
{
    m_preferences = std::move(preferences);
    m_storageManager = std::move(storage);
    m_pasteboard = std::move(pasteboard);
    if (m_paste)
        m_paste->setClipboard(m_pasteboard.get());
    m_loginItem = std::move(loginItem);
    startUp();
}

void AppDelegate::startUp()
{
    m_history = std::make_unique<HistoryModel>(*m_storageManager);
    m_clipboardMonitor = std::make_unique<ClipboardMonitor>(*m_history, *m_pasteboard, *m_preferences);
    m_clipboardMonitor->startMonitoring();
    m_actions = std::make_unique<EntryActions>(*m_history, *m_clipboardMonitor);

    // Text read from image entries, searched like the text of text entries.
    if (!m_textRecognizer)
        m_textRecognizer = std::make_unique<TextRecognizerProcess>(
            QCoreApplication::applicationFilePath(), QStringList{QLatin1String(TextRecognizerProcess::serveArgument)});
    m_imageTextIndex =
        std::make_unique<ImageTextIndex>(*m_history, *m_storageManager, *m_preferences, *m_textRecognizer);
    HistoryModel& history = *m_history;
    history.setImageTextSource([index = m_imageTextIndex.get()](const QString& name) { return index->textOf(name); });
    connect(m_imageTextIndex.get(), &ImageTextIndex::textChanged, &history, &HistoryModel::refreshImageText);

    m_windows = new AuxiliaryWindows(*m_history, *m_actions, *m_storageManager, *m_preferences, *m_loginItem, this);
    m_windows->setClipboardMonitor(m_clipboardMonitor.get());
    m_windows->setImageTextUnavailableReason(m_imageTextIndex->unavailableReason());
    m_windows->setShortcutBinder(m_shortcutBinder);
    connect(m_windows, &AuxiliaryWindows::aboutToShow, this, &AppDelegate::updateAppearance);
    connect(m_windows, &AuxiliaryWindows::privacyPolicyRequested, this, &AppDelegate::showPrivacyPolicyWindow);
    connect(m_windows, &AuxiliaryWindows::quitRequested, qApp, &QCoreApplication::quit, Qt::QueuedConnection);

    m_desktopAppearance = new DesktopAppearance(this);
    connect(m_desktopAppearance, &DesktopAppearance::changed, this, &AppDelegate::updateAppearance);
    connect(m_preferences.get(), &Preferences::changed, this, [this](Preferences::Key key) {
        // Where the user left the board is no setting to apply: re-applying the windows for it closed a panel
        // opened just as the window manager placed a new board.
        if (key != Preferences::Key::WidgetPosition)
            handlePreferenceChange();
    });
    connect(qApp, &QGuiApplication::focusWindowChanged, this, &AppDelegate::handleFocusWindowChanged);

    updateAppearance();
    handlePreferenceChange();
    handlePopoverPersistence();
}

PopoverWindow* AppDelegate::popover()
{
    // Made when first needed: until then no row, thumbnail or font of the panel takes memory.
    if (!m_popover && m_clipboardMonitor) {
        m_contentView = new ContentView(*m_history, m_actions->intents(), *m_storageManager, *m_preferences);
        m_popover = new PopoverWindow(m_contentView);
        m_popover->setObjectName(QStringLiteral("panelPopover"));
        m_popover->resize(panelWidth, 480);
        connect(m_contentView, &ContentView::updatePopoverSize, this, &AppDelegate::updatePopoverSize);
        connect(m_contentView, &ContentView::settingsRequested, this, &AppDelegate::showSettingsPopover);
        connect(m_contentView, &ContentView::quitRequested, qApp, &QCoreApplication::quit, Qt::QueuedConnection);
        connect(m_contentView, &ContentView::closeRequested, this, &AppDelegate::closePanel);
        handlePopoverPersistence();
    }
    return m_popover;
}

ContentView* AppDelegate::contentView()
{
    popover();
    return m_contentView;
}

bool AppDelegate::panelShown() const
{
    return m_popover && m_popover->isVisible();
}

void AppDelegate::createStatusItem(std::function<bool()> trayProbe, int trayGraceMs)
{
    m_tray = new TrayController(*m_preferences, this);
    if (trayProbe)
        m_tray->trayProbe = std::move(trayProbe);
    connect(m_tray, &TrayController::panelRequested, this, &AppDelegate::togglePopover);
    // The open menu may take the focus, and the panel with it: the menu toggles what the user saw.
    connect(m_tray, &TrayController::menuAboutToShow, this, [this] { m_panelOpenAtMenu = panelShown(); });
    connect(m_tray->openAction(), &QAction::triggered, this, [this] {
        if (m_panelOpenAtMenu && panelShown())
            closePanel();
        else if (!m_panelOpenAtMenu && !panelShown())
            togglePopover();
    });
    connect(m_tray, &TrayController::ignoreNextRequested, m_clipboardMonitor.get(),
            &ClipboardMonitor::ignoreNextChange);
    connect(m_clipboardMonitor.get(), &ClipboardMonitor::ignoringNextChangeChanged, m_tray,
            &TrayController::setIgnoringNext);
    m_tray->setIgnoringNext(m_clipboardMonitor->isIgnoringNextChange());
    connect(m_tray, &TrayController::settingsRequested, this, &AppDelegate::showSettingsAlone);
    connect(m_tray, &TrayController::quitRequested, qApp, &QCoreApplication::quit, Qt::QueuedConnection);
    connect(m_tray, &TrayController::noTrayFound, this, &AppDelegate::handleNoTray);
    // The window the user may have open stays; from now on the panel hangs from the icon.
    connect(m_tray, &TrayController::trayAppeared, this, [this] { m_panelAsWindow = false; });
    m_tray->show(trayGraceMs);
}

void AppDelegate::handleNoTray()
{
    m_panelAsWindow = true;
    printLine(QStringLiteral("No system tray found: the history opens as a window; bind the command pellamor to a "
                             "shortcut to open it."));
    showPanelWindow();
}

void AppDelegate::presentPanel()
{
    if (!m_panelAsWindow) {
        togglePopover();
        return;
    }
    // Like the tray click on the panel: a shown window goes away, a hidden one comes up.
    if (m_panelWindow && m_panelWindow->isVisible())
        m_panelWindow->hide();
    else
        showPanelWindow();
}

void AppDelegate::showPanelWindow()
{
    if (!m_panelWindow) {
        auto* view = new ContentView(*m_history, m_actions->intents(), *m_storageManager, *m_preferences);
        connect(view, &ContentView::settingsRequested, this, &AppDelegate::showSettingsPopover);
        connect(view, &ContentView::quitRequested, qApp, &QCoreApplication::quit, Qt::QueuedConnection);
        connect(view, &ContentView::closeRequested, this, [this] { m_panelWindow->hide(); });
        // As high as what it shows, the empty state included, as the panel is.
        m_panelWindow =
            new PanelWindow(view, QSize(panelWidth, panelHeight(m_history->rowCount(), m_preferences->displayCount(),
                                                                view->preferredHeight())));
        connect(view, &ContentView::updatePopoverSize, m_panelWindow, [this, view] {
            m_panelWindow->fitHeight(
                panelHeight(m_history->rowCount(), m_preferences->displayCount(), view->preferredHeight()));
        });
    }
    if (m_paste && !m_panelWindow->isVisible())
        m_paste->panelOpening();
    updateAppearance();
    m_panelWindow->present();
}

void AppDelegate::applicationWillTerminate()
{
    if (m_clipboardMonitor) {
        m_clipboardMonitor->stopMonitoring();
        // A clear or delete can no longer be taken back: its image files go now.
        m_history->finishRemoval();
    }
}

int AppDelegate::panelHeight(qsizetype entryCount, int displayCount, int contentHeight)
{
    // Rows differ in height and every section adds a header: the panel is as high as its content needs.
    if (contentHeight > 0)
        return std::min(contentHeight, maxPanelHeight);
    const qsizetype rows = std::min<qsizetype>(std::max<qsizetype>(entryCount, 1), displayCount);
    // The search field's row comes on top, so the list keeps the room the rule gives it.
    return int(std::min<qsizetype>(rows * rowHeight + headerAllowance + ContentView::searchBarHeight + footerAllowance,
                                   maxPanelHeight));
}

QRect AppDelegate::trayGeometry() const
{
    return statusItem() ? statusItem()->geometry() : QRect();
}

void AppDelegate::togglePopover()
{
    if (!popover())
        return;
    if (m_popover->isVisible()) {
        closePanel();
        return;
    }
    // Clicking the tray icon while the panel is open first takes the focus away, which closes the
    // panel; the click itself must then not open it again.
    if (m_focusClosed.isValid() && m_focusClosed.elapsed() < reopenGuardMs)
        return;
    if (m_paste)
        m_paste->panelOpening();
    updateAppearance();
    const QSize size(panelWidth, panelHeight(m_history->rowCount(), m_preferences->displayCount(),
                                             m_contentView->preferredHeight()));
    const QRect tray = trayGeometry();
    const QPoint pointer = QCursor::pos();
    const PopoverPlacement placement =
        PopoverPlacement::place(tray, size, availableGeometryAt(tray.isValid() ? tray.center() : pointer), pointer);
    m_popoverGrowsUp = placement.growsUp;
    m_popover->setFrame(placement.frame, false);
    handlePopoverPersistence();
    m_popover->show();
    m_popover->raise();
    m_popover->activateWindow();
}

void AppDelegate::updatePopoverSize()
{
    if (!m_popover)
        return;
    const QSize size(panelWidth, panelHeight(m_history->rowCount(), m_preferences->displayCount(),
                                             m_contentView->preferredHeight()));
    const QRect current = m_popover->isVisible() ? m_popover->targetFrame() : m_popover->geometry();
    const QRect frame =
        PopoverPlacement::resized(current, m_popoverGrowsUp, size, availableGeometryAt(current.center()));
    // Asked again for the same size (several rows re-laid out at once): a running animation goes on.
    if (m_popover->isVisible() && frame == m_popover->targetFrame())
        return;
    m_popover->setFrame(frame, m_popover->isVisible());
}

void AppDelegate::updateAppearance()
{
    using Appearance = Preferences::Appearance;
    const Appearance theme = m_preferences ? m_preferences->themePreference() : Appearance::FollowSystem;
    const bool dark = theme == Appearance::Dark ||
                      (theme == Appearance::FollowSystem && m_desktopAppearance && m_desktopAppearance->prefersDark());
    Theme::instance().setDark(dark);
}

void AppDelegate::handlePreferenceChange()
{
    updateAppearance();
    handleWidgetToggle();
    handleWidgetPinned();
    // Widget locking needs nothing here: the drag surface reads the lock at every press.
    handlePopoverPersistence();
}

void AppDelegate::setupWidgetWindow()
{
    auto* board = new DesktopWidgetView(*m_history, m_actions->intents(), *m_storageManager, *m_preferences);
    connect(board, &DesktopWidgetView::previewRequested, this, &AppDelegate::showPreviewWindow);
    connect(board, &DesktopWidgetView::clearRequested, this, &AppDelegate::confirmClearFromWidget);
    m_widgetWindow = new WidgetWindow(board, m_preferences->widgetPinned());
}

void AppDelegate::handleWidgetToggle()
{
    if (m_isSettingUpWidget || !m_clipboardMonitor)
        return;
    const bool wanted = m_preferences->showDesktopWidget();
    if (wanted == bool(m_widgetWindow))
        return;
    if (wanted) {
        m_isSettingUpWidget = true;
        if (!m_widgetWindow)
            setupWidgetWindow();
        m_widgetWindow->show();
        m_widgetWindow->applyPinned(m_preferences->widgetPinned());
        m_isSettingUpWidget = false;
    } else {
        // Destroyed, not hidden: switched on again it starts fresh at its initial place.
        delete m_widgetWindow;
    }
    updateAppearance();
}

void AppDelegate::handleWidgetPinned()
{
    if (m_isSettingUpWidget || !m_widgetWindow)
        return;
    // Every preference write re-orders the widget: pinned in front, otherwise behind other windows.
    m_widgetWindow->applyPinned(m_preferences->widgetPinned());
}

void AppDelegate::handlePopoverPersistence()
{
    const bool pinned = m_preferences->popoverPinned();
    if (m_windows)
        m_windows->setSettingsFloating(pinned || m_preferences->popoverStayOpen());
    if (m_popover)
        m_popover->setFloating(pinned);
}

bool AppDelegate::keepsPanelOpen() const
{
    return m_preferences->popoverPinned() || m_preferences->popoverStayOpen();
}

void AppDelegate::closePanel()
{
    if (!m_popover)
        return;
    // The panel closes its preview itself as it hides.
    m_popover->hide();
}

bool AppDelegate::belongsToPanel(QWindow* window) const
{
    // The panel itself and the sheets it presents.
    for (QWindow* w = window; w; w = w->transientParent()) {
        if (m_popover && w == m_popover->windowHandle())
            return true;
    }
    return false;
}

void AppDelegate::handleFocusWindowChanged(QWindow* focusWindow)
{
    if (!m_windows)
        return;
    const bool inSettings = m_windows->belongsToSettings(focusWindow);
    PopoverWindow* settings = m_windows->settingsPopover();
    if (!focusWindow) {
        // Another application: nothing closes while the panel is pinned or kept open.
        if (keepsPanelOpen())
            return;
        // Not another application: the server still gives one of our windows the keyboard, and Qt lost
        // track while the window manager framed it. Asking again brings Qt's focus back.
        if (QWindow* stillFocused = WindowEffects::keyboardFocusWindow()) {
            stillFocused->requestActivate();
            return;
        }
        m_windows->closeSettings();
        if (panelShown()) {
            closePanel();
            m_focusClosed.start();
        }
        return;
    }
    // A click in one of our windows outside the settings closes the settings.
    if (settings && settings->isVisible() && !inSettings) {
        // The window manager moves the focus on the press; when that press is on the gear, the click
        // that follows must not open the settings again.
        m_windows->closeSettings(m_contentView && m_contentView->pointerOnSettingsButton());
    }
    if (panelShown() && !keepsPanelOpen() && !belongsToPanel(focusWindow) && !inSettings)
        closePanel();
}

void AppDelegate::showSettingsAlone()
{
    m_windows->showSettingsAlone(trayGeometry(), keepsPanelOpen());
}

void AppDelegate::showSettingsPopover(QWidget* anchor)
{
    m_windows->toggleSettings(anchor, keepsPanelOpen());
}

void AppDelegate::showPreviewWindow(const ClipboardItem& item)
{
    m_windows->showPreviewWindow(item, m_widgetWindow ? m_widgetWindow->frameGeometry() : QRect());
}

void AppDelegate::confirmClearFromWidget()
{
    if (m_widgetWindow)
        m_windows->confirmClear(m_widgetWindow);
}

void AppDelegate::showPrivacyPolicyWindow()
{
    m_windows->showPrivacyPolicyWindow(keepsPanelOpen());
}
