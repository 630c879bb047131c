#include "InstanceLock.h"

#include <QDir>
#include <QStandardPaths>

InstanceLock::InstanceLock(const QString& applicationId, const QString& directory)
{
    QString folder = directory;
    if (folder.isEmpty())
        folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty())
        folder = QDir::tempPath();
    m_fileName = QDir(folder).filePath(applicationId + QStringLiteral(".lock"));
    m_lock = std::make_unique<QLockFile>(m_fileName);
    // Never treat a live instance's lock as stale because of its age; only a dead owner makes it stale.
    m_lock->setStaleLockTime(0);
}

bool InstanceLock::tryAcquire()
{
    return m_lock->isLocked() || m_lock->tryLock(0);
}
