#pragma once

#include "ClipboardItem.h"

#include <QHash>

#include <array>
#include <optional>

// The panel's time sections, in display order. A search lists the whole history: the entries older
// than 30 days, which the plain list leaves out, follow under Older.
enum class ItemGroup { Pinned, Today, Yesterday, Past30Days, Older };

inline constexpr std::array<ItemGroup, 4> allItemGroups = {ItemGroup::Pinned, ItemGroup::Today, ItemGroup::Yesterday,
                                                           ItemGroup::Past30Days};

// The section title, which is also the group's identity.
QString itemGroupTitle(ItemGroup group);

// Whole calendar days from `from` to `to` in local time; negative when `to` lies before `from`.
int wholeDaysBetween(const QDateTime& from, const QDateTime& to);

// The time group of an unpinned entry captured at `timestamp`; none once it is 31 or more days old.
std::optional<ItemGroup> groupForDate(const QDateTime& timestamp, const QDateTime& now);
std::optional<ItemGroup> groupForItem(const ClipboardItem& item, const QDateTime& now);

struct ItemSection
{
    ItemGroup group;
    ClipboardItems items;

    friend bool operator==(const ItemSection&, const ItemSection&) = default;
};

// Places entries, the pinned test first; with `listOlder`, an entry 31 or more days old goes under
// Older instead of nowhere. Each local-time conversion asks the C library, which reads the zone file
// every time: the group of each timestamp is kept for a minute, so a list of 1000 costs little.
class ItemGrouper
{
public:
    explicit ItemGrouper(bool listOlder = false)
        : m_listOlder(listOlder)
    {}

    void setListOlder(bool listOlder) { m_listOlder = listOlder; }
    bool listsOlder() const { return m_listOlder; }
    std::optional<ItemGroup> groupOf(const ClipboardItem& item, const QDateTime& now);

private:
    bool m_listOlder;
    QHash<qint64, std::optional<ItemGroup>> m_groups;
    QDateTime m_computedAt;
};

// The sections of a list whose entries have the given groups (none: not listed): for each non-empty
// group, in display order, the positions of its entries in list order.
struct GroupedRows
{
    ItemGroup group;
    QList<int> rows;
};
QList<GroupedRows> groupedRows(const QList<std::optional<ItemGroup>>& groups);

// Places each entry of the display list (history order kept inside a group) and returns the non-empty
// sections in display order.
QList<ItemSection> groupedItems(const ClipboardItems& displayed, const QDateTime& now);
