#pragma once

#include "core/ClipboardItem.h"

#include <QAbstractListModel>
#include <QSet>
#include <QSize>

class ClipboardMonitor;
class StorageManager;

// Every history entry, in history order, for the board. Thumbnails are looked up in the store's cache
// while painting and decoded off the main thread when missing; the row is updated once one arrives.
class WidgetItemModel : public QAbstractListModel
{
    Q_OBJECT

public:
    // ImageMissingRole: the image's load finished and found nothing (file missing or unreadable).
    enum Role { ItemRole = Qt::UserRole + 1, ThumbnailRole, ImageMissingRole };

    WidgetItemModel(ClipboardMonitor& monitor, StorageManager& storage, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QHash<int, QByteArray> roleNames() const override;

    const ClipboardItem& itemAt(int row) const { return m_items.at(row); }
    // Pixel size of the thumbnails asked for (tile size times the screen's pixel ratio).
    void setThumbnailSize(const QSize& size) { m_thumbnailSize = size; }
    int pendingThumbnails() const { return int(m_pending.size()); }

private:
    void reload();
    void requestThumbnail(const QString& name) const;

    ClipboardMonitor& m_monitor;
    StorageManager& m_storage;
    ClipboardItems m_items;
    QSize m_thumbnailSize{100, 100};
    mutable QSet<QString> m_pending;
    // Files that did not load: asked for again only after the history changes.
    mutable QSet<QString> m_missing;
};
