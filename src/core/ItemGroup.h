#pragma once

#include "ClipboardItem.h"

#include <array>
#include <optional>

// The panel's time sections, in display order.
enum class ItemGroup { Pinned, Today, Yesterday, Past30Days };

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

// Places each entry of the display list (history order kept inside a group) and returns the non-empty
// sections in display order.
QList<ItemSection> groupedItems(const ClipboardItems& displayed, const QDateTime& now);
