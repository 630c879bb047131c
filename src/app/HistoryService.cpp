#include "HistoryService.h"

#include "EntryActions.h"
#include "core/ClipboardMonitor.h"
#include "core/HistoryCodec.h"
#include "core/HistoryModel.h"
#include "core/StandardOutput.h"
#include "core/StorageManager.h"
#include "core/TextSearch.h"
#include "platform/Descriptors.h"
#include "platform/FreeMemory.h"
#include "platform/Preferences.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QStringEncoder>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <thread>
#include <unistd.h>

namespace {

// The text as UTF-8 into `fd`, a stretch at a time through one buffer: the reader has the first bytes
// at once, and a long text is never held twice.
bool writeUtf8(int fd, QStringView text)
{
    constexpr qsizetype stretch = 256 * 1024;
    QStringEncoder encoder(QStringEncoder::Utf8);
    QByteArray buffer(encoder.requiredSpace(stretch), Qt::Uninitialized);
    for (qsizetype at = 0; at < text.size(); at += stretch) {
        // The encoder carries a surrogate pair cut at the end of a stretch over to the next.
        const char* end = encoder.appendToBuffer(buffer.data(), text.mid(at, stretch));
        if (!Descriptors::writeFully(fd, buffer.constData(), std::size_t(end - buffer.constData())))
            return false;
    }
    return true;
}

} // namespace

HistoryService::HistoryService(ClipboardMonitor& monitor, EntryActions& actions, StorageManager& storage,
                               Preferences& preferences, QObject* parent)
    : QObject(parent)
    , m_monitor(monitor)
    , m_actions(actions)
    , m_storage(storage)
    , m_preferences(preferences)
    , m_paused(preferences.monitoringPaused())
{
    HistoryBus::registerTypes();
    HistoryModel& history = m_monitor.history();
    connect(&history, &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex&, int first, int last) { noteRows(first, last, m_added); });
    connect(&history, &QAbstractItemModel::rowsAboutToBeRemoved, this,
            [this](const QModelIndex&, int first, int last) { noteRows(first, last, m_removed); });
    connect(&history, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex& topLeft, const QModelIndex& bottomRight, const QList<int>& roles) {
                // New text read from an image changes what finds it, not the entry.
                if (roles.isEmpty() || roles.contains(HistoryModel::ItemRole))
                    noteRows(topLeft.row(), bottomRight.row(), m_changed);
            });
    connect(&history, &HistoryModel::itemsChanged, this, &HistoryService::historyChanged);
    connect(&m_preferences, &Preferences::changed, this, &HistoryService::preferencesChanged);
}

HistoryService::~HistoryService() = default;

bool HistoryService::registerOn(QDBusConnection connection, const QString& serviceName)
{
    if (!connection.isConnected()) {
        printLine(QStringLiteral("Pellamor: No session bus: the history is not offered to other programs"));
        return false;
    }
    if (!connection.registerObject(QLatin1String(HistoryBus::objectPath), this,
                                   QDBusConnection::ExportScriptableContents | QDBusConnection::ExportAllProperties)) {
        printLine(QStringLiteral("Pellamor: Failed to offer the history on the session bus"));
        return false;
    }
    if (!connection.registerService(serviceName)) {
        printLine(QStringLiteral("Pellamor: Failed to take the name %1 on the session bus: %2")
                      .arg(serviceName, connection.lastError().message()));
        connection.unregisterObject(QLatin1String(HistoryBus::objectPath));
        return false;
    }
    return true;
}

void HistoryService::setPanelActions(std::function<void()> toggle, std::function<void()> show)
{
    m_toggle = std::move(toggle);
    m_show = std::move(show);
}

bool HistoryService::isPaused() const
{
    return m_preferences.monitoringPaused();
}

void HistoryService::fail(const char* name, const QString& message)
{
    if (calledFromDBus())
        sendErrorReply(QLatin1String(name), message);
}

const ClipboardItem* HistoryService::entry(const QString& id)
{
    const std::optional<QUuid> uuid = parseUuid(QStringView(id).trimmed());
    // The history's own entry, not one of a copy: callers use it after this returns.
    const HistoryModel& history = m_monitor.history();
    if (const int row = uuid ? history.rowOf(*uuid) : -1; row >= 0)
        return &history.itemAt(row);
    fail(HistoryBus::noSuchEntry, QStringLiteral("No entry with the id \"%1\"").arg(id));
    return nullptr;
}

HistoryRow HistoryService::rowOf(const ClipboardItem& item)
{
    if (item.isText())
        return HistoryRow::of(item);
    auto size = m_imageSizes.constFind(item.content);
    if (size == m_imageSizes.cend()) {
        const QString path = m_storage.ownImagePath(item.content);
        QSize found = path.isEmpty() ? QSize() : QImageReader(path).size();
        if (!found.isValid())
            found = m_storage.loadImage(item.content).size();
        size = m_imageSizes.insert(item.content, found);
    }
    return HistoryRow::of(item, *size);
}

HistoryRows HistoryService::List(uint offset, uint limit)
{
    const HistoryModel& history = m_monitor.history();
    const int count = history.rowCount();
    const int first = int(std::min<qsizetype>(offset, count));
    const int end = limit == 0 ? count : int(std::min<qsizetype>(count, qsizetype(first) + limit));
    HistoryRows rows;
    rows.reserve(end - first);
    for (int row = first; row < end; ++row)
        rows.append(rowOf(history.itemAt(row)));
    return rows;
}

std::optional<QByteArray> HistoryService::contentOf(const ClipboardItem& item, const QString& id, QString& mimeType)
{
    if (item.isText()) {
        mimeType = QLatin1String(HistoryBus::textMimeType);
        return item.content.toUtf8();
    }
    mimeType = QLatin1String(HistoryBus::imageMimeType);
    QByteArray bytes;
    QFile file(m_storage.ownImagePath(item.content));
    if (!file.fileName().isEmpty() && file.open(QIODevice::ReadOnly))
        bytes = file.readAll();
    if (bytes.isEmpty()) {
        const QImage image = m_storage.loadImage(item.content);
        if (image.isNull()) {
            fail(HistoryBus::noSuchEntry, QStringLiteral("The image of entry %1 is missing").arg(id));
            return std::nullopt;
        }
        bytes = StorageManager::pngData(image);
    }
    return bytes;
}

QByteArray HistoryService::Get(const QString& id, QString& mimeType)
{
    const ClipboardItem* item = entry(id);
    std::optional<QByteArray> bytes = item ? contentOf(*item, id, mimeType) : std::nullopt;
    if (!bytes)
        return {};
    // The reply's copies are gone once it is sent; a large one gives its memory back then.
    if (bytes->size() >= FreeMemory::largeBytes)
        QTimer::singleShot(0, this, [] { FreeMemory::giveBack(); });
    return *bytes;
}

QString HistoryService::WriteTo(const QString& id, const QDBusUnixFileDescriptor& fd)
{
    const ClipboardItem* item = entry(id);
    if (!item)
        return {};
    // A text is encoded on the writing thread: the main thread only shares it.
    QString mimeType = QLatin1String(HistoryBus::textMimeType);
    QString text;
    QByteArray bytes;
    if (item->isText()) {
        text = item->content;
    } else if (std::optional<QByteArray> image = contentOf(*item, id, mimeType)) {
        bytes = std::move(*image);
    } else {
        return {};
    }
    const int out = fd.isValid() ? ::fcntl(fd.fileDescriptor(), F_DUPFD_CLOEXEC, 0) : -1;
    if (out < 0) {
        fail(HistoryBus::invalidData, QStringLiteral("No file descriptor to write to"));
        return {};
    }
    // The reader may be slow (a pager, a picker): the main thread never waits for it.
    setDelayedReply(true);
    std::thread([bus = connection(), request = message(), text = std::move(text), content = std::move(bytes), mimeType,
                 out]() mutable {
        // The bus library ignores SIGPIPE for the whole program: a reader that went away is an error.
        const bool written = text.isNull()
                                 ? Descriptors::writeFully(out, content.constData(), std::size_t(content.size()))
                                 : writeUtf8(out, text);
        const int error = errno;
        ::close(out);
        // The caller has every byte: it is answered before the memory is handed back.
        bus.send(written ? request.createReply(mimeType)
                         : request.createErrorReply(QStringLiteral("org.freedesktop.DBus.Error.IOError"),
                                                    qt_error_string(error)));
        const bool large = content.size() >= FreeMemory::largeBytes || text.size() >= FreeMemory::largeBytes;
        text = QString();
        content = QByteArray();
        if (large)
            FreeMemory::giveBack();
    }).detach();
    return {};
}

void HistoryService::Copy(const QString& id)
{
    if (const ClipboardItem* item = entry(id))
        m_actions.copy(*item);
}

void HistoryService::Paste(const QString& id)
{
    if (const ClipboardItem* item = entry(id))
        m_actions.chooseToPaste(*item);
}

QString HistoryService::Add(const QByteArray& data, const QString& mimeType)
{
    const std::optional<ClipboardItemType> type = HistoryBus::typeOfMime(mimeType);
    if (!type) {
        fail(HistoryBus::unsupportedType,
             QStringLiteral("Unsupported type \"%1\": use %2 or %3")
                 .arg(mimeType, QLatin1String(HistoryBus::textMimeType), QLatin1String(HistoryBus::imageMimeType)));
        return {};
    }
    if (data.size() > HistoryBus::maxPayloadBytes()) {
        fail(HistoryBus::tooLarge, QStringLiteral("%1 bytes is more than the %2 MiB an entry may hold")
                                       .arg(data.size())
                                       .arg(HistoryBus::maxPayloadBytes() >> 20));
        return {};
    }
    ClipboardContents contents;
    if (*type == ClipboardItemType::Text) {
        if (!QUtf8StringView(data).isValidUtf8()) {
            fail(HistoryBus::invalidData, QStringLiteral("The data is not UTF-8 text; an image must be sent as %1")
                                              .arg(QLatin1String(HistoryBus::imageMimeType)));
            return {};
        }
        contents.text = QString::fromUtf8(data);
    } else {
        contents.image = QImage::fromData(data, "PNG");
        if (contents.image.isNull()) {
            fail(HistoryBus::invalidData, QStringLiteral("The data is not a PNG image that can be read"));
            return {};
        }
    }
    // Compared with the newest entry, adds still queued included.
    const ClipboardItem* newest = m_monitor.history().newestEntry();
    const ClipboardMonitor::Capture capture = ClipboardMonitor::captureFrom(contents, false, newest);
    if (!capture.images.isEmpty()) {
        const ClipboardItem item =
            ClipboardItem::captured(ClipboardItemType::Image, m_storage.saveImage(capture.images.first()));
        m_monitor.history().addItem(item);
        return uuidText(item.id);
    }
    if (capture.text) {
        const ClipboardItem item = ClipboardItem::captured(ClipboardItemType::Text, *capture.text);
        m_monitor.history().addItem(item);
        return uuidText(item.id);
    }
    // The same text as the top entry: that entry is what the add made.
    if (contents.text && !contents.text->isEmpty() && newest)
        return uuidText(newest->id);
    fail(HistoryBus::invalidData, QStringLiteral("Nothing to add: the text is empty"));
    return {};
}

void HistoryService::Delete(const QString& id)
{
    if (const ClipboardItem* item = entry(id))
        m_actions.deleteItem(*item);
}

void HistoryService::SetPinned(const QString& id, bool pinned)
{
    if (const ClipboardItem* item = entry(id); item && item->isPinned != pinned)
        m_actions.togglePin(QUuid(item->id));
}

void HistoryService::Clear()
{
    m_actions.clearAll();
}

HistoryRows HistoryService::Search(const QString& query, uint limit)
{
    const TextSearch::Query parsed = TextSearch::parseQuery(query);
    const HistoryModel& history = m_monitor.history();
    HistoryRows rows;
    for (const HistoryModel::Entry& entry : history.entries()) {
        if (limit != 0 && rows.size() >= qsizetype(limit))
            break;
        // As the search field finds it: the whole text, not only the part the key holds.
        const bool found = entry.key.complete || !entry.item.isText()
                               ? TextSearch::matches(entry.key, parsed)
                               : TextSearch::matchesWhole(entry.item.content, entry.key, parsed);
        if (found)
            rows.append(rowOf(entry.item));
    }
    return rows;
}

QByteArray HistoryService::ListText(const QString& query, uint limit, bool json)
{
    return formatRows(query.isEmpty() ? List(0, limit) : Search(query, limit), json);
}

void HistoryService::Pause()
{
    m_preferences.setMonitoringPaused(true);
}

void HistoryService::Resume()
{
    m_preferences.setMonitoringPaused(false);
}

void HistoryService::IgnoreNext()
{
    m_monitor.ignoreNextChange();
}

void HistoryService::Toggle()
{
    if (m_toggle)
        m_toggle();
}

void HistoryService::Show()
{
    if (m_show)
        m_show();
}

void HistoryService::noteRows(int first, int last, QSet<QUuid>& into)
{
    const HistoryModel& history = m_monitor.history();
    for (int row = first; row <= last; ++row)
        into.insert(history.itemAt(row).id);
}

void HistoryService::historyChanged()
{
    // An entry that left and came back within one operation (an undone removal in the same turn, say)
    // is still there: it changed.
    for (auto id = m_removed.begin(); id != m_removed.end();) {
        if (m_added.remove(*id)) {
            m_changed.insert(*id);
            id = m_removed.erase(id);
        } else {
            ++id;
        }
    }
    m_changed -= m_added;
    m_changed -= m_removed;
    const auto texts = [](QSet<QUuid>& ids) {
        QStringList out;
        out.reserve(ids.size());
        for (const QUuid& id : std::as_const(ids))
            out.append(uuidText(id));
        ids.clear();
        return out;
    };
    const QStringList added = texts(m_added);
    const QStringList removed = texts(m_removed);
    const QStringList changed = texts(m_changed);
    if (!added.isEmpty() || !removed.isEmpty() || !changed.isEmpty())
        Q_EMIT Changed(added, removed, changed);
}

void HistoryService::preferencesChanged()
{
    const bool paused = m_preferences.monitoringPaused();
    if (paused == m_paused)
        return;
    m_paused = paused;
    Q_EMIT PausedChanged(paused);
}
