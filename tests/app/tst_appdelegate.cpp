#include "../StdoutCapture.h"
#include "app/AppDelegate.h"
#include "app/EntryActions.h"
#include "app/PasteController.h"
#include "app/PopoverPlacement.h"
#include "app/PopoverWindow.h"
#include "app/ShortcutBinder.h"
#include "core/ClipboardMonitor.h"
#include "core/StorageManager.h"
#include "panel/ContentView.h"
#include "platform/Preferences.h"
#include "platform/fakes/FakeGlobalShortcut.h"
#include "platform/fakes/FakeKeystrokeSender.h"
#include "platform/fakes/FakeLoginItem.h"
#include "platform/fakes/FakePasteboard.h"
#include "settings/ConfirmClearDialog.h"
#include "settings/SettingsView.h"
#include "ui/CircleSymbolButton.h"
#include "ui/Theme.h"
#include "widget/WidgetWindow.h"

#include <QApplication>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QWindow>

class TestAppDelegate : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void placement();
    void previewPlacement();
    void toggleOpensAndCloses();
    void panelGrowsWithTheHistory();
    void closeRules_data();
    void closeRules();
    void settingsPopoverRules();
    void pinFloatsThePanel();
    void themeFollowsThePreference();
    void previewWindowIsSingle();
    void widgetFollowsItsSwitch();
    void previewOpensBesideTheWidget();
    void settingsHostTheSettingsView();
    void privacyWindowIsSingle();
    void widgetClearAsksFirst();
    void surfacesFromLaterStartsAndTheShortcut();
    void settingsShowWhyTheShortcutIsNotBound();
    void unreadableShortcutBindsNothing_data();
    void unreadableShortcutBindsNothing();
    void escapeClosesOnlyTheTopmostSurface_data();
    void escapeClosesOnlyTheTopmostSurface();
    void choicePastesIntoTheWindowBeforeThePanel_data();
    void choicePastesIntoTheWindowBeforeThePanel();

private:
    void copy(const QString& text);

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<AppDelegate> m_delegate;
    FakePasteboard* m_pasteboard = nullptr;
    Preferences* m_preferences = nullptr;
};

void TestAppDelegate::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    auto preferences = std::make_unique<Preferences>(m_dir->filePath(QStringLiteral("prefs.conf")));
    auto pasteboard = std::make_unique<FakePasteboard>();
    m_preferences = preferences.get();
    m_pasteboard = pasteboard.get();
    m_delegate = std::make_unique<AppDelegate>();
    m_delegate->launchWith(std::move(preferences),
                           std::make_unique<StorageManager>(m_dir->filePath(QStringLiteral("Pellamor"))),
                           std::move(pasteboard), std::make_unique<FakeLoginItem>());
}

void TestAppDelegate::cleanup()
{
    m_delegate.reset();
    m_dir.reset();
}

void TestAppDelegate::copy(const QString& text)
{
    m_pasteboard->copyText(text);
    m_delegate->clipboardMonitor()->checkClipboard();
    for (int i = 0; i < 3; ++i)
        QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
}

void TestAppDelegate::placement()
{
    const QRect screen(0, 0, 1280, 800);
    const QSize size(340, 475);
    // Icons in a top panel (middle, right edge) and a bottom one; no icon, the pointer high and low.
    const QList<std::pair<QRect, QPoint>> anchors = {{QRect(600, 0, 24, 24), {}},
                                                     {QRect(1256, 0, 24, 24), {}},
                                                     {QRect(100, 776, 24, 24), {}},
                                                     {QRect(), QPoint(700, 300)},
                                                     {QRect(), QPoint(700, 700)}};
    for (const auto& [tray, pointer] : anchors) {
        const QRect anchor = tray.isValid() ? tray : QRect(pointer, QSize(1, 1));
        const PopoverPlacement placement = PopoverPlacement::place(tray, size, screen, pointer);
        // On the screen, beside the anchor on the side with room, a gap away from it.
        QCOMPARE(placement.frame.size(), size);
        QVERIFY(screen.contains(placement.frame));
        QCOMPARE(placement.growsUp, anchor.top() > 400);
        QVERIFY(placement.frame.left() <= anchor.center().x() && anchor.center().x() <= placement.frame.right());
        QCOMPARE(placement.growsUp ? anchor.top() - placement.frame.bottom() - 1
                                   : placement.frame.top() - anchor.bottom() - 1,
                 PopoverPlacement::gap);

        // Growing keeps the edge next to the anchor in place and stays on the screen.
        const QRect grown = PopoverPlacement::resized(placement.frame, placement.growsUp, QSize(340, 750), screen);
        QCOMPARE(grown.height(), 750);
        QVERIFY(screen.contains(grown));
        if (!placement.growsUp && placement.frame.top() + 750 <= 800)
            QCOMPARE(grown.top(), placement.frame.top());
    }
}

void TestAppDelegate::previewPlacement()
{
    const QRect screen(0, 0, 1920, 1080);
    QCOMPARE(previewWindowFrame(QRect(100, 100, 340, 340), QSize(500, 400), screen), QRect(452, 70, 500, 400));
    QCOMPARE(previewWindowFrame(QRect(), QSize(500, 400), screen), QRect(710, 340, 500, 400));
    // A widget at the right edge: the preview is moved back onto the screen.
    const QRect edge = previewWindowFrame(QRect(1600, 0, 340, 340), QSize(500, 400), screen);
    QVERIFY(screen.contains(edge));
}

void TestAppDelegate::toggleOpensAndCloses()
{
    PopoverWindow* popover = m_delegate->popover();
    QVERIFY(!popover->isVisible());
    m_delegate->togglePopover();
    QVERIFY(popover->isVisible());
    // Room for the empty state with its symbol.
    QCOMPARE(popover->size(), QSize(340, m_delegate->contentView()->preferredHeight()));
    QWidget* empty = m_delegate->contentView()->findChild<QWidget*>(QStringLiteral("emptyState"));
    QVERIFY(empty->isVisible());
    QVERIFY(empty->height() >= empty->minimumSizeHint().height());
    QVERIFY(popover->windowFlags() & Qt::Tool);
    m_delegate->togglePopover();
    QVERIFY(!popover->isVisible());
}

void TestAppDelegate::panelGrowsWithTheHistory()
{
    m_delegate->togglePopover();
    PopoverWindow* popover = m_delegate->popover();
    ContentView* panel = m_delegate->contentView();
    copy(QStringLiteral("one"));
    const int oneRow = popover->targetFrame().height();
    copy(QStringLiteral("two\nlines"));
    QTRY_COMPARE(popover->targetFrame().height(), panel->preferredHeight());
    QTRY_COMPARE(popover->height(), panel->preferredHeight());
    const int twoRows = popover->height();
    QVERIFY(twoRows > oneRow);
    m_preferences->setDisplayCount(1);
    QTRY_COMPARE(popover->targetFrame().height(), panel->preferredHeight());
    QVERIFY(popover->targetFrame().height() < twoRows);
    // Closed, the size is set at once.
    m_delegate->togglePopover();
    m_preferences->setDisplayCount(10);
    QTRY_COMPARE(popover->height(), twoRows);
    // More than fit: the maximum, and the list scrolls.
    m_preferences->setDisplayCount(20);
    for (int i = 0; i < 20; ++i)
        copy(QStringLiteral("entry %1").arg(i));
    QTRY_COMPARE(popover->height(), AppDelegate::maxPanelHeight);
}

void TestAppDelegate::closeRules_data()
{
    QTest::addColumn<bool>("pinned");
    QTest::addColumn<bool>("stayOpen");
    QTest::addColumn<bool>("closesOnOtherApplication");
    QTest::newRow("transient") << false << false << true;
    QTest::newRow("stay open") << false << true << false;
    QTest::newRow("pinned") << true << false << false;
    QTest::newRow("both") << true << true << false;
}

void TestAppDelegate::closeRules()
{
    QFETCH(bool, pinned);
    QFETCH(bool, stayOpen);
    QFETCH(bool, closesOnOtherApplication);
    m_preferences->setPopoverPinned(pinned);
    m_preferences->setPopoverStayOpen(stayOpen);
    m_delegate->togglePopover();
    QVERIFY(m_delegate->popover()->isVisible());
    // Focus to the panel itself keeps it.
    m_delegate->handleFocusWindowChanged(m_delegate->popover()->windowHandle());
    QVERIFY(m_delegate->popover()->isVisible());
    m_delegate->handleFocusWindowChanged(nullptr);
    QCOMPARE(m_delegate->popover()->isVisible(), !closesOnOtherApplication);
}

void TestAppDelegate::settingsPopoverRules()
{
    m_delegate->togglePopover();
    QWidget* anchor = m_delegate->contentView()->settingsButton();
    m_delegate->showSettingsPopover(anchor);
    QVERIFY(m_delegate->settingsPopover()->isVisible());
    // A click inside the settings keeps them; one in the panel closes only the settings.
    m_delegate->handleFocusWindowChanged(m_delegate->settingsPopover()->windowHandle());
    QVERIFY(m_delegate->settingsPopover()->isVisible());
    QVERIFY(m_delegate->popover()->isVisible());
    m_delegate->handleFocusWindowChanged(m_delegate->popover()->windowHandle());
    QVERIFY(!m_delegate->settingsPopover()->isVisible());
    QVERIFY(m_delegate->popover()->isVisible());

    // The gear toggles; the same window is reused.
    PopoverWindow* first = m_delegate->settingsPopover();
    m_delegate->showSettingsPopover(anchor);
    QVERIFY(first->isVisible());
    m_delegate->showSettingsPopover(anchor);
    QVERIFY(!first->isVisible());
    m_delegate->showSettingsPopover(anchor);
    QCOMPARE(m_delegate->settingsPopover(), first);

    // Another application: both close, unless the panel is kept open.
    m_delegate->handleFocusWindowChanged(nullptr);
    QVERIFY(!first->isVisible());
    QVERIFY(!m_delegate->popover()->isVisible());
}

void TestAppDelegate::pinFloatsThePanel()
{
    m_delegate->togglePopover();
    QVERIFY(!m_delegate->popover()->isFloating());
    m_preferences->setPopoverPinned(true);
    QVERIFY(m_delegate->popover()->isFloating());
    QVERIFY(m_delegate->popover()->windowFlags() & Qt::WindowStaysOnTopHint);
    QVERIFY(m_delegate->popover()->isVisible());
    m_preferences->setPopoverPinned(false);
    m_preferences->setPopoverStayOpen(true);
    // Staying open alone does not raise the panel.
    QVERIFY(!m_delegate->popover()->isFloating());
}

void TestAppDelegate::themeFollowsThePreference()
{
    using Appearance = Preferences::Appearance;
    m_preferences->setThemePreference(Appearance::Dark);
    QVERIFY(Theme::instance().isDark());
    // Qt's own widgets (menus, tooltips, the file dialog) take the same colours.
    QCOMPARE(QApplication::palette().color(QPalette::Window), ThemePalette::darkPalette().windowBackground);
    m_preferences->setThemePreference(Appearance::Light);
    QVERIFY(!Theme::instance().isDark());
    m_preferences->setThemePreference(Appearance::Dark);
    // Unknown values follow the desktop, which the offscreen platform paints light.
    m_preferences->setValue(Preferences::Key::ThemePreference, 3);
    QVERIFY(!Theme::instance().isDark());
}

void TestAppDelegate::previewWindowIsSingle()
{
    copy(QStringLiteral("a"));
    copy(QStringLiteral("b"));
    const ClipboardItems items = m_delegate->clipboardMonitor()->items();
    m_delegate->showPreviewWindow(items[0]);
    QPointer<QWidget> first = m_delegate->activePreviewWindow();
    QVERIFY(first && first->isVisible());
    m_delegate->showPreviewWindow(items[1]);
    QTRY_VERIFY(!first);
    QVERIFY(m_delegate->activePreviewWindow()->isVisible());
    m_delegate->activePreviewWindow()->close();
    QTRY_VERIFY(!m_delegate->activePreviewWindow());
}

void TestAppDelegate::widgetFollowsItsSwitch()
{
    QVERIFY(!m_delegate->widgetWindow());
    m_preferences->setShowDesktopWidget(true);
    WidgetWindow* window = m_delegate->widgetWindow();
    QVERIFY(window);
    QVERIFY(window->isVisible());
    QCOMPARE(window->objectName(), QStringLiteral("WidgetWindow"));
    QCOMPARE(window->size(), QSize(340, 340));
    const QPoint initial = QGuiApplication::primaryScreen()->availableGeometry().topLeft() + QPoint(100, 100);
    QCOMPARE(window->pos(), initial);
    QVERIFY(window->windowFlags() & Qt::Tool);
    QVERIFY(!(window->windowFlags() & Qt::WindowStaysOnTopHint));

    m_preferences->setWidgetPinned(true);
    QCOMPARE(m_delegate->widgetWindow(), window);
    QVERIFY(window->windowFlags() & Qt::WindowStaysOnTopHint);
    QVERIFY(window->isVisible());
    m_preferences->setWidgetPinned(false);
    QVERIFY(window->windowFlags() & Qt::WindowStaysOnBottomHint);

    // Off destroys it; on again makes a new one where the old one was left.
    QPointer<WidgetWindow> old = window;
    window->move(initial + QPoint(300, 200));
    QTRY_COMPARE(m_preferences->widgetPosition(), std::optional(initial + QPoint(300, 200)));
    m_preferences->setShowDesktopWidget(false);
    QVERIFY(!m_delegate->widgetWindow());
    QVERIFY(!old);
    m_preferences->setShowDesktopWidget(true);
    QVERIFY(m_delegate->widgetWindow());
    QCOMPARE(m_delegate->widgetWindow()->pos(), initial + QPoint(300, 200));
    // An unrelated write changes nothing of it.
    WidgetWindow* current = m_delegate->widgetWindow();
    m_preferences->setAutoClearPreference(Preferences::AutoClear::SevenDays);
    QCOMPARE(m_delegate->widgetWindow(), current);
}

void TestAppDelegate::previewOpensBesideTheWidget()
{
    copy(QStringLiteral("text"));
    m_preferences->setShowDesktopWidget(true);
    const QRect board = m_delegate->widgetWindow()->frameGeometry();
    m_delegate->showPreviewWindow(m_delegate->clipboardMonitor()->items().first());
    const QRect preview = m_delegate->activePreviewWindow()->geometry();
    // Beside the board, pulled back onto the (small, offscreen) screen where it would stick out.
    QCOMPARE(preview,
             previewWindowFrame(board, QSize(500, 400), QGuiApplication::primaryScreen()->availableGeometry()));
    QCOMPARE(preview.top() + preview.height() / 2, board.top() + board.height() / 2);
}

void TestAppDelegate::settingsHostTheSettingsView()
{
    m_delegate->togglePopover();
    m_delegate->showSettingsPopover(m_delegate->contentView()->settingsButton());
    auto* settings = qobject_cast<SettingsView*>(m_delegate->settingsPopover()->content());
    QVERIFY(settings);
    QCOMPARE(m_delegate->settingsPopover()->size(), QSize(SettingsView::panelWidth, SettingsView::panelHeight));
    // Kept open while the panel is pinned or kept open: then it floats too.
    m_preferences->setPopoverStayOpen(true);
    QVERIFY(m_delegate->settingsPopover()->isFloating());
    QVERIFY(!m_delegate->popover()->isFloating());
    Q_EMIT settings->privacyPolicyRequested();
    QVERIFY(m_delegate->privacyPolicyWindow());
}

void TestAppDelegate::privacyWindowIsSingle()
{
    m_delegate->showPrivacyPolicyWindow();
    QWidget* first = m_delegate->privacyPolicyWindow();
    QVERIFY(first && first->isVisible());
    QCOMPARE(first->windowTitle(), QStringLiteral("隐私政策与服务条款"));
    QVERIFY(!(first->windowFlags() & Qt::WindowStaysOnTopHint));
    first->hide();
    m_preferences->setPopoverStayOpen(true);
    m_delegate->showPrivacyPolicyWindow();
    QCOMPARE(m_delegate->privacyPolicyWindow(), first);
    QVERIFY(first->isVisible());
    QVERIFY(first->windowFlags() & Qt::WindowStaysOnTopHint);
}

void TestAppDelegate::widgetClearAsksFirst()
{
    copy(QStringLiteral("keep"));
    copy(QStringLiteral("drop"));
    m_delegate->history()->togglePin(m_delegate->history()->items().last().id);
    m_preferences->setShowDesktopWidget(true);

    m_delegate->confirmClearFromWidget();
    auto* dialog = m_delegate->widgetWindow()->findChild<ConfirmClearDialog*>();
    QVERIFY(dialog && dialog->isVisible());
    QTest::mouseClick(dialog->cancelButton(), Qt::LeftButton);
    QCOMPARE(m_delegate->clipboardMonitor()->items().size(), 2);

    m_delegate->confirmClearFromWidget();
    QTRY_VERIFY(m_delegate->widgetWindow()->findChild<ConfirmClearDialog*>());
    dialog = nullptr;
    for (auto* candidate : m_delegate->widgetWindow()->findChildren<ConfirmClearDialog*>()) {
        if (candidate->isVisible())
            dialog = candidate;
    }
    QVERIFY(dialog);
    QTest::mouseClick(dialog->clearButton(), Qt::LeftButton);
    QCOMPARE(m_delegate->clipboardMonitor()->items().size(), 1);
    QCOMPARE(m_delegate->clipboardMonitor()->items().first().content, QStringLiteral("keep"));
}

void TestAppDelegate::surfacesFromLaterStartsAndTheShortcut()
{
    auto shortcut = std::make_unique<FakeGlobalShortcut>();
    FakeGlobalShortcut* fake = shortcut.get();
    m_delegate->bindGlobalShortcut(std::move(shortcut));
    QCOMPARE(fake->bound, QList<QKeyCombination>{Qt::ALT | Qt::Key_Space});
    PopoverWindow* panel = m_delegate->popover();
    // The shortcut toggles the panel as a tray click does; with no tray the panel opens at the pointer.
    QCursor::setPos(QPoint(400, 300));
    fake->press();
    QVERIFY(panel->isVisible());
    QVERIFY(panel->geometry().contains(QPoint(400, 300 + PopoverPlacement::gap + 1)) ||
            panel->geometry().contains(QPoint(400, 300 - PopoverPlacement::gap - 1)));
    QVERIFY(QGuiApplication::primaryScreen()->availableGeometry().contains(panel->geometry()));
    QVERIFY(QTest::qWaitForWindowActive(panel));
    fake->press();
    QVERIFY(!panel->isVisible());
    // A later start asks for the panel or for the settings.
    m_delegate->openSurface(QStringLiteral("panel"));
    QVERIFY(panel->isVisible());
    m_delegate->openSurface(QStringLiteral("settings"));
    QVERIFY(m_delegate->settingsPopover() && m_delegate->settingsPopover()->isVisible());
    // The launcher's "设置" shows them; it never hides them.
    m_delegate->openSurface(QStringLiteral("settings"));
    QVERIFY(m_delegate->settingsPopover()->isVisible());
    m_delegate->openSurface(QStringLiteral("no such surface"));
    QVERIFY(!panel->isVisible());
    // A new shortcut is bound again.
    m_preferences->setShortcutKey(QStringLiteral("⌃ + ⇧ + V"));
    QCOMPARE(fake->bound.size(), 2);
    QCOMPARE(fake->bound.last(), Qt::CTRL | Qt::SHIFT | Qt::Key_V);
}

void TestAppDelegate::settingsShowWhyTheShortcutIsNotBound()
{
    auto shortcut = std::make_unique<FakeGlobalShortcut>();
    shortcut->answer = GlobalShortcut::Status::Taken;
    FakeGlobalShortcut* fake = shortcut.get();
    StdoutCapture output;
    m_delegate->bindGlobalShortcut(std::move(shortcut));
    m_delegate->showSettingsPopover(nullptr);
    auto* settings = qobject_cast<SettingsView*>(m_delegate->settingsPopover()->content());
    QCOMPARE(settings->shortcutProblem(),
             QStringLiteral("已被其他程序占用，可在系统设置中将快捷键绑定到命令 pellamor"));
    fake->answer = GlobalShortcut::Status::Bound;
    m_preferences->setShortcutKey(QStringLiteral("⌘ + F2"));
    QCOMPARE(settings->shortcutProblem(), QString());
    // Qt's own warnings may be among the output; ours is one line.
    const QByteArray printed = output.text();
    QCOMPARE(printed.count("Failed to bind shortcut: "), 1);
    QVERIFY(printed.contains("Failed to bind shortcut: ⌥ + Space is taken by another program\n"));
}

void TestAppDelegate::unreadableShortcutBindsNothing_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("problem");
    QTest::addColumn<QString>("reason");
    const QString unreadable = QStringLiteral("无法识别此快捷键");
    QTest::newRow("empty") << "" << unreadable << "cannot read the shortcut \"\"";
    QTest::newRow("modifier without key") << "⌥ + " << unreadable << "cannot read the shortcut \"⌥ + \"";
    QTest::newRow("unknown name") << "⌥ + Sapce" << unreadable << "cannot read the shortcut \"⌥ + Sapce\"";
    // Typed into the file by hand: grabbed, the key would be gone from every program.
    const QString bare = QStringLiteral("快捷键需要包含 Ctrl、Alt 或 Super");
    QTest::newRow("bare letter") << "A" << bare << "\"A\" holds no Ctrl, Alt or Super";
    QTest::newRow("shift and a letter") << "⇧ + A" << bare << "\"⇧ + A\" holds no Ctrl, Alt or Super";
    QTest::newRow("space") << "Space" << bare << "\"Space\" holds no Ctrl, Alt or Super";
}

void TestAppDelegate::unreadableShortcutBindsNothing()
{
    QFETCH(QString, text);
    QFETCH(QString, problem);
    QFETCH(QString, reason);
    m_preferences->setShortcutKey(text);
    auto shortcut = std::make_unique<FakeGlobalShortcut>();
    FakeGlobalShortcut* fake = shortcut.get();
    StdoutCapture output;
    m_delegate->bindGlobalShortcut(std::move(shortcut));
    QVERIFY(fake->bound.isEmpty());
    QCOMPARE(m_delegate->shortcutBinder()->problem(),
             problem + QStringLiteral("，可在系统设置中将快捷键绑定到命令 pellamor"));
    const QByteArray printed = output.text();
    QCOMPARE(printed.count("Failed to bind shortcut: "), 1);
    QVERIFY(printed.contains(QStringLiteral("Failed to bind shortcut: %1\n").arg(reason).toUtf8()));
    // The panel still opens from the tray, and a readable shortcut is bound once stored.
    m_delegate->togglePopover();
    QVERIFY(m_delegate->popover()->isVisible());
    m_preferences->setShortcutKey(QStringLiteral("⌃ + F1"));
    QCOMPARE(fake->bound, QList<QKeyCombination>{Qt::CTRL | Qt::Key_F1});
    QCOMPARE(m_delegate->shortcutBinder()->problem(), QString());
}

void TestAppDelegate::escapeClosesOnlyTheTopmostSurface_data()
{
    QTest::addColumn<QString>("surface");
    QTest::addColumn<QKeyCombination>("key");
    QTest::newRow("image preview") << "image" << QKeyCombination(Qt::Key_Escape);
    QTest::newRow("text preview") << "text" << QKeyCombination(Qt::Key_Escape);
    QTest::newRow("privacy, escape") << "privacy" << QKeyCombination(Qt::Key_Escape);
    QTest::newRow("privacy, control W") << "privacy" << (Qt::CTRL | Qt::Key_W);
    QTest::newRow("settings") << "settings" << QKeyCombination(Qt::Key_Escape);
}

void TestAppDelegate::escapeClosesOnlyTheTopmostSurface()
{
    QFETCH(QString, surface);
    QFETCH(QKeyCombination, key);
    m_preferences->setPopoverStayOpen(true);
    m_delegate->togglePopover();
    QVERIFY(QTest::qWaitForWindowActive(m_delegate->popover()));
    QPointer<QWidget> window;
    if (surface == QLatin1String("image") || surface == QLatin1String("text")) {
        const bool image = surface == QLatin1String("image");
        m_delegate->showPreviewWindow(
            ClipboardItem::captured(image ? ClipboardItemType::Image : ClipboardItemType::Text,
                                    image ? QStringLiteral("gone.png") : QStringLiteral("a")));
        window = m_delegate->activePreviewWindow();
    } else if (surface == QLatin1String("privacy")) {
        m_delegate->showPrivacyPolicyWindow();
        window = m_delegate->privacyPolicyWindow();
    } else {
        m_delegate->showSettingsPopover(nullptr);
        window = m_delegate->settingsPopover();
    }
    QVERIFY(QTest::qWaitForWindowActive(window));
    QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : window.data();
    QCOMPARE(target->window(), window);
    QTest::keyClick(target, key.key(), key.keyboardModifiers());
    QTRY_VERIFY(!window || !window->isVisible());
    QVERIFY(m_delegate->popover()->isVisible());
}

void TestAppDelegate::choicePastesIntoTheWindowBeforeThePanel_data()
{
    QTest::addColumn<bool>("setting");
    QTest::addColumn<KeystrokeSender::Support>("support");
    QTest::addColumn<bool>("pasted");
    QTest::addColumn<QString>("output");
    QTest::newRow("on") << true << KeystrokeSender::Support::Full << true << QString();
    QTest::newRow("off: the pinned panel stays") << false << KeystrokeSender::Support::Full << false << QString();
    QTest::newRow("on where the desktop cannot")
        << true << KeystrokeSender::Support::None << false
        << "Pellamor: Paste after choosing is not available: the fake desktop says no\n";
}

void TestAppDelegate::choicePastesIntoTheWindowBeforeThePanel()
{
    QFETCH(bool, setting);
    QFETCH(KeystrokeSender::Support, support);
    QFETCH(bool, pasted);
    QFETCH(QString, output);
    const PasteTarget editor{7, QStringLiteral("gedit")};
    auto sender = std::make_unique<FakeKeystrokeSender>();
    FakeKeystrokeSender& desktop = *sender;
    desktop.supported = support;
    desktop.windows = {editor};
    desktop.focused = editor;
    m_preferences->setPasteAfterChoosing(setting);
    StdoutCapture capture;
    m_delegate->usePasteSender(std::move(sender));
    QCOMPARE(QString::fromUtf8(capture.text()), output);
    copy(QStringLiteral("chosen"));
    m_preferences->setPopoverPinned(true);
    m_delegate->togglePopover();
    desktop.focus({});
    m_delegate->entryActions()->choose(m_delegate->clipboardMonitor()->items().first());
    QCOMPARE(m_pasteboard->string(), std::optional(QStringLiteral("chosen")));
    // Pinned or not, the panel makes way for the window the paste goes to.
    QCOMPARE(m_delegate->popover()->isVisible(), !pasted);
    QSignalSpy finished(m_delegate->pasteController(), &PasteController::finished);
    if (pasted && desktop.sent.isEmpty())
        QVERIFY(finished.wait());
    QCOMPARE(desktop.sent.size(), pasted ? 1 : 0);
}

QTEST_MAIN(TestAppDelegate)
#include "tst_appdelegate.moc"
