#include "HistoryRow.h"

#include "core/HistoryCodec.h"
#include "platform/ClipboardSnapshot.h"

#include <QDBusMetaType>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

HistoryRow HistoryRow::of(const ClipboardItem& item, const QSize& imageSize)
{
    HistoryRow row;
    row.id = uuidText(item.id);
    row.type = clipboardItemTypeName(item.type);
    row.pinned = item.isPinned;
    row.timestamp = formatTimestamp(item.timestamp);
    row.preview = item.isText() ? textPreview(item.content) : imagePreview(imageSize);
    return row;
}

QString HistoryRow::textPreview(const QString& text)
{
    static const QChar lineBreak(0x23CE);
    QString preview;
    preview.reserve(previewLength);
    qsizetype characters = 0;
    for (qsizetype i = 0; i < text.size() && characters < previewLength; ++i, ++characters) {
        const QChar c = text.at(i);
        if (c == u'\r' || c == u'\n') {
            // CR LF is one break.
            if (c == u'\r' && i + 1 < text.size() && text.at(i + 1) == u'\n')
                ++i;
            preview.append(lineBreak);
        } else if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            preview.append(c).append(text.at(++i));
        } else {
            preview.append(c);
        }
    }
    return preview;
}

QString HistoryRow::imagePreview(const QSize& size)
{
    const QString label = QStringLiteral("[图片]");
    if (!size.isValid())
        return label;
    return QStringLiteral("%1 %2x%3").arg(label).arg(size.width()).arg(size.height());
}

QString HistoryRow::line() const
{
    return id + u'\t' + preview;
}

QJsonObject HistoryRow::toJson() const
{
    return QJsonObject{{QStringLiteral("id"), id},
                       {QStringLiteral("type"), type},
                       {QStringLiteral("pinned"), pinned},
                       {QStringLiteral("timestamp"), timestamp},
                       {QStringLiteral("preview"), preview}};
}

QByteArray formatRows(const HistoryRows& rows, bool json)
{
    if (json) {
        QJsonArray array;
        for (const HistoryRow& row : rows)
            array.append(row.toJson());
        return QJsonDocument(array).toJson(QJsonDocument::Compact) + '\n';
    }
    QByteArray out;
    for (const HistoryRow& row : rows) {
        out.append(row.line().toUtf8());
        out.append('\n');
    }
    return out;
}

QDBusArgument& operator<<(QDBusArgument& argument, const HistoryRow& row)
{
    argument.beginStructure();
    argument << row.id << row.type << row.pinned << row.timestamp << row.preview;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, HistoryRow& row)
{
    argument.beginStructure();
    argument >> row.id >> row.type >> row.pinned >> row.timestamp >> row.preview;
    argument.endStructure();
    return argument;
}

namespace HistoryBus {

qint64 maxPayloadBytes()
{
    return ClipboardReading::maxTypeBytes;
}

void registerTypes()
{
    qDBusRegisterMetaType<HistoryRow>();
    qDBusRegisterMetaType<HistoryRows>();
}

std::optional<ClipboardItemType> typeOfMime(const QString& mimeType)
{
    QString compact = mimeType.toLower();
    compact.remove(u' ');
    if (compact == QLatin1String("text/plain") || compact == QLatin1String("text/plain;charset=utf-8"))
        return ClipboardItemType::Text;
    if (compact == QLatin1String(imageMimeType))
        return ClipboardItemType::Image;
    return std::nullopt;
}

} // namespace HistoryBus
