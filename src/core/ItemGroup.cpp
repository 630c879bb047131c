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
    case ItemGroup::Older:
        return QStringLiteral("更早");
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

std::optional<ItemGroup> ItemGrouper::groupOf(const ClipboardItem& item, const QDateTime& now)
{
    if (item.isPinned)
        return ItemGroup::Pinned;
    if (!m_computedAt.isValid() || qAbs(m_computedAt.secsTo(now)) >= 60) {
        m_groups.clear();
        m_computedAt = now;
    }
    const qint64 key = item.timestamp.toMSecsSinceEpoch();
    auto found = m_groups.constFind(key);
    if (found == m_groups.cend())
        found = m_groups.insert(key, groupForDate(item.timestamp, m_computedAt));
    if (!*found && m_listOlder)
        return ItemGroup::Older;
    return *found;
}

QList<GroupedRows> groupedRows(const QList<std::optional<ItemGroup>>& groups)
{
    constexpr size_t groupCount = static_cast<size_t>(ItemGroup::Older) + 1;
    std::array<QList<int>, groupCount> buckets;
    for (qsizetype row = 0; row < groups.size(); ++row) {
        if (const std::optional<ItemGroup> group = groups.at(row))
            buckets[static_cast<size_t>(*group)].append(int(row));
    }
    QList<GroupedRows> sections;
    for (size_t group = 0; group < groupCount; ++group) {
        if (!buckets[group].isEmpty())
            sections.append({static_cast<ItemGroup>(group), std::move(buckets[group])});
    }
    return sections;
}

QList<ItemSection> groupedItems(const ClipboardItems& displayed, const QDateTime& now)
{
    ItemGrouper grouper;
    QList<std::optional<ItemGroup>> groups;
    groups.reserve(displayed.size());
    for (const ClipboardItem& item : displayed)
        groups.append(grouper.groupOf(item, now));
    QList<ItemSection> sections;
    for (const GroupedRows& section : groupedRows(groups)) {
        ClipboardItems items;
        items.reserve(section.rows.size());
        for (int row : section.rows)
            items.append(displayed.at(row));
        sections.append({section.group, std::move(items)});
    }
    return sections;
}
