#pragma once

#include "app/cli/HistoryRow.h"

#include <QDBusContext>
#include <QDBusUnixFileDescriptor>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QSize>

#include <functional>

class ClipboardMonitor;
class EntryActions;
class Preferences;
class QDBusConnection;
class StorageManager;

// The history on the session bus: the interface com.pellamor.History1 at /com/pellamor/app under the
// name com.pellamor.app. Each method does what the panel's action of that name does, through the same
// operations; the command line is its first client. Unknown ids, unsupported types and payloads that
// capture would not take end in the named errors com.pellamor.Error.*.
class HistoryService : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.pellamor.History1")
    Q_PROPERTY(bool Paused READ isPaused)

public:
    // Copy, Delete, SetPinned and Clear act through `actions`, as the panel's buttons do.
    HistoryService(ClipboardMonitor& monitor, EntryActions& actions, StorageManager& storage, Preferences& preferences,
                   QObject* parent = nullptr);
    ~HistoryService() override;

    // Exports the object and takes the well-known name; false, with a line on standard output, when the
    // bus is not there or the name is taken.
    bool registerOn(QDBusConnection connection, const QString& serviceName = QLatin1String(HistoryBus::serviceName));

    // What Toggle and Show do with the panel, or the window where there is no tray.
    void setPanelActions(std::function<void()> toggle, std::function<void()> show);

    bool isPaused() const;

public Q_SLOTS:
    // Entries from `offset`, at most `limit` of them (0: all), in history order.
    Q_SCRIPTABLE HistoryRows List(uint offset, uint limit);
    // The text as UTF-8 or the image as PNG, with its MIME type.
    Q_SCRIPTABLE QByteArray Get(const QString& id, QString& mimeType);
    // What Get returns, written into `fd` (a pipe or a file) on a thread of its own, so a large entry goes
    // at the speed of the pipe and never through the bus; answers with the MIME type once all is written.
    Q_SCRIPTABLE QString WriteTo(const QString& id, const QDBusUnixFileDescriptor& fd);
    Q_SCRIPTABLE void Copy(const QString& id);
    // As Copy, then pasted into the window with the focus, as Shift+Return in the panel does.
    Q_SCRIPTABLE void Paste(const QString& id);
    // A new entry at the top, as a capture makes it (also while recording is paused); returns its id, or
    // the id of the top entry when that already holds the same text.
    Q_SCRIPTABLE QString Add(const QByteArray& data, const QString& mimeType);
    Q_SCRIPTABLE void Delete(const QString& id);
    Q_SCRIPTABLE void SetPinned(const QString& id, bool pinned);
    Q_SCRIPTABLE void Clear();
    Q_SCRIPTABLE HistoryRows Search(const QString& query, uint limit);
    // What `pellamor list` (an empty query) or `pellamor search` prints, as UTF-8: Search's or List's rows
    // one "ID<TAB>preview" line each, or with `json` one JSON array. One byte array crosses the bus, so the
    // command line has no rows to take apart.
    Q_SCRIPTABLE QByteArray ListText(const QString& query, uint limit, bool json);
    Q_SCRIPTABLE void Pause();
    Q_SCRIPTABLE void Resume();
    Q_SCRIPTABLE void IgnoreNext();
    Q_SCRIPTABLE void Toggle();
    Q_SCRIPTABLE void Show();

Q_SIGNALS:
    // Entries that came, went or changed (text or pin), by id.
    Q_SCRIPTABLE void Changed(const QStringList& added, const QStringList& removed, const QStringList& changed);
    Q_SCRIPTABLE void PausedChanged(bool paused);

private:
    // The entry named by `id`, or null after replying with NoSuchEntry.
    const ClipboardItem* entry(const QString& id);
    HistoryRow rowOf(const ClipboardItem& item);
    // The entry's bytes and MIME type; nothing, after replying with NoSuchEntry, when its image is gone.
    std::optional<QByteArray> contentOf(const ClipboardItem& item, const QString& id, QString& mimeType);
    // The rows an operation of the history announces, gathered until it has finished.
    void noteRows(int first, int last, QSet<QUuid>& into);
    void historyChanged();
    void preferencesChanged();
    void fail(const char* name, const QString& message);

    ClipboardMonitor& m_monitor;
    EntryActions& m_actions;
    StorageManager& m_storage;
    Preferences& m_preferences;
    std::function<void()> m_toggle;
    std::function<void()> m_show;
    // The entries the operation in progress added, removed and changed, for Changed's listeners.
    QSet<QUuid> m_added;
    QSet<QUuid> m_removed;
    QSet<QUuid> m_changed;
    // Image sizes by file name: the files never change.
    QHash<QString, QSize> m_imageSizes;
    bool m_paused = false;
};
