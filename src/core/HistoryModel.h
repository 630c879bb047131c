#pragma once

#include "ClipboardItem.h"
#include "TextSearch.h"

#include <QAbstractListModel>

#include <functional>

class ClipboardMonitor;

// The history as a list model, in history order (pinned first, then newest first). It follows the
// monitor, which stays the only writer of the history: each published change becomes the rows
// inserted, removed, moved or changed, never a reset. Each text entry carries its search key,
// computed when the entry arrives or its text changes.
class HistoryModel : public QAbstractListModel
{
    Q_OBJECT

public:
    enum Role { ItemRole = Qt::UserRole + 1, IdRole };

    // The one model of a monitor, created on first use and owned by the monitor.
    static HistoryModel& of(ClipboardMonitor& monitor);

    explicit HistoryModel(ClipboardMonitor& monitor);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QHash<int, QByteArray> roleNames() const override;

    const ClipboardItem& itemAt(int row) const { return m_entries.at(row).item; }
    const TextSearch::Key& keyAt(int row) const { return m_entries.at(row).key; }
    // Grows whenever an entry's text is set, so a stored match result can tell it is stale.
    quint64 revisionAt(int row) const { return m_entries.at(row).revision; }
    int rowOf(const QUuid& id) const;
    // Characters of text the search keys hold in all.
    qsizetype searchedTextSize() const { return m_searchedTextSize; }

    struct Entry
    {
        ClipboardItem item;
        TextSearch::Key key;
        quint64 revision = 0;
    };
    const QList<Entry>& entries() const { return m_entries; }

    // Where image entries get the text they are searched by (the text read from them); without a source
    // they match nothing.
    void setImageTextSource(std::function<QString(const QString& imageName)> source);
    // The source's text of this image changed (an empty name: of every image): its entries get new keys.
    void refreshImageText(const QString& imageName = {});
    // The source's text of this image; empty without a source.
    QString imageText(const QString& imageName) const
    {
        return m_imageTextSource ? m_imageTextSource(imageName) : QString();
    }

private:
    void sync();
    Entry entryFor(const ClipboardItem& item);

    ClipboardMonitor& m_monitor;
    std::function<QString(const QString&)> m_imageTextSource;
    QList<Entry> m_entries;
    quint64 m_nextRevision = 1;
    qsizetype m_searchedTextSize = 0;
};
