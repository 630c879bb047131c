#include "HistoryModel.h"

#include "StandardOutput.h"
#include "StorageManager.h"
#include "core/AutoClear.h"

#include <QFileInfo>
#include <QUrl>

#include <algorithm>

namespace {

const QString uriListType = QStringLiteral("text/uri-list");

} // namespace

QStringList imageNamesOf(const ClipboardItems& items)
{
    QStringList names;
    for (const ClipboardItem& item : items) {
        if (item.isImage())
            names.append(item.content);
    }
    return names;
}

HistoryModel::HistoryModel(StorageManager& storage, QObject* parent)
    : QAbstractListModel(parent)
    , m_storage(storage)
{
    ClipboardItems items = m_storage.load();
    sortItems(items);
    m_entries.reserve(items.size());
    for (const ClipboardItem& item : std::as_const(items))
        m_entries.append(entryFor(item));
    // Only the file names of the folders are listed; a list of files is read for the names it shows.
    const QHash<QUuid, QStringList> kept = m_storage.keptFormatTypes();
    for (auto types = kept.cbegin(); types != kept.cend(); ++types) {
        if (rowOf(types.key()) < 0)
            continue;
        const QByteArray uriList =
            types->contains(uriListType) ? m_storage.loadFormats(types.key()).value(uriListType) : QByteArray();
        m_kept.insert(types.key(), summaryOf(*types, uriList));
    }
    m_undoTimer.setSingleShot(true);
    m_undoTimer.setInterval(undoWindowMs);
    connect(&m_undoTimer, &QTimer::timeout, this, &HistoryModel::finishRemoval);
}

HistoryModel::~HistoryModel()
{
    // Quitting within the undo window: nothing can be taken back any more.
    if (m_pendingRemoval) {
        m_storage.deleteImagesInBackground(imageNamesOf(m_pendingRemoval->items));
        dropKeptFormats(m_pendingRemoval->items);
    }
}

HistoryModel::KeptSummary HistoryModel::summaryOf(const QStringList& types, const QByteArray& uriList)
{
    KeptSummary summary;
    for (const QString& type : types) {
        if (type == u"text/html" || type == u"text/rtf" || type == u"application/rtf")
            summary.formatted = true;
    }
    summary.files = types.contains(uriListType);
    if (!summary.files)
        return summary;
    // Names only: a file is looked up (QFileInfo::exists), never opened.
    for (qsizetype start = 0; start < uriList.size();) {
        qsizetype end = uriList.indexOf('\n', start);
        if (end < 0)
            end = uriList.size();
        const QByteArrayView line = QByteArrayView(uriList).sliced(start, end - start).trimmed();
        start = end + 1;
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        if (++summary.fileCount > shownFileNames)
            continue;
        const QUrl url = QUrl::fromEncoded(line.toByteArray());
        if (!url.isLocalFile()) {
            summary.fileNames.append(QString::fromUtf8(line));
            summary.missing.append(false);
            continue;
        }
        const QString path = url.toLocalFile();
        const QString name = QFileInfo(path.endsWith(u'/') && path.size() > 1 ? path.chopped(1) : path).fileName();
        summary.fileNames.append(name.isEmpty() ? path : name);
        summary.missing.append(!QFileInfo::exists(path));
    }
    return summary;
}

const HistoryModel::KeptSummary* HistoryModel::keptSummary(const QUuid& id) const
{
    const auto kept = m_kept.constFind(id);
    return kept == m_kept.cend() ? nullptr : &*kept;
}

KeptFormats HistoryModel::keptFormats(const QUuid& id)
{
    if (!m_kept.contains(id))
        return {};
    KeptFormats formats = m_storage.loadFormats(id);
    if (formats.isEmpty()) {
        printLine(QStringLiteral("Pellamor: The kept formats of an entry are gone; its text is offered alone"));
        m_kept.remove(id);
        if (const int row = rowOf(id); row >= 0)
            Q_EMIT dataChanged(index(row), index(row));
    }
    return formats;
}

void HistoryModel::replaceKeptFormats(const QUuid& id, const KeptFormats& formats)
{
    if (formats.isEmpty() && !m_kept.contains(id))
        return;
    m_storage.saveFormats(id, formats);
    if (formats.isEmpty())
        m_kept.remove(id);
    else
        m_kept.insert(id, summaryOf(formats.keys(), formats.value(uriListType)));
    if (const int row = rowOf(id); row >= 0)
        Q_EMIT dataChanged(index(row), index(row));
}

void HistoryModel::dropKeptFormats(const ClipboardItems& items)
{
    QList<QUuid> ids;
    for (const ClipboardItem& item : items) {
        if (m_kept.remove(item.id))
            ids.append(item.id);
    }
    m_storage.deleteFormatsInBackground(std::move(ids));
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

int HistoryModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_entries.size());
}

QHash<int, QByteArray> HistoryModel::roleNames() const
{
    return {{ItemRole, "item"}, {IdRole, "id"}, {Qt::DisplayRole, "display"}, {SearchTextRole, "searchText"}};
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
    case SearchTextRole:
        return item.isImage() ? imageText(item.content) : item.content;
    default:
        return {};
    }
}

ClipboardItems HistoryModel::items() const
{
    ClipboardItems items;
    items.reserve(m_entries.size());
    for (const Entry& entry : m_entries)
        items.append(entry.item);
    return items;
}

int HistoryModel::rowOf(const QUuid& id) const
{
    for (int row = 0; row < m_entries.size(); ++row) {
        if (m_entries.at(row).item.id == id)
            return row;
    }
    return -1;
}

bool HistoryModel::precedes(const ClipboardItem& a, const ClipboardItem& b)
{
    if (a.isPinned != b.isPinned)
        return a.isPinned;
    if (a.isPinned)
        return a.pinMoment() < b.pinMoment();
    return a.timestamp > b.timestamp;
}

void HistoryModel::sortItems(ClipboardItems& items)
{
    std::stable_sort(items.begin(), items.end(), &HistoryModel::precedes);
}

int HistoryModel::sortedRow(const ClipboardItem& item, bool firstAmongEquals) const
{
    const auto before = [](const Entry& entry, const ClipboardItem& value) { return precedes(entry.item, value); };
    const auto after = [](const ClipboardItem& value, const Entry& entry) { return precedes(value, entry.item); };
    const auto at = firstAmongEquals ? std::lower_bound(m_entries.cbegin(), m_entries.cend(), item, before)
                                     : std::upper_bound(m_entries.cbegin(), m_entries.cend(), item, after);
    return int(at - m_entries.cbegin());
}

void HistoryModel::insertEntry(int row, const ClipboardItem& item)
{
    beginInsertRows({}, row, row);
    m_entries.insert(row, entryFor(item));
    endInsertRows();
}

HistoryModel::Removal HistoryModel::removeWhere(const std::function<bool(const ClipboardItem&)>& test)
{
    Removal removal;
    // Runs from the end, so the rows above keep their numbers.
    for (int row = int(m_entries.size()) - 1; row >= 0;) {
        if (!test(m_entries.at(row).item)) {
            --row;
            continue;
        }
        int first = row;
        while (first > 0 && test(m_entries.at(first - 1).item))
            --first;
        beginRemoveRows({}, first, row);
        for (int r = row; r >= first; --r) {
            removal.items.prepend(m_entries.at(r).item);
            removal.rows.prepend(r);
            removal.above.prepend(r > 0 ? m_entries.at(r - 1).item.id : QUuid());
            m_searchedTextSize -= m_entries.at(r).key.folded.size();
        }
        m_entries.remove(first, row - first + 1);
        endRemoveRows();
        row = first - 1;
    }
    return removal;
}

void HistoryModel::save()
{
    m_storage.saveInBackground(items());
}

void HistoryModel::addItem(const ClipboardItem& item, const KeptFormats& formats)
{
    m_queued.append(item);
    replaceKeptFormats(item.id, formats);
    QMetaObject::invokeMethod(
        this,
        [this, item] {
            if (!m_queued.isEmpty())
                m_queued.removeFirst();
            // As if put first and sorted: it goes before every entry it ties with.
            insertEntry(sortedRow(item, true), item);
            const QStringList removedImages = trimToMaxItems();
            save();
            m_storage.deleteImagesInBackground(removedImages);
            Q_EMIT itemsChanged();
        },
        Qt::QueuedConnection);
}

const ClipboardItem* HistoryModel::newestEntry() const
{
    // Changes that follow each other closely are decided before the entries of the earlier ones are in:
    // the newest of those is where it will be then, unless a pinned entry stays above it.
    if (!m_queued.isEmpty() && (m_entries.isEmpty() || !m_entries.first().item.isPinned))
        return &m_queued.last();
    return m_entries.isEmpty() ? nullptr : &m_entries.first().item;
}

QStringList HistoryModel::trimToMaxItems()
{
    // Oldest unpinned entries go first; returns the image files to delete.
    QStringList removedImages;
    while (m_entries.size() > maxItems) {
        int row = int(m_entries.size()) - 1;
        while (row >= 0 && m_entries.at(row).item.isPinned)
            --row;
        if (row < 0)
            break;
        const ClipboardItem& item = m_entries.at(row).item;
        if (item.isImage())
            removedImages.append(item.content);
        dropKeptFormats({item});
        beginRemoveRows({}, row, row);
        m_searchedTextSize -= m_entries.at(row).key.folded.size();
        m_entries.remove(row);
        endRemoveRows();
    }
    return removedImages;
}

void HistoryModel::togglePin(const QUuid& id)
{
    const int from = rowOf(id);
    if (from < 0)
        return;
    Entry& entry = m_entries[from];
    entry.item.isPinned = !entry.item.isPinned;
    entry.item.pinTimestamp = entry.item.isPinned ? std::optional(ClipboardItem::currentMoment()) : std::nullopt;
    Q_EMIT dataChanged(index(from), index(from));

    // Its new place in history order. A newly pinned entry came from below the pinned block, so it goes
    // after the pinned entries it ties with; an unpinned one came from above, so before its equals.
    const Entry moving = m_entries.takeAt(from);
    const int to = sortedRow(moving.item, !moving.item.isPinned);
    m_entries.insert(from, moving);
    if (to != from) {
        beginMoveRows({}, from, from, {}, to > from ? to + 1 : to);
        m_entries.move(from, to);
        endMoveRows();
    }
    save();
    Q_EMIT itemsChanged();
}

void HistoryModel::deleteItem(const ClipboardItem& item)
{
    Removal removal = removeWhere([&item](const ClipboardItem& entry) { return entry.id == item.id; });
    if (removal.items.isEmpty()) {
        // Not (or no longer) in the history: nothing to take back, the file goes at once.
        if (item.isImage())
            m_storage.deleteImagesInBackground({item.content});
        dropKeptFormats({item});
        save();
        return;
    }
    save();
    removal.kind = Removal::Kind::Deleted;
    beginRemoval(std::move(removal));
    Q_EMIT itemsChanged();
}

void HistoryModel::updateItem(const ClipboardItem& item, const QString& newText)
{
    const int row = rowOf(item.id);
    if (row < 0)
        return;
    Entry& entry = m_entries[row];
    m_searchedTextSize -= entry.key.folded.size();
    ClipboardItem changed = entry.item;
    changed.content = newText;
    entry = entryFor(changed);
    dropKeptFormats({changed});
    Q_EMIT dataChanged(index(row), index(row));
    save();
    Q_EMIT itemsChanged();
}

void HistoryModel::clearAll()
{
    Removal removal = removeWhere([](const ClipboardItem& item) { return !item.isPinned; });
    if (removal.items.isEmpty())
        return;
    save();
    removal.kind = Removal::Kind::Cleared;
    beginRemoval(std::move(removal));
    Q_EMIT itemsChanged();
}

void HistoryModel::beginRemoval(Removal removal)
{
    // Only the newest removal can be taken back; the one before it is final now.
    if (m_pendingRemoval)
        finishRemoval();
    m_pendingRemoval = std::move(removal);
    m_undoTimer.start();
    Q_EMIT pendingRemovalChanged();
}

void HistoryModel::undoRemoval()
{
    if (!m_pendingRemoval)
        return;
    m_undoTimer.stop();
    const Removal removal = std::move(*m_pendingRemoval);
    m_pendingRemoval.reset();
    // In ascending order each entry goes back under the entry that was just above it, itself put back
    // first if it was removed too, so entries captured in the same second keep their order. Entries
    // copied or changed meanwhile keep the history order: the entry goes no further than its equals.
    for (qsizetype i = 0; i < removal.items.size(); ++i) {
        const ClipboardItem& item = removal.items.at(i);
        if (rowOf(item.id) >= 0)
            continue;
        const QUuid& above = removal.above.at(i);
        const int aboveRow = above.isNull() ? -1 : rowOf(above);
        const int row = above.isNull() ? 0 : aboveRow >= 0 ? aboveRow + 1 : removal.rows.at(i);
        insertEntry(std::clamp(row, sortedRow(item, true), sortedRow(item, false)), item);
    }
    const QStringList removedImages = trimToMaxItems();
    save();
    m_storage.deleteImagesInBackground(removedImages);
    Q_EMIT pendingRemovalChanged();
    Q_EMIT itemsChanged();
}

void HistoryModel::finishRemoval()
{
    if (!m_pendingRemoval)
        return;
    m_undoTimer.stop();
    const QStringList images = imageNamesOf(m_pendingRemoval->items);
    dropKeptFormats(m_pendingRemoval->items);
    m_pendingRemoval.reset();
    m_storage.deleteImagesInBackground(images);
    Q_EMIT pendingRemovalChanged();
}

void HistoryModel::enforceAutoClear(qint64 ageLimitSeconds)
{
    if (ageLimitSeconds <= 0)
        return;
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const auto expired = [now, ageLimitSeconds](const ClipboardItem& item) {
        return isExpired(item, ageLimitSeconds, now);
    };
    if (std::none_of(m_entries.cbegin(), m_entries.cend(), [&](const Entry& entry) { return expired(entry.item); }))
        return;

    QMetaObject::invokeMethod(
        this,
        [this, expired] {
            // Only entries removed here go: an entry pinned in the meantime stays, with its file.
            Removal removal = removeWhere(expired);
            if (removal.items.isEmpty())
                return;
            save();
            // Taken back like a clear: the image files stay until the undo window is over.
            removal.kind = Removal::Kind::Expired;
            beginRemoval(std::move(removal));
            Q_EMIT itemsChanged();
        },
        Qt::QueuedConnection);
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
        Q_EMIT dataChanged(index(row), index(row), {SearchTextRole});
    }
}
