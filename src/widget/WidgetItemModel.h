#pragma once

#include "core/ClipboardItem.h"
#include "core/HistoryModel.h"

#include <QIdentityProxyModel>
#include <QSet>
#include <QSize>

class HistorySearchModel;
class StorageManager;

// The entries the board shows: the history filtered by the board's search, in history order, with
// thumbnails. Thumbnails are looked up in the store's cache while painting and decoded off the main
// thread when missing; the row is updated once one arrives.
class WidgetItemModel : public QIdentityProxyModel
{
    Q_OBJECT

public:
    // ImageMissingRole: the image's load finished and found nothing (file missing or unreadable).
    enum Role { ItemRole = HistoryModel::ItemRole, ThumbnailRole = HistoryModel::IdRole + 1, ImageMissingRole };

    WidgetItemModel(HistoryModel& history, StorageManager& storage, QObject* parent = nullptr);

    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QHash<int, QByteArray> roleNames() const override;

    const ClipboardItem& itemAt(int row) const;
    HistorySearchModel* searchModel() const { return m_search; }
    // Pixel size of the thumbnails asked for (tile size times the screen's pixel ratio).
    void setThumbnailSize(const QSize& size) { m_thumbnailSize = size; }
    int pendingThumbnails() const { return int(m_pending.size()); }

private:
    void requestThumbnail(const QString& name) const;

    StorageManager& m_storage;
    HistorySearchModel* m_search;
    QSize m_thumbnailSize{100, 100};
    mutable QSet<QString> m_pending;
    // Files that did not load: asked for again only after the history changes.
    mutable QSet<QString> m_missing;
};
