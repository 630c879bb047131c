#include "ClipboardItem.h"

ClipboardItem ClipboardItem::captured(ClipboardItemType type, const QString& content)
{
    return ClipboardItem(QUuid::createUuid(), type, content, false, std::nullopt, currentMoment());
}

QDateTime ClipboardItem::currentMoment()
{
    return QDateTime::fromSecsSinceEpoch(QDateTime::currentSecsSinceEpoch(), Qt::UTC);
}

QString clipboardItemTypeName(ClipboardItemType type)
{
    return type == ClipboardItemType::Image ? QStringLiteral("image") : QStringLiteral("text");
}

std::optional<ClipboardItemType> clipboardItemTypeFromName(QStringView name)
{
    if (name == u"text")
        return ClipboardItemType::Text;
    if (name == u"image")
        return ClipboardItemType::Image;
    return std::nullopt;
}

QString uuidText(const QUuid& id)
{
    return id.toString(QUuid::WithoutBraces).toUpper();
}
