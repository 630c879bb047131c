#pragma once

#include "BusNames.h"
#include "core/ClipboardItem.h"

#include <QDBusArgument>
#include <QList>
#include <QMetaType>
#include <QSize>
#include <QString>

class QJsonObject;

// One line of `pellamor list`: what the history interface's List and Search return per entry, in history
// order, as the D-Bus structure (id, type, pinned, timestamp, preview).
struct HistoryRow
{
    QString id;
    QString type;
    bool pinned = false;
    // As the history file writes it: RFC 3339 in UTC with whole seconds.
    QString timestamp;
    QString preview;

    // Characters of text a preview shows.
    static constexpr qsizetype previewLength = 100;

    // `imageSize` is the image's size for an image entry, invalid when its file cannot be read.
    static HistoryRow of(const ClipboardItem& item, const QSize& imageSize = {});
    // The text's first previewLength characters, each line break shown as "⏎".
    static QString textPreview(const QString& text);
    static QString imagePreview(const QSize& size);

    // "ID<TAB>preview".
    QString line() const;
    QJsonObject toJson() const;
};
using HistoryRows = QList<HistoryRow>;

// What `pellamor list` and `search` print, as UTF-8: a line per row, or one JSON array.
QByteArray formatRows(const HistoryRows& rows, bool json);
Q_DECLARE_METATYPE(HistoryRow)

QDBusArgument& operator<<(QDBusArgument& argument, const HistoryRow& row);
const QDBusArgument& operator>>(const QDBusArgument& argument, HistoryRow& row);

namespace HistoryBus {
// What Add accepts: as much as one clipboard type may hold when captured.
qint64 maxPayloadBytes();
// Registers HistoryRow and its list with QtDBus; call before any call or export uses them.
void registerTypes();
// "text/plain;charset=utf-8" and its spellings (no charset, other case, spaces) are text; "image/png" is an
// image; anything else is neither.
std::optional<ClipboardItemType> typeOfMime(const QString& mimeType);
} // namespace HistoryBus
