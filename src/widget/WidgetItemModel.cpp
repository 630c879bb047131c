#include "WidgetItemModel.h"

#include "core/ClipboardMonitor.h"
#include "core/StorageManager.h"
#include "panel/ThumbnailLoader.h"

#include <QFutureWatcher>
#include <QPointer>

WidgetItemModel::WidgetItemModel(ClipboardMonitor& monitor, StorageManager& storage, QObject* parent)
    : QAbstractListModel(parent)
    , m_monitor(monitor)
    , m_storage(storage)
    , m_items(monitor.items())
{
    connect(&m_monitor, &ClipboardMonitor::itemsChanged, this, &WidgetItemModel::reload);
}

void WidgetItemModel::reload()
{
    beginResetModel();
    m_items = m_monitor.items();
    m_missing.clear();
    endResetModel();
}

int WidgetItemModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_items.size());
}

QHash<int, QByteArray> WidgetItemModel::roleNames() const
{
    return {{ItemRole, "item"}, {ThumbnailRole, "thumbnail"}, {Qt::DisplayRole, "display"}};
}

QVariant WidgetItemModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= m_items.size())
        return {};
    const ClipboardItem& item = m_items.at(index.row());
    switch (role) {
    case ItemRole:
        return QVariant::fromValue(item);
    case Qt::DisplayRole:
        return item.content;
    case ThumbnailRole: {
        if (!item.isImage())
            return {};
        const QImage cached = m_storage.cachedThumbnail(item.content, m_thumbnailSize);
        if (cached.isNull())
            requestThumbnail(item.content);
        return cached;
    }
    case ImageMissingRole:
        return item.isImage() && m_missing.contains(item.content);
    default:
        return {};
    }
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
        for (int row = 0; row < self->m_items.size(); ++row) {
            if (self->m_items.at(row).content == name) {
                const QModelIndex changed = self->index(row);
                Q_EMIT self->dataChanged(changed, changed, {ThumbnailRole, ImageMissingRole});
            }
        }
    });
    watcher->setFuture(ThumbnailLoader::load(m_storage, name, m_thumbnailSize));
}
