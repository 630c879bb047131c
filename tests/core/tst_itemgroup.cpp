#include "core/ItemGroup.h"

#include <QTest>

namespace {

QDateTime local(int year, int month, int day, int hour, int minute, int second)
{
    return QDateTime(QDate(year, month, day), QTime(hour, minute, second), Qt::LocalTime);
}

ClipboardItem entry(const QString& text, const QDateTime& timestamp, bool pinned = false)
{
    return ClipboardItem(QUuid::createUuid(), ClipboardItemType::Text, text, pinned,
                         pinned ? std::optional(timestamp) : std::nullopt, timestamp.toUTC());
}

} // namespace

Q_DECLARE_METATYPE(std::optional<ItemGroup>)

class TestItemGroup : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void titles();
    void placesDates_data();
    void placesDates();
    void pinnedAlwaysListed();
    void groupsInSectionOrderKeepingInputOrder();
    void nothingToGroup();
};

void TestItemGroup::titles()
{
    QStringList titles;
    for (ItemGroup group : allItemGroups)
        titles << itemGroupTitle(group);
    QCOMPARE(titles, QStringList({QStringLiteral("已置顶"), QStringLiteral("今天"), QStringLiteral("昨天"),
                                  QStringLiteral("过去 30 天")}));
}

void TestItemGroup::placesDates_data()
{
    QTest::addColumn<QDateTime>("timestamp");
    QTest::addColumn<std::optional<ItemGroup>>("group");
    // now is 2025-03-14 10:00:00 local time.
    QTest::newRow("just now") << local(2025, 3, 14, 9, 59, 0) << std::optional(ItemGroup::Today);
    QTest::newRow("first second of today") << local(2025, 3, 14, 0, 0, 5) << std::optional(ItemGroup::Today);
    QTest::newRow("last second of yesterday") << local(2025, 3, 13, 23, 59, 59) << std::optional(ItemGroup::Yesterday);
    QTest::newRow("early yesterday") << local(2025, 3, 13, 0, 0, 0) << std::optional(ItemGroup::Yesterday);
    QTest::newRow("two days") << local(2025, 3, 12, 23, 0, 0) << std::optional(ItemGroup::Past30Days);
    QTest::newRow("30 whole days") << local(2025, 2, 12, 10, 0, 0) << std::optional(ItemGroup::Past30Days);
    QTest::newRow("31 days less a second") << local(2025, 2, 11, 10, 0, 1) << std::optional(ItemGroup::Past30Days);
    QTest::newRow("31 whole days") << local(2025, 2, 11, 10, 0, 0) << std::optional<ItemGroup>();
    QTest::newRow("a year") << local(2024, 3, 14, 10, 0, 0) << std::optional<ItemGroup>();
    QTest::newRow("later today") << local(2025, 3, 14, 23, 0, 0) << std::optional(ItemGroup::Today);
    QTest::newRow("clock set back, future day") << local(2025, 3, 20, 8, 0, 0) << std::optional(ItemGroup::Past30Days);
}

void TestItemGroup::placesDates()
{
    QFETCH(QDateTime, timestamp);
    QFETCH(std::optional<ItemGroup>, group);
    const QDateTime now = local(2025, 3, 14, 10, 0, 0);
    QCOMPARE(groupForDate(timestamp.toUTC(), now.toUTC()), group);
}

void TestItemGroup::pinnedAlwaysListed()
{
    const QDateTime now = local(2025, 3, 14, 10, 0, 0);
    QCOMPARE(groupForItem(entry(QStringLiteral("old"), local(2024, 1, 1, 0, 0, 0), true), now), ItemGroup::Pinned);
    QCOMPARE(groupForItem(entry(QStringLiteral("new"), now, true), now), ItemGroup::Pinned);
}

void TestItemGroup::groupsInSectionOrderKeepingInputOrder()
{
    const QDateTime now = local(2025, 3, 14, 10, 0, 0);
    const ClipboardItem pinnedOld = entry(QStringLiteral("p1"), local(2024, 1, 1, 0, 0, 0), true);
    const ClipboardItem pinnedNew = entry(QStringLiteral("p2"), local(2025, 3, 14, 9, 0, 0), true);
    const ClipboardItem today1 = entry(QStringLiteral("t1"), local(2025, 3, 14, 9, 30, 0));
    const ClipboardItem today2 = entry(QStringLiteral("t2"), local(2025, 3, 14, 8, 0, 0));
    const ClipboardItem older = entry(QStringLiteral("o"), local(2025, 3, 1, 8, 0, 0));
    const ClipboardItem ancient = entry(QStringLiteral("a"), local(2024, 3, 1, 8, 0, 0));

    const QList<ItemSection> sections =
        groupedItems({pinnedOld, pinnedNew, today1, today2, older, ancient}, now.toUTC());
    const QList<ItemSection> expected = {
        {ItemGroup::Pinned, {pinnedOld, pinnedNew}},
        {ItemGroup::Today, {today1, today2}},
        {ItemGroup::Past30Days, {older}},
    };
    QCOMPARE(sections, expected);
}

void TestItemGroup::nothingToGroup()
{
    QVERIFY(groupedItems({}, QDateTime::currentDateTimeUtc()).isEmpty());
    const ClipboardItem ancient = entry(QStringLiteral("a"), QDateTime::currentDateTime().addDays(-400));
    QVERIFY(groupedItems({ancient}, QDateTime::currentDateTimeUtc()).isEmpty());
}

QTEST_GUILESS_MAIN(TestItemGroup)
#include "tst_itemgroup.moc"
