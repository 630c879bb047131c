#include "../PanelFixture.h"
#include "core/HistoryModel.h"
#include "core/HistorySearchModel.h"
#include "ui/PressableActionButton.h"
#include "ui/RecognizedTextBadge.h"
#include "ui/Theme.h"
#include "ui/UndoBar.h"
#include "ui/WindowDragHandler.h"
#include "widget/DesktopWidgetView.h"
#include "widget/WidgetGridItem.h"
#include "widget/WidgetGridView.h"
#include "widget/WidgetItemModel.h"
#include "widget/WidgetWindow.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QFile>
#include <QMouseEvent>
#include <QPainter>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QToolTip>

namespace {

// A pointer move without buttons, delivered directly: the offscreen platform has no real cursor.
void hover(QWidget* widget, const QPoint& position)
{
    QMouseEvent move(QEvent::MouseMove, position, widget->mapToGlobal(position), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(widget, &move);
}

} // namespace

class TestDesktopWidget : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void emptyBoard();
    void tilesFollowTheHistory();
    void gridIsCentred();
    void tileLayout_data();
    void tileLayout();
    void longTextEndsOnAWholeLine_data();
    void longTextEndsOnAWholeLine();
    void clickCopiesWithoutCapture();
    void doubleClickAsksForPreviewOnly();
    void tileButtonsPinAndDelete();
    void headerButtons();
    void lockStopsMoving();
    void headerFollowsThePointerWithoutWindowManager();
    void placement_data();
    void placement();
    void windowOpensWhereTheUserLeftIt();
    void missingImageIsNotAskedForAgain();
    void imageFoundByItsTextShowsWhereItMatched();
    void matchedContext_data();
    void matchedContext();

private:
    DesktopWidgetView& board();
    QPoint tileCentre(int row);

    std::unique_ptr<PanelFixture> m_fixture;
    std::unique_ptr<DesktopWidgetView> m_board;
};

void TestDesktopWidget::init()
{
    m_fixture = std::make_unique<PanelFixture>();
}

void TestDesktopWidget::cleanup()
{
    m_board.reset();
    m_fixture.reset();
}

DesktopWidgetView& TestDesktopWidget::board()
{
    if (!m_board) {
        m_board = std::make_unique<DesktopWidgetView>(*m_fixture->history, m_fixture->intents(), *m_fixture->storage,
                                                      m_fixture->preferences);
        m_board->show();
        if (!QTest::qWaitForWindowExposed(m_board.get()))
            qWarning("board not exposed");
    }
    return *m_board;
}

QPoint TestDesktopWidget::tileCentre(int row)
{
    WidgetGridView* grid = board().grid();
    return grid->tileRect(grid->model()->index(row, 0)).center();
}

void TestDesktopWidget::emptyBoard()
{
    QVERIFY(board().showsEmptyState());
    QCOMPARE(board().counterText(), QStringLiteral("0"));
    m_fixture->copyText(QStringLiteral("first"));
    QVERIFY(!board().showsEmptyState());
    QCOMPARE(board().counterText(), QStringLiteral("1"));
}

void TestDesktopWidget::tilesFollowTheHistory()
{
    const QDateTime now = ClipboardItem::currentMoment();
    ClipboardItems items;
    for (int i = 0; i < 40; ++i)
        items << PanelFixture::text(QString::number(i), now.addSecs(-i));
    items << PanelFixture::text(QStringLiteral("pinned"), now.addDays(-60), true);
    m_fixture->setHistory(items);
    m_fixture->preferences.setDisplayCount(6);
    QAbstractItemModelTester tester(board().grid()->model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
    // Every entry, whatever the panel lists, pinned first.
    QCOMPARE(board().grid()->model()->rowCount(), 41);
    QCOMPARE(board().grid()->itemModel()->itemAt(0).content, QStringLiteral("pinned"));
    QCOMPARE(board().counterText(), QStringLiteral("41"));
    m_fixture->copyText(QStringLiteral("new"));
    QCOMPARE(board().grid()->model()->rowCount(), 42);
    QCOMPARE(board().grid()->itemModel()->itemAt(1).content, QStringLiteral("new"));
    // Three columns of 100 within the 340-wide board.
    const QRect first = board().grid()->tileRect(board().grid()->model()->index(0, 0));
    const QRect third = board().grid()->tileRect(board().grid()->model()->index(2, 0));
    const QRect fourth = board().grid()->tileRect(board().grid()->model()->index(3, 0));
    QCOMPARE(first.size(), QSize(100, 100));
    QCOMPARE(third.top(), first.top());
    QVERIFY(fourth.top() >= first.bottom() + WidgetGridView::rowSpacing);
}

void TestDesktopWidget::gridIsCentred()
{
    for (const char* text : {"a", "b", "c", "d"})
        m_fixture->copyText(QLatin1String(text));
    WidgetGridView* grid = board().grid();
    QList<int> lefts;
    for (int row = 0; row < 4; ++row) {
        const QRect tile = grid->tileRect(grid->model()->index(row, 0));
        lefts << grid->viewport()->mapTo(&board(), tile.topLeft()).x();
    }
    // Three 100-wide columns, 8 apart, 12 from either edge; the fourth tile starts a new row.
    QCOMPARE(lefts, QList<int>({12, 120, 228, 12}));
    QCOMPARE(DesktopWidgetView::boardSide - (lefts[2] + 100), 12);
}

void TestDesktopWidget::tileLayout_data()
{
    QTest::addColumn<bool>("hovered");
    QTest::addColumn<bool>("pinned");
    QTest::addColumn<bool>("pin");
    QTest::addColumn<bool>("remove");
    QTest::newRow("plain") << false << false << false << false;
    QTest::newRow("pinned") << false << true << true << false;
    QTest::newRow("hovered") << true << false << true << true;
    QTest::newRow("hovered pinned") << true << true << true << true;
}

void TestDesktopWidget::tileLayout()
{
    QFETCH(bool, hovered);
    QFETCH(bool, pinned);
    QFETCH(bool, pin);
    QFETCH(bool, remove);
    const QRect tile(20, 30, 100, 100);
    const WidgetTileLayout layout = WidgetGridItem::layout(tile, hovered, pinned);
    QCOMPARE(!layout.pinButton.isEmpty(), pin);
    QCOMPARE(!layout.deleteButton.isEmpty(), remove);
    for (const QRect& part : {layout.pinButton, layout.deleteButton, layout.kindBadge}) {
        if (!part.isEmpty())
            QVERIFY(tile.contains(part));
    }
    // The text keeps clear of the buttons, and stays where it is when they come and go.
    QVERIFY(!layout.textArea.intersects(layout.pinButton) && !layout.textArea.intersects(layout.deleteButton));
    QCOMPARE(layout.textArea, WidgetGridItem::layout(tile, true, true).textArea);
    QVERIFY(layout.textArea.height() >= 4 * QFontMetrics(WidgetGridItem::textFont()).height());
    if (pin && remove) {
        QVERIFY(layout.pinButton.right() < layout.deleteButton.left());
        QVERIFY(!layout.pinButton.intersects(layout.deleteButton));
    }
    QVERIFY(layout.kindBadge.bottom() > tile.center().y());
    QVERIFY(layout.kindBadge.left() > tile.center().x());
}

void TestDesktopWidget::longTextEndsOnAWholeLine_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("chinese")
        << QStringLiteral("一段较长的文字，用来展示列表中的两行截断效果：第一句话，第二句话，第三句话，第四句话。")
               .repeated(2);
    QTest::newRow("latin")
        << QStringLiteral("A longer text that wraps over more lines than a tile can hold. ").repeated(4);
}

void TestDesktopWidget::longTextEndsOnAWholeLine()
{
    QFETCH(QString, text);
    const QRect tile(0, 0, WidgetGridItem::side, WidgetGridItem::side);
    const WidgetTileLayout layout = WidgetGridItem::layout(tile, false, false);
    const auto tileWith = [&](const QString& content) {
        QImage image(tile.size(), QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        WidgetGridItem::paint(painter, layout, ClipboardItem::captured(ClipboardItemType::Text, content), {}, false,
                              ThemePalette::light(), false, {});
        return image;
    };
    const QImage written = tileWith(text);
    const QImage blank = tileWith(QString());
    // The text is framed 8 pixels in. Its last rows, left of the kind badge, stay clear: a line cut off
    // by the frame would be drawn down to its very edge.
    const int textBottom = tile.bottom() - 8;
    for (int y = textBottom - 1; y <= textBottom; ++y) {
        for (int x = 8; x < layout.kindBadge.left(); ++x)
            QVERIFY2(written.pixel(x, y) == blank.pixel(x, y),
                     qPrintable(QStringLiteral("ink at %1,%2").arg(x).arg(y)));
    }
}

void TestDesktopWidget::clickCopiesWithoutCapture()
{
    m_fixture->copyText(QStringLiteral("older"));
    m_fixture->copyText(QStringLiteral("newer"));
    const ClipboardItems before = m_fixture->monitor->items();
    QTest::mouseClick(board().grid()->viewport(), Qt::LeftButton, {}, tileCentre(1));
    QTRY_COMPARE(m_fixture->pasteboard.contents().text, QStringLiteral("older"));
    m_fixture->monitor->checkClipboard();
    PanelFixture::settle();
    QCOMPARE(m_fixture->monitor->items(), before);
}

void TestDesktopWidget::doubleClickAsksForPreviewOnly()
{
    m_fixture->copyText(QStringLiteral("entry"));
    m_fixture->pasteboard.copyText(QStringLiteral("elsewhere"));
    QSignalSpy preview(&board(), &DesktopWidgetView::previewRequested);
    QWidget* viewport = board().grid()->viewport();
    QTest::mouseClick(viewport, Qt::LeftButton, {}, tileCentre(0));
    QTest::mouseDClick(viewport, Qt::LeftButton, {}, tileCentre(0));
    QCOMPARE(preview.count(), 1);
    QCOMPARE(preview.first().first().value<ClipboardItem>().content, QStringLiteral("entry"));
    QTest::qWait(QApplication::doubleClickInterval() + 100);
    QCOMPARE(m_fixture->pasteboard.contents().text, QStringLiteral("elsewhere"));
}

void TestDesktopWidget::tileButtonsPinAndDelete()
{
    m_fixture->copyText(QStringLiteral("b"));
    m_fixture->copyText(QStringLiteral("a"));
    WidgetGridView* grid = board().grid();
    QWidget* viewport = grid->viewport();
    const QModelIndex second = grid->model()->index(1, 0);
    // Not hovered: the pin's place is just the tile, and pressing it does not pin.
    const QRect tile = grid->tileRect(second);
    const QPoint pinSpot = WidgetGridItem::layout(tile, true, false).pinButton.center();
    hover(viewport, pinSpot);
    QCOMPARE(grid->hoveredIndex(), second);
    QTest::mouseClick(viewport, Qt::LeftButton, {}, pinSpot);
    QVERIFY(m_fixture->monitor->items().first().isPinned);
    QCOMPARE(m_fixture->monitor->items().first().content, QStringLiteral("b"));

    // Now first in the list; hover it and delete it with its button.
    const QRect pinnedTile = grid->tileRect(grid->model()->index(0, 0));
    const QPoint deleteSpot = WidgetGridItem::layout(pinnedTile, true, true).deleteButton.center();
    hover(viewport, deleteSpot);
    QTest::mouseClick(viewport, Qt::LeftButton, {}, deleteSpot);
    QCOMPARE(m_fixture->monitor->items().size(), 1);
    QCOMPARE(m_fixture->monitor->items().first().content, QStringLiteral("a"));
    QTest::qWait(QApplication::doubleClickInterval() + 50);
    QCOMPARE(m_fixture->pasteboard.contents().text, QStringLiteral("a"));

    // The delete can be taken back from the toast over the grid.
    UndoBar* toast = board().undoToast();
    QVERIFY(toast->isVisible());
    QCOMPARE(toast->text(), QStringLiteral("已删除 1 条记录"));
    QVERIFY(board().rect().contains(toast->geometry()));
    QTest::mouseClick(toast->undoButton(), Qt::LeftButton);
    QCOMPARE(m_fixture->monitor->items().size(), 2);
    QVERIFY(m_fixture->monitor->items().first().isPinned);
    QVERIFY(!toast->isVisible());
}

void TestDesktopWidget::headerButtons()
{
    auto* lock = board().findChild<WidgetHeaderButton*>(QStringLiteral("widgetLockButton"));
    auto* pin = board().findChild<WidgetHeaderButton*>(QStringLiteral("widgetPinButton"));
    auto* clear = board().findChild<WidgetHeaderButton*>(QStringLiteral("widgetClearButton"));
    QCOMPARE(lock->symbol(), QStringLiteral("lock.open.fill"));
    QCOMPARE(lock->toolTip(), QStringLiteral("锁定位置"));
    QTest::mouseClick(lock, Qt::LeftButton);
    QVERIFY(m_fixture->preferences.widgetLocked());
    QCOMPARE(lock->symbol(), QStringLiteral("lock.fill"));
    QCOMPARE(lock->toolTip(), QStringLiteral("解除锁定"));
    QCOMPARE(pin->toolTip(), QStringLiteral("置顶显示"));
    QTest::mouseClick(pin, Qt::LeftButton);
    QVERIFY(m_fixture->preferences.widgetPinned());
    QCOMPARE(pin->symbol(), QStringLiteral("pin.fill"));
    QCOMPARE(pin->toolTip(), QStringLiteral("取消置顶"));
    QSignalSpy clearRequests(&board(), &DesktopWidgetView::clearRequested);
    QCOMPARE(clear->toolTip(), QStringLiteral("清空所有剪贴历史"));
    QTest::mouseClick(clear, Qt::LeftButton);
    QCOMPARE(clearRequests.count(), 1);
}

void TestDesktopWidget::lockStopsMoving()
{
    int moves = 0;
    board().dragSurface()->setMoveFunction([&moves](QWindow*) {
        ++moves;
        return true;
    });
    const QPoint onHeader(60, 10);
    QTest::mousePress(board().dragSurface(), Qt::LeftButton, {}, onHeader);
    QTest::mouseRelease(board().dragSurface(), Qt::LeftButton, {}, onHeader);
    QCOMPARE(moves, 1);
    m_fixture->preferences.setWidgetLocked(true);
    QTest::mousePress(board().dragSurface(), Qt::LeftButton, {}, onHeader);
    QTest::mouseRelease(board().dragSurface(), Qt::LeftButton, {}, onHeader);
    QCOMPARE(moves, 1);
    // Unlocked again, without reopening anything.
    m_fixture->preferences.setWidgetLocked(false);
    QTest::mousePress(board().dragSurface(), Qt::LeftButton, {}, onHeader);
    QCOMPARE(moves, 2);
}

void TestDesktopWidget::headerFollowsThePointerWithoutWindowManager()
{
    WindowDragHandler* surface = board().dragSurface();
    surface->setMoveFunction([](QWindow*) { return false; });
    QWidget* window = surface->window();
    const QPoint start = window->pos();
    const auto send = [surface](QEvent::Type type, QPoint global, Qt::MouseButtons buttons) {
        const QPoint local = surface->mapFromGlobal(global);
        QMouseEvent event(type, local, global, type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, buttons,
                          Qt::NoModifier);
        QCoreApplication::sendEvent(surface, &event);
    };
    const QPoint press = surface->mapToGlobal(QPoint(60, 10));
    send(QEvent::MouseButtonPress, press, Qt::LeftButton);
    send(QEvent::MouseMove, press + QPoint(30, 20), Qt::LeftButton);
    QCOMPARE(window->pos(), start + QPoint(30, 20));
    send(QEvent::MouseButtonRelease, press + QPoint(30, 20), Qt::NoButton);
    send(QEvent::MouseMove, press + QPoint(90, 90), Qt::NoButton);
    QCOMPARE(window->pos(), start + QPoint(30, 20));

    // Locked, it stays where it is.
    m_fixture->preferences.setWidgetLocked(true);
    const QPoint again = surface->mapToGlobal(QPoint(60, 10));
    send(QEvent::MouseButtonPress, again, Qt::LeftButton);
    send(QEvent::MouseMove, again + QPoint(40, 40), Qt::LeftButton);
    QCOMPARE(window->pos(), start + QPoint(30, 20));
}

void TestDesktopWidget::placement_data()
{
    QTest::addColumn<std::optional<QPoint>>("stored");
    QTest::addColumn<QPoint>("expected");
    // Two screens side by side; the first is the primary one, with a panel 30 high on top.
    const QPoint initial = QPoint(0, 30) + WidgetWindow::initialOffset;
    QTest::newRow("never moved") << std::optional<QPoint>() << initial;
    QTest::newRow("on the first screen") << std::optional(QPoint(500, 400)) << QPoint(500, 400);
    QTest::newRow("on the second screen") << std::optional(QPoint(2500, 300)) << QPoint(2500, 300);
    QTest::newRow("mostly off an edge, header reachable") << std::optional(QPoint(3100, 100)) << QPoint(3100, 100);
    QTest::newRow("on a screen since removed") << std::optional(QPoint(4000, 200)) << initial;
    QTest::newRow("header above every screen") << std::optional(QPoint(500, -45)) << initial;
    QTest::newRow("far off") << std::optional(QPoint(-9000, 9000)) << initial;
}

void TestDesktopWidget::placement()
{
    QFETCH(std::optional<QPoint>, stored);
    QFETCH(QPoint, expected);
    const QRect primary(0, 30, 1920, 1050);
    QCOMPARE(WidgetWindow::placement(stored, {primary, QRect(1920, 0, 1280, 1024)}, primary), expected);
}

void TestDesktopWidget::windowOpensWhereTheUserLeftIt()
{
    Preferences& preferences = m_fixture->preferences;
    const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
    const auto open = [&] {
        return std::make_unique<WidgetWindow>(
            new DesktopWidgetView(*m_fixture->history, m_fixture->intents(), *m_fixture->storage, preferences), false);
    };
    auto window = open();
    QCOMPARE(window->pos(), available.topLeft() + WidgetWindow::initialOffset);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    const QPoint moved = available.topLeft() + QPoint(37, 21);
    window->move(moved);
    QTRY_COMPARE(preferences.widgetPosition(), std::optional(moved));
    window.reset();
    QCOMPARE(open()->pos(), moved);
    // Left where no screen is any more: back at the start.
    preferences.setValue(Preferences::Key::WidgetPosition,
                         QStringLiteral("%1,%2").arg(available.right() + 2000).arg(7));
    QCOMPARE(open()->pos(), available.topLeft() + WidgetWindow::initialOffset);
}

void TestDesktopWidget::missingImageIsNotAskedForAgain()
{
    const ClipboardItem gone(QUuid::createUuid(), ClipboardItemType::Image, QStringLiteral("gone.png"), false,
                             std::nullopt, ClipboardItem::currentMoment());
    const ClipboardItem present = m_fixture->image(QSize(300, 200));
    m_fixture->setHistory({gone, present});
    WidgetItemModel* model = board().grid()->itemModel();
    QTRY_COMPARE(model->pendingThumbnails(), 0);
    QTRY_VERIFY(!model->data(model->index(1, 0), WidgetItemModel::ThumbnailRole).value<QImage>().isNull());
    QVERIFY(model->data(model->index(0, 0), WidgetItemModel::ThumbnailRole).value<QImage>().isNull());
    QCOMPARE(model->pendingThumbnails(), 0);
    // The tile shows the missing-image state, not a spinner for ever.
    QVERIFY(model->data(model->index(0, 0), WidgetItemModel::ImageMissingRole).toBool());
    QVERIFY(!model->data(model->index(1, 0), WidgetItemModel::ImageMissingRole).toBool());
}

void TestDesktopWidget::imageFoundByItsTextShowsWhereItMatched()
{
    const ClipboardItem shot = m_fixture->image(QSize(300, 200));
    m_fixture->setHistory({shot, PanelFixture::text(QStringLiteral("connection notes"))});
    HistoryModel& history = m_fixture->monitor->history();
    history.setImageTextSource([&shot](const QString& name) {
        return name == shot.content ? QStringLiteral("The build failed: connection refused on port 8080 after waiting "
                                                     "300 seconds for the server <main> to answer")
                                    : QString();
    });
    WidgetGridView* grid = board().grid();
    grid->itemModel()->searchModel()->setQuery(QStringLiteral("refused"));
    QTRY_COMPARE(grid->model()->rowCount(), 1);
    const QModelIndex index = grid->model()->index(0, 0);
    const WidgetTileLayout layout =
        WidgetGridItem::layout(grid->tileRect(index), false, false, grid->matchedByText(grid->itemModel()->itemAt(0)));
    QVERIFY(!layout.textBadge.isEmpty());
    QVERIFY(grid->tileRect(index).contains(layout.textBadge));
    QVERIFY(!layout.textBadge.intersects(layout.kindBadge));

    const auto tipAt = [grid](const QPoint& position) {
        QHelpEvent help(QEvent::ToolTip, position, grid->viewport()->mapToGlobal(position));
        QApplication::sendEvent(grid->viewport(), &help);
        return QToolTip::isVisible() ? QToolTip::text() : QString();
    };
    QCOMPARE(tipAt(grid->tileRect(index).center()), QString());
    const QString tip = tipAt(layout.textBadge.center());
    QVERIFY2(tip.contains(QStringLiteral("connection <b>refused</b> on port")), qPrintable(tip));
    // A text tile is never marked: it is listed for its own words.
    grid->itemModel()->searchModel()->setQuery(QStringLiteral("connection"));
    QTRY_COMPARE(grid->model()->rowCount(), 2);
    for (int row = 0; row < 2; ++row) {
        const ClipboardItem& item = grid->itemModel()->itemAt(row);
        QCOMPARE(grid->matchedByText(item), item.isImage());
    }
    history.setImageTextSource({});
}

void TestDesktopWidget::matchedContext_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("query");
    QTest::addColumn<QString>("expected");
    const QString padding(40, u'x');
    QTest::newRow("no match") << QStringLiteral("nothing here") << QStringLiteral("absent") << QString();
    QTest::newRow("short text, whole") << QStringLiteral("Error 404\nnot found") << QStringLiteral("404")
                                       << QStringLiteral("<qt>Error <b>404</b> not found</qt>");
    QTest::newRow("cut both sides") << padding + QStringLiteral(" key ") + padding << QStringLiteral("key")
                                    << QStringLiteral("<qt>…") + QString(23, u'x') + QStringLiteral(" <b>key</b> ") +
                                           QString(23, u'x') + QStringLiteral("…</qt>");
    QTest::newRow("markup is text") << QStringLiteral("a <b>tag</b> & more") << QStringLiteral("tag")
                                    << QStringLiteral("<qt>a &lt;b&gt;<b>tag</b>&lt;/b&gt; &amp; more</qt>");
    QTest::newRow("pinyin and case") << QStringLiteral("明天的会议 MEETING") << QStringLiteral("hy meeting")
                                     << QStringLiteral("<qt>明天的<b>会议</b> <b>MEETING</b></qt>");
    QTest::newRow("at most three places")
        << (padding + QStringLiteral(" hit ") + padding).repeated(5) << QStringLiteral("hit") << QString();
}

void TestDesktopWidget::matchedContext()
{
    QFETCH(QString, text);
    QFETCH(QString, query);
    QFETCH(QString, expected);
    const QString context = RecognizedTextBadge::matchedContext(text, TextSearch::parseQuery(query));
    if (QTest::currentDataTag() == QLatin1String("at most three places")) {
        QCOMPARE(context.count(QStringLiteral("<br>")), RecognizedTextBadge::maxExcerpts - 1);
        QCOMPARE(context.count(QStringLiteral("<b>hit</b>")), RecognizedTextBadge::maxExcerpts);
        return;
    }
    QCOMPARE(context, expected);
}

QTEST_MAIN(TestDesktopWidget)
#include "tst_desktopwidget.moc"
