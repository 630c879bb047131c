#include "platform/freedesktop/InstanceLock.h"

#include "platform/freedesktop/XdgPaths.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

InstanceLock::InstanceLock(const QString& applicationId, const QString& directory)
{
    // Never a folder others can write (such as /tmp): there another user could hold the lock, or plant
    // a file we cannot open, and take the socket beside it.
    m_directory = directory.isEmpty() ? XdgPaths::programRuntimeDir() : directory;
    if (!m_directory.isEmpty())
        m_fileName = QDir(m_directory).filePath(applicationId + QStringLiteral(".lock"));
}

InstanceLock::~InstanceLock()
{
    // Closing the last descriptor releases the lock. The file stays: removing it would let a starting
    // instance lock a new file while another still holds the old one.
    if (m_fd >= 0)
        ::close(m_fd);
}

InstanceLock::Result InstanceLock::acquire()
{
    if (m_fd >= 0)
        return Result::Acquired;
    if (m_fileName.isEmpty()) {
        m_error = QStringLiteral("neither XDG_RUNTIME_DIR nor a folder of the user's own can hold it");
        return Result::Failed;
    }
    const QByteArray path = QFile::encodeName(m_fileName);
    // Never through a link, and private from the first moment whatever the umask.
    const int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, S_IRUSR | S_IWUSR);
    if (fd < 0) {
        m_error = QString::fromLocal8Bit(std::strerror(errno));
        return Result::Failed;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        ::close(fd);
        if (error == EWOULDBLOCK)
            return Result::HeldElsewhere;
        m_error = QString::fromLocal8Bit(std::strerror(error));
        return Result::Failed;
    }
    // A file left by an older version may be readable by others.
    struct stat status;
    if (::fstat(fd, &status) == 0 && (status.st_mode & 077) != 0 && status.st_uid == ::geteuid())
        ::fchmod(fd, S_IRUSR | S_IWUSR);
    const QByteArray pid = QByteArray::number(qint64(::getpid())) + '\n';
    if (::ftruncate(fd, 0) == 0)
        (void)!::pwrite(fd, pid.constData(), size_t(pid.size()), 0);
    m_fd = fd;
    return Result::Acquired;
}
