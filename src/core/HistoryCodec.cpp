#include "HistoryCodec.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>

namespace {

void appendJsonString(QByteArray& out, const QString& text)
{
    static constexpr char hex[] = "0123456789abcdef";
    const QByteArray utf8 = text.toUtf8();
    out.append('"');
    const char* data = utf8.constData();
    const qsizetype size = utf8.size();
    qsizetype runStart = 0;
    for (qsizetype i = 0; i < size; ++i) {
        const auto c = static_cast<unsigned char>(data[i]);
        if (c >= 0x20 && c != '"' && c != '\\')
            continue;
        out.append(data + runStart, i - runStart);
        runStart = i + 1;
        switch (c) {
        case '"':
            out.append("\\\"", 2);
            break;
        case '\\':
            out.append("\\\\", 2);
            break;
        case '\n':
            out.append("\\n", 2);
            break;
        case '\r':
            out.append("\\r", 2);
            break;
        case '\t':
            out.append("\\t", 2);
            break;
        case '\b':
            out.append("\\b", 2);
            break;
        case '\f':
            out.append("\\f", 2);
            break;
        default: {
            const char escape[] = {'\\', 'u', '0', '0', hex[c >> 4], hex[c & 0xF]};
            out.append(escape, sizeof escape);
        }
        }
    }
    out.append(data + runStart, size - runStart);
    out.append('"');
}

void appendTimestamp(QByteArray& out, const QDateTime& moment)
{
    out.append('"');
    out.append(formatTimestamp(moment).toLatin1());
    out.append('"');
}

int digitsAt(QStringView text, qsizetype pos, qsizetype count)
{
    int value = 0;
    for (qsizetype i = pos; i < pos + count; ++i) {
        const QChar c = text[i];
        if (c < u'0' || c > u'9')
            return -1;
        value = value * 10 + (c.unicode() - u'0');
    }
    return value;
}

bool isHexDigit(QChar c)
{
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

QString entryError(qsizetype index, const QString& what)
{
    return QStringLiteral("entry %1: %2").arg(index).arg(what);
}

// Optional members: absent and null both mean "not set"; anything but the expected type is an error.
bool isAbsent(const QJsonValue& value)
{
    return value.isUndefined() || value.isNull();
}

} // namespace

QString formatTimestamp(const QDateTime& moment)
{
    const QDateTime utc = moment.toUTC();
    const QDate date = utc.date();
    const QTime time = utc.time();
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02dT%02d:%02d:%02dZ", date.year(), date.month(), date.day(),
                  time.hour(), time.minute(), time.second());
    return QString::fromLatin1(buffer);
}

std::optional<QDateTime> parseTimestamp(QStringView text)
{
    // 2025-03-14T09:26:53Z or 2025-03-14T09:26:53+08:00
    if (text.size() != 20 && text.size() != 25)
        return std::nullopt;
    if (text[4] != u'-' || text[7] != u'-' || (text[10] != u'T' && text[10] != u't') || text[13] != u':' ||
        text[16] != u':')
        return std::nullopt;
    const int year = digitsAt(text, 0, 4);
    const int month = digitsAt(text, 5, 2);
    const int day = digitsAt(text, 8, 2);
    const int hour = digitsAt(text, 11, 2);
    const int minute = digitsAt(text, 14, 2);
    const int second = digitsAt(text, 17, 2);
    if (year < 0 || month < 0 || day < 0 || hour < 0 || minute < 0 || second < 0)
        return std::nullopt;
    const QDate date(year, month, day);
    if (!date.isValid() || hour > 23 || minute > 59 || second > 59)
        return std::nullopt;

    int offsetSeconds = 0;
    if (text.size() == 20) {
        if (text[19] != u'Z' && text[19] != u'z')
            return std::nullopt;
    } else {
        const QChar sign = text[19];
        const int offsetHours = digitsAt(text, 20, 2);
        const int offsetMinutes = digitsAt(text, 23, 2);
        if ((sign != u'+' && sign != u'-') || text[22] != u':' || offsetHours < 0 || offsetHours > 23 ||
            offsetMinutes < 0 || offsetMinutes > 59)
            return std::nullopt;
        offsetSeconds = (offsetHours * 3600 + offsetMinutes * 60) * (sign == u'-' ? -1 : 1);
    }
    constexpr qint64 unixEpochJulianDay = 2440588;
    const qint64 seconds =
        (date.toJulianDay() - unixEpochJulianDay) * 86400 + hour * 3600 + minute * 60 + second - offsetSeconds;
    return QDateTime::fromSecsSinceEpoch(seconds, Qt::UTC);
}

std::optional<QUuid> parseUuid(QStringView text)
{
    if (text.size() != 36)
        return std::nullopt;
    for (qsizetype i = 0; i < 36; ++i) {
        const bool hyphenPlace = i == 8 || i == 13 || i == 18 || i == 23;
        if (hyphenPlace ? text[i] != u'-' : !isHexDigit(text[i]))
            return std::nullopt;
    }
    const QUuid id = QUuid::fromString(text);
    if (id.isNull() && text != u"00000000-0000-0000-0000-000000000000")
        return std::nullopt;
    return id;
}

QByteArray encodeHistory(const ClipboardItems& items)
{
    QByteArray out;
    qsizetype estimate = 2;
    for (const ClipboardItem& item : items)
        estimate += item.content.size() + 180;
    out.reserve(estimate);

    out.append('[');
    bool first = true;
    for (const ClipboardItem& item : items) {
        if (!first)
            out.append(',');
        first = false;
        out.append("{\"id\":\"");
        out.append(uuidText(item.id).toLatin1());
        out.append("\",\"type\":\"");
        out.append(clipboardItemTypeName(item.type).toLatin1());
        out.append("\",\"content\":");
        appendJsonString(out, item.content);
        out.append(item.isPinned ? ",\"isPinned\":true" : ",\"isPinned\":false");
        if (item.pinTimestamp) {
            out.append(",\"pinTimestamp\":");
            appendTimestamp(out, *item.pinTimestamp);
        }
        out.append(",\"timestamp\":");
        appendTimestamp(out, item.timestamp);
        out.append('}');
    }
    out.append(']');
    return out;
}

HistoryDecodeResult decodeHistory(const QByteArray& json)
{
    HistoryDecodeResult result;
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        result.error =
            QStringLiteral("malformed JSON at offset %1: %2").arg(parseError.offset).arg(parseError.errorString());
        return result;
    }
    if (!document.isArray()) {
        result.error = QStringLiteral("the top level is not an array");
        return result;
    }

    const QJsonArray array = document.array();
    ClipboardItems items;
    items.reserve(array.size());
    for (qsizetype index = 0; index < array.size(); ++index) {
        const QJsonValue value = array.at(index);
        if (!value.isObject()) {
            result.error = entryError(index, QStringLiteral("not an object"));
            return result;
        }
        const QJsonObject object = value.toObject();

        const QJsonValue idValue = object.value(QLatin1String("id"));
        const QJsonValue typeValue = object.value(QLatin1String("type"));
        const QJsonValue contentValue = object.value(QLatin1String("content"));
        const QJsonValue pinnedValue = object.value(QLatin1String("isPinned"));
        const QJsonValue pinTimestampValue = object.value(QLatin1String("pinTimestamp"));
        const QJsonValue timestampValue = object.value(QLatin1String("timestamp"));

        if (!idValue.isString()) {
            result.error = entryError(index, QStringLiteral("\"id\" is missing or not a string"));
            return result;
        }
        const std::optional<QUuid> id = parseUuid(idValue.toString());
        if (!id) {
            result.error = entryError(index, QStringLiteral("\"id\" is not a UUID"));
            return result;
        }
        if (!typeValue.isString()) {
            result.error = entryError(index, QStringLiteral("\"type\" is missing or not a string"));
            return result;
        }
        const std::optional<ClipboardItemType> type = clipboardItemTypeFromName(typeValue.toString());
        if (!type) {
            result.error =
                entryError(index, QStringLiteral("\"type\" has the unknown value \"%1\"").arg(typeValue.toString()));
            return result;
        }
        if (!contentValue.isString()) {
            result.error = entryError(index, QStringLiteral("\"content\" is missing or not a string"));
            return result;
        }
        if (!isAbsent(pinnedValue) && !pinnedValue.isBool()) {
            result.error = entryError(index, QStringLiteral("\"isPinned\" is not a boolean"));
            return result;
        }
        std::optional<QDateTime> pinTimestamp;
        if (!isAbsent(pinTimestampValue)) {
            if (!pinTimestampValue.isString() || !(pinTimestamp = parseTimestamp(pinTimestampValue.toString()))) {
                result.error = entryError(index, QStringLiteral("\"pinTimestamp\" is not a date"));
                return result;
            }
        }
        std::optional<QDateTime> timestamp;
        if (!timestampValue.isString() || !(timestamp = parseTimestamp(timestampValue.toString()))) {
            result.error = entryError(index, QStringLiteral("\"timestamp\" is missing or not a date"));
            return result;
        }

        items.append(ClipboardItem(*id, *type, contentValue.toString(), pinnedValue.toBool(false),
                                   std::move(pinTimestamp), *timestamp));
    }
    result.items = std::move(items);
    return result;
}
