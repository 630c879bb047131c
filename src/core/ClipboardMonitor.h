#pragma once

#include "ClipboardItem.h"

#include <QImage>
#include <QObject>
#include <QTimer>

class Pasteboard;
class Preferences;
class StorageManager;

// The single owner of the history. Polls the clipboard twice a second (and at once when the clipboard
// reports a change), turns new contents into entries, and offers every operation that changes the
// history. Everything runs on the main thread; saves and file deletions go to the storage worker with
// a snapshot.
class ClipboardMonitor : public QObject
{
    Q_OBJECT

public:
    static constexpr int maxItems = 1000;
    static constexpr int maxFileUrls = 20;
    static constexpr int pollIntervalMs = 500;

    // Loads and sorts the stored history. Whatever is on the clipboard now is never captured.
    ClipboardMonitor(StorageManager& storage, Pasteboard& pasteboard, Preferences& preferences,
                     QObject* parent = nullptr);

    // Pinned entries first in the order they were pinned, then the rest newest first.
    const ClipboardItems& items() const { return m_items; }
    qint64 lastChangeCount() const { return m_lastChangeCount; }
    bool isMonitoring() const { return m_timer.isActive(); }

    void startMonitoring();
    void stopMonitoring();

    // One poll step.
    void checkClipboard();

    // Puts the entry back on the clipboard without capturing it again; the history is unchanged.
    void copyToClipboard(const ClipboardItem& item);
    void togglePin(const QUuid& id);
    void deleteItem(const ClipboardItem& item);
    void updateItem(const ClipboardItem& item, const QString& newText);
    // Removes every unpinned entry.
    void clearAll();
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

private:
    bool shouldIgnorePasteboard() const;
    QList<QImage> imagesFromFiles() const;
    QImage getImageFromPasteboard() const;
    void sortItems();
    void saveItems();
    void publish();

    StorageManager& m_storage;
    Pasteboard& m_pasteboard;
    Preferences& m_preferences;
    ClipboardItems m_items;
    QTimer m_timer;
    qint64 m_lastChangeCount = 0;
    QMetaObject::Connection m_changeConnection;
};
