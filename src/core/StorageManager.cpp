#include "StorageManager.h"

#include "HistoryCodec.h"
#include "StandardOutput.h"
#include "platform/ImageCodec.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QSaveFile>
#include <QStandardPaths>

namespace {

constexpr QFileDevice::Permissions privateFile = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
constexpr QFileDevice::Permissions privateFolder =
    QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner;
constexpr int historySaveTag = 1;
constexpr qsizetype writeChunk = 1 << 20;

// Creates the folder and any missing parents with owner-only access, then makes sure the folder
// itself is private even if it already existed.
void makePrivateFolder(const QString& path)
{
    const QString absolute = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    QStringList missing;
    for (QString current = absolute; !current.isEmpty() && !QFileInfo::exists(current);) {
        missing.prepend(current);
        const QString parent = QFileInfo(current).path();
        if (parent == current)
            break;
        current = parent;
    }
    for (const QString& folder : std::as_const(missing))
        QDir().mkdir(folder, privateFolder);
    if (QFileInfo(absolute).isDir())
        QFile::setPermissions(absolute, privateFolder);
}

// QFileDevice::write() may write less than asked (a full disk) without failing outright; every chunk
// is checked so that a short write can never be committed.
bool writeAll(QFileDevice& file, const QByteArray& bytes)
{
    for (qsizetype offset = 0; offset < bytes.size(); offset += writeChunk) {
        const qsizetype length = std::min(writeChunk, bytes.size() - offset);
        if (file.write(bytes.constData() + offset, length) != length)
            return false;
    }
    return file.flush();
}

bool writePrivateFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate, privateFile))
        return false;
    if (!writeAll(file, bytes)) {
        file.close();
        file.remove();
        return false;
    }
    return true;
}

} // namespace

QString StorageManager::defaultAppSupportDir()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation))
        .filePath(QStringLiteral("Pellamor"));
}

StorageManager::StorageManager(const QString& appSupportDir)
    : m_appSupportDir(appSupportDir)
    , m_imagesDir(QDir(appSupportDir).filePath(QStringLiteral("images")))
    , m_historyFilePath(QDir(appSupportDir).filePath(QStringLiteral("history.json")))
    , m_imageCache(imageCacheLimit)
    , m_thumbnailCache(thumbnailCacheKiB)
{
    // Failures are silent: the history then lives in memory only and every save reports its failure.
    makePrivateFolder(m_appSupportDir);
    makePrivateFolder(m_imagesDir);
}

StorageManager::~StorageManager() = default;

bool StorageManager::save(const ClipboardItems& items)
{
    const QByteArray bytes = encodeHistory(items);
    QSaveFile file(m_historyFilePath);
    bool ok = file.open(QIODevice::WriteOnly) && file.setPermissions(privateFile) && writeAll(file, bytes);
    QString error = file.errorString();
    if (ok) {
        ok = file.commit();
        error = file.errorString();
    } else {
        file.cancelWriting();
    }
    if (ok)
        return true;
    if (error.isEmpty())
        error = QStringLiteral("could not write %1").arg(m_historyFilePath);
    printLine(QStringLiteral("Pellamor: Failed to save history: ") + error);
    return false;
}

ClipboardItems StorageManager::load()
{
    if (!QFileInfo::exists(m_historyFilePath))
        return {};
    QFile file(m_historyFilePath);
    if (!file.open(QIODevice::ReadOnly)) {
        moveAside(file.errorString());
        return {};
    }
    const HistoryDecodeResult result = decodeHistory(file.readAll());
    file.close();
    if (!result.ok()) {
        moveAside(result.error);
        return {};
    }
    return result.items;
}

void StorageManager::moveAside(const QString& reason)
{
    printLine(QStringLiteral("Pellamor: Failed to load history: ") + reason);
    const QString stem = m_historyFilePath + QStringLiteral(".corrupt-") +
                         QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString target = stem;
    for (int n = 2; QFileInfo::exists(target); ++n)
        target = stem + QLatin1Char('-') + QString::number(n);
    if (!QFile::rename(m_historyFilePath, target))
        QFile::copy(m_historyFilePath, target);
}

QString StorageManager::newImageName()
{
    return uuidText(QUuid::createUuid()) + QStringLiteral(".png");
}

QString StorageManager::saveImage(const QByteArray& data)
{
    QByteArray bytes = data;
    const QImage image = ImageCodec::decode(data);
    if (!image.isNull() && (image.width() > maxImageDimension || image.height() > maxImageDimension)) {
        const QByteArray scaled = pngData(resizedImage(image, maxImageDimension));
        if (!scaled.isEmpty())
            bytes = scaled;
    }
    const QString name = newImageName();
    writePrivateFile(imageURL(name), bytes);
    return name;
}

QString StorageManager::saveImage(const QImage& image)
{
    const QImage stored = image.width() > maxImageDimension || image.height() > maxImageDimension
                              ? resizedImage(image, maxImageDimension)
                              : image;
    const QString name = newImageName();
    cacheImage(name, stored);
    m_worker.post([path = imageURL(name), stored] {
        const QByteArray bytes = pngData(stored);
        if (!bytes.isEmpty())
            writePrivateFile(path, bytes);
    });
    return name;
}

QImage StorageManager::resizedImage(const QImage& image, qreal maxDimension)
{
    if (image.isNull() || image.height() == 0)
        return {};
    const qreal ratio = qreal(image.width()) / qreal(image.height());
    const QSizeF size =
        ratio > 1 ? QSizeF(maxDimension, maxDimension / ratio) : QSizeF(maxDimension * ratio, maxDimension);
    const QSize pixels(std::max(1, qRound(size.width())), std::max(1, qRound(size.height())));
    return image.scaled(pixels, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

QByteArray StorageManager::pngData(const QImage& image)
{
    return ImageCodec::encodePng(image);
}

void StorageManager::cacheImage(const QString& name, const QImage& image)
{
    QMutexLocker lock(&m_cacheMutex);
    m_imageCache.insert(name, new QImage(image));
}

QImage StorageManager::loadImage(const QString& name)
{
    {
        QMutexLocker lock(&m_cacheMutex);
        if (const QImage* cached = m_imageCache.object(name))
            return *cached;
    }
    const QString path = imageURL(name);
    if (path.isEmpty() || !QFileInfo(path).isFile())
        return {};
    QImage image = ImageCodec::decodeFile(path);
    if (!image.isNull())
        cacheImage(name, image);
    return image;
}

QImage StorageManager::loadThumbnail(const QString& name, const QSize& size)
{
    if (size.isEmpty())
        return {};
    const QString key =
        name + QLatin1Char('@') + QString::number(size.width()) + QLatin1Char('x') + QString::number(size.height());
    QImage full;
    {
        QMutexLocker lock(&m_cacheMutex);
        if (const QImage* cached = m_thumbnailCache.object(key))
            return *cached;
        if (const QImage* cached = m_imageCache.object(name))
            full = *cached;
    }
    QImage thumbnail;
    if (!full.isNull()) {
        thumbnail = full.scaled(size, Qt::KeepAspectRatioByExpanding, Qt::SmoothTransformation);
    } else {
        const QString path = imageURL(name);
        if (path.isEmpty() || !QFileInfo(path).isFile())
            return {};
        ImageCodec::applyAllocationLimit();
        QImageReader reader(path);
        const QSize source = reader.size();
        if (source.isValid() && !source.isEmpty()) {
            const QSize scaled = source.scaled(size, Qt::KeepAspectRatioByExpanding);
            if (scaled.width() < source.width())
                reader.setScaledSize(scaled);
        }
        thumbnail = reader.read();
    }
    if (thumbnail.isNull())
        return {};
    QMutexLocker lock(&m_cacheMutex);
    m_thumbnailCache.insert(key, new QImage(thumbnail), qMax<qsizetype>(1, thumbnail.sizeInBytes() / 1024));
    return thumbnail;
}

QString StorageManager::thumbnailKey(const QString& name, const QSize& size)
{
    return name + QLatin1Char('@') + QString::number(size.width()) + QLatin1Char('x') + QString::number(size.height());
}

QImage StorageManager::cachedThumbnail(const QString& name, const QSize& size)
{
    QMutexLocker lock(&m_cacheMutex);
    const QImage* cached = m_thumbnailCache.object(thumbnailKey(name, size));
    return cached ? *cached : QImage();
}

QString StorageManager::imageURL(const QString& name) const
{
    return isPlainFileName(name) ? m_imagesDir + QLatin1Char('/') + name : QString();
}

void StorageManager::deleteImage(const QString& name)
{
    const QString path = imageURL(name);
    if (!path.isEmpty())
        QFile::remove(path);
}

void StorageManager::saveInBackground(ClipboardItems snapshot)
{
    m_worker.postReplacing(historySaveTag, [this, snapshot = std::move(snapshot)] { save(snapshot); });
}

void StorageManager::deleteImagesInBackground(QStringList names)
{
    if (names.isEmpty())
        return;
    m_worker.post([this, names = std::move(names)] {
        for (const QString& name : names)
            deleteImage(name);
    });
}

void StorageManager::waitForBackgroundWork()
{
    m_worker.waitUntilIdle();
}

bool StorageManager::isPlainFileName(const QString& name)
{
    return !name.isEmpty() && name != u"." && name != u".." && !name.contains(QLatin1Char('/')) &&
           !name.contains(QChar(0));
}
