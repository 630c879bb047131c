#pragma once

#include "ClipboardItem.h"
#include "TextSearch.h"
#include "platform/ClipboardSnapshot.h"

#include <QAbstractListModel>
#include <QTimer>

#include <functional>
#include <optional>

class StorageManager;

// The clipboard history: its one owner and its list model, in history order (pinned first in the
// order they were pinned, then the rest newest first). Every operation that changes the history runs
// here on the main thread and announces the rows it inserts, removes, moves or changes as it goes,
// never a reset; each then saves through the store's worker. It needs nothing but a store, so a
// program without a clipboard or a window can read and change the history too. Each entry carries
// its search key, computed when the entry arrives or its text changes.
class HistoryModel : public QAbstractListModel
{
    Q_OBJECT

public:
    enum Role {
        ItemRole = Qt::UserRole + 1,
        IdRole,
        // The text the entry is found by: for an image, the text read from it, which may arrive later.
        SearchTextRole
    };

    static constexpr int maxItems = 1000;
    // How long a clear or a delete can be taken back; the image files of the removed entries stay on
    // disk until then.
    static constexpr int undoWindowMs = 8000;

    // The last clear, delete or automatic clean-up while it can still be taken back: the entries in ascending row
    // order, each with the row it held and the entry just above it then (none for the first row).
    struct Removal
    {
        enum class Kind { Cleared, Deleted, Expired };
        Kind kind = Kind::Cleared;
        ClipboardItems items;
        QList<int> rows;
        QList<QUuid> above;
    };

    // What the views show of the formats an entry keeps beside its text.
    struct KeptSummary
    {
        // Kept as HTML or RTF.
        bool formatted = false;
        // A list of copied files: the names of the first shownFileNames and how many there are in all.
        bool files = false;
        QStringList fileNames;
        // Per shown name: no file stands there (looked up when the entry arrived or the program started).
        QList<bool> missing;
        int fileCount = 0;
    };
    static constexpr int shownFileNames = 20;
    static KeptSummary summaryOf(const QStringList& types, const QByteArray& uriList);

    struct Entry
    {
        ClipboardItem item;
        TextSearch::Key key;
        // Grows whenever the entry's text is set, so a stored match result can tell it is stale.
        quint64 revision = 0;
    };

    // Loads and sorts the stored history.
    explicit HistoryModel(StorageManager& storage, QObject* parent = nullptr);
    // Deletes the image files of a removal that can no longer be taken back.
    ~HistoryModel() override;

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QHash<int, QByteArray> roleNames() const override;

    StorageManager& storage() const { return m_storage; }
    const QList<Entry>& entries() const { return m_entries; }
    // A copy of the entries, as the history file holds them.
    ClipboardItems items() const;
    const ClipboardItem& itemAt(int row) const { return m_entries.at(row).item; }
    const TextSearch::Key& keyAt(int row) const { return m_entries.at(row).key; }
    quint64 revisionAt(int row) const { return m_entries.at(row).revision; }
    int rowOf(const QUuid& id) const;
    // Characters of text the search keys hold in all.
    qsizetype searchedTextSize() const { return m_searchedTextSize; }

    // Queues the entry for insertion in a later turn of the event loop: it goes in at its place in
    // history order, then the history is trimmed to maxItems (oldest unpinned first) and saved.
    void addItem(const ClipboardItem& item, const KeptFormats& formats = {});
    // The formats of a later copy of the entry's text replace those it kept (none: it keeps none).
    void replaceKeptFormats(const QUuid& id, const KeptFormats& formats);
    // What the entry keeps beside its text, or null.
    const KeptSummary* keptSummary(const QUuid& id) const;
    // The entry's kept formats, read from the store. Formats gone from the disk are forgotten: the entry
    // is offered as its text alone from then on.
    KeptFormats keptFormats(const QUuid& id);
    // The first entry of the history once the entries queued by addItem are in.
    const ClipboardItem* newestEntry() const;

    void togglePin(const QUuid& id);
    // Removes the entry and saves at once; it can be taken back for undoWindowMs (see undoRemoval).
    // An entry no longer in the history still has its image file deleted.
    void deleteItem(const ClipboardItem& item);
    // Sets the text of the entry in place: no move, no new timestamp. Kept formats no longer match the
    // text and are dropped.
    void updateItem(const ClipboardItem& item, const QString& newText);
    // Removes every unpinned entry and saves at once; it can be taken back for undoWindowMs.
    void clearAll();
    // In a later turn of the event loop, removes the unpinned entries older than the age limit (0: none).
    void enforceAutoClear(qint64 ageLimitSeconds);

    // The clear or delete that can still be taken back, if any. A newer one replaces it.
    const std::optional<Removal>& pendingRemoval() const { return m_pendingRemoval; }
    // Brings the entries of the pending removal back at the rows they held, with their images, and saves.
    void undoRemoval();
    // Ends the undo window now: the image files of the removed entries are deleted.
    void finishRemoval();
    // For tests: a shorter undo window.
    void setUndoWindow(int milliseconds) { m_undoTimer.setInterval(milliseconds); }

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

    // Whether a comes before b in history order.
    static bool precedes(const ClipboardItem& a, const ClipboardItem& b);
    static void sortItems(ClipboardItems& items);

Q_SIGNALS:
    // After each operation that changed the history, once its rows are announced.
    void itemsChanged();
    // A removal became undoable, was taken back or is over; read pendingRemoval().
    void pendingRemovalChanged();

private:
    Entry entryFor(const ClipboardItem& item);
    void insertEntry(int row, const ClipboardItem& item);
    // Removes the entries that satisfy the test, in runs from the end; returns them in ascending row order.
    Removal removeWhere(const std::function<bool(const ClipboardItem&)>& test);
    // The row where item goes among the entries, in history order; among equals, first or last.
    int sortedRow(const ClipboardItem& item, bool firstAmongEquals) const;
    QStringList trimToMaxItems();
    // Forgets the kept formats of these entries and deletes their folders.
    void dropKeptFormats(const ClipboardItems& items);
    void save();
    void beginRemoval(Removal removal);

    StorageManager& m_storage;
    std::function<QString(const QString&)> m_imageTextSource;
    QList<Entry> m_entries;
    // Queued by addItem, not yet in the entries; oldest first.
    ClipboardItems m_queued;
    quint64 m_nextRevision = 1;
    qsizetype m_searchedTextSize = 0;
    std::optional<Removal> m_pendingRemoval;
    // Entries that keep formats, including removed ones while they can be taken back.
    QHash<QUuid, KeptSummary> m_kept;
    QTimer m_undoTimer;
};

QStringList imageNamesOf(const ClipboardItems& items);
