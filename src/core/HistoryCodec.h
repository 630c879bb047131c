#pragma once

#include "ClipboardItem.h"

#include <QByteArray>
#include <QByteArrayView>

#include <functional>
#include <optional>

// The history file: one compact JSON array of entry objects, members in the order
// id, type, content, isPinned, pinTimestamp (only when set), timestamp.
struct HistoryDecodeResult
{
    ClipboardItems items;
    QString error; // empty on success

    bool ok() const { return error.isEmpty(); }
};

QByteArray encodeHistory(const ClipboardItems& items);

// Reads the whole file or nothing: one faulty entry fails the read, and so does text that is not
// well-formed UTF-8 or a \u escape of half a surrogate pair, so no byte of the file is silently replaced.
// `consumed`, when given, is told after each entry how many leading bytes will never be read again,
// so a caller can give that memory back while a large file is being read.
HistoryDecodeResult decodeHistory(QByteArrayView json, const std::function<void(qsizetype)>& consumed = {});

// RFC 3339 in UTC with whole seconds and "Z", e.g. 2025-03-14T09:26:53Z. Fractions are dropped.
QString formatTimestamp(const QDateTime& moment);
// Accepts YYYY-MM-DDTHH:MM:SS followed by Z or a +HH:MM / -HH:MM offset; no fractional seconds.
std::optional<QDateTime> parseTimestamp(QStringView text);
// 8-4-4-4-12 hexadecimal digits, either case, no braces.
std::optional<QUuid> parseUuid(QStringView text);
