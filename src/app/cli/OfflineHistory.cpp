#include "OfflineHistory.h"

#include "core/HistoryCodec.h"
#include "core/HistoryModel.h"
#include "core/ImageTextStore.h"
#include "core/StorageManager.h"
#include "core/TextSearch.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>

#include <algorithm>
#include <unistd.h>

namespace {

// The file's bytes, refusing links and files of another user as the program does.
std::optional<QByteArray> readOwnFile(const QString& path, qint64 limit, QString& error)
{
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink())
        return QByteArray();
    if (info.isSymLink() || !info.isFile() || info.ownerId() != ::getuid()) {
        error = QStringLiteral("%1 is not a file of this user").arg(path);
        return std::nullopt;
    }
    if (info.size() > limit) {
        error = QStringLiteral("%1 is too large").arg(path);
        return std::nullopt;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = file.errorString();
        return std::nullopt;
    }
    return file.readAll();
}

} // namespace

OfflineHistory::OfflineHistory(const QString& appSupportDir)
    : m_appSupportDir(appSupportDir)
{
    const std::optional<QByteArray> bytes = readOwnFile(QDir(appSupportDir).filePath(QStringLiteral("history.json")),
                                                        StorageManager::maxHistoryFileBytes, m_error);
    if (!bytes || bytes->isEmpty())
        return;
    HistoryDecodeResult result = decodeHistory(*bytes);
    if (!result.ok()) {
        m_error = result.error;
        return;
    }
    m_items = std::move(result.items);
    HistoryModel::sortItems(m_items);
}

const ClipboardItem* OfflineHistory::find(const QUuid& id) const
{
    const auto found =
        std::find_if(m_items.cbegin(), m_items.cend(), [&id](const ClipboardItem& item) { return item.id == id; });
    return found == m_items.cend() ? nullptr : &*found;
}

QString OfflineHistory::imagePath(const QString& name) const
{
    if (!StorageManager::isPlainFileName(name))
        return {};
    return QDir(m_appSupportDir).filePath(QStringLiteral("images/") + name);
}

HistoryRow OfflineHistory::rowOf(const ClipboardItem& item) const
{
    if (item.isText())
        return HistoryRow::of(item);
    const QString path = imagePath(item.content);
    return HistoryRow::of(item, path.isEmpty() || QFileInfo(path).isSymLink() ? QSize() : QImageReader(path).size());
}

HistoryRows OfflineHistory::list(qsizetype limit) const
{
    HistoryRows rows;
    for (const ClipboardItem& item : m_items) {
        if (limit > 0 && rows.size() >= limit)
            break;
        rows.append(rowOf(item));
    }
    return rows;
}

HistoryRows OfflineHistory::search(const QString& query, qsizetype limit) const
{
    const TextSearch::Query parsed = TextSearch::parseQuery(query);
    // Images are found by the text read from them, as in the panel.
    std::optional<ImageTextStore> imageText;
    HistoryRows rows;
    for (const ClipboardItem& item : m_items) {
        if (limit > 0 && rows.size() >= limit)
            break;
        QString text = item.content;
        if (item.isImage()) {
            if (!imageText) {
                imageText.emplace(QDir(m_appSupportDir).filePath(QStringLiteral("ocr.json")));
                imageText->load();
            }
            text = imageText->textOf(item.content);
        }
        if (TextSearch::matches(TextSearch::keyFor(text), parsed))
            rows.append(rowOf(item));
    }
    return rows;
}

std::optional<QByteArray> OfflineHistory::content(const ClipboardItem& item) const
{
    if (item.isText())
        return item.content.toUtf8();
    QString error;
    const QString path = imagePath(item.content);
    if (path.isEmpty())
        return std::nullopt;
    std::optional<QByteArray> bytes = readOwnFile(path, StorageManager::maxHistoryFileBytes, error);
    if (!bytes || bytes->isEmpty())
        return std::nullopt;
    return bytes;
}

OfflineHistory::Found OfflineHistory::get(const QString& id, QByteArray& bytes) const
{
    const std::optional<QUuid> uuid = parseUuid(id);
    const ClipboardItem* item = uuid ? find(*uuid) : nullptr;
    if (!item)
        return Found::NoSuchEntry;
    std::optional<QByteArray> found = content(*item);
    if (!found)
        return Found::ImageMissing;
    bytes = std::move(*found);
    return Found::Entry;
}
