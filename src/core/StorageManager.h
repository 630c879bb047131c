#pragma once

#include "ClipboardItem.h"
#include "SerialWorker.h"
#include "platform/ClipboardSnapshot.h"

#include <QCache>
#include <QHash>
#include <QImage>
#include <QMutex>
#include <QStringList>

#include <atomic>
#include <memory>

class QIODevice;

// The history on disk: Pellamor/history.json, one PNG per image entry in Pellamor/images/ and a folder of
// kept formats per entry in Pellamor/formats/, all private to the user. Decoded images are served through a
// small thread-safe cache. Background work (history saves, image and format writes and deletions) runs on
// one worker thread in request order.
//
// Nothing is read or written through a symbolic link. A data folder that is a link, belongs to another
// user, or is writable by others and cannot be made private is refused with one line; the history then
// lives in memory only (images included) and nothing is written to that folder.
class StorageManager
{
public:
    static constexpr int maxImageDimension = 1200;
    // The decoded-image cache holds at most this many images, and at most imageCacheBytes of pixels.
    static constexpr int imageCacheLimit = 50;
    static constexpr qsizetype imageCacheBytes = qsizetype(64) * 1024 * 1024;
    // A history file larger than this is refused unread: the whole history is a few megabytes at most.
    static constexpr qint64 maxHistoryFileBytes = qint64(256) * 1024 * 1024;
    // About a hundred board tiles or panel rows: what is on screen and a little more.
    static constexpr int thumbnailCacheKiB = 4 * 1024;

    // The program's folder in the user's data folder, e.g. ~/.local/share/Pellamor.
    static QString defaultAppSupportDir();

    explicit StorageManager(const QString& appSupportDir = defaultAppSupportDir());
    // Finishes every save, write and deletion already requested.
    ~StorageManager();
    StorageManager(const StorageManager&) = delete;
    StorageManager& operator=(const StorageManager&) = delete;

    const QString& appSupportDir() const { return m_appSupportDir; }
    const QString& imagesDir() const { return m_imagesDir; }
    // One folder per entry that keeps formats beside its text, named by the entry's id.
    const QString& formatsDir() const { return m_formatsDir; }
    const QString& historyFilePath() const { return m_historyFilePath; }
    // False when the data folder was refused: the history is then never saved.
    bool isPersistent() const { return m_persistent; }

    // Replaces the history file atomically; on failure prints the failure line, leaves the previous
    // file whole and returns false.
    bool save(const ClipboardItems& items);
    // The stored history in file order, or an empty list. A file that cannot be read is moved aside
    // (history.json.corrupt-<time>) so that the next save cannot destroy it. The first load that reads
    // the history without error also removes the image files that no entry names (left by a crash
    // inside the undo window).
    ClipboardItems load();

    // Stores image bytes as a new file, scaled down first when either side exceeds 1200 pixels; bytes that
    // do not decode are stored unchanged. Returns the new file name, also when the write failed.
    QString saveImage(const QByteArray& data);
    // The same for an image already decoded: scaled here, encoded and written on the worker. The image is
    // cached under its name at once, so it can be shown and copied back before the file exists.
    QString saveImage(const QImage& image);

    // Scaled copy whose longer side is maxDimension, aspect ratio kept.
    static QImage resizedImage(const QImage& image, qreal maxDimension);
    static QByteArray pngData(const QImage& image);

    // Thread-safe. Null when the file is missing or does not decode.
    QImage loadImage(const QString& name);
    // Thread-safe. The image scaled to cover `size` (aspect ratio kept), decoded at that size when the
    // full image is not in memory, so lists of thumbnails never hold full images. Kept in a cache of
    // its own, bounded by bytes.
    QImage loadThumbnail(const QString& name, const QSize& size);
    // Only what the thumbnail cache holds now: never touches the disk, so views may ask while painting.
    QImage cachedThumbnail(const QString& name, const QSize& size);
    // The image file's path, whether or not it exists; empty for a name that is not a plain file name,
    // which then behaves as a missing file everywhere, and empty for every name when the data folder
    // was refused.
    QString imageURL(const QString& name) const;
    // The one rule for the image files handed out (drags) or read (text recognition): imageURL(name) when
    // a regular file of ours stands there, else empty. A link is never handed on, a missing file never
    // handed out.
    QString ownImagePath(const QString& name) const;
    // Thread-safe. The stored bytes of an image entry opened for reading under the same rule, through the
    // descriptor that was checked (a link swapped in afterwards is not followed); for an in-memory
    // history, its bytes. Null when there is no such file.
    std::unique_ptr<QIODevice> openImageFile(const QString& name);
    void deleteImage(const QString& name);

    // The formats kept beside an entry's text, one file per type in formatsDir()/<ID>/; they replace any
    // kept before. Written on the worker; until then they are served from memory. Empty formats remove
    // the entry's folder.
    void saveFormats(const QUuid& id, const KeptFormats& formats);
    // The entry's kept formats; empty when it keeps none or its folder is gone. A file larger than the
    // limit for all of them, a link or a file of another user is skipped.
    KeptFormats loadFormats(const QUuid& id);
    // The types kept for each entry that has a folder, read from the file names only.
    QHash<QUuid, QStringList> keptFormatTypes();
    void deleteFormatsInBackground(QList<QUuid> ids);
    // The file name of a type in an entry's folder and back: percent-encoded, so never "." or a path.
    static QString formatFileName(const QString& type);
    static QString formatType(const QString& fileName);

    void saveInBackground(ClipboardItems snapshot);
    void deleteImagesInBackground(QStringList names);
    void waitForBackgroundWork();

    // Only such names are ever joined to the image folder: not empty, no '/', not "." or "..".
    static bool isPlainFileName(const QString& name);

private:
    void moveAside(const QString& reason);
    // Removes history.json.XXXXXX temporaries that a crash during a save left behind.
    void removeStaleTemporaries();
    void removeUnnamedImages(const ClipboardItems& items);
    void removeUnnamedFormats(const ClipboardItems& items);
    QString formatsFolder(const QUuid& id) const;
    void storeFormats(const QUuid& id, const KeptFormats& formats);
    void deleteFormats(const QUuid& id);
    void cacheImage(const QString& name, const QImage& image);
    void storeImageBytes(const QString& name, const QByteArray& bytes);
    static QString newImageName();
    static QString thumbnailKey(const QString& name, const QSize& size);

    QString m_appSupportDir;
    QString m_imagesDir;
    QString m_formatsDir;
    QString m_historyFilePath;
    bool m_persistent = true;
    // Size of the last history written, to know when a save has left much memory free.
    std::atomic<qsizetype> m_lastSaveBytes = 0;

    QMutex m_saveMutex;
    std::atomic_bool m_imagesChecked = false;
    QMutex m_cacheMutex;
    QCache<QString, QImage> m_imageCache;
    QCache<QString, QImage> m_thumbnailCache;
    // PNG bytes of the images of an in-memory history (refused data folder only).
    QHash<QString, QByteArray> m_memoryImages;
    // Formats not written yet, with the number of the save that wrote them; for an in-memory history,
    // all of them.
    struct PendingFormats
    {
        quint64 save = 0;
        KeptFormats formats;
    };
    QHash<QUuid, PendingFormats> m_pendingFormats;
    quint64 m_formatSaves = 0;

    // Last member: destroyed first, so queued work still finds everything above alive.
    SerialWorker m_worker;
};
