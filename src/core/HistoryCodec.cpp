#include "HistoryCodec.h"

#include <QStringDecoder>

#include <cstdio>
#include <cstring>

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

// The first byte that does not belong to well-formed UTF-8 (no overlong forms, no encoded surrogates,
// nothing above U+10FFFF), or `end`.
const char* firstInvalidUtf8(const char* p, const char* end)
{
    while (p < end) {
        const auto lead = static_cast<unsigned char>(*p);
        if (lead < 0x80) {
            ++p;
            continue;
        }
        int continuation = 0;
        char32_t code = 0;
        if (lead >= 0xC2 && lead <= 0xDF) {
            continuation = 1;
            code = lead & 0x1F;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            continuation = 2;
            code = lead & 0x0F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            continuation = 3;
            code = lead & 0x07;
        } else {
            return p;
        }
        if (end - p <= continuation)
            return p;
        for (int i = 1; i <= continuation; ++i) {
            const auto byte = static_cast<unsigned char>(p[i]);
            if ((byte & 0xC0) != 0x80)
                return p;
            code = (code << 6) | (byte & 0x3F);
        }
        if (continuation == 2 && (code < 0x800 || (code >= 0xD800 && code <= 0xDFFF)))
            return p;
        if (continuation == 3 && (code < 0x10000 || code > 0x10FFFF))
            return p;
        p += continuation + 1;
    }
    return end;
}

QString entryError(qsizetype index, const QString& what)
{
    return QStringLiteral("entry %1: %2").arg(index).arg(what);
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

namespace {

// A strict reader for the history array. It decodes straight into entries, which is several times
// faster than building a QJsonDocument first, and it still checks the whole text as JSON.
class HistoryReader
{
public:
    HistoryReader(QByteArrayView json, const std::function<void(qsizetype)>& consumed)
        : m_begin(json.constData())
        , m_p(json.constData())
        , m_end(json.constData() + json.size())
        , m_consumed(consumed)
    {}

    HistoryDecodeResult read()
    {
        HistoryDecodeResult result;
        skipWhitespace();
        if (!consume('[')) {
            result.error = atOffset(QStringLiteral("the top level is not an array"));
            return result;
        }
        ClipboardItems items;
        skipWhitespace();
        if (!consume(']')) {
            for (;;) {
                skipWhitespace();
                std::optional<ClipboardItem> item = readEntry(items.size());
                if (!item) {
                    result.error = m_error;
                    return result;
                }
                items.append(std::move(*item));
                if (m_consumed)
                    m_consumed(m_p - m_begin);
                skipWhitespace();
                if (consume(','))
                    continue;
                if (consume(']'))
                    break;
                result.error = atOffset(QStringLiteral("expected ',' or ']'"));
                return result;
            }
        }
        skipWhitespace();
        if (m_p != m_end) {
            result.error = atOffset(QStringLiteral("unexpected text after the array"));
            return result;
        }
        result.items = std::move(items);
        return result;
    }

private:
    enum class Kind { String, True, False, Null, Other };

    struct Value
    {
        Kind kind = Kind::Other;
        QString text;
    };

    static constexpr int maxDepth = 64;

    QString atOffset(const QString& what) const
    {
        return QStringLiteral("malformed JSON at offset %1: %2").arg(m_p - m_begin).arg(what);
    }

    bool fail(const QString& what)
    {
        if (m_error.isEmpty())
            m_error = atOffset(what);
        return false;
    }

    void skipWhitespace()
    {
        while (m_p < m_end && (*m_p == ' ' || *m_p == '\n' || *m_p == '\r' || *m_p == '\t'))
            ++m_p;
    }

    bool consume(char c)
    {
        if (m_p < m_end && *m_p == c) {
            ++m_p;
            return true;
        }
        return false;
    }

    bool consumeWord(const char* word)
    {
        const size_t length = std::strlen(word);
        if (size_t(m_end - m_p) < length || std::memcmp(m_p, word, length) != 0)
            return false;
        m_p += length;
        return true;
    }

    static int hexValue(char c)
    {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        return -1;
    }

    bool readHex4(char16_t& unit)
    {
        if (m_end - m_p < 4)
            return fail(QStringLiteral("short \\u escape"));
        int value = 0;
        for (int i = 0; i < 4; ++i) {
            const int digit = hexValue(m_p[i]);
            if (digit < 0)
                return fail(QStringLiteral("bad \\u escape"));
            value = value * 16 + digit;
        }
        m_p += 4;
        unit = char16_t(value);
        return true;
    }

    // Appends the raw bytes [begin, end) of a string, which must be well-formed UTF-8.
    bool appendRun(QString& out, const char* begin, const char* end, bool ascii)
    {
        if (begin == end)
            return true;
        if (ascii) {
            const QLatin1StringView run(begin, end - begin);
            if (out.isEmpty())
                out = run;
            else
                out.append(run);
            return true;
        }
        if (const char* bad = firstInvalidUtf8(begin, end); bad != end) {
            m_p = bad;
            return fail(QStringLiteral("invalid UTF-8"));
        }
        // Stateless, and a leading byte order mark is a character like any other (fromUtf8 would drop it).
        QStringDecoder decoder(QStringDecoder::Utf8,
                               QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
        const QString text = decoder.decode(QByteArrayView(begin, end - begin));
        if (out.isEmpty())
            out = text;
        else
            out.append(text);
        return true;
    }

    // At the opening quote.
    bool readString(QString& out)
    {
        ++m_p;
        out.clear();
        const char* runStart = m_p;
        for (;;) {
            unsigned char seen = 0;
            while (m_p < m_end) {
                const auto c = static_cast<unsigned char>(*m_p);
                if (c == '"' || c == '\\' || c < 0x20)
                    break;
                seen |= c;
                ++m_p;
            }
            if (m_p == m_end)
                return fail(QStringLiteral("unterminated string"));
            if (static_cast<unsigned char>(*m_p) < 0x20)
                return fail(QStringLiteral("control character in a string"));
            if (!appendRun(out, runStart, m_p, seen < 0x80))
                return false;
            if (*m_p == '"') {
                ++m_p;
                return true;
            }
            ++m_p;
            if (m_p == m_end)
                return fail(QStringLiteral("unterminated escape"));
            const char escape = *m_p++;
            switch (escape) {
            case '"':
                out.append(u'"');
                break;
            case '\\':
                out.append(u'\\');
                break;
            case '/':
                out.append(u'/');
                break;
            case 'b':
                out.append(u'\b');
                break;
            case 'f':
                out.append(u'\f');
                break;
            case 'n':
                out.append(u'\n');
                break;
            case 'r':
                out.append(u'\r');
                break;
            case 't':
                out.append(u'\t');
                break;
            case 'u': {
                char16_t unit = 0;
                if (!readHex4(unit))
                    return false;
                if (QChar::isLowSurrogate(unit))
                    return fail(QStringLiteral("lone surrogate escape"));
                if (QChar::isHighSurrogate(unit)) {
                    // Only a complete pair stands for a character; half of one would be lost on the next save.
                    char16_t low = 0;
                    if (m_end - m_p < 2 || m_p[0] != '\\' || m_p[1] != 'u')
                        return fail(QStringLiteral("lone surrogate escape"));
                    m_p += 2;
                    if (!readHex4(low))
                        return false;
                    if (!QChar::isLowSurrogate(low))
                        return fail(QStringLiteral("lone surrogate escape"));
                    out.append(QChar(unit));
                    unit = low;
                }
                out.append(QChar(unit));
                break;
            }
            default:
                return fail(QStringLiteral("unknown escape"));
            }
            runStart = m_p;
        }
    }

    bool skipNumber()
    {
        consume('-');
        if (consume('0')) {
        } else if (m_p < m_end && *m_p >= '1' && *m_p <= '9') {
            while (m_p < m_end && *m_p >= '0' && *m_p <= '9')
                ++m_p;
        } else {
            return fail(QStringLiteral("unexpected character"));
        }
        const auto digits = [this] {
            const char* start = m_p;
            while (m_p < m_end && *m_p >= '0' && *m_p <= '9')
                ++m_p;
            return m_p > start;
        };
        if (consume('.') && !digits())
            return fail(QStringLiteral("bad number"));
        if (consume('e') || consume('E')) {
            if (!consume('+'))
                consume('-');
            if (!digits())
                return fail(QStringLiteral("bad number"));
        }
        return true;
    }

    // Any JSON value; strings are kept, everything else is only checked.
    bool readValue(Value& value, int depth)
    {
        if (depth > maxDepth)
            return fail(QStringLiteral("nested too deeply"));
        skipWhitespace();
        if (m_p == m_end)
            return fail(QStringLiteral("unexpected end"));
        value.kind = Kind::Other;
        switch (*m_p) {
        case '"':
            value.kind = Kind::String;
            return readString(value.text);
        case 't':
            value.kind = Kind::True;
            return consumeWord("true") || fail(QStringLiteral("unexpected character"));
        case 'f':
            value.kind = Kind::False;
            return consumeWord("false") || fail(QStringLiteral("unexpected character"));
        case 'n':
            value.kind = Kind::Null;
            return consumeWord("null") || fail(QStringLiteral("unexpected character"));
        case '[': {
            ++m_p;
            skipWhitespace();
            if (consume(']'))
                return true;
            Value element;
            for (;;) {
                if (!readValue(element, depth + 1))
                    return false;
                skipWhitespace();
                if (consume(','))
                    continue;
                if (consume(']'))
                    return true;
                return fail(QStringLiteral("expected ',' or ']'"));
            }
        }
        case '{':
            return readObject(depth, [this, depth](const QString&) {
                Value member;
                return readValue(member, depth + 1);
            });
        default:
            return skipNumber();
        }
    }

    // At the opening brace; calls readMember(key) with the position at the member's value.
    template<typename ReadMember>
    bool readObject(int depth, ReadMember readMember)
    {
        if (depth > maxDepth)
            return fail(QStringLiteral("nested too deeply"));
        ++m_p;
        skipWhitespace();
        if (consume('}'))
            return true;
        QString key;
        for (;;) {
            skipWhitespace();
            if (m_p == m_end || *m_p != '"')
                return fail(QStringLiteral("expected a member name"));
            if (!readString(key))
                return false;
            skipWhitespace();
            if (!consume(':'))
                return fail(QStringLiteral("expected ':'"));
            if (!readMember(key))
                return false;
            skipWhitespace();
            if (consume(','))
                continue;
            if (consume('}'))
                return true;
            return fail(QStringLiteral("expected ',' or '}'"));
        }
    }

    std::optional<ClipboardItem> readEntry(qsizetype index)
    {
        if (m_p == m_end || *m_p != '{') {
            Value ignored;
            if (readValue(ignored, 1))
                m_error = entryError(index, QStringLiteral("not an object"));
            return std::nullopt;
        }
        Value id;
        Value type;
        Value content;
        Value pinned;
        Value pinTimestamp;
        Value timestamp;
        bool seenId = false;
        bool seenType = false;
        bool seenContent = false;
        bool seenTimestamp = false;
        pinned.kind = Kind::Null;
        pinTimestamp.kind = Kind::Null;
        const bool parsed = readObject(1, [&](const QString& key) {
            Value* target = nullptr;
            if (key == u"id") {
                target = &id;
                seenId = true;
            } else if (key == u"type") {
                target = &type;
                seenType = true;
            } else if (key == u"content") {
                target = &content;
                seenContent = true;
            } else if (key == u"isPinned") {
                target = &pinned;
            } else if (key == u"pinTimestamp") {
                target = &pinTimestamp;
            } else if (key == u"timestamp") {
                target = &timestamp;
                seenTimestamp = true;
            }
            Value ignored;
            return readValue(target ? *target : ignored, 2);
        });
        if (!parsed)
            return std::nullopt;

        const auto error = [this, index](const QString& what) {
            m_error = entryError(index, what);
            return std::nullopt;
        };
        if (!seenId || id.kind != Kind::String)
            return error(QStringLiteral("\"id\" is missing or not a string"));
        const std::optional<QUuid> uuid = parseUuid(id.text);
        if (!uuid)
            return error(QStringLiteral("\"id\" is not a UUID"));
        if (!seenType || type.kind != Kind::String)
            return error(QStringLiteral("\"type\" is missing or not a string"));
        const std::optional<ClipboardItemType> itemType = clipboardItemTypeFromName(type.text);
        if (!itemType)
            return error(QStringLiteral("\"type\" has the unknown value \"%1\"").arg(type.text));
        if (!seenContent || content.kind != Kind::String)
            return error(QStringLiteral("\"content\" is missing or not a string"));
        if (pinned.kind != Kind::Null && pinned.kind != Kind::True && pinned.kind != Kind::False)
            return error(QStringLiteral("\"isPinned\" is not a boolean"));
        std::optional<QDateTime> pinMoment;
        if (pinTimestamp.kind != Kind::Null) {
            if (pinTimestamp.kind != Kind::String || !(pinMoment = parseTimestamp(pinTimestamp.text)))
                return error(QStringLiteral("\"pinTimestamp\" is not a date"));
        }
        std::optional<QDateTime> moment;
        if (!seenTimestamp || timestamp.kind != Kind::String || !(moment = parseTimestamp(timestamp.text)))
            return error(QStringLiteral("\"timestamp\" is missing or not a date"));

        // Strings decoded from UTF-8 or grown escape by escape may hold spare room; a large history keeps
        // only what it needs.
        content.text.squeeze();
        return ClipboardItem(*uuid, *itemType, std::move(content.text), pinned.kind == Kind::True, std::move(pinMoment),
                             *moment);
    }

    const char* m_begin;
    const char* m_p;
    const char* m_end;
    const std::function<void(qsizetype)>& m_consumed;
    QString m_error;
};

} // namespace

HistoryDecodeResult decodeHistory(QByteArrayView json, const std::function<void(qsizetype)>& consumed)
{
    return HistoryReader(json, consumed).read();
}
