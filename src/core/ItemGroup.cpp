#include "ItemGroup.h"

QString itemGroupTitle(ItemGroup group)
{
    switch (group) {
    case ItemGroup::Pinned:
        return QStringLiteral("已置顶");
    case ItemGroup::Today:
        return QStringLiteral("今天");
    case ItemGroup::Yesterday:
        return QStringLiteral("昨天");
    case ItemGroup::Past30Days:
        return QStringLiteral("过去 30 天");
    }
    return {};
}

int wholeDaysBetween(const QDateTime& from, const QDateTime& to)
{
    if (to < from)
        return -wholeDaysBetween(to, from);
    const QDateTime localFrom = from.toLocalTime();
    const QDateTime localTo = to.toLocalTime();
    auto days = static_cast<int>(localFrom.date().daysTo(localTo.date()));
    if (days > 0 && localTo.time() < localFrom.time())
        --days;
    return days;
}

std::optional<ItemGroup> groupForDate(const QDateTime& timestamp, const QDateTime& now)
{
    const QDate day = timestamp.toLocalTime().date();
    const QDate today = now.toLocalTime().date();
    if (day == today)
        return ItemGroup::Today;
    if (day == today.addDays(-1))
        return ItemGroup::Yesterday;
    if (wholeDaysBetween(timestamp, now) < 31)
        return ItemGroup::Past30Days;
    return std::nullopt;
}

std::optional<ItemGroup> groupForItem(const ClipboardItem& item, const QDateTime& now)
{
    if (item.isPinned)
        return ItemGroup::Pinned;
    return groupForDate(item.timestamp, now);
}

QList<ItemSection> groupedItems(const ClipboardItems& displayed, const QDateTime& now)
{
    std::array<ClipboardItems, allItemGroups.size()> buckets;
    for (const ClipboardItem& item : displayed) {
        if (const std::optional<ItemGroup> group = groupForItem(item, now))
            buckets[static_cast<size_t>(*group)].append(item);
    }
    QList<ItemSection> sections;
    for (ItemGroup group : allItemGroups) {
        ClipboardItems& bucket = buckets[static_cast<size_t>(group)];
        if (!bucket.isEmpty())
            sections.append({group, std::move(bucket)});
    }
    return sections;
}
