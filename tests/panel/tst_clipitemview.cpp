#include "../PanelFixture.h"
#include "panel/ClipItemView.h"
#include "ui/PressableActionButton.h"
#include "ui/Transition.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>
#include <QVariantAnimation>

class TestClipItemView : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void formattedTime_data();
    void formattedTime();
    void singleClickChooses_data();
    void singleClickChooses();
    void doubleClickOpensPreviewOnly();
    void menuPastes_data();
    void menuPastes();
    void buttonsAsk();
    void thumbnailLoadsAtRowSize();
    void missingImageKeepsPlaceholder();
    void previewButtonLabel();
    void buttonTransitions_data();
    void buttonTransitions();

private:
    std::unique_ptr<ClipItemView> makeRow(const ClipboardItem& item);
    std::unique_ptr<PanelFixture> m_fixture;
};

void TestClipItemView::init()
{
    m_fixture = std::make_unique<PanelFixture>();
}

std::unique_ptr<ClipItemView> TestClipItemView::makeRow(const ClipboardItem& item)
{
    auto row = std::make_unique<ClipItemView>(*m_fixture->history, *m_fixture->storage);
    row->setItem(item);
    row->resize(340, row->heightForWidth(340));
    return row;
}

void TestClipItemView::formattedTime_data()
{
    QTest::addColumn<QDateTime>("timestamp");
    QTest::addColumn<QString>("text");
    QTest::newRow("today") << QDateTime(QDate(2025, 3, 6), QTime(7, 3)) << QStringLiteral("今天 07:03");
    QTest::newRow("yesterday late") << QDateTime(QDate(2025, 3, 5), QTime(23, 59)) << QStringLiteral("昨天");
    QTest::newRow("three days") << QDateTime(QDate(2025, 3, 3), QTime(12, 0)) << QStringLiteral("03-03");
    QTest::newRow("last year") << QDateTime(QDate(2024, 12, 31), QTime(12, 0)) << QStringLiteral("12-31");
}

void TestClipItemView::formattedTime()
{
    QFETCH(QDateTime, timestamp);
    QFETCH(QString, text);
    const QDateTime now(QDate(2025, 3, 6), QTime(10, 0));
    QCOMPARE(ClipItemView::formattedTime(timestamp.toUTC(), now.toUTC()), text);
}

void TestClipItemView::singleClickChooses_data()
{
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::newRow("click") << Qt::KeyboardModifiers();
    QTest::newRow("shift+click: its text alone") << Qt::KeyboardModifiers(Qt::ShiftModifier);
}

void TestClipItemView::singleClickChooses()
{
    QFETCH(Qt::KeyboardModifiers, modifiers);
    m_fixture->copyText(QStringLiteral("older"));
    m_fixture->copyText(QStringLiteral("newer"));
    auto row = makeRow(m_fixture->monitor->items().last());
    row->show();
    QSignalSpy chosen(row.get(), &ClipItemView::chosen);
    QSignalSpy plain(row.get(), &ClipItemView::plainTextChosen);
    QTest::mouseClick(row.get(), Qt::LeftButton, modifiers, row->entryRect().center());
    // Recognised as a single click once the double-click interval has passed.
    QSignalSpy& expected = modifiers ? plain : chosen;
    QVERIFY(expected.wait());
    QCOMPARE(chosen.count() + plain.count(), 1);
    QCOMPARE(expected.first().first().value<ClipboardItem>().content, QStringLiteral("older"));
}

void TestClipItemView::menuPastes_data()
{
    QTest::addColumn<bool>("formatted");
    QTest::newRow("plain text") << false;
    QTest::newRow("formatted text") << true;
}

void TestClipItemView::menuPastes()
{
    QFETCH(bool, formatted);
    const ClipboardItem entry = ClipboardItem::captured(ClipboardItemType::Text, QStringLiteral("older"));
    m_fixture->history->addItem(entry,
                                formatted ? KeptFormats{{QStringLiteral("text/html"), "<b>older</b>"}} : KeptFormats());
    PanelFixture::settle();
    auto row = makeRow(entry);
    row->show();
    QSignalSpy paste(row.get(), &ClipItemView::pasteRequested);
    QSignalSpy plain(row.get(), &ClipItemView::plainTextChosen);
    const QPoint at = row->entryRect().center();
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, row->mapToGlobal(at));
    QApplication::sendEvent(row.get(), &event);
    auto* menu = row->findChild<QMenu*>(QStringLiteral("rowMenu"));
    QVERIFY(menu);
    QCOMPARE(menu->actions().first()->text(), QStringLiteral("粘贴"));
    // Only a text kept with its formats has a plainer way to be pasted.
    QCOMPARE(menu->actions().size(), formatted ? 2 : 1);
    menu->actions().first()->trigger();
    QCOMPARE(paste.count(), 1);
    QCOMPARE(paste.first().first().value<ClipboardItem>().content, QStringLiteral("older"));
    if (formatted) {
        QCOMPARE(menu->actions().last()->text(), QStringLiteral("粘贴为纯文本"));
        menu->actions().last()->trigger();
        QCOMPARE(plain.count(), 1);
    }
}

void TestClipItemView::doubleClickOpensPreviewOnly()
{
    m_fixture->copyText(QStringLiteral("entry"));
    auto row = makeRow(m_fixture->monitor->items().first());
    row->show();
    QSignalSpy preview(row.get(), &ClipItemView::previewRequested);
    QSignalSpy chosen(row.get(), &ClipItemView::chosen);
    const QPoint centre = row->entryRect().center();
    QTest::mouseClick(row.get(), Qt::LeftButton, {}, centre);
    QTest::mouseDClick(row.get(), Qt::LeftButton, {}, centre);
    QCOMPARE(preview.count(), 1);
    QTest::qWait(QApplication::doubleClickInterval() + 100);
    QCOMPARE(chosen.count(), 0);
}

void TestClipItemView::buttonsAsk()
{
    m_fixture->copyText(QStringLiteral("b"));
    m_fixture->copyText(QStringLiteral("a"));
    const ClipboardItem entry = m_fixture->monitor->items().last();
    auto row = makeRow(entry);
    row->show();
    row->setHovered(true);
    QSignalSpy preview(row.get(), &ClipItemView::previewRequested);
    QSignalSpy pin(row.get(), &ClipItemView::pinToggleRequested);
    QSignalSpy remove(row.get(), &ClipItemView::deleteRequested);
    QSignalSpy chosen(row.get(), &ClipItemView::chosen);
    QTest::mouseClick(row->previewButton(), Qt::LeftButton);
    QCOMPARE(preview.count(), 1);
    QTest::mouseClick(row->pinButton(), Qt::LeftButton);
    QCOMPARE(pin.count(), 1);
    QCOMPARE(pin.first().first().toUuid(), entry.id);
    QTest::mouseClick(row->deleteButton(), Qt::LeftButton);
    QCOMPARE(remove.count(), 1);
    QCOMPARE(remove.first().first().value<ClipboardItem>().id, entry.id);
    // Pressing a button never chooses the entry.
    QTest::qWait(QApplication::doubleClickInterval() + 50);
    QCOMPARE(chosen.count(), 0);
}

void TestClipItemView::thumbnailLoadsAtRowSize()
{
    const ClipboardItem image = m_fixture->image(QSize(1200, 900));
    auto row = makeRow(image);
    QVERIFY(!row->hasThumbnail());
    row->show();
    QTRY_VERIFY(row->hasThumbnail());
    const QImage thumbnail =
        m_fixture->storage->loadThumbnail(image.content, QSize(316, ClipItemView::thumbnailHeight));
    QVERIFY(thumbnail.height() <= 2 * ClipItemView::thumbnailHeight * 6);
    QVERIFY(thumbnail.width() >= 316);
    row->hide();
    QVERIFY(!row->hasThumbnail());
    row->show();
    QTRY_VERIFY(row->hasThumbnail());
}

void TestClipItemView::missingImageKeepsPlaceholder()
{
    const ClipboardItem image(QUuid::createUuid(), ClipboardItemType::Image, QStringLiteral("gone.png"), false,
                              std::nullopt, ClipboardItem::currentMoment());
    auto row = makeRow(image);
    QVERIFY(!row->imageMissing());
    row->show();
    // Once the load has found nothing, the row says the image is gone instead of loading for ever.
    QTRY_VERIFY(row->imageMissing());
    QVERIFY(!row->hasThumbnail());
}

void TestClipItemView::previewButtonLabel()
{
    auto textRow = makeRow(PanelFixture::text(QStringLiteral("t")));
    auto imageRow = makeRow(m_fixture->image(QSize(4, 4)));
    textRow->setHovered(true);
    imageRow->setHovered(true);
    QVERIFY(textRow->previewButton()->showsTitle());
    QVERIFY(!textRow->pinButton()->showsTitle());
    QCOMPARE(textRow->previewButton()->sizeHint().width() < imageRow->previewButton()->sizeHint().width() + 20, true);
    PressableActionButton both(QStringLiteral("title"), QStringLiteral("trash"), [] { return QColor(Qt::red); });
    QVERIFY(!both.showsTitle());
}

void TestClipItemView::buttonTransitions_data()
{
    QTest::addColumn<bool>("pinned");
    // The change happens inside an animated update of the panel (its list moving after a count change).
    QTest::addColumn<bool>("animated");
    // What happens to the hovered row: the pointer leaves, it is bound to another entry, or it is hidden.
    QTest::addColumn<QString>("then");
    QTest::addColumn<bool>("pinShown");
    QTest::addColumn<bool>("deleteShown");
    QTest::newRow("hover in") << false << false << "" << true << true;
    QTest::newRow("hover out") << false << false << "leave" << false << false;
    QTest::newRow("pinned, hover out") << true << false << "leave" << true << false;
    QTest::newRow("animated in") << false << true << "" << true << true;
    QTest::newRow("animated out") << false << true << "leave" << false << false;
    QTest::newRow("pinned, animated out") << true << true << "leave" << true << false;
    QTest::newRow("rebound while fading in") << false << true << "rebind" << false << false;
    QTest::newRow("hidden while fading in") << false << true << "hide" << true << true;
}

void TestClipItemView::buttonTransitions()
{
    QFETCH(bool, pinned);
    QFETCH(bool, animated);
    QFETCH(QString, then);
    QFETCH(bool, pinShown);
    QFETCH(bool, deleteShown);
    // Starts in an event-loop turn of its own, outside any update the last case opened.
    QCoreApplication::processEvents();
    ClipboardItem item = PanelFixture::text(QStringLiteral("entry"));
    item.isPinned = pinned;
    auto row = makeRow(item);
    row->show();
    PressableActionButton* pin = row->pinButton();
    PressableActionButton* trash = row->deleteButton();
    QCOMPARE(pin->isVisible(), pinned);
    if (then == QLatin1String("leave"))
        row->setHovered(true);
    if (animated)
        AnimatedUpdate::open({});
    row->setHovered(then != QLatin1String("leave"));
    // Inside an animated update the buttons are still on their way; hover changes alone switch at once.
    const bool moving = animated && (trash->transitionOpacity() < 1 || trash->isVisible() != deleteShown);
    QCOMPARE(moving, animated);
    if (then == QLatin1String("rebind")) {
        row->setItem(PanelFixture::text(QStringLiteral("another")));
        row->setHovered(false);
    } else if (then == QLatin1String("hide")) {
        row->hide();
    }
    const auto settled = [&](PressableActionButton* button, bool shown) {
        if (!shown)
            return !button->isVisibleTo(row.get());
        return button->isVisibleTo(row.get()) && button->transitionOpacity() == 1 && button->transitionScale() == 1;
    };
    if (then == QLatin1String("rebind") || then == QLatin1String("hide") || !animated) {
        QVERIFY(settled(pin, pinShown));
        QVERIFY(settled(trash, deleteShown));
    }
    QTRY_VERIFY(settled(pin, pinShown) && settled(trash, deleteShown));
    // Nothing keeps running once the buttons are still.
    for (const QVariantAnimation* animation : row->findChildren<QVariantAnimation*>())
        QCOMPARE(animation->state(), QAbstractAnimation::Stopped);
}

QTEST_MAIN(TestClipItemView)
#include "tst_clipitemview.moc"
