#pragma once

#include "ClipboardItem.h"

#include <QMimeData>

class StorageManager;

// What an entry hands to another program when it is dragged out of the panel or the board. A text entry
// is its whole text. An image entry is its stored file, under the store's rule (a regular file of ours:
// a link is never handed on, a missing file never handed out), its PNG bytes and the name
// "Pellamor_Image.png" for file managers that save the drop. Building it reads nothing but the file's
// status; the bytes are read only when a drop target asks for them, and nothing is ever decoded.
class EntryMimeData : public QMimeData
{
public:
    static constexpr const char* pngType = "image/png";
    static constexpr const char* suggestedNameType = "application/x-kde-suggestedfilename";

    EntryMimeData(const ClipboardItem& item, StorageManager& storage);

    QStringList formats() const override;
    bool hasFormat(const QString& mimeType) const override;

protected:
    QVariant retrieveData(const QString& mimeType, QMetaType type) const override;

private:
    StorageManager& m_storage;
    QString m_imageName;
    bool m_offersImage = false;
};
