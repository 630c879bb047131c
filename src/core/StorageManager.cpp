#include "StorageManager.h"

#include "HistoryCodec.h"
#include "StandardOutput.h"
#include "platform/FreeMemory.h"
#include "platform/ImageCodec.h"
#include "platform/freedesktop/XdgPaths.h"

#include <QBuffer>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QScopeGuard>
#include <QSet>
#include <QUrl>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr mode_t privateFileMode = S_IRUSR | S_IWUSR;
constexpr mode_t privateFolderMode = S_IRWXU;
constexpr QFileDevice::Permissions privateFolder =
    QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner;
constexpr int historySaveTag = 1;

QString errorText(int code)
{
    return qt_error_string(code);
}

// Creates the folder and any missing parents with owner-only access. mkdir never follows a link, so a
// link in the folder's place is left for secureFolder() to find.
void createFolders(const QString& path)
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
}

// Why the folder must not be used, or empty. A folder of ours that others may read or write is made
// private (through a descriptor, so the change cannot land on a link's target). A missing folder or a
// file in its place is not refused here: every save then reports its own failure.
QString secureFolder(const QString& path)
{
    const QByteArray native = QFile::encodeName(path);
    struct stat status = {};
    if (::lstat(native.constData(), &status) != 0)
        return {};
    if (S_ISLNK(status.st_mode))
        return QStringLiteral("it is a symbolic link");
    if (!S_ISDIR(status.st_mode))
        return {};
    if (status.st_uid != ::geteuid())
        return QStringLiteral("it belongs to another user");
    if ((status.st_mode & 07777) == privateFolderMode)
        return {};
    bool repaired = false;
    const int fd = ::open(native.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0) {
        struct stat opened = {};
        repaired = ::fstat(fd, &opened) == 0 && opened.st_dev == status.st_dev && opened.st_ino == status.st_ino &&
                   ::fchmod(fd, privateFolderMode) == 0;
        ::close(fd);
    }
    if (!repaired && (status.st_mode & (S_IWGRP | S_IWOTH)))
        return QStringLiteral("it is writable by other users and cannot be made private");
    return {};
}

// Writes everything, continuing after short writes; false with errno set on failure.
bool writeFully(int fd, const char* data, qsizetype size)
{
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size_t(size));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (written == 0) {
            errno = ENOSPC;
            return false;
        }
        data += written;
        size -= written;
    }
    return true;
}

// Replaces `path` atomically: the bytes go to a new temporary file beside it, which is synced and renamed
// over the old name. rename() replaces a link in that place instead of writing through it, and a failed
// write leaves the previous file whole. On failure returns the cause.
QString replaceFile(const QString& path, const QByteArray& bytes)
{
    QByteArray temporary = QFile::encodeName(path) + ".XXXXXX";
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0)
        return errorText(errno);
    bool ok = ::fchmod(fd, privateFileMode) == 0 && writeFully(fd, bytes.constData(), bytes.size()) && ::fsync(fd) == 0;
    int error = errno;
    if (::close(fd) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (ok && ::rename(temporary.constData(), QFile::encodeName(path).constData()) == 0)
        return {};
    if (ok)
        error = errno;
    ::unlink(temporary.constData());
    return errorText(error);
}

// Creates a new private file and writes it whole; never opens an existing file or follows a link.
// On failure removes what was written and returns the cause.
QString writeNewFile(const QString& path, const QByteArray& bytes)
{
    const QByteArray native = QFile::encodeName(path);
    const int fd = ::open(native.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, privateFileMode);
    if (fd < 0)
        return errorText(errno);
    bool ok = writeFully(fd, bytes.constData(), bytes.size());
    int error = errno;
    if (::close(fd) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (ok)
        return {};
    ::unlink(native.constData());
    return errorText(error);
}

// Opens a regular file of ours for reading without following a link in its last component. Returns the
// descriptor, or -1 with `error` set (empty when the file does not exist).
int openOwnFile(const QString& path, struct stat& status, QString& error)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            error.clear();
        else if (errno == ELOOP)
            error = QStringLiteral("the file is a symbolic link");
        else
            error = errorText(errno);
        return -1;
    }
    if (::fstat(fd, &status) != 0)
        error = errorText(errno);
    else if (!S_ISREG(status.st_mode))
        error = QStringLiteral("the file is not a regular file");
    else if (status.st_uid != ::geteuid())
        error = QStringLiteral("the file belongs to another user");
    else
        return fd;
    ::close(fd);
    return -1;
}

// The bytes of the history file while it is decoded. The buffer is mapped memory of its own, so the part
// already decoded can be handed back page by page: reading a file never needs its bytes and all of its
// decoded text at once.
class ReadBuffer
{
public:
    explicit ReadBuffer(qsizetype size)
        : m_size(size)
    {
        if (size == 0)
            return;
        void* memory = ::mmap(nullptr, size_t(size), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (memory != MAP_FAILED)
            m_data = static_cast<char*>(memory);
    }
    ~ReadBuffer()
    {
        if (m_data)
            ::munmap(m_data, size_t(m_size));
    }
    ReadBuffer(const ReadBuffer&) = delete;
    ReadBuffer& operator=(const ReadBuffer&) = delete;

    bool isValid() const { return m_size == 0 || m_data; }

    // Reads up to the buffer's size; a file that shrank meanwhile leaves fewer bytes. Empty on success.
    QString readFrom(int fd)
    {
        while (m_filled < m_size) {
            const ssize_t got = ::read(fd, m_data + m_filled, size_t(m_size - m_filled));
            if (got < 0) {
                if (errno == EINTR)
                    continue;
                return errorText(errno);
            }
            if (got == 0)
                break;
            m_filled += got;
        }
        return {};
    }

    QByteArrayView bytes() const { return QByteArrayView(m_data, m_filled); }

    // Gives back the whole pages before `offset`, a few megabytes at a time.
    void release(qsizetype offset)
    {
        static const qsizetype page = ::sysconf(_SC_PAGESIZE);
        constexpr qsizetype step = qsizetype(4) << 20;
        const qsizetype end = offset / page * page;
        if (end - m_released < step)
            return;
        ::madvise(m_data + m_released, size_t(end - m_released), MADV_DONTNEED);
        m_released = end;
    }

private:
    char* m_data = nullptr;
    qsizetype m_size = 0;
    qsizetype m_filled = 0;
    qsizetype m_released = 0;
};

// The names mkostemp() gives the history's temporaries: "history.json." and six letters or digits.
bool isHistoryTemporary(const char* name, const QByteArray& historyName)
{
    const qsizetype length = qsizetype(std::strlen(name));
    if (length != historyName.size() + 7 ||
        std::strncmp(name, historyName.constData(), size_t(historyName.size())) != 0 || name[historyName.size()] != '.')
        return false;
    for (const char* c = name + historyName.size() + 1; *c; ++c) {
        if (!std::isalnum(static_cast<unsigned char>(*c)))
            return false;
    }
    return true;
}

// The names saveImage() gives: an upper-case UUID and ".png".
bool isImageName(const char* name)
{
    static constexpr char form[] = "XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX.png";
    if (std::strlen(name) != sizeof form - 1)
        return false;
    for (size_t i = 0; i < sizeof form - 1; ++i) {
        const char c = name[i];
        const bool ok =
            form[i] == 'X' ? (std::isdigit(static_cast<unsigned char>(c)) || (c >= 'A' && c <= 'F')) : c == form[i];
        if (!ok)
            return false;
    }
    return true;
}

// Calls visit(fd, name, status) for every entry of `folder` that is a regular file of ours, or, with
// folders, a folder of ours. The folder is opened without following a link, and links are never visited.
template<typename Visit>
void visitOwnEntries(const QString& folder, bool folders, Visit visit)
{
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return;
    DIR* dir = ::fdopendir(fd);
    if (!dir) {
        ::close(fd);
        return;
    }
    while (const dirent* entry = ::readdir(dir)) {
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0)
            continue;
        struct stat status = {};
        if (::fstatat(fd, entry->d_name, &status, AT_SYMLINK_NOFOLLOW) != 0 || status.st_uid != ::geteuid() ||
            !(folders ? S_ISDIR(status.st_mode) : S_ISREG(status.st_mode)))
            continue;
        visit(fd, entry->d_name, status);
    }
    ::closedir(dir);
}

// Removes the regular files of ours in `folder` whose name `matches` accepts. A link is never followed:
// the folder is opened without following one, and a link or anything else that is not a regular file
// is left where it is.
template<typename Matches>
void removeFilesIn(const QString& folder, Matches matches)
{
    visitOwnEntries(folder, false, [&matches](int fd, const char* name, const struct stat&) {
        if (matches(name))
            ::unlinkat(fd, name, 0);
    });
}

// The entry id an entry's format folder is named by, or null for any other name.
QUuid folderId(const char* name)
{
    const QString text = QFile::decodeName(name);
    const QUuid id = QUuid::fromString(text);
    return !id.isNull() && uuidText(id) == text ? id : QUuid();
}

// Every image costs at least its share of the byte limit, so the cache keeps at most imageCacheLimit
// images and at most imageCacheBytes of pixels.
qsizetype imageCost(const QImage& image)
{
    return std::max(image.sizeInBytes(), StorageManager::imageCacheBytes / StorageManager::imageCacheLimit);
}

} // namespace

QString StorageManager::defaultAppSupportDir()
{
    return QDir(XdgPaths::dataHome()).filePath(QStringLiteral("Pellamor"));
}

StorageManager::StorageManager(const QString& appSupportDir)
    : m_appSupportDir(appSupportDir)
    , m_imagesDir(QDir(appSupportDir).filePath(QStringLiteral("images")))
    , m_formatsDir(QDir(appSupportDir).filePath(QStringLiteral("formats")))
    , m_historyFilePath(QDir(appSupportDir).filePath(QStringLiteral("history.json")))
    , m_imageCache(imageCacheBytes)
    , m_thumbnailCache(thumbnailCacheKiB)
{
    // Failures to create are silent: every save then reports its failure. A folder that is not safe to
    // use is refused once, loudly, and never touched again.
    for (const QString& folder : {m_appSupportDir, m_imagesDir, m_formatsDir}) {
        createFolders(folder);
        const QString reason = secureFolder(folder);
        if (!reason.isEmpty()) {
            printLine(QStringLiteral("Pellamor: Refusing to use %1: %2").arg(folder, reason));
            m_persistent = false;
            break;
        }
    }
    // A save cut short by a crash leaves its temporary behind: a copy of entries since deleted.
    removeStaleTemporaries();
}

StorageManager::~StorageManager() = default;

void StorageManager::removeStaleTemporaries()
{
    if (!m_persistent)
        return;
    const QByteArray historyName = QFile::encodeName(QFileInfo(m_historyFilePath).fileName());
    removeFilesIn(m_appSupportDir, [&historyName](const char* name) { return isHistoryTemporary(name, historyName); });
}

bool StorageManager::save(const ClipboardItems& items)
{
    if (!m_persistent)
        return true;
    QString error;
    qsizetype size = 0;
    {
        // One save at a time, so the temporaries removed here are never the one another save is writing.
        QMutexLocker lock(&m_saveMutex);
        removeStaleTemporaries();
        const QByteArray bytes = encodeHistory(items);
        size = bytes.size();
        error = replaceFile(m_historyFilePath, bytes);
    }
    if (std::max(size, m_lastSaveBytes.exchange(size)) >= FreeMemory::largeBytes)
        FreeMemory::giveBack();
    if (error.isEmpty())
        return true;
    printLine(QStringLiteral("Pellamor: Failed to save history: ") + error);
    return false;
}

ClipboardItems StorageManager::load()
{
    if (!m_persistent)
        return {};
    // Only the first load is the start: later an entry removed but still undoable owns its file.
    const bool atStart = !m_imagesChecked.exchange(true);
    struct stat status = {};
    QString error;
    const int fd = openOwnFile(m_historyFilePath, status, error);
    if (fd < 0) {
        if (!error.isEmpty())
            moveAside(error);
        return {};
    }
    auto closeFile = qScopeGuard([fd] { ::close(fd); });
    // Refused unread: a file this large is not a history of ours, and reading it would cost gigabytes.
    if (status.st_size > maxHistoryFileBytes) {
        closeFile.dismiss();
        ::close(fd);
        moveAside(QStringLiteral("the file is larger than %1 MiB").arg(maxHistoryFileBytes >> 20));
        return {};
    }
    ReadBuffer buffer(status.st_size);
    if (!buffer.isValid())
        error = errorText(ENOMEM);
    else
        error = buffer.readFrom(fd);
    closeFile.dismiss();
    ::close(fd);
    if (!error.isEmpty()) {
        moveAside(error);
        return {};
    }
    HistoryDecodeResult result = decodeHistory(buffer.bytes(), [&buffer](qsizetype offset) { buffer.release(offset); });
    if (!result.ok()) {
        moveAside(result.error);
        return {};
    }
    if (atStart) {
        removeUnnamedImages(result.items);
        removeUnnamedFormats(result.items);
    }
    return std::move(result.items);
}

void StorageManager::removeUnnamedImages(const ClipboardItems& items)
{
    QSet<QString> named;
    for (const ClipboardItem& item : items) {
        if (item.isImage())
            named.insert(item.content);
    }
    // Here, not on the worker: an image written later must not be taken for one no entry names. A few
    // hundred names are listed in well under a millisecond.
    removeFilesIn(m_imagesDir,
                  [&named](const char* name) { return isImageName(name) && !named.contains(QFile::decodeName(name)); });
}

void StorageManager::removeUnnamedFormats(const ClipboardItems& items)
{
    QSet<QUuid> named;
    for (const ClipboardItem& item : items)
        named.insert(item.id);
    QList<QUuid> unnamed;
    visitOwnEntries(m_formatsDir, true, [&](int, const char* name, const struct stat&) {
        const QUuid id = folderId(name);
        if (!id.isNull() && !named.contains(id))
            unnamed.append(id);
    });
    for (const QUuid& id : std::as_const(unnamed))
        deleteFormats(id);
}

QString StorageManager::formatFileName(const QString& type)
{
    // Dots too, so that no name is "." or "..".
    return QString::fromLatin1(type.toUtf8().toPercentEncoding({}, "."));
}

QString StorageManager::formatType(const QString& fileName)
{
    return QString::fromUtf8(QByteArray::fromPercentEncoding(fileName.toLatin1()));
}

QString StorageManager::formatsFolder(const QUuid& id) const
{
    return m_formatsDir + QLatin1Char('/') + uuidText(id);
}

void StorageManager::saveFormats(const QUuid& id, const KeptFormats& formats)
{
    quint64 save = 0;
    {
        QMutexLocker lock(&m_cacheMutex);
        save = ++m_formatSaves;
        if (formats.isEmpty())
            m_pendingFormats.remove(id);
        else
            m_pendingFormats.insert(id, {save, formats});
    }
    if (!m_persistent)
        return;
    // Only the references cross to the worker: the bytes stay shared with the caller's.
    m_worker.post([this, id, formats, save] {
        if (formats.isEmpty())
            deleteFormats(id);
        else
            storeFormats(id, formats);
        QMutexLocker lock(&m_cacheMutex);
        if (const auto pending = m_pendingFormats.constFind(id);
            pending != m_pendingFormats.cend() && pending->save == save)
            m_pendingFormats.erase(pending);
    });
}

void StorageManager::storeFormats(const QUuid& id, const KeptFormats& formats)
{
    const QString folder = formatsFolder(id);
    const QByteArray native = QFile::encodeName(folder);
    // mkdir never follows a link; whatever stands there must be a folder of ours.
    if (::mkdir(native.constData(), privateFolderMode) != 0 && errno != EEXIST) {
        printLine(QStringLiteral("Pellamor: Failed to save formats: ") + errorText(errno));
        return;
    }
    struct stat status = {};
    if (::lstat(native.constData(), &status) != 0 || !S_ISDIR(status.st_mode) || status.st_uid != ::geteuid()) {
        printLine(QStringLiteral("Pellamor: Failed to save formats: the folder is not a folder of ours"));
        return;
    }
    // The types of an earlier copy of the same text go: the latest copy wins.
    removeFilesIn(folder,
                  [&formats](const char* name) { return !formats.contains(formatType(QFile::decodeName(name))); });
    for (auto format = formats.cbegin(); format != formats.cend(); ++format) {
        const QString error = replaceFile(folder + QLatin1Char('/') + formatFileName(format.key()), format.value());
        if (!error.isEmpty()) {
            printLine(QStringLiteral("Pellamor: Failed to save formats: ") + error);
            return;
        }
    }
}

KeptFormats StorageManager::loadFormats(const QUuid& id)
{
    {
        QMutexLocker lock(&m_cacheMutex);
        if (const auto pending = m_pendingFormats.constFind(id); pending != m_pendingFormats.cend())
            return pending->formats;
    }
    KeptFormats formats;
    if (!m_persistent)
        return formats;
    qint64 total = 0;
    visitOwnEntries(formatsFolder(id), false, [&](int folder, const char* name, const struct stat& listed) {
        total += listed.st_size;
        if (total > ClipboardReading::maxKeptFormatBytes)
            return;
        const int fd = ::openat(folder, name, O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
        if (fd < 0)
            return;
        struct stat status = {};
        QFile file;
        if (::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && status.st_uid == ::geteuid() &&
            status.st_size <= ClipboardReading::maxKeptFormatBytes &&
            file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle))
            formats.insert(formatType(QFile::decodeName(name)), file.readAll());
        else
            ::close(fd);
    });
    return formats;
}

QHash<QUuid, QStringList> StorageManager::keptFormatTypes()
{
    QHash<QUuid, QStringList> kept;
    {
        QMutexLocker lock(&m_cacheMutex);
        for (auto pending = m_pendingFormats.cbegin(); pending != m_pendingFormats.cend(); ++pending)
            kept.insert(pending.key(), pending->formats.keys());
    }
    if (!m_persistent)
        return kept;
    visitOwnEntries(m_formatsDir, true, [&](int, const char* name, const struct stat&) {
        const QUuid id = folderId(name);
        if (id.isNull() || kept.contains(id))
            return;
        QStringList types;
        visitOwnEntries(
            m_formatsDir + QLatin1Char('/') + QFile::decodeName(name), false,
            [&types](int, const char* file, const struct stat&) { types.append(formatType(QFile::decodeName(file))); });
        if (!types.isEmpty())
            kept.insert(id, types);
    });
    return kept;
}

void StorageManager::deleteFormats(const QUuid& id)
{
    const QString folder = formatsFolder(id);
    removeFilesIn(folder, [](const char*) { return true; });
    ::rmdir(QFile::encodeName(folder).constData());
}

void StorageManager::deleteFormatsInBackground(QList<QUuid> ids)
{
    if (ids.isEmpty())
        return;
    {
        QMutexLocker lock(&m_cacheMutex);
        for (const QUuid& id : std::as_const(ids))
            m_pendingFormats.remove(id);
    }
    if (!m_persistent)
        return;
    m_worker.post([this, ids = std::move(ids)] {
        for (const QUuid& id : ids)
            deleteFormats(id);
    });
}

void StorageManager::moveAside(const QString& reason)
{
    printLine(QStringLiteral("Pellamor: Failed to load history: ") + reason);
    const QString stem = m_historyFilePath + QStringLiteral(".corrupt-") +
                         QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString target = stem;
    struct stat status = {};
    for (int n = 2; ::lstat(QFile::encodeName(target).constData(), &status) == 0; ++n)
        target = stem + QLatin1Char('-') + QString::number(n);
    // rename() moves a link itself, never its target.
    if (::rename(QFile::encodeName(m_historyFilePath).constData(), QFile::encodeName(target).constData()) == 0)
        return;
    if (::lstat(QFile::encodeName(m_historyFilePath).constData(), &status) == 0 && S_ISREG(status.st_mode))
        QFile::copy(m_historyFilePath, target);
}

QString StorageManager::newImageName()
{
    return uuidText(QUuid::createUuid()) + QStringLiteral(".png");
}

void StorageManager::storeImageBytes(const QString& name, const QByteArray& bytes)
{
    if (!m_persistent) {
        QMutexLocker lock(&m_cacheMutex);
        m_memoryImages.insert(name, bytes);
        return;
    }
    const QString error = writeNewFile(imageURL(name), bytes);
    if (!error.isEmpty())
        printLine(QStringLiteral("Pellamor: Failed to save image: ") + error);
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
    storeImageBytes(name, bytes);
    return name;
}

QString StorageManager::saveImage(const QImage& image)
{
    const QImage stored = image.width() > maxImageDimension || image.height() > maxImageDimension
                              ? resizedImage(image, maxImageDimension)
                              : image;
    const QString name = newImageName();
    cacheImage(name, stored);
    m_worker.post([this, name, stored] {
        const QByteArray bytes = pngData(stored);
        if (bytes.isEmpty())
            printLine(QStringLiteral("Pellamor: Failed to save image: it cannot be encoded as PNG"));
        else
            storeImageBytes(name, bytes);
        // The capture that produced this image may have decoded and scaled far larger ones.
        FreeMemory::giveBack();
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
    m_imageCache.insert(name, new QImage(image), imageCost(image));
}

std::unique_ptr<QIODevice> StorageManager::openImageFile(const QString& name)
{
    if (!isPlainFileName(name))
        return {};
    if (!m_persistent) {
        QByteArray bytes;
        {
            QMutexLocker lock(&m_cacheMutex);
            bytes = m_memoryImages.value(name);
        }
        if (bytes.isEmpty())
            return {};
        auto buffer = std::make_unique<QBuffer>();
        buffer->setData(bytes);
        buffer->open(QIODevice::ReadOnly);
        return buffer;
    }
    // A link in the image folder is skipped like a missing file, never followed.
    struct stat status = {};
    QString error;
    const int fd = openOwnFile(imageURL(name), status, error);
    if (fd < 0)
        return {};
    auto file = std::make_unique<QFile>();
    if (!file->open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return {};
    }
    return file;
}

QImage StorageManager::loadImage(const QString& name)
{
    {
        QMutexLocker lock(&m_cacheMutex);
        if (const QImage* cached = m_imageCache.object(name))
            return *cached;
    }
    const std::unique_ptr<QIODevice> device = openImageFile(name);
    if (!device || device->size() > ImageCodec::maxFileBytes)
        return {};
    QImage image = ImageCodec::decode(device->readAll());
    if (!image.isNull())
        cacheImage(name, image);
    return image;
}

QImage StorageManager::loadThumbnail(const QString& name, const QSize& size)
{
    if (size.isEmpty())
        return {};
    const QString key = thumbnailKey(name, size);
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
        const std::unique_ptr<QIODevice> device = openImageFile(name);
        if (!device)
            return {};
        ImageCodec::applyAllocationLimit();
        QImageReader reader(device.get());
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
    return m_persistent && isPlainFileName(name) ? m_imagesDir + QLatin1Char('/') + name : QString();
}

QString StorageManager::ownImagePath(const QString& name) const
{
    const QString path = imageURL(name);
    struct stat status = {};
    QString error;
    const int fd = path.isEmpty() ? -1 : openOwnFile(path, status, error);
    if (fd < 0)
        return {};
    ::close(fd);
    return path;
}

void StorageManager::deleteImage(const QString& name)
{
    if (!m_persistent) {
        QMutexLocker lock(&m_cacheMutex);
        m_memoryImages.remove(name);
        return;
    }
    const QString path = imageURL(name);
    if (!path.isEmpty())
        ::unlink(QFile::encodeName(path).constData());
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
