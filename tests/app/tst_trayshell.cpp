// The shell with its tray: the tray menu's actions, pausing, and the window for desktops without a tray.
#include "../StdoutCapture.h"
#include "app/AppDelegate.h"
#include "app/PopoverPlacement.h"
#include "app/PopoverWindow.h"
#include "app/TrayController.h"
#include "core/ClipboardMonitor.h"
#include "core/StorageManager.h"
#include "panel/ContentView.h"
#include "panel/PausedCapsule.h"
#include "platform/Preferences.h"
#include "platform/fakes/FakeLoginItem.h"
#include "platform/fakes/FakePasteboard.h"
#include "settings/PrivacyPolicyView.h"
#include "settings/SettingsView.h"
#include "settings/ToggleSwitch.h"

#include <QAction>
#include <QCursor>
#include <QMenu>
#include <QScreen>
#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <QTest>

class TestTrayShell : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void openActionTogglesWhatTheUserSaw();
    void settingsActionShowsTheSettingsAlone();
    void pausedChangesAreNeverCaptured();
    void pauseShowsInPanelSettingsAndTray();
    void privacyPolicyNamesTheSwitch();
    void noTrayOpensTheHistoryAsAWindow();

private:
    void launch(std::function<bool()> trayProbe, int graceMs = 3000);
    void copy(const QString& text);
    QStringList texts() const;
    void openMenuAndChoose(QAction* action);

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<AppDelegate> m_delegate;
    FakePasteboard* m_pasteboard = nullptr;
    Preferences* m_preferences = nullptr;
};

void TestTrayShell::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
}

void TestTrayShell::cleanup()
{
    m_delegate.reset();
    m_dir.reset();
}

void TestTrayShell::launch(std::function<bool()> trayProbe, int graceMs)
{
    auto preferences = std::make_unique<Preferences>(m_dir->filePath(QStringLiteral("prefs.conf")));
    auto pasteboard = std::make_unique<FakePasteboard>();
    m_preferences = preferences.get();
    m_pasteboard = pasteboard.get();
    m_delegate = std::make_unique<AppDelegate>();
    m_delegate->launchWith(std::move(preferences),
                           std::make_unique<StorageManager>(m_dir->filePath(QStringLiteral("Pellamor"))),
                           std::move(pasteboard), std::make_unique<FakeLoginItem>());
    m_delegate->createStatusItem(std::move(trayProbe), graceMs);
}

void TestTrayShell::copy(const QString& text)
{
    m_pasteboard->copyText(text);
    m_delegate->clipboardMonitor()->checkClipboard();
    for (int i = 0; i < 3; ++i)
        QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
}

QStringList TestTrayShell::texts() const
{
    QStringList texts;
    for (const ClipboardItem& item : m_delegate->clipboardMonitor()->items())
        texts << item.content;
    return texts;
}

void TestTrayShell::openMenuAndChoose(QAction* action)
{
    QMenu* menu = m_delegate->trayController()->menu();
    Q_EMIT menu->aboutToShow();
    action->trigger();
}

void TestTrayShell::openActionTogglesWhatTheUserSaw()
{
    launch([] { return true; });
    PopoverWindow* panel = m_delegate->popover();
    QAction* open = m_delegate->trayController()->openAction();
    openMenuAndChoose(open);
    QVERIFY(panel->isVisible());
    openMenuAndChoose(open);
    QVERIFY(!panel->isVisible());

    // A left click still toggles; a middle click does nothing.
    Q_EMIT m_delegate->statusItem()->activated(QSystemTrayIcon::Trigger);
    QVERIFY(panel->isVisible());
    Q_EMIT m_delegate->statusItem()->activated(QSystemTrayIcon::MiddleClick);
    QVERIFY(panel->isVisible());

    // The menu took the focus and closed the panel on its way: choosing "open" leaves it closed.
    Q_EMIT m_delegate->trayController()->menu()->aboutToShow();
    m_delegate->handleFocusWindowChanged(nullptr);
    QVERIFY(!panel->isVisible());
    open->trigger();
    QVERIFY(!panel->isVisible());
}

void TestTrayShell::settingsActionShowsTheSettingsAlone()
{
    launch([] { return true; });
    openMenuAndChoose(m_delegate->trayController()->settingsAction());
    PopoverWindow* settings = m_delegate->settingsPopover();
    QVERIFY(settings && settings->isVisible());
    QVERIFY(!m_delegate->popover()->isVisible());
    QVERIFY(qobject_cast<SettingsView*>(settings->content()));
    // Where the panel would go (offscreen there is no tray geometry: at the pointer).
    const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
    const QRect expected =
        PopoverPlacement::place(m_delegate->statusItem()->geometry(), QSize(320, 480), available, QCursor::pos()).frame;
    QCOMPARE(settings->geometry(), expected);
    // Asked again, it stays open: the menu shows, it does not toggle.
    openMenuAndChoose(m_delegate->trayController()->settingsAction());
    QVERIFY(settings->isVisible());
    QCOMPARE(m_delegate->settingsPopover(), settings);
}

void TestTrayShell::pausedChangesAreNeverCaptured()
{
    launch([] { return true; });
    copy(QStringLiteral("before"));
    openMenuAndChoose(m_delegate->trayController()->pauseAction());
    QVERIFY(m_preferences->monitoringPaused());

    copy(QStringLiteral("during one"));
    copy(QStringLiteral("during two"));
    QCOMPARE(texts(), QStringList{QStringLiteral("before")});
    // The change was seen, and it is not waiting to be caught up on.
    QCOMPARE(m_delegate->clipboardMonitor()->lastChangeCount(), m_pasteboard->changeCount());

    // Copying back still works while paused, and is not captured either.
    const ClipboardItem entry = m_delegate->clipboardMonitor()->items().first();
    m_delegate->clipboardMonitor()->copyToClipboard(entry);
    QCOMPARE(m_pasteboard->string(), std::optional(QStringLiteral("before")));

    openMenuAndChoose(m_delegate->trayController()->pauseAction());
    QVERIFY(!m_preferences->monitoringPaused());
    m_pasteboard->copyText(QStringLiteral("during three"));
    m_preferences->setMonitoringPaused(true);
    m_delegate->clipboardMonitor()->checkClipboard();
    m_preferences->setMonitoringPaused(false);
    m_delegate->clipboardMonitor()->checkClipboard();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
    QCOMPARE(texts(), QStringList{QStringLiteral("before")});

    copy(QStringLiteral("after"));
    QCOMPARE(texts(), QStringList({QStringLiteral("after"), QStringLiteral("before")}));
}

void TestTrayShell::pauseShowsInPanelSettingsAndTray()
{
    launch([] { return true; });
    m_delegate->togglePopover();
    auto* capsule = m_delegate->contentView()->findChild<PausedCapsule*>(QStringLiteral("pausedCapsule"));
    QVERIFY(capsule);
    QVERIFY(!capsule->isVisible());
    m_delegate->showSettingsAlone();
    auto* pauseSwitch =
        m_delegate->settingsPopover()->findChild<ToggleSwitch*>(QStringLiteral("monitoringPausedSwitch"));
    QVERIFY(pauseSwitch);
    QVERIFY(!pauseSwitch->isOn());

    // The settings' switch pauses; the panel header, the tray menu and the icon follow.
    QTest::mouseClick(pauseSwitch, Qt::LeftButton);
    QVERIFY(m_preferences->monitoringPaused());
    QVERIFY(pauseSwitch->isOn());
    QVERIFY(capsule->isVisible());
    QCOMPARE(capsule->text(), QStringLiteral("已暂停"));
    QVERIFY(m_delegate->trayController()->pauseAction()->isChecked());
    QCOMPARE(m_delegate->statusItem()->toolTip(), QStringLiteral("Pellamor（已暂停）"));
    // Left of the lock button.
    QWidget* lock = m_delegate->contentView()->findChild<QWidget*>(QStringLiteral("lockButton"));
    QVERIFY(capsule->geometry().right() < lock->geometry().left());
    QCOMPARE(capsule->y() + capsule->height() / 2, lock->y() + lock->height() / 2);

    // The capsule resumes.
    QTest::mouseClick(capsule, Qt::LeftButton);
    QVERIFY(!m_preferences->monitoringPaused());
    QVERIFY(!capsule->isVisible());
    QVERIFY(!pauseSwitch->isOn());
    QVERIFY(!m_delegate->trayController()->pauseAction()->isChecked());
    QCOMPARE(m_delegate->statusItem()->toolTip(), QStringLiteral("Pellamor"));
}

void TestTrayShell::privacyPolicyNamesTheSwitch()
{
    const PrivacyPolicyView::Section& rights = PrivacyPolicyView::sections().at(6);
    QCOMPARE(rights.title, QStringLiteral("7. 用户权利"));
    const QStringList lines = rights.content.split(u'\n');
    QCOMPARE(lines.size(), 3);
    QVERIFY(lines[1].startsWith(u"•") && lines[2].startsWith(u"•"));
    QVERIFY(lines[2].contains(QStringLiteral("「隐私与订阅」")));
    QVERIFY(lines[2].contains(QStringLiteral("「暂停记录」")));
}

void TestTrayShell::noTrayOpensTheHistoryAsAWindow()
{
    bool tray = false;
    StdoutCapture output;
    launch([&tray] { return tray; }, 60);
    QTRY_VERIFY_WITH_TIMEOUT(m_delegate->panelWindow() && m_delegate->panelWindow()->isVisible(), 3000);
    QWidget* window = m_delegate->panelWindow();
    // Qt Test logs to standard output as well: only the program's line is looked at.
    const QByteArray message = "No system tray found: the history opens as a window; bind the command pellamor to a "
                               "shortcut to open it.";
    QCOMPARE(output.text().split('\n').count(message), 1);

    // An ordinary window: decorated, titled, in the task bar, centred.
    QCOMPARE(window->windowTitle(), QStringLiteral("Pellamor"));
    QCOMPARE(window->windowType(), Qt::Window);
    QVERIFY(!(window->windowFlags() & (Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)));
    QVERIFY(window->findChild<ContentView*>());
    // The whole empty state of a fresh start shows, as in the panel.
    QCOMPARE(window->width(), 340);
    auto* empty = window->findChild<QWidget*>(QStringLiteral("emptyState"));
    QTRY_VERIFY(empty->isVisible());
    QVERIFY(empty->height() >= empty->minimumSizeHint().height());
    QVERIFY(window->rect().contains(QRect(empty->mapTo(window, QPoint(0, 0)), empty->size())));
    const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
    // Centred as the toolkit places it: the frame's top left at the centre less half the window.
    const QPoint offset = window->frameGeometry().center() - available.center();
    QVERIFY(qAbs(offset.x()) <= 2);
    QVERIFY(qAbs(offset.y()) <= 2 + window->frameGeometry().height() - window->height());
    QVERIFY(!m_delegate->popover()->isVisible());

    // Closing hides it; asking for the panel again (a second start) shows the same window, where the
    // user left it.
    window->move(window->pos() + QPoint(30, 20));
    const QPoint moved = window->pos();
    window->close();
    QVERIFY(!window->isVisible());
    QCOMPARE(m_delegate->panelWindow(), window);
    m_delegate->openSurface(QStringLiteral("panel"));
    QVERIFY(window->isVisible());
    QCOMPARE(window->pos(), moved);
    window->close();

    // What was copied meanwhile is in it; settings open from its gear.
    copy(QStringLiteral("kept while windowed"));
    QCOMPARE(texts(), QStringList{QStringLiteral("kept while windowed")});

    // Its height follows the list, as the panel's does, until the user gives it one.
    m_delegate->openSurface(QStringLiteral("panel"));
    const int before = window->height();
    copy(QStringLiteral("a second entry"));
    copy(QStringLiteral("a third entry"));
    QTRY_VERIFY(window->height() > before);
    window->resize(340, 500);
    QTRY_COMPARE(window->height(), 500);
    copy(QStringLiteral("a fourth entry"));
    QTest::qWait(100);
    QCOMPARE(window->height(), 500);
    window->close();

    // A tray turns up: from now on the panel hangs from the icon.
    tray = true;
    QSignalSpy appeared(m_delegate->trayController(), &TrayController::trayAppeared);
    QVERIFY(appeared.wait(3000));
    m_delegate->presentPanel();
    QVERIFY(m_delegate->popover()->isVisible());
    QVERIFY(!window->isVisible());
    QCOMPARE(output.text().split('\n').count(message), 1);
}

QTEST_MAIN(TestTrayShell)
#include "tst_trayshell.moc"
