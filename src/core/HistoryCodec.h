#pragma once

#include "ClipboardItem.h"

#include <QByteArray>

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

// Reads the whole file or nothing: one faulty entry fails the read.
HistoryDecodeResult decodeHistory(const QByteArray& json);

// RFC 3339 in UTC with whole seconds and "Z", e.g. 2025-03-14T09:26:53Z. Fractions are dropped.
QString formatTimestamp(const QDateTime& moment);
// Accepts YYYY-MM-DDTHH:MM:SS followed by Z or a +HH:MM / -HH:MM offset; no fractional seconds.
std::optional<QDateTime> parseTimestamp(QStringView text);
// 8-4-4-4-12 hexadecimal digits, either case, no braces.
std::optional<QUuid> parseUuid(QStringView text);
