#include "WidgetItemModel.h"

#include "core/HistorySearchModel.h"
#include "core/StorageManager.h"
#include "ui/ThumbnailLoader.h"

#include <QFutureWatcher>

WidgetItemModel::WidgetItemModel(HistoryModel& history, StorageManager& storage, QObject* parent)
    : QIdentityProxyModel(parent)
    , m_storage(storage)
    , m_search(new HistorySearchModel(history, this))
{
    setSourceModel(m_search);
    connect(&history, &HistoryModel::itemsChanged, this, [this] { m_missing.clear(); });
}

const ClipboardItem& WidgetItemModel::itemAt(int row) const
{
    return m_search->itemAt(row);
}

QHash<int, QByteArray> WidgetItemModel::roleNames() const
{
    QHash<int, QByteArray> names = QIdentityProxyModel::roleNames();
    names.insert(ThumbnailRole, "thumbnail");
    return names;
}

QVariant WidgetItemModel::data(const QModelIndex& index, int role) const
{
    if (role != ThumbnailRole && role != ImageMissingRole)
        return QIdentityProxyModel::data(index, role);
    if (!checkIndex(index, CheckIndexOption::IndexIsValid))
        return {};
    const ClipboardItem& item = itemAt(index.row());
    if (!item.isImage())
        return {};
    if (role == ImageMissingRole)
        return m_missing.contains(item.content);
    const QImage cached = m_storage.cachedThumbnail(item.content, m_thumbnailSize);
    if (cached.isNull())
        requestThumbnail(item.content);
    return cached;
}

void WidgetItemModel::requestThumbnail(const QString& name) const
{
    if (m_pending.contains(name) || m_missing.contains(name))
        return;
    m_pending.insert(name);
    auto* self = const_cast<WidgetItemModel*>(this);
    auto* watcher = new QFutureWatcher<QImage>(self);
    connect(watcher, &QFutureWatcher<QImage>::finished, self, [self, watcher, name] {
        watcher->deleteLater();
        self->m_pending.remove(name);
        // Missing or undecodable: the tile says so, and painting asks no more.
        if (watcher->result().isNull())
            self->m_missing.insert(name);
        for (int row = 0; row < self->rowCount(); ++row) {
            if (self->itemAt(row).content == name) {
                const QModelIndex changed = self->index(row, 0);
                Q_EMIT self->dataChanged(changed, changed, {ThumbnailRole, ImageMissingRole});
            }
        }
    });
    watcher->setFuture(ThumbnailLoader::load(m_storage, name, m_thumbnailSize));
}
