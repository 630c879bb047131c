#include "HistoryModel.h"

#include "ClipboardMonitor.h"

#include <QSet>

HistoryModel& HistoryModel::of(ClipboardMonitor& monitor)
{
    auto* model = monitor.findChild<HistoryModel*>(QString(), Qt::FindDirectChildrenOnly);
    return model ? *model : *new HistoryModel(monitor);
}

HistoryModel::HistoryModel(ClipboardMonitor& monitor)
    : QAbstractListModel(&monitor)
    , m_monitor(monitor)
{
    const ClipboardItems& items = monitor.items();
    m_entries.reserve(items.size());
    for (const ClipboardItem& item : items)
        m_entries.append(entryFor(item));
    connect(&monitor, &ClipboardMonitor::itemsChanged, this, &HistoryModel::sync);
}

HistoryModel::Entry HistoryModel::entryFor(const ClipboardItem& item)
{
    Entry entry{item, {}, m_nextRevision++};
    // An image entry's content is a file name: it matches by the text read from it, if any.
    if (item.isImage()) {
        if (m_imageTextSource)
            entry.key = TextSearch::keyFor(m_imageTextSource(item.content));
    } else {
        entry.key = TextSearch::keyFor(item.content);
        // Where folding changes nothing, the key shares the entry's own text.
        if (entry.key.folded == QStringView(item.content))
            entry.key.folded = item.content;
    }
    m_searchedTextSize += entry.key.folded.size();
    return entry;
}

void HistoryModel::setImageTextSource(std::function<QString(const QString&)> source)
{
    m_imageTextSource = std::move(source);
    refreshImageText();
}

void HistoryModel::refreshImageText(const QString& imageName)
{
    for (int row = 0; row < m_entries.size(); ++row) {
        Entry& entry = m_entries[row];
        if (!entry.item.isImage() || (!imageName.isEmpty() && entry.item.content != imageName))
            continue;
        m_searchedTextSize -= entry.key.folded.size();
        entry = entryFor(entry.item);
        Q_EMIT dataChanged(index(row), index(row));
    }
}

int HistoryModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_entries.size());
}

QHash<int, QByteArray> HistoryModel::roleNames() const
{
    return {{ItemRole, "item"}, {IdRole, "id"}, {Qt::DisplayRole, "display"}};
}

QVariant HistoryModel::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const ClipboardItem& item = m_entries.at(index.row()).item;
    switch (role) {
    case ItemRole:
        return QVariant::fromValue(item);
    case IdRole:
        return item.id;
    case Qt::DisplayRole:
        return item.content;
    default:
        return {};
    }
}

int HistoryModel::rowOf(const QUuid& id) const
{
    for (int row = 0; row < m_entries.size(); ++row) {
        if (m_entries.at(row).item.id == id)
            return row;
    }
    return -1;
}

void HistoryModel::sync()
{
    const ClipboardItems& target = m_monitor.items();
    QSet<QUuid> targetIds;
    targetIds.reserve(target.size());
    for (const ClipboardItem& item : target)
        targetIds.insert(item.id);

    // Entries that left the history, in runs from the end so the rows above keep their numbers.
    for (int row = int(m_entries.size()) - 1; row >= 0;) {
        if (targetIds.contains(m_entries.at(row).item.id)) {
            --row;
            continue;
        }
        int first = row;
        while (first > 0 && !targetIds.contains(m_entries.at(first - 1).item.id))
            --first;
        beginRemoveRows({}, first, row);
        for (int r = first; r <= row; ++r)
            m_searchedTextSize -= m_entries.at(r).key.folded.size();
        m_entries.remove(first, row - first + 1);
        endRemoveRows();
        row = first - 1;
    }

    QSet<QUuid> present;
    present.reserve(m_entries.size());
    for (const Entry& entry : std::as_const(m_entries))
        present.insert(entry.item.id);

    // Then walk the new order: each place holds its entry already, gets it moved up from further
    // down, or gets a new one.
    for (int row = 0; row < target.size(); ++row) {
        const ClipboardItem& wanted = target.at(row);
        if (row < m_entries.size() && m_entries.at(row).item.id == wanted.id) {
            Entry& entry = m_entries[row];
            if (entry.item == wanted)
                continue;
            if (entry.item.content != wanted.content) {
                m_searchedTextSize -= entry.key.folded.size();
                entry = entryFor(wanted);
            } else {
                entry.item = wanted;
            }
            Q_EMIT dataChanged(index(row), index(row));
            continue;
        }
        if (present.contains(wanted.id)) {
            int from = row + 1;
            while (m_entries.at(from).item.id != wanted.id)
                ++from;
            beginMoveRows({}, from, from, {}, row);
            m_entries.move(from, row);
            endMoveRows();
            --row; // look at the same place again: its data may have changed too
            continue;
        }
        beginInsertRows({}, row, row);
        m_entries.insert(row, entryFor(wanted));
        present.insert(wanted.id);
        endInsertRows();
    }
}
