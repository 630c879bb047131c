#include "AppDelegate.h"

#include "PanelWindow.h"
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
#include "panel/ImagePreviewView.h"
#include "panel/TextPreviewView.h"
#include "platform/AutostartLoginItem.h"
#include "platform/DesktopAppearance.h"
#include "platform/GlobalShortcut.h"
#include "platform/Preferences.h"
#include "platform/SystemPasteboard.h"
#include "platform/TesseractRecognizer.h"
#include "settings/ConfirmClearDialog.h"
#include "settings/PrivacyPolicyView.h"
#include "settings/SettingsView.h"
#include "ui/CircleSymbolButton.h"
#include "ui/SymbolIcon.h"
#include "ui/Theme.h"
#include "ui/ThumbnailLoader.h"
#include "widget/DesktopWidgetView.h"
#include "widget/WidgetWindow.h"
#include "widget/WindowDragHandler.h"

#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QLabel>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QToolTip>
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
    return m_settingsPopover.data();
}

QWidget* AppDelegate::activePreviewWindow() const
{
    return m_activePreviewWindow.data();
}

QWidget* AppDelegate::privacyPolicyWindow() const
{
    return m_privacyPolicyWindow.data();
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
    delete m_shortcutBinder;
    delete m_widgetWindow;
    delete m_popover;
    delete m_settingsPopover;
    delete m_activePreviewWindow;
    delete m_privacyPolicyWindow;
    delete m_panelWindow;
    delete m_tray;
    // Thumbnails may still be decoding from the store.
    ThumbnailLoader::waitForDone();
    // The text index reads the monitor's entries and the store's files.
    if (m_imageTextIndex)
        HistoryModel::of(*m_clipboardMonitor).setImageTextSource({});
    m_imageTextIndex.reset();
    // The monitor refers to the store, the clipboard and the preferences; it goes first. The store's
    // destructor then finishes every save already requested.
    m_clipboardMonitor.reset();
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
    if (surface != SingleInstance::panelSurface)
        openSurface(surface);
    return true;
}

void AppDelegate::bindGlobalShortcut(std::unique_ptr<GlobalShortcut> shortcut)
{
    delete m_shortcutBinder;
    m_shortcutBinder = new ShortcutBinder(*m_preferences, std::move(shortcut), this);
    connect(m_shortcutBinder, &ShortcutBinder::activated, this, &AppDelegate::presentPanel);
    if (auto* settings = m_settingsPopover ? qobject_cast<SettingsView*>(m_settingsPopover->content()) : nullptr) {
        settings->setShortcutProblem(m_shortcutBinder->problem());
        connect(m_shortcutBinder, &ShortcutBinder::problemChanged, settings, &SettingsView::setShortcutProblem);
    }
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
    m_loginItem = std::move(loginItem);
    startUp();
}

void AppDelegate::startUp()
{
    // Constructing the monitor loads and sorts the stored history.
    m_clipboardMonitor = std::make_unique<ClipboardMonitor>(*m_storageManager, *m_pasteboard, *m_preferences);
    m_clipboardMonitor->startMonitoring();

    // Text read from image entries, searched like the text of text entries.
    if (!m_textRecognizer)
        m_textRecognizer = std::make_unique<TesseractRecognizer>();
    m_imageTextIndex =
        std::make_unique<ImageTextIndex>(*m_clipboardMonitor, *m_storageManager, *m_preferences, *m_textRecognizer);
    HistoryModel& history = HistoryModel::of(*m_clipboardMonitor);
    history.setImageTextSource([index = m_imageTextIndex.get()](const QString& name) { return index->textOf(name); });
    connect(m_imageTextIndex.get(), &ImageTextIndex::textChanged, &history, &HistoryModel::refreshImageText);

    m_contentView = new ContentView(*m_clipboardMonitor, *m_storageManager, *m_preferences);
    m_popover = new PopoverWindow(m_contentView);
    m_popover->setObjectName(QStringLiteral("panelPopover"));
    m_popover->resize(panelWidth, 480);
    connect(m_contentView, &ContentView::updatePopoverSize, this, &AppDelegate::updatePopoverSize);
    connect(m_contentView, &ContentView::settingsRequested, this, &AppDelegate::showSettingsPopover);
    connect(m_contentView, &ContentView::quitRequested, qApp, &QCoreApplication::quit, Qt::QueuedConnection);
    connect(m_contentView, &ContentView::closeRequested, this, &AppDelegate::closePanel);

    m_desktopAppearance = new DesktopAppearance(this);
    connect(m_desktopAppearance, &DesktopAppearance::changed, this, &AppDelegate::updateAppearance);
    connect(m_preferences.get(), &Preferences::changed, this, &AppDelegate::handlePreferenceChange);
    connect(qApp, &QGuiApplication::focusWindowChanged, this, &AppDelegate::handleFocusWindowChanged);

    updateAppearance();
    handlePreferenceChange();
    handlePopoverPersistence();
}

void AppDelegate::createStatusItem(std::function<bool()> trayProbe, int trayGraceMs)
{
    m_tray = new TrayController(*m_preferences, this);
    if (trayProbe)
        m_tray->trayProbe = std::move(trayProbe);
    connect(m_tray, &TrayController::panelRequested, this, &AppDelegate::togglePopover);
    // The open menu may take the focus, and the panel with it: the menu toggles what the user saw.
    connect(m_tray, &TrayController::menuAboutToShow, this, [this] { m_panelOpenAtMenu = m_popover->isVisible(); });
    connect(m_tray->openAction(), &QAction::triggered, this, [this] {
        if (m_panelOpenAtMenu && m_popover->isVisible())
            closePanel();
        else if (!m_panelOpenAtMenu && !m_popover->isVisible())
            togglePopover();
    });
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
        auto* view = new ContentView(*m_clipboardMonitor, *m_storageManager, *m_preferences);
        connect(view, &ContentView::settingsRequested, this, &AppDelegate::showSettingsPopover);
        connect(view, &ContentView::quitRequested, qApp, &QCoreApplication::quit, Qt::QueuedConnection);
        connect(view, &ContentView::closeRequested, this, [this] { m_panelWindow->hide(); });
        m_panelWindow = new PanelWindow(
            view, QSize(panelWidth, panelHeight(m_clipboardMonitor->items().size(), m_preferences->displayCount())));
    }
    updateAppearance();
    m_panelWindow->present();
}

void AppDelegate::applicationWillTerminate()
{
    if (m_clipboardMonitor) {
        m_clipboardMonitor->stopMonitoring();
        // A clear or delete can no longer be taken back: its image files go now.
        m_clipboardMonitor->finishRemoval();
    }
}

int AppDelegate::panelHeight(qsizetype entryCount, int displayCount, int contentHeight)
{
    // Rows differ in height and every section adds a header: the panel is as high as its content needs.
    if (contentHeight > 0)
        return std::min(contentHeight, maxPanelHeight);
    const qsizetype limit = displayCount > 0 ? displayCount : 6;
    const qsizetype rows = std::min(std::max<qsizetype>(entryCount, 1), limit);
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
    if (!m_popover)
        return;
    if (m_popover->isVisible()) {
        closePanel();
        return;
    }
    // Clicking the tray icon while the panel is open first takes the focus away, which closes the
    // panel; the click itself must then not open it again.
    if (m_focusClosed.isValid() && m_focusClosed.elapsed() < reopenGuardMs)
        return;
    updateAppearance();
    const QSize size(panelWidth, panelHeight(m_clipboardMonitor->items().size(), m_preferences->displayCount(),
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
    const QSize size(panelWidth, panelHeight(m_clipboardMonitor->items().size(), m_preferences->displayCount(),
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
    const int theme = m_preferences ? m_preferences->effectiveThemePreference() : 0;
    const bool dark = theme == 2 || (theme == 0 && m_desktopAppearance && m_desktopAppearance->prefersDark());
    Theme::instance().setDark(dark);
    // Tooltips are Qt's own windows: they take the theme's colours, not the desktop's light ones.
    QToolTip::setPalette(Theme::palette().widgetPalette());
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
    auto* board = new DesktopWidgetView(*m_clipboardMonitor, *m_storageManager, *m_preferences);
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
    if (!m_popover)
        return;
    const bool pinned = m_preferences->popoverPinned();
    m_popover->setFloating(pinned);
    if (m_settingsPopover)
        m_settingsPopover->setFloating(pinned || m_preferences->popoverStayOpen());
}

bool AppDelegate::keepsPanelOpen() const
{
    return m_preferences->popoverPinned() || m_preferences->popoverStayOpen();
}

void AppDelegate::closePanel()
{
    if (QWidget* sheet = m_contentView->openSheet())
        sheet->close();
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

bool AppDelegate::belongsToSettings(QWindow* window) const
{
    // The settings popover and the dialogs it opens (clear confirmation, export).
    for (QWindow* w = window; w; w = w->transientParent()) {
        if (m_settingsPopover && w == m_settingsPopover->windowHandle())
            return true;
    }
    return false;
}

void AppDelegate::handleFocusWindowChanged(QWindow* focusWindow)
{
    if (!m_popover)
        return;
    const bool inSettings = belongsToSettings(focusWindow);
    if (!focusWindow) {
        // Another application: nothing closes while the panel is pinned or kept open.
        if (keepsPanelOpen())
            return;
        if (m_settingsPopover)
            m_settingsPopover->hide();
        if (m_popover->isVisible()) {
            closePanel();
            m_focusClosed.start();
        }
        return;
    }
    // A click in one of our windows outside the settings closes the settings.
    if (m_settingsPopover && m_settingsPopover->isVisible() && !inSettings) {
        m_settingsPopover->hide();
        // The window manager moves the focus on the press; when that press is on the gear, the click
        // that follows must not open the settings again.
        if (m_contentView && pointerOnGear())
            m_settingsClosedByGear.start();
    }
    if (m_popover->isVisible() && !keepsPanelOpen() && !belongsToPanel(focusWindow) && !inSettings)
        closePanel();
}

bool AppDelegate::pointerOnGear() const
{
    const QWidget* gear = m_contentView->settingsButton();
    return gear->isVisible() && QRect(gear->mapToGlobal(QPoint(0, 0)), gear->size()).contains(QCursor::pos());
}

PopoverWindow* AppDelegate::ensureSettingsPopover()
{
    if (!m_settingsPopover) {
        auto* settings = new SettingsView(*m_clipboardMonitor, *m_preferences, *m_loginItem);
        settings->setImageTextUnavailableReason(m_imageTextIndex->unavailableReason());
        connect(settings, &SettingsView::privacyPolicyRequested, this, &AppDelegate::showPrivacyPolicyWindow);
        connect(settings, &SettingsView::quitRequested, qApp, &QCoreApplication::quit, Qt::QueuedConnection);
        m_settingsPopover = new PopoverWindow(settings);
        m_settingsPopover->setObjectName(QStringLiteral("settingsPopover"));
        if (m_shortcutBinder) {
            settings->setShortcutProblem(m_shortcutBinder->problem());
            connect(m_shortcutBinder, &ShortcutBinder::problemChanged, settings, &SettingsView::setShortcutProblem);
        }
    }
    return m_settingsPopover;
}

void AppDelegate::showSettingsAlone()
{
    PopoverWindow* settings = ensureSettingsPopover();
    updateAppearance();
    settings->setFloating(keepsPanelOpen());
    const QSize size(SettingsView::panelWidth, SettingsView::panelHeight);
    const QRect tray = trayGeometry();
    const QPoint pointer = QCursor::pos();
    settings->setFrame(
        PopoverPlacement::place(tray, size, availableGeometryAt(tray.isValid() ? tray.center() : pointer), pointer)
            .frame,
        false);
    settings->show();
    settings->raise();
    settings->activateWindow();
}

void AppDelegate::showSettingsPopover(QWidget* anchor)
{
    ensureSettingsPopover();
    if (m_settingsPopover->isVisible()) {
        m_settingsPopover->hide();
        return;
    }
    if (m_settingsClosedByGear.isValid() && m_settingsClosedByGear.elapsed() < reopenGuardMs) {
        m_settingsClosedByGear.invalidate();
        return;
    }
    updateAppearance();
    m_settingsPopover->setFloating(keepsPanelOpen());
    const QPoint anchorPoint = anchor ? anchor->mapToGlobal(QPoint(0, 0)) : QCursor::pos();
    const QRect anchorRect(anchorPoint, QSize(1, 1));
    const PopoverPlacement placement =
        PopoverPlacement::place(anchorRect, QSize(SettingsView::panelWidth, SettingsView::panelHeight),
                                availableGeometryAt(anchorPoint), anchorPoint);
    m_settingsPopover->setFrame(placement.frame, false);
    m_settingsPopover->show();
    m_settingsPopover->raise();
    m_settingsPopover->activateWindow();
}

void AppDelegate::showPreviewWindow(const ClipboardItem& item)
{
    if (m_activePreviewWindow)
        m_activePreviewWindow->close();
    // The previews draw their own title and close button: the window manager adds none of its own.
    auto* window = new QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint);
    window->setObjectName(QStringLiteral("previewWindow"));
    window->setAttribute(Qt::WA_DeleteOnClose);
    auto* layout = new QVBoxLayout(window);
    layout->setContentsMargins(0, 0, 0, 0);
    const auto dismiss = [window = QPointer<QWidget>(window)] {
        if (window)
            window->close();
    };
    QWidget* view = nullptr;
    if (item.isImage()) {
        auto* image = new ImagePreviewView(*m_storageManager, item.content, dismiss, window);
        image->offerRecognizedText(*m_clipboardMonitor);
        view = image;
    } else {
        view = new TextPreviewView(*m_clipboardMonitor, item, dismiss, window);
    }
    layout->addWidget(view);
    // Moved by its title bar and background, as a window with a frame is.
    new WindowMoveFilter(view);
    window->setWindowTitle(item.isImage() ? QStringLiteral("图片预览") : QStringLiteral("查看与编辑"));
    window->resize(500, 400);
    // Beside the desktop widget when it is shown; centred on the screen otherwise.
    const QRect widgetFrame = m_widgetWindow ? m_widgetWindow->frameGeometry() : QRect();
    const QRect available = availableGeometryAt(widgetFrame.isValid() ? widgetFrame.center() : QCursor::pos());
    window->setGeometry(previewWindowFrame(widgetFrame, window->size(), available));
    m_activePreviewWindow = window;
    window->show();
    window->raise();
    window->activateWindow();
}

void AppDelegate::confirmClearFromWidget()
{
    if (!m_widgetWindow)
        return;
    auto* dialog = new ConfirmClearDialog(m_widgetWindow);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QDialog::accepted, this, [this] { m_clipboardMonitor->clearAll(); });
    dialog->present();
}

void AppDelegate::showPrivacyPolicyWindow()
{
    if (!m_privacyPolicyWindow) {
        auto* window = new QWidget(nullptr, Qt::Window);
        window->setObjectName(QStringLiteral("privacyPolicyWindow"));
        window->setWindowTitle(QStringLiteral("隐私政策与服务条款"));
        auto* layout = new QVBoxLayout(window);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(new PrivacyPolicyView(window));
        window->adjustSize();
        const QRect available = availableGeometryAt(QCursor::pos());
        window->setGeometry(previewWindowFrame(QRect(), window->size(), available));
        m_privacyPolicyWindow = window;
    }
    // Floating while the panel is pinned or kept open, re-evaluated on every showing.
    const bool floating = keepsPanelOpen();
    if (bool(m_privacyPolicyWindow->windowFlags() & Qt::WindowStaysOnTopHint) != floating) {
        m_privacyPolicyWindow->setWindowFlag(Qt::WindowStaysOnTopHint, floating);
    }
    m_privacyPolicyWindow->show();
    m_privacyPolicyWindow->raise();
    m_privacyPolicyWindow->activateWindow();
}
