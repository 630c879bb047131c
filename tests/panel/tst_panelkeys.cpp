#include "../PanelFixture.h"
#include "panel/ClipItemView.h"
#include "panel/ContentView.h"
#include "ui/SearchField.h"

#include <QApplication>
#include <QScrollArea>
#include <QSignalSpy>
#include <QTest>

// The panel driven by keys: the field keeps focus, the keys act on the selected row.
class TestPanelKeys : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void arrowsMoveTheSelection_data();
    void arrowsMoveTheSelection();
    void returnCopiesAndCloses_data();
    void returnCopiesAndCloses();
    void leftQueryIsReplacedOnReopening();
    void restingPointerKeepsTheSelection();
    void escapeClearsThenCloses();
    void deletePinAndPreview();
    void tabReachesListAndFooter();

private:
    ContentView& panel();
    int selectedIndex();
    void key(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        panel();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key(key), modifiers);
    }

    std::unique_ptr<PanelFixture> m_fixture;
    std::unique_ptr<ContentView> m_panel;
};

void TestPanelKeys::init()
{
    m_fixture = std::make_unique<PanelFixture>();
    for (int i = 9; i >= 0; --i)
        m_fixture->copyText(QStringLiteral("entry %1").arg(i));
    m_fixture->preferences.setDisplayCount(10);
}

void TestPanelKeys::cleanup()
{
    m_panel.reset();
    m_fixture.reset();
}

ContentView& TestPanelKeys::panel()
{
    if (!m_panel) {
        m_panel = std::make_unique<ContentView>(*m_fixture->history, m_fixture->intents(), *m_fixture->storage,
                                                m_fixture->preferences);
        m_panel->resize(340, 400);
        m_panel->show();
        QApplication::setActiveWindow(m_panel.get());
        if (!QTest::qWaitForWindowActive(m_panel.get()))
            qWarning("panel not active");
    }
    return *m_panel;
}

int TestPanelKeys::selectedIndex()
{
    return int(panel().rows().indexOf(panel().selectedRow()));
}

void TestPanelKeys::arrowsMoveTheSelection_data()
{
    QTest::addColumn<int>("pinned");
    QTest::addColumn<QList<int>>("keys");
    QTest::addColumn<int>("selected");
    QTest::newRow("on open") << 0 << QList<int>{} << 0;
    QTest::newRow("down twice") << 0 << QList<int>{Qt::Key_Down, Qt::Key_Down} << 2;
    QTest::newRow("up at the top") << 0 << QList<int>{Qt::Key_Up} << 0;
    QTest::newRow("down, down, up") << 0 << QList<int>{Qt::Key_Down, Qt::Key_Down, Qt::Key_Up} << 1;
    QTest::newRow("end") << 0 << QList<int>{Qt::Key_End} << 9;
    QTest::newRow("down at the end") << 0 << QList<int>{Qt::Key_End, Qt::Key_Down} << 9;
    QTest::newRow("end, home") << 0 << QList<int>{Qt::Key_End, Qt::Key_Home} << 0;
    QTest::newRow("page down, page up") << 0 << QList<int>{Qt::Key_PageDown, Qt::Key_PageUp} << 0;
    QTest::newRow("on open, the newest unpinned") << 2 << QList<int>{} << 2;
    QTest::newRow("up reaches the pinned") << 2 << QList<int>{Qt::Key_Up} << 1;
    QTest::newRow("all pinned") << 10 << QList<int>{} << 0;
}

void TestPanelKeys::arrowsMoveTheSelection()
{
    QFETCH(int, pinned);
    QFETCH(QList<int>, keys);
    QFETCH(int, selected);
    for (int i = 0; i < pinned; ++i)
        m_fixture->monitor->history().togglePin(m_fixture->monitor->items().at(i).id);
    QCOMPARE(QApplication::focusWidget(), panel().searchField());
    for (int k : keys)
        key(k);
    QCOMPARE(selectedIndex(), selected);
    // The selection is drawn like the hover highlight, on one row only.
    int hovered = 0;
    for (ClipItemView* row : panel().rows())
        hovered += row->isHovered();
    QCOMPARE(hovered, 1);
    QVERIFY(panel().selectedRow()->isHovered());
}

void TestPanelKeys::returnCopiesAndCloses_data()
{
    QTest::addColumn<bool>("stayOpen");
    QTest::addColumn<bool>("shift");
    QTest::newRow("closes") << false << false;
    QTest::newRow("kept open") << true << false;
    // Pasted once: the shell closes the panel when the paste starts.
    QTest::newRow("shift pastes") << false << true;
}

void TestPanelKeys::returnCopiesAndCloses()
{
    QFETCH(bool, stayOpen);
    QFETCH(bool, shift);
    m_fixture->preferences.setPopoverStayOpen(stayOpen);
    QSignalSpy close(&panel(), &ContentView::closeRequested);
    QSignalSpy paste(&m_fixture->intents(), &EntryIntents::pasteRequested);
    QTest::keyClicks(panel().searchField(), QStringLiteral("entry"));
    key(Qt::Key_Down);
    key(Qt::Key_Down);
    key(Qt::Key_Return, shift ? Qt::ShiftModifier : Qt::NoModifier);
    QCOMPARE(m_fixture->pasteboard.string(), std::optional(QStringLiteral("entry 2")));
    QCOMPARE(close.size(), stayOpen || shift ? 0 : 1);
    QCOMPARE(paste.size(), shift ? 1 : 0);
    // The choice is made: the next opening starts without the query.
    QVERIFY(panel().searchField()->text().isEmpty());
}

void TestPanelKeys::leftQueryIsReplacedOnReopening()
{
    QTest::keyClicks(panel().searchField(), QStringLiteral("entry 7"));
    panel().hide();
    panel().show();
    QApplication::setActiveWindow(&panel());
    QVERIFY(QTest::qWaitForWindowActive(&panel()));
    QCOMPARE(panel().searchField()->selectedText(), QStringLiteral("entry 7"));
    key(Qt::Key_3);
    QCOMPARE(panel().searchField()->text(), QStringLiteral("3"));
}

void TestPanelKeys::restingPointerKeepsTheSelection()
{
    // The row under a pointer that has not moved since the panel opened reports itself hovered.
    ClipItemView* row = panel().rows().at(4);
    const QPointF inside = row->rect().center();
    QEnterEvent enter(inside, row->mapTo(&panel(), inside), row->mapToGlobal(inside));
    QApplication::sendEvent(row, &enter);
    QCOMPARE(selectedIndex(), 0);
    QCursor::setPos(QCursor::pos() + QPoint(3, 3));
    QApplication::sendEvent(row, &enter);
    QCOMPARE(selectedIndex(), 4);
}

void TestPanelKeys::escapeClearsThenCloses()
{
    QSignalSpy close(&panel(), &ContentView::closeRequested);
    QTest::keyClicks(panel().searchField(), QStringLiteral("entry 7"));
    QCOMPARE(panel().rows().size(), 1);
    QCOMPARE(selectedIndex(), 0);
    key(Qt::Key_Escape);
    QVERIFY(panel().searchField()->text().isEmpty());
    QCOMPARE(panel().rows().size(), 10);
    QCOMPARE(close.size(), 0);
    key(Qt::Key_Escape);
    QCOMPARE(close.size(), 1);
}

void TestPanelKeys::deletePinAndPreview()
{
    m_fixture->monitor->history().setUndoWindow(3'600'000);
    key(Qt::Key_Down);
    key(Qt::Key_Delete);
    QCOMPARE(m_fixture->monitor->items().size(), 9);
    QCOMPARE(panel().selectedRow()->item().content, QStringLiteral("entry 2"));

    key(Qt::Key_P, Qt::ControlModifier);
    QVERIFY(m_fixture->monitor->items().first().isPinned);
    QCOMPARE(panel().selectedRow()->item().content, QStringLiteral("entry 2"));

    // Delete and Space edit a non-empty query instead.
    QTest::keyClicks(panel().searchField(), QStringLiteral("entry"));
    panel().searchField()->setCursorPosition(0);
    key(Qt::Key_Delete);
    QCOMPARE(panel().searchField()->text(), QStringLiteral("ntry"));
    QCOMPARE(m_fixture->monitor->items().size(), 9);
    panel().searchField()->clear();

    // Space in the field is typed; on the list it previews.
    key(Qt::Key_Space);
    QCOMPARE(panel().searchField()->text(), QStringLiteral(" "));
    QVERIFY(!panel().openSheet());
    key(Qt::Key_Tab);
    key(Qt::Key_Space);
    QVERIFY(panel().openSheet());
    panel().openSheet()->close();
    QTRY_VERIFY(!panel().openSheet());
    QTest::keyClick(panel().searchField(), Qt::Key_F3);
    QVERIFY(panel().openSheet());
    panel().openSheet()->close();
    QTRY_VERIFY(!panel().openSheet());

    // Ctrl+Z takes the delete back while it can be; otherwise the field undoes its typing.
    panel().searchField()->setFocus();
    key(Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(m_fixture->monitor->items().size(), 10);
    QCOMPARE(panel().searchField()->text(), QStringLiteral(" "));
    key(Qt::Key_Z, Qt::ControlModifier);
    QVERIFY(panel().searchField()->text().isEmpty());

    // A preview closes with the panel.
    QTest::keyClick(panel().searchField(), Qt::Key_F3);
    QVERIFY(panel().openSheet());
    panel().hide();
    QTRY_VERIFY(!panel().openSheet());
}

void TestPanelKeys::tabReachesListAndFooter()
{
    auto* list = panel().findChild<QScrollArea*>(QStringLiteral("historyList"));
    key(Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), list);
    QVERIFY(panel().selectedRow()->hasFocusRing());
    key(Qt::Key_Down);
    QCOMPARE(selectedIndex(), 1);
    key(Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("quitButton"));
    QVERIFY(!panel().selectedRow()->hasFocusRing());
    key(Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("clearButton"));
    for (const char* name : {"lockButton", "pinButton", "settingsButton"}) {
        key(Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget()->objectName(), QLatin1String(name));
    }
    key(Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), panel().searchField());
    key(Qt::Key_Backtab);
    QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("settingsButton"));
}

QTEST_MAIN(TestPanelKeys)
#include "tst_panelkeys.moc"
