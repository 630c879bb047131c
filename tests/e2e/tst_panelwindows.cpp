// The panel and its settings on a real X server with a window manager (openbox), driven by real pointer
// events (xdotool), so that the window manager moves the focus the way it does for a user.
#include "app/AppDelegate.h"
#include "app/PopoverWindow.h"
#include "core/ClipboardMonitor.h"
#include "core/StorageManager.h"
#include "panel/ClipItemView.h"
#include "panel/ContentView.h"
#include "platform/Preferences.h"
#include "platform/fakes/FakeLoginItem.h"
#include "platform/fakes/FakePasteboard.h"
#include "ui/CircleSymbolButton.h"
#include "widget/WidgetWindow.h"

#include <QProcess>
#include <QScrollArea>
#include <QScrollBar>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

class TestPanelWindows : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void shortPanelShowsItsLastRowWhole_data();
    void shortPanelShowsItsLastRowWhole();
    void gearOpensAndCloses();
    void panelOpensBesideTheBoard();
    void previewGivesTheKeyboardBack_data();
    void previewGivesTheKeyboardBack();

private:
    void launch(const ClipboardItems& history, bool board = false);
    void openPanel();
    static void click(const QPoint& global);

    QProcess m_windowManager;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<AppDelegate> m_delegate;
};

void TestPanelWindows::initTestCase()
{
    for (const char* tool : {"openbox", "xdotool"}) {
        if (QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty())
            QSKIP(qPrintable(QStringLiteral("%1 is not installed").arg(QLatin1String(tool))));
    }
    m_windowManager.start(QStringLiteral("openbox"), {QStringLiteral("--sm-disable")});
    QVERIFY(m_windowManager.waitForStarted());
    // Running once it has claimed the screen.
    QTRY_VERIFY_WITH_TIMEOUT(
        QProcess::execute(
            QStringLiteral("sh"),
            {QStringLiteral("-c"), QStringLiteral("xprop -root _NET_SUPPORTING_WM_CHECK | grep -q window")}) == 0,
        10000);
}

void TestPanelWindows::cleanupTestCase()
{
    if (m_windowManager.state() != QProcess::NotRunning) {
        m_windowManager.terminate();
        m_windowManager.waitForFinished(5000);
    }
}

void TestPanelWindows::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
}

void TestPanelWindows::cleanup()
{
    m_delegate.reset();
    m_dir.reset();
}

void TestPanelWindows::launch(const ClipboardItems& history, bool board)
{
    auto storage = std::make_unique<StorageManager>(m_dir->filePath(QStringLiteral("Pellamor")));
    storage->save(history);
    auto preferences = std::make_unique<Preferences>(m_dir->filePath(QStringLiteral("prefs.conf")));
    preferences->setShowDesktopWidget(board);
    m_delegate = std::make_unique<AppDelegate>();
    m_delegate->launchWith(std::move(preferences), std::move(storage), std::make_unique<FakePasteboard>(),
                           std::make_unique<FakeLoginItem>());
}

void TestPanelWindows::openPanel()
{
    QProcess::execute(QStringLiteral("xdotool"),
                      {QStringLiteral("mousemove"), QStringLiteral("400"), QStringLiteral("60")});
    m_delegate->togglePopover();
    QVERIFY(QTest::qWaitForWindowExposed(m_delegate->popover()));
    QTest::qWait(300);
}

void TestPanelWindows::click(const QPoint& global)
{
    QProcess::execute(QStringLiteral("xdotool"),
                      {QStringLiteral("mousemove"), QString::number(global.x()), QString::number(global.y()),
                       QStringLiteral("click"), QStringLiteral("1")});
}

void TestPanelWindows::shortPanelShowsItsLastRowWhole_data()
{
    const QDateTime now = ClipboardItem::currentMoment();
    const auto text = [](const QString& content, const QDateTime& timestamp, bool pinned = false) {
        return ClipboardItem(QUuid::createUuid(), ClipboardItemType::Text, content, pinned,
                             pinned ? std::optional(timestamp) : std::nullopt, timestamp);
    };
    QTest::addColumn<ClipboardItems>("history");
    QTest::newRow("one") << ClipboardItems{text(QStringLiteral("alpha"), now)};
    QTest::newRow("three in two sections")
        << ClipboardItems{text(QStringLiteral("置顶的地址"), now, true), text(QStringLiteral("第一行\n第二行"), now),
                          text(QStringLiteral("short"), now.addSecs(-60))};
    QTest::newRow("four in three sections") << ClipboardItems{
        text(QStringLiteral("pinned"), now, true), text(QStringLiteral("today"), now),
        text(QStringLiteral("yesterday gone"), now.addDays(-1)),
        text(QStringLiteral("一段较长的文字，用来展示列表中的两行截断效果：第一句话，第二句话，第三句话。"),
             now.addDays(-3))};
}

void TestPanelWindows::shortPanelShowsItsLastRowWhole()
{
    QFETCH(ClipboardItems, history);
    launch(history);
    openPanel();
    ContentView* panel = m_delegate->contentView();
    const QList<ClipItemView*> rows = panel->rows();
    QCOMPARE(rows.size(), history.size());
    auto* list = panel->findChild<QScrollArea*>(QStringLiteral("historyList"));
    QVERIFY(list);
    // Nothing to scroll to, and the last row ends inside what the list shows.
    QCOMPARE(list->verticalScrollBar()->maximum(), 0);
    ClipItemView* last = rows.last();
    const int bottom = last->mapTo(list->viewport(), QPoint(0, last->height())).y();
    QVERIFY2(bottom <= list->viewport()->height(),
             qPrintable(QStringLiteral("row ends at %1, list shows %2").arg(bottom).arg(list->viewport()->height())));
    QVERIFY(m_delegate->popover()->height() < AppDelegate::maxPanelHeight);
}

void TestPanelWindows::gearOpensAndCloses()
{
    const QDateTime now = ClipboardItem::currentMoment();
    launch({ClipboardItem(QUuid::createUuid(), ClipboardItemType::Text, QStringLiteral("entry"), false, std::nullopt,
                          now)});
    openPanel();
    QWidget* gear = m_delegate->contentView()->settingsButton();
    const QPoint centre = gear->mapToGlobal(gear->rect().center());

    click(centre);
    QTRY_VERIFY(m_delegate->settingsPopover() && m_delegate->settingsPopover()->isVisible());
    QTest::qWait(500);
    QVERIFY(m_delegate->settingsPopover()->isVisible());

    // The second press closes it, and the click that follows does not open it again.
    click(centre);
    QTRY_VERIFY(!m_delegate->settingsPopover()->isVisible());
    QTest::qWait(800);
    QVERIFY(!m_delegate->settingsPopover()->isVisible());
    QVERIFY(m_delegate->popover()->isVisible());

    // A third opens it again.
    QTest::qWait(500);
    click(centre);
    QTRY_VERIFY(m_delegate->settingsPopover()->isVisible());
}

void TestPanelWindows::panelOpensBesideTheBoard()
{
    // A board just shown, at start or switched on, must not be handed the focus by the window manager
    // while the panel opens: that would close the panel at once.
    launch({ClipboardItem(QUuid::createUuid(), ClipboardItemType::Text, QStringLiteral("entry"), false, std::nullopt,
                          ClipboardItem::currentMoment())},
           true);
    Preferences* preferences = m_delegate->preferences();
    for (int round = 0; round < 4; ++round) {
        preferences->setShowDesktopWidget(true);
        QVERIFY(m_delegate->widgetWindow());
        QVERIFY(QTest::qWaitForWindowExposed(m_delegate->widgetWindow()));
        QTest::qWait(100 * round);
        openPanel();
        QTest::qWait(700);
        QVERIFY2(m_delegate->popover()->isVisible(), qPrintable(QStringLiteral("closed in round %1").arg(round)));
        QVERIFY(QGuiApplication::focusWindow() != m_delegate->widgetWindow()->windowHandle());
        m_delegate->togglePopover();
        QTRY_VERIFY(!m_delegate->popover()->isVisible());
        preferences->setShowDesktopWidget(false);
        QTRY_VERIFY(!m_delegate->widgetWindow());
    }
}

void TestPanelWindows::previewGivesTheKeyboardBack_data()
{
    QTest::addColumn<QString>("closing");
    QTest::newRow("escape") << QString();
    QTest::newRow("取消") << QStringLiteral("cancelButton");
    QTest::newRow("close button") << QStringLiteral("closeButton");
    QTest::newRow("整段复制") << QStringLiteral("copyButton");
}

void TestPanelWindows::previewGivesTheKeyboardBack()
{
    QFETCH(QString, closing);
    const QDateTime now = ClipboardItem::currentMoment();
    ClipboardItems history;
    for (int i = 0; i < 3; ++i)
        history << ClipboardItem(QUuid::createUuid(), ClipboardItemType::Text, QStringLiteral("entry %1").arg(i), false,
                                 std::nullopt, now.addSecs(-i));
    launch(history);
    openPanel();
    ContentView* panel = m_delegate->contentView();
    QTRY_COMPARE(QGuiApplication::focusWindow(), m_delegate->popover()->windowHandle());
    panel->presentPreview(history.first());
    QWidget* sheet = panel->openSheet();
    QVERIFY(sheet);
    QTRY_COMPARE(QGuiApplication::focusWindow(), sheet->windowHandle());
    if (closing.isEmpty()) {
        QProcess::execute(QStringLiteral("xdotool"), {QStringLiteral("key"), QStringLiteral("Escape")});
    } else {
        QWidget* button = sheet->findChild<QWidget*>(closing);
        QVERIFY(button);
        click(button->mapToGlobal(button->rect().center()));
    }
    QTRY_VERIFY(!panel->openSheet());

    // The keys reach the panel again, as typed on the keyboard: the X server gives it the focus.
    QTRY_COMPARE(QGuiApplication::focusWindow(), m_delegate->popover()->windowHandle());
    const auto serverFocus = [] {
        QProcess xdotool;
        xdotool.start(QStringLiteral("xdotool"), {QStringLiteral("getwindowfocus")});
        xdotool.waitForFinished();
        return xdotool.readAllStandardOutput().trimmed().toULongLong();
    };
    QTRY_COMPARE(serverFocus(), quint64(m_delegate->popover()->winId()));
    QProcess::execute(QStringLiteral("xdotool"), {QStringLiteral("key"), QStringLiteral("Down")});
    QTRY_COMPARE(panel->selectedRow()->item().content, QStringLiteral("entry 1"));
    // And a click on the desktop closes it.
    click(QPoint(5, 1000));
    QTRY_VERIFY(!m_delegate->popover()->isVisible());
}

QTEST_MAIN(TestPanelWindows)
#include "tst_panelwindows.moc"
