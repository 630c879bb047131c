#include "../PanelFixture.h"
#include "panel/ClipItemView.h"
#include "panel/ClipListView.h"
#include "panel/ContentView.h"
#include "ui/CircleSymbolButton.h"
#include "ui/PressableActionButton.h"
#include "ui/UndoBar.h"

#include <QAbstractButton>
#include <QLabel>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

class TestContentView : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void emptyState();
    void pinnedEntriesUseTheBudgetFirst();
    void oldEntriesCountButAreNotListed();
    void sectionsInOrderWithLastRowFlags();
    void footerCountsWholeHistory();
    void clearAllKeepsPinned();
    void headerSwitches();
    void hoverShowsButtonsOnOneRowOnly();
    void rowsFollowTheHistory();
    void rowsGlideToTheirNewPlaces();
    void sizeRequests();
    void themeChangeScrollsBackToTop();
    void handEditedCountListsAsSizedForTheDefault();

private:
    ContentView& view();
    QAbstractButton* button(const char* name);

    std::unique_ptr<PanelFixture> m_fixture;
    std::unique_ptr<ContentView> m_view;
};

void TestContentView::init()
{
    m_fixture = std::make_unique<PanelFixture>();
}

void TestContentView::cleanup()
{
    m_view.reset();
    m_fixture.reset();
}

ContentView& TestContentView::view()
{
    if (!m_view) {
        m_view = std::make_unique<ContentView>(*m_fixture->history, m_fixture->intents(), *m_fixture->storage,
                                               m_fixture->preferences);
        m_view->resize(340, 480);
    }
    return *m_view;
}

QAbstractButton* TestContentView::button(const char* name)
{
    auto* found = view().findChild<QAbstractButton*>(QLatin1String(name));
    if (!found)
        qFatal("no button %s", name);
    return found;
}

void TestContentView::emptyState()
{
    view().show();
    QVERIFY(view().showsEmptyState());
    QVERIFY(view().rows().isEmpty());
    QCOMPARE(view().findChild<QLabel*>(QStringLiteral("countLabel"))->text(), QStringLiteral("0 条记录"));
    QAbstractButton* clear = button("clearButton");
    QVERIFY(!clear->isEnabled());
    QTest::mouseClick(clear, Qt::LeftButton);
    QVERIFY(m_fixture->monitor->items().isEmpty());
}

void TestContentView::pinnedEntriesUseTheBudgetFirst()
{
    ClipboardItems items;
    const QDateTime now = ClipboardItem::currentMoment();
    for (int i = 0; i < 8; ++i)
        items << PanelFixture::text(QStringLiteral("pinned %1").arg(i), now.addSecs(-100 + i), true);
    items << PanelFixture::text(QStringLiteral("fresh"), now);
    m_fixture->setHistory(items);
    view();
    QCOMPARE(view().rows().size(), 6);
    QCOMPARE(view().sectionTitles(), QStringList{QStringLiteral("已置顶")});
    for (ClipItemView* row : view().rows())
        QVERIFY(row->item().isPinned);

    m_fixture->preferences.setDisplayCount(10);
    QCOMPARE(view().rows().size(), 9);
    QCOMPARE(view().sectionTitles(), QStringList({QStringLiteral("已置顶"), QStringLiteral("今天")}));
}

void TestContentView::oldEntriesCountButAreNotListed()
{
    const QDateTime old = QDateTime::currentDateTimeUtc().addDays(-40);
    ClipboardItems items;
    for (int i = 0; i < 6; ++i)
        items << PanelFixture::text(QString::number(i), old.addSecs(-i));
    items << PanelFixture::text(QStringLiteral("older still"), old.addDays(-1));
    m_fixture->setHistory(items);
    view().show();
    QVERIFY(view().showsEmptyState());
    QCOMPARE(view().findChild<QLabel*>(QStringLiteral("countLabel"))->text(), QStringLiteral("7 条记录"));
    QVERIFY(button("clearButton")->isEnabled());
}

void TestContentView::sectionsInOrderWithLastRowFlags()
{
    const QDateTime now = QDateTime::currentDateTime();
    const QDateTime yesterday(now.date().addDays(-1), QTime(12, 0));
    const QDateTime lastWeek(now.date().addDays(-7), QTime(12, 0));
    m_fixture->setHistory({PanelFixture::text(QStringLiteral("p"), now.toUTC(), true),
                           PanelFixture::text(QStringLiteral("t1"), now.toUTC()),
                           PanelFixture::text(QStringLiteral("t2"), now.toUTC().addSecs(-1)),
                           PanelFixture::text(QStringLiteral("y"), yesterday.toUTC()),
                           PanelFixture::text(QStringLiteral("w"), lastWeek.toUTC())});
    QCOMPARE(view().sectionTitles(), QStringList({QStringLiteral("已置顶"), QStringLiteral("今天"),
                                                  QStringLiteral("昨天"), QStringLiteral("过去 30 天")}));
    QStringList contents;
    QList<bool> last;
    for (ClipItemView* row : view().rows()) {
        contents << row->item().content;
        last << row->isLastInGroup();
    }
    QCOMPARE(contents, QStringList({"p", "t1", "t2", "y", "w"}));
    QCOMPARE(last, QList<bool>({true, false, true, true, true}));
}

void TestContentView::footerCountsWholeHistory()
{
    ClipboardItems items;
    for (int i = 0; i < 30; ++i)
        items << PanelFixture::text(QString::number(i), ClipboardItem::currentMoment().addSecs(-i));
    m_fixture->setHistory(items);
    QCOMPARE(view().rows().size(), 6);
    QCOMPARE(view().findChild<QLabel*>(QStringLiteral("countLabel"))->text(), QStringLiteral("30 条记录"));
}

void TestContentView::clearAllKeepsPinned()
{
    const QDateTime now = ClipboardItem::currentMoment();
    m_fixture->setHistory({PanelFixture::text(QStringLiteral("keep"), now, true),
                           PanelFixture::text(QStringLiteral("a"), now),
                           PanelFixture::text(QStringLiteral("b"), now.addSecs(-5))});
    view().show();
    QTest::mouseClick(button("clearButton"), Qt::LeftButton);
    QCOMPARE(view().rows().size(), 1);
    QCOMPARE(view().sectionTitles(), QStringList{QStringLiteral("已置顶")});
    auto* count = view().findChild<QLabel*>(QStringLiteral("countLabel"));
    QCOMPARE(count->text(), QStringLiteral("1 条记录"));

    // For a while the footer offers to take it back, in the count's place.
    auto* undo = view().findChild<UndoBar*>();
    QVERIFY(undo->isVisible());
    QVERIFY(!count->isVisible());
    QCOMPARE(undo->text(), QStringLiteral("已清除 2 条记录"));
    QTest::mouseClick(undo->undoButton(), Qt::LeftButton);
    QCOMPARE(view().rows().size(), 3);
    QCOMPARE(view().sectionTitles(), QStringList({QStringLiteral("已置顶"), QStringLiteral("今天")}));
    QVERIFY(!undo->isVisible());
    QVERIFY(count->isVisible());
    QCOMPARE(count->text(), QStringLiteral("3 条记录"));

    // A delete from a row offers the same.
    m_fixture->monitor->history().deleteItem(m_fixture->monitor->items().last());
    QVERIFY(undo->isVisible());
    QCOMPARE(undo->text(), QStringLiteral("已删除 1 条记录"));
}

void TestContentView::headerSwitches()
{
    view().show();
    auto* pin = qobject_cast<CircleSymbolButton*>(button("pinButton"));
    auto* lock = qobject_cast<CircleSymbolButton*>(button("lockButton"));
    QCOMPARE(pin->symbol(), QStringLiteral("pin"));
    QCOMPARE(pin->toolTip(), QStringLiteral("始终置顶"));
    QCOMPARE(lock->symbol(), QStringLiteral("lock.open.fill"));
    QCOMPARE(lock->toolTip(), QStringLiteral("留在桌面"));

    QTest::mouseClick(pin, Qt::LeftButton);
    QVERIFY(m_fixture->preferences.popoverPinned());
    QCOMPARE(pin->symbol(), QStringLiteral("pin.fill"));
    QCOMPARE(pin->toolTip(), QStringLiteral("取消置顶"));
    QTest::mouseClick(pin, Qt::LeftButton);
    QVERIFY(!m_fixture->preferences.popoverPinned());
    QCOMPARE(pin->symbol(), QStringLiteral("pin"));

    QTest::mouseClick(lock, Qt::LeftButton);
    QVERIFY(m_fixture->preferences.popoverStayOpen());
    QCOMPARE(lock->symbol(), QStringLiteral("lock.fill"));
    QCOMPARE(lock->toolTip(), QStringLiteral("解除锁定"));

    // Changed elsewhere (the store), the header follows.
    m_fixture->preferences.setPopoverStayOpen(false);
    QCOMPARE(lock->symbol(), QStringLiteral("lock.open.fill"));

    QSignalSpy settings(&view(), &ContentView::settingsRequested);
    QSignalSpy quit(&view(), &ContentView::quitRequested);
    QTest::mouseClick(button("settingsButton"), Qt::LeftButton);
    QTest::mouseClick(button("quitButton"), Qt::LeftButton);
    QCOMPARE(settings.count(), 1);
    QCOMPARE(settings.first().first().value<QWidget*>()->objectName(), QStringLiteral("SettingsAnchor"));
    QCOMPARE(quit.count(), 1);
}

void TestContentView::hoverShowsButtonsOnOneRowOnly()
{
    const QDateTime now = ClipboardItem::currentMoment();
    m_fixture->setHistory({PanelFixture::text(QStringLiteral("pinned"), now, true),
                           PanelFixture::text(QStringLiteral("first"), now),
                           PanelFixture::text(QStringLiteral("second"), now.addSecs(-1))});
    view().show();
    QVERIFY(QTest::qWaitForWindowExposed(&view()));
    const QList<ClipItemView*> rows = view().rows();
    QCOMPARE(rows.size(), 3);
    // A pinned entry always shows its pin; an unpinned one shows nothing until hovered (the newest
    // unpinned one is selected on opening, which looks the same).
    QVERIFY(rows[0]->pinButton()->isVisible());
    QCOMPARE(rows[0]->pinButton()->iconName(), QStringLiteral("pin.fill"));
    QVERIFY(rows[1]->isHovered());
    QVERIFY(!rows[2]->pinButton()->isVisible());
    QVERIFY(!rows[2]->deleteButton()->isVisible());

    // The leave report of the first row arrives before the enter report of the next.
    view().setHoveredItem(rows[1]->item().id);
    view().setHoveredItem(std::nullopt);
    view().setHoveredItem(rows[2]->item().id);
    QVERIFY(!rows[1]->isHovered());
    QVERIFY(rows[2]->isHovered());
    QVERIFY(rows[2]->pinButton()->isVisible());
    QVERIFY(rows[2]->deleteButton()->isVisible());
    QVERIFY(rows[2]->previewButton()->isVisible());
    QVERIFY(!rows[1]->deleteButton()->isVisible());
    // Left to right: pin, delete, preview.
    QVERIFY(rows[2]->pinButton()->x() < rows[2]->deleteButton()->x());
    QVERIFY(rows[2]->deleteButton()->x() < rows[2]->previewButton()->x());
    QVERIFY(rows[2]->previewButton()->showsTitle());
}

void TestContentView::rowsFollowTheHistory()
{
    m_fixture->copyText(QStringLiteral("one"));
    view().show();
    ClipItemView* first = view().rows().first();
    m_fixture->copyText(QStringLiteral("two"));
    QCOMPARE(view().rows().size(), 2);
    QCOMPARE(view().rows().first()->item().content, QStringLiteral("two"));
    // A row belongs to its entry, not to a position.
    QCOMPARE(view().rows().last(), first);

    QTest::mouseClick(view().rows().last()->pinButton(), Qt::LeftButton);
    QVERIFY(m_fixture->monitor->items().first().isPinned);
    QCOMPARE(view().sectionTitles().first(), QStringLiteral("已置顶"));

    view().setHoveredItem(view().rows().last()->item().id);
    QTest::mouseClick(view().rows().last()->deleteButton(), Qt::LeftButton);
    QCOMPARE(view().rows().size(), 1);
    QCOMPARE(view().hoveredItemId(), std::nullopt);
}

void TestContentView::rowsGlideToTheirNewPlaces()
{
    for (const char* text : {"one", "two", "three"})
        m_fixture->copyText(QString::fromUtf8(text));
    view().show();
    QVERIFY(QTest::qWaitForWindowExposed(&view()));
    ClipItemView* three = view().rows().first();
    const int top = three->y();
    m_fixture->copyText(QStringLiteral("four"));
    // The new row takes the top at once; the others leave from where they were.
    QVERIFY(view().list()->isMoving());
    QCOMPARE(three->y(), top);
    QTRY_VERIFY(!view().list()->isMoving());
    const QList<ClipItemView*> rows = view().rows();
    QCOMPARE(rows.size(), 4);
    for (int i = 1; i < rows.size(); ++i)
        QCOMPARE(rows[i]->y(), rows[i - 1]->geometry().bottom() + 1);
    QCOMPARE(rows.last()->geometry().bottom() + 1 + ClipListView::bottomMargin, view().list()->contentHeight());
}

void TestContentView::sizeRequests()
{
    view();
    QSignalSpy spy(&view(), &ContentView::updatePopoverSize);
    m_fixture->copyText(QStringLiteral("a"));
    QCOMPARE(spy.count(), 1);
    m_fixture->monitor->history().togglePin(m_fixture->monitor->items().first().id);
    QCOMPARE(spy.count(), 1);
    m_fixture->preferences.setDisplayCount(20);
    QCOMPARE(spy.count(), 2);
    m_fixture->preferences.setAutoClearPreference(Preferences::AutoClear::OneDay);
    QCOMPARE(spy.count(), 2);
}

void TestContentView::themeChangeScrollsBackToTop()
{
    ClipboardItems items;
    for (int i = 0; i < 20; ++i)
        items << PanelFixture::text(QStringLiteral("entry %1\nsecond line").arg(i),
                                    ClipboardItem::currentMoment().addSecs(-i));
    m_fixture->setHistory(items);
    m_fixture->preferences.setDisplayCount(20);
    view().resize(340, 300);
    view().show();
    QVERIFY(QTest::qWaitForWindowExposed(&view()));
    auto* list = view().findChild<QScrollArea*>(QStringLiteral("historyList"));
    list->verticalScrollBar()->setValue(list->verticalScrollBar()->maximum());
    QVERIFY(list->verticalScrollBar()->value() > 0);
    m_fixture->preferences.setThemePreference(Preferences::Appearance::Dark);
    auto* rebuilt = view().findChild<QScrollArea*>(QStringLiteral("historyList"));
    QTRY_VERIFY(rebuilt && rebuilt != list);
    QCOMPARE(rebuilt->verticalScrollBar()->value(), 0);
    QCOMPARE(view().rows().size(), 20);
}

void TestContentView::handEditedCountListsAsSizedForTheDefault()
{
    m_fixture->setHistory({PanelFixture::text(QStringLiteral("x"))});
    // Listed as the panel is sized: for the default count, not for none.
    m_fixture->preferences.setDisplayCount(-3);
    QVERIFY(!view().showsEmptyState());
    QCOMPARE(view().findChild<QLabel*>(QStringLiteral("countLabel"))->text(), QStringLiteral("1 条记录"));
}

QTEST_MAIN(TestContentView)
#include "tst_contentview.moc"
