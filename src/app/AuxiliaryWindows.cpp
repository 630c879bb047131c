#include "AuxiliaryWindows.h"

#include "EntryActions.h"
#include "LaunchAtLoginController.h"
#include "PopoverPlacement.h"
#include "PopoverWindow.h"
#include "ShortcutBinder.h"
#include "core/ClipboardMonitor.h"
#include "core/HistoryModel.h"
#include "panel/ImagePreviewView.h"
#include "panel/TextPreviewView.h"
#include "settings/ConfirmClearDialog.h"
#include "settings/PrivacyPolicyView.h"
#include "settings/SettingsView.h"
#include "ui/WindowDragHandler.h"

#include <QCursor>
#include <QGuiApplication>
#include <QScreen>
#include <QVBoxLayout>
#include <QWindow>

namespace {

// The same as the panel's: a press that closed the settings is not taken as a click to open them.
constexpr int reopenGuardMs = 400;

QRect availableGeometryAt(const QPoint& point)
{
    QScreen* screen = QGuiApplication::screenAt(point);
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect();
}

void present(QWidget* window)
{
    window->show();
    window->raise();
    window->activateWindow();
}

} // namespace

AuxiliaryWindows::AuxiliaryWindows(HistoryModel& history, EntryActions& actions, StorageManager& storage,
                                   Preferences& preferences, LoginItem& loginItem, QObject* parent)
    : QObject(parent)
    , m_history(history)
    , m_actions(actions)
    , m_storage(storage)
    , m_preferences(preferences)
    , m_loginItem(loginItem)
{}

AuxiliaryWindows::~AuxiliaryWindows()
{
    delete m_settingsPopover;
    delete m_activePreviewWindow;
    delete m_privacyPolicyWindow;
}

PopoverWindow* AuxiliaryWindows::settingsPopover() const
{
    return m_settingsPopover.data();
}

QWidget* AuxiliaryWindows::activePreviewWindow() const
{
    return m_activePreviewWindow.data();
}

QWidget* AuxiliaryWindows::privacyPolicyWindow() const
{
    return m_privacyPolicyWindow.data();
}

void AuxiliaryWindows::setShortcutBinder(ShortcutBinder* binder)
{
    m_shortcutBinder = binder;
    auto* settings = m_settingsPopover ? qobject_cast<SettingsView*>(m_settingsPopover->content()) : nullptr;
    if (settings && binder) {
        settings->setShortcutProblem(binder->problem());
        connect(binder, &ShortcutBinder::problemChanged, settings, &SettingsView::setShortcutProblem);
    }
}

void AuxiliaryWindows::setPasteLimitation(const QString& note, bool available)
{
    m_pasteNote = note;
    m_pasteAvailable = available;
    if (auto* settings = m_settingsPopover ? qobject_cast<SettingsView*>(m_settingsPopover->content()) : nullptr)
        settings->setPasteLimitation(note, available);
}

void AuxiliaryWindows::setApplicationIdentityNote(const QString& note)
{
    m_identityNote = note;
    if (auto* settings = m_settingsPopover ? qobject_cast<SettingsView*>(m_settingsPopover->content()) : nullptr)
        settings->setApplicationIdentityNote(note);
}

PopoverWindow* AuxiliaryWindows::ensureSettingsPopover()
{
    if (!m_settingsPopover) {
        auto* settings = new SettingsView(m_history, m_actions.intents(), m_preferences);
        settings->setImageTextUnavailableReason(m_imageTextReason);
        settings->setPasteLimitation(m_pasteNote, m_pasteAvailable);
        settings->setApplicationIdentityNote(m_identityNote);
        if (m_monitor) {
            const auto report = [settings, monitor = m_monitor] {
                settings->setRuleReport(monitor->skippedCount(SkippedBy::ExcludedApplication),
                                        monitor->skippedCount(SkippedBy::IgnorePattern), monitor->slowPatterns());
            };
            report();
            connect(m_monitor, &ClipboardMonitor::rulesReportChanged, settings, report);
        }
        (new LaunchAtLoginController(m_preferences, m_loginItem, settings))->attach(*settings);
        connect(settings, &SettingsView::privacyPolicyRequested, this, &AuxiliaryWindows::privacyPolicyRequested);
        connect(settings, &SettingsView::quitRequested, this, &AuxiliaryWindows::quitRequested);
        m_settingsPopover = new PopoverWindow(settings);
        m_settingsPopover->setObjectName(QStringLiteral("settingsPopover"));
        setShortcutBinder(m_shortcutBinder);
    }
    return m_settingsPopover;
}

void AuxiliaryWindows::toggleSettings(QWidget* anchor, bool floating)
{
    PopoverWindow* settings = ensureSettingsPopover();
    if (settings->isVisible()) {
        settings->hide();
        return;
    }
    if (m_settingsClosedByGear.isValid() && m_settingsClosedByGear.elapsed() < reopenGuardMs) {
        m_settingsClosedByGear.invalidate();
        return;
    }
    Q_EMIT aboutToShow();
    settings->setFloating(floating);
    const QPoint anchorPoint = anchor ? anchor->mapToGlobal(QPoint(0, 0)) : QCursor::pos();
    const PopoverPlacement placement = PopoverPlacement::place(
        QRect(anchorPoint, QSize(1, 1)), QSize(SettingsView::panelWidth, SettingsView::panelHeight),
        availableGeometryAt(anchorPoint), anchorPoint);
    settings->setFrame(placement.frame, false);
    present(settings);
}

void AuxiliaryWindows::showSettingsAlone(const QRect& trayIcon, bool floating)
{
    PopoverWindow* settings = ensureSettingsPopover();
    Q_EMIT aboutToShow();
    settings->setFloating(floating);
    const QSize size(SettingsView::panelWidth, SettingsView::panelHeight);
    const QPoint pointer = QCursor::pos();
    const QRect available = availableGeometryAt(trayIcon.isValid() ? trayIcon.center() : pointer);
    settings->setFrame(PopoverPlacement::place(trayIcon, size, available, pointer).frame, false);
    present(settings);
}

void AuxiliaryWindows::setSettingsFloating(bool floating)
{
    if (m_settingsPopover)
        m_settingsPopover->setFloating(floating);
}

void AuxiliaryWindows::closeSettings(bool byGear)
{
    if (!m_settingsPopover)
        return;
    m_settingsPopover->hide();
    if (byGear)
        m_settingsClosedByGear.start();
}

bool AuxiliaryWindows::belongsToSettings(QWindow* window) const
{
    for (QWindow* w = window; w; w = w->transientParent()) {
        if (m_settingsPopover && w == m_settingsPopover->windowHandle())
            return true;
    }
    return false;
}

void AuxiliaryWindows::showPreviewWindow(const ClipboardItem& item, const QRect& widgetFrame)
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
        auto* image = new ImagePreviewView(m_storage, item.content, dismiss, window);
        image->offerRecognizedText(m_history, m_actions.intents());
        view = image;
    } else {
        view = new TextPreviewView(m_actions.intents(), item, dismiss, window);
    }
    layout->addWidget(view);
    // Moved by its title bar and background, as a window with a frame is.
    new WindowMoveFilter(view);
    window->setWindowTitle(item.isImage() ? QStringLiteral("图片预览") : QStringLiteral("查看与编辑"));
    window->resize(500, 400);
    // Beside the desktop widget when it is shown; centred on the screen otherwise.
    const QRect available = availableGeometryAt(widgetFrame.isValid() ? widgetFrame.center() : QCursor::pos());
    window->setGeometry(previewWindowFrame(widgetFrame, window->size(), available));
    m_activePreviewWindow = window;
    present(window);
}

void AuxiliaryWindows::showPrivacyPolicyWindow(bool floating)
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
    if (bool(m_privacyPolicyWindow->windowFlags() & Qt::WindowStaysOnTopHint) != floating)
        m_privacyPolicyWindow->setWindowFlag(Qt::WindowStaysOnTopHint, floating);
    present(m_privacyPolicyWindow);
}

void AuxiliaryWindows::confirmClear(QWidget* parent)
{
    auto* dialog = ConfirmClearDialog::clearAll(parent, m_history.items());
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QDialog::accepted, &m_actions, &EntryActions::clearAll);
    dialog->present();
}
