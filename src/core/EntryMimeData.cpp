#include "EntryMimeData.h"

#include "StorageManager.h"
#include "platform/ImageCodec.h"

#include <QIODevice>
#include <QUrl>

EntryMimeData::EntryMimeData(const ClipboardItem& item, StorageManager& storage)
    : m_storage(storage)
{
    if (item.isText()) {
        setText(item.content);
        return;
    }
    m_imageName = item.content;
    const QString path = storage.ownImagePath(item.content);
    if (!path.isEmpty())
        setUrls({QUrl::fromLocalFile(path)});
    // An in-memory history (a refused data folder) has no file to point at, but still has the bytes.
    m_offersImage = !path.isEmpty() || (!storage.isPersistent() && storage.openImageFile(item.content));
    setData(QLatin1String(suggestedNameType), QByteArrayLiteral("Pellamor_Image.png"));
}

QStringList EntryMimeData::formats() const
{
    QStringList list = QMimeData::formats();
    if (m_offersImage)
        list << QLatin1String(pngType);
    return list;
}

bool EntryMimeData::hasFormat(const QString& mimeType) const
{
    return (m_offersImage && mimeType == QLatin1String(pngType)) || QMimeData::hasFormat(mimeType);
}

QVariant EntryMimeData::retrieveData(const QString& mimeType, QMetaType type) const
{
    if (!m_offersImage || mimeType != QLatin1String(pngType))
        return QMimeData::retrieveData(mimeType, type);
    // Opened again under the rule: the file may have been deleted, or replaced by a link, since the drag began.
    const std::unique_ptr<QIODevice> file = m_storage.openImageFile(m_imageName);
    if (!file || file->size() > ImageCodec::maxFileBytes)
        return {};
    QByteArray bytes = file->readAll();
    // Bytes that did not decode when captured were stored as they came: they are no PNG to offer.
    if (!bytes.startsWith("\x89PNG\r\n\x1a\n"))
        return {};
    return bytes;
}
