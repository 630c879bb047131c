#include "platform/freedesktop/XdgPaths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString baseFolder(const char* variable, const char* fallback)
{
    const QString value = QFile::decodeName(qgetenv(variable));
    if (!value.isEmpty() && QDir::isAbsolutePath(value))
        return QDir::cleanPath(value);
    return QDir::homePath() + QLatin1Char('/') + QLatin1String(fallback);
}

// The folder is no link, is the user's own and nobody else may enter it; a folder of ours with looser
// permissions is closed when `repair` (through a descriptor, so the change cannot land on a link's target).
bool isPrivateFolder(const QString& path, bool repair)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat status = {};
    bool ok = ::fstat(fd, &status) == 0 && S_ISDIR(status.st_mode) && status.st_uid == ::geteuid();
    if (ok && (status.st_mode & 077) != 0)
        ok = repair && ::fchmod(fd, S_IRWXU) == 0;
    ::close(fd);
    return ok;
}

} // namespace

namespace XdgPaths {

QString dataHome()
{
    return baseFolder("XDG_DATA_HOME", ".local/share");
}

QString configHome()
{
    return baseFolder("XDG_CONFIG_HOME", ".config");
}

QString privateRuntimeDir(const QString& fallback)
{
    const QString runtime = QFile::decodeName(qgetenv("XDG_RUNTIME_DIR"));
    // The runtime folder belongs to the session: it is used as it is, never changed.
    if (!runtime.isEmpty() && QDir::isAbsolutePath(runtime) && isPrivateFolder(runtime, false))
        return QDir::cleanPath(runtime);
    if (fallback.isEmpty() || !QDir::isAbsolutePath(fallback))
        return {};
    const QString folder = QDir::cleanPath(fallback);
    // Missing parents too, each owner-only; mkdir never follows a link in the last place.
    QStringList missing;
    for (QString current = folder; !QFileInfo::exists(current) && !QFileInfo(current).isSymLink();) {
        missing.prepend(current);
        const QString parent = QFileInfo(current).path();
        if (parent == current)
            break;
        current = parent;
    }
    for (const QString& path : std::as_const(missing))
        ::mkdir(QFile::encodeName(path).constData(), S_IRWXU);
    return isPrivateFolder(folder, true) ? folder : QString();
}

QString programRuntimeDir()
{
    return privateRuntimeDir(dataHome() + QStringLiteral("/Pellamor/run"));
}

} // namespace XdgPaths
