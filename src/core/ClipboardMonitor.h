#pragma once

#include "ClipboardItem.h"
#include "platform/ClipboardSnapshot.h"

#include <QImage>
#include <QObject>
#include <QTimer>

#include <optional>

class Pasteboard;
class Preferences;
class StorageManager;

// The single owner of the history. Runs its poll step whenever the clipboard reports a change (and, for a
// clipboard that cannot report every change, twice a second), turns new contents into entries, and offers
// every operation that changes the history. Everything runs on the main thread; saves and file deletions go
// to the storage worker with a snapshot.
class ClipboardMonitor : public QObject
{
    Q_OBJECT

public:
    static constexpr int maxItems = 1000;
    static constexpr int maxFileUrls = ClipboardReading::maxFileUrls;
    static constexpr int pollIntervalMs = 500;
    // How long a clear or a delete can be taken back; the image files of the removed entries stay on
    // disk until then.
    static constexpr int undoWindowMs = 8000;

    // The last clear or delete while it can still be taken back.
    struct Removal
    {
        enum class Kind { Cleared, Deleted };
        Kind kind = Kind::Cleared;
        ClipboardItems items;
    };

    // What one change of the clipboard adds to the history.
    struct Capture
    {
        // Marked as a secret while the filter is on: the change is passed over and nothing else runs.
        bool skipped = false;
        // One image entry each, added in this order.
        QList<QImage> images;
        // A text entry, when there is no image.
        std::optional<QString> text;
    };
    // The capture rules over one change's contents, in their order: the markers, the files' images, the
    // clipboard's image, the text and the duplicate rule, which compares with newest (the first entry).
    static Capture captureFrom(const ClipboardContents& contents, bool ignoreSensitive, const ClipboardItem* newest);

    // Loads and sorts the stored history. Whatever is on the clipboard now is never captured.
    ClipboardMonitor(StorageManager& storage, Pasteboard& pasteboard, Preferences& preferences,
                     QObject* parent = nullptr);
    // Deletes the image files of a removal that can no longer be taken back.
    ~ClipboardMonitor() override;

    // Pinned entries first in the order they were pinned, then the rest newest first.
    const ClipboardItems& items() const { return m_items; }
    qint64 lastChangeCount() const { return m_lastChangeCount; }
    bool isMonitoring() const { return m_monitoring; }
    // Whether the 0.5 s poll runs: only for a clipboard that does not report every change itself.
    bool isPolling() const { return m_timer.isActive(); }

    void startMonitoring();
    void stopMonitoring();

    // One poll step.
    void checkClipboard();
    // The next change of the clipboard is passed over, as while paused; the ones after it are captured.
    void ignoreNextChange() { m_ignoreNextChange = true; }

    // Puts the entry back on the clipboard without capturing it again; the history is unchanged.
    void copyToClipboard(const ClipboardItem& item);
    void togglePin(const QUuid& id);
    // Removes the entry and saves at once; it can be taken back for undoWindowMs (see undoRemoval).
    void deleteItem(const ClipboardItem& item);
    void updateItem(const ClipboardItem& item, const QString& newText);
    // Removes every unpinned entry and saves at once; it can be taken back for undoWindowMs.
    void clearAll();

    // The clear or delete that can still be taken back, if any. A newer one replaces it.
    const std::optional<Removal>& pendingRemoval() const { return m_pendingRemoval; }
    // Brings the entries of the pending removal back, in their places and with their images, and saves.
    void undoRemoval();
    // Ends the undo window now: the image files of the removed entries are deleted. Called when the
    // window is over and at quit.
    void finishRemoval();
    // For tests: a shorter undo window.
    void setUndoWindow(int milliseconds) { m_undoTimer.setInterval(milliseconds); }
    // Removes unpinned entries older than the clean-up period of the preferences.
    void enforceAutoClear();

    // Queues the entry for insertion at the top in a later turn of the event loop, then trims the
    // history to maxItems (oldest unpinned first), sorts and saves.
    void addItem(const ClipboardItem& item);

    static void sortItems(ClipboardItems& items);
    static const QStringList& sensitiveMarkerTypes();
    static const QStringList& imageFileExtensions();

Q_SIGNALS:
    void itemsChanged();
    // A removal became undoable, was taken back or is over; read pendingRemoval().
    void pendingRemovalChanged();

private:
    // The first entry of the history once the entries queued by addItem are in.
    const ClipboardItem* firstEntry() const;
    void sortItems();
    void saveItems();
    void publish();
    void beginRemoval(Removal::Kind kind, ClipboardItems removed);
    QStringList trimToMaxItems();

    StorageManager& m_storage;
    Pasteboard& m_pasteboard;
    Preferences& m_preferences;
    ClipboardItems m_items;
    // Queued by addItem, not yet in m_items; oldest first.
    ClipboardItems m_pending;
    QTimer m_timer;
    qint64 m_lastChangeCount = 0;
    bool m_monitoring = false;
    // Inside copyToClipboard: the changes of our own write are not captured.
    bool m_writingBack = false;
    bool m_ignoreNextChange = false;
    QMetaObject::Connection m_changeConnection;
    std::optional<Removal> m_pendingRemoval;
    QTimer m_undoTimer;
};
