#include "../PanelFixture.h"
#include "core/HistorySearchModel.h"
#include "panel/ClipItemView.h"
#include "panel/ClipListView.h"
#include "panel/ContentView.h"
#include "ui/PressableActionButton.h"
#include "ui/SearchField.h"
#include "widget/DesktopWidgetView.h"
#include "widget/WidgetGridView.h"
#include "widget/WidgetItemModel.h"

#include <QApplication>
#include <QLabel>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>

// Searching in the panel and on the board: what is listed, the footer, clearing, and acting on results.
class TestPanelSearch : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void panelListsEveryMatchOfTheWholeHistory();
    void panelActsOnResultsAsOnTheList();
    void panelMakesRowsForVisibleResultsOnly();
    void deleteInLongListKeepsScrollPosition();
    void boardFiltersTilesAndKeepsCounting();

private:
    ContentView& panel();
    QStringList listed();
    QString footer() { return panel().findChild<QLabel*>(QStringLiteral("countLabel"))->text(); }

    std::unique_ptr<PanelFixture> m_fixture;
    std::unique_ptr<ContentView> m_panel;
};

void TestPanelSearch::init()
{
    m_fixture = std::make_unique<PanelFixture>();
}

void TestPanelSearch::cleanup()
{
    m_panel.reset();
    m_fixture.reset();
}

ContentView& TestPanelSearch::panel()
{
    if (!m_panel) {
        m_panel = std::make_unique<ContentView>(*m_fixture->history, m_fixture->intents(), *m_fixture->storage,
                                                m_fixture->preferences);
        m_panel->resize(340, 600);
        m_panel->show();
        if (!QTest::qWaitForWindowExposed(m_panel.get()))
            qWarning("panel not exposed");
    }
    return *m_panel;
}

QStringList TestPanelSearch::listed()
{
    QStringList contents;
    for (ClipItemView* row : panel().rows())
        contents << row->item().content;
    return contents;
}

void TestPanelSearch::panelListsEveryMatchOfTheWholeHistory()
{
    const QDateTime now = ClipboardItem::currentMoment();
    ClipboardItems items;
    items << PanelFixture::text(QStringLiteral("pinned report"), now.addDays(-90), true);
    for (int i = 0; i < 10; ++i)
        items << PanelFixture::text(QStringLiteral("note %1").arg(i), now.addSecs(-i));
    items << PanelFixture::text(QStringLiteral("weekly Report draft"), now.addDays(-3));
    items << PanelFixture::text(QStringLiteral("old report"), now.addDays(-45));
    m_fixture->setHistory(items);
    QVERIFY(panel().searchField()->hasFocus() || !QApplication::focusWindow());
    QCOMPARE(panel().rows().size(), 6);
    QCOMPARE(footer(), QStringLiteral("13 条记录"));

    QTest::keyClicks(panel().searchField(), QStringLiteral("REPORT"));
    QCOMPARE(listed(), QStringList({"pinned report", "weekly Report draft", "old report"}));
    QCOMPARE(panel().sectionTitles(), QStringList({"已置顶", "过去 30 天", "更早"}));
    QCOMPARE(footer(), QStringLiteral("13 条记录 · 匹配 3 条"));
    QCOMPARE(panel().rows().at(1)->highlights(), (QList<TextSearch::Range>{{7, 6}}));
    // An entry edited while listed is marked where its new text matches.
    m_fixture->monitor->history().updateItem(panel().rows().at(1)->item(), QStringLiteral("a report"));
    QCOMPARE(panel().rows().at(1)->highlights(), (QList<TextSearch::Range>{{2, 6}}));

    QTest::keyClicks(panel().searchField(), QStringLiteral(" nothing"));
    QVERIFY(panel().showsNoMatchState());
    QCOMPARE(footer(), QStringLiteral("13 条记录 · 匹配 0 条"));

    // Clearing the field gives back exactly the plain panel.
    panel().searchField()->clear();
    QCOMPARE(panel().rows().size(), 6);
    QCOMPARE(panel().sectionTitles(), QStringList({"已置顶", "今天"}));
    QCOMPARE(footer(), QStringLiteral("13 条记录"));
    QVERIFY(panel().rows().at(0)->highlights().isEmpty());
}

void TestPanelSearch::panelActsOnResultsAsOnTheList()
{
    for (const char* text : {"alpha one", "beta", "alpha two", "gamma"})
        m_fixture->copyText(QString::fromLatin1(text));
    m_fixture->pasteboard.copyText(QStringLiteral("elsewhere"));
    QTest::keyClicks(panel().searchField(), QStringLiteral("two"));
    QCOMPARE(listed(), QStringList{QStringLiteral("alpha two")});

    ClipItemView* row = panel().rows().at(0);
    QTest::mouseClick(row, Qt::LeftButton, {}, row->entryRect().center());
    QTRY_COMPARE(m_fixture->pasteboard.string(), std::optional(QStringLiteral("alpha two")));

    // Pin and delete from a result row; the results follow.
    panel().searchField()->setText(QStringLiteral("alpha"));
    QCOMPARE(listed(), QStringList({"alpha two", "alpha one"}));
    panel().setHoveredItem(panel().rows().at(1)->item().id);
    QTest::mouseClick(panel().rows().at(1)->pinButton(), Qt::LeftButton);
    QCOMPARE(listed(), QStringList({"alpha one", "alpha two"}));
    QCOMPARE(panel().sectionTitles(), QStringList({"已置顶", "今天"}));
    panel().setHoveredItem(panel().rows().at(1)->item().id);
    QTest::mouseClick(panel().rows().at(1)->deleteButton(), Qt::LeftButton);
    QCOMPARE(listed(), QStringList{QStringLiteral("alpha one")});
    QCOMPARE(m_fixture->monitor->items().size(), 3);
}

void TestPanelSearch::panelMakesRowsForVisibleResultsOnly()
{
    const QDateTime now = ClipboardItem::currentMoment();
    ClipboardItems items;
    for (int i = 0; i < 1000; ++i)
        items << PanelFixture::text(QStringLiteral("entry %1").arg(i), now.addSecs(-i));
    m_fixture->setHistory(items);
    panel().searchField()->setText(QStringLiteral("entry"));
    QCOMPARE(footer(), QStringLiteral("1000 条记录 · 匹配 1000 条"));
    const auto fewRows = [this] { return panel().findChildren<ClipItemView*>().size() < 40; };
    QVERIFY(fewRows());
    // Scrolling to the end binds rows to the last entries, and still makes only a few.
    auto* list = panel().findChild<QScrollArea*>(QStringLiteral("historyList"));
    QApplication::processEvents();
    list->verticalScrollBar()->setValue(list->verticalScrollBar()->maximum());
    QTRY_COMPARE(panel().rows().last()->item().content, QStringLiteral("entry 999"));
    QVERIFY(fewRows());
    QCOMPARE(panel().rows().last()->geometry().bottom() + 1 + 10, list->widget()->height());
    // End selects the last entry, Home the first, with the list scrolled to each.
    QTest::keyClick(panel().searchField(), Qt::Key_Home);
    QCOMPARE(panel().selectedRow()->item().content, QStringLiteral("entry 0"));
    QCOMPARE(list->verticalScrollBar()->value(), 0);
}

void TestPanelSearch::deleteInLongListKeepsScrollPosition()
{
    const QDateTime now = ClipboardItem::currentMoment();
    ClipboardItems items;
    for (int i = 0; i < 300; ++i)
        items << PanelFixture::text(QStringLiteral("entry %1").arg(i), now.addSecs(-i));
    m_fixture->setHistory(items);
    panel().searchField()->setText(QStringLiteral("entry"));
    ClipListView* list = panel().list();
    QApplication::processEvents();
    list->verticalScrollBar()->setValue(list->verticalScrollBar()->maximum() / 2);
    const int scroll = list->verticalScrollBar()->value();
    const int index = list->indexOf(panel().rows().at(panel().rows().size() / 2)->item().id);
    ClipItemView* deleted = list->ensureEntryVisible(index);
    const QString next = list->itemAt(index + 1).content;
    const int top = deleted->y();
    m_fixture->monitor->history().deleteItem(deleted->item());
    // The rows below move up into the gap; what the user looks at does not jump.
    QTRY_VERIFY(!list->isMoving());
    QCOMPARE(list->verticalScrollBar()->value(), scroll);
    QCOMPARE(list->rowFor(list->itemAt(index).id)->item().content, next);
    QCOMPARE(list->rowFor(list->itemAt(index).id)->y(), top);
}

void TestPanelSearch::boardFiltersTilesAndKeepsCounting()
{
    for (const char* text : {"会议纪要", "lunch", "项目会议", "dinner"})
        m_fixture->copyText(QString::fromUtf8(text));
    DesktopWidgetView board(*m_fixture->history, m_fixture->intents(), *m_fixture->storage, m_fixture->preferences);
    board.show();
    QVERIFY(QTest::qWaitForWindowExposed(&board));
    WidgetGridView* grid = board.grid();
    QTest::keyClicks(board.searchField(), QStringLiteral("hy"));
    QTRY_COMPARE(grid->model()->rowCount(), 2);
    QCOMPARE(grid->itemModel()->itemAt(0).content, QStringLiteral("项目会议"));
    QCOMPARE(board.counterText(), QStringLiteral("4"));

    m_fixture->pasteboard.copyText(QStringLiteral("elsewhere"));
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->tileRect(grid->model()->index(1, 0)).center());
    QTRY_COMPARE(m_fixture->pasteboard.string(), std::optional(QStringLiteral("会议纪要")));

    board.searchField()->clear();
    QCOMPARE(grid->model()->rowCount(), 4);
}

QTEST_MAIN(TestPanelSearch)
#include "tst_panelsearch.moc"
