#pragma once

#include <QDateTime>
#include <QList>
#include <QMetaType>
#include <QString>
#include <QUuid>

#include <optional>

enum class ClipboardItemType { Text, Image };

// One entry of the clipboard history: a captured text, or a captured image whose PNG lives in the image
// folder under the file name held in `content`. A plain value, passed around by copy.
struct ClipboardItem
{
    using Type = ClipboardItemType;

    QUuid id;
    ClipboardItemType type = ClipboardItemType::Text;
    QString content;
    bool isPinned = false;
    std::optional<QDateTime> pinTimestamp;
    QDateTime timestamp;

    ClipboardItem() = default;
    ClipboardItem(const QUuid& id, ClipboardItemType type, const QString& content, bool isPinned = false,
                  std::optional<QDateTime> pinTimestamp = std::nullopt, const QDateTime& timestamp = {})
        : id(id)
        , type(type)
        , content(content)
        , isPinned(isPinned)
        , pinTimestamp(std::move(pinTimestamp))
        , timestamp(timestamp)
    {}

    // A freshly captured, unpinned entry with a random id, stamped now.
    static ClipboardItem captured(ClipboardItemType type, const QString& content);
    // The current moment in whole seconds: what the history file can hold, so an entry in memory and
    // the same entry read back are equal and sort alike.
    static QDateTime currentMoment();

    bool isText() const { return type == ClipboardItemType::Text; }
    bool isImage() const { return type == ClipboardItemType::Image; }

    // The moment that orders pinned entries: when it was pinned, or its capture time for an entry pinned
    // by hand in the file without a pin moment.
    const QDateTime& pinMoment() const { return pinTimestamp ? *pinTimestamp : timestamp; }

    friend bool operator==(const ClipboardItem&, const ClipboardItem&) = default;
};

using ClipboardItems = QList<ClipboardItem>;

Q_DECLARE_METATYPE(ClipboardItem)

QString clipboardItemTypeName(ClipboardItemType type);
std::optional<ClipboardItemType> clipboardItemTypeFromName(QStringView name);

// The id as the history file writes it: 36 upper-case hexadecimal digits with hyphens.
QString uuidText(const QUuid& id);
