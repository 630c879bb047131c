#pragma once

#include <QLockFile>
#include <QString>

#include <memory>

// One running instance per user: a lock file in the runtime directory named after the application id.
// The lock follows the process: it is released at exit, and a lock left by a crashed process is taken over.
class InstanceLock
{
public:
    explicit InstanceLock(const QString& applicationId, const QString& directory = {});

    // True when this process now holds the lock; false while another live instance holds it.
    bool tryAcquire();
    QString fileName() const { return m_fileName; }

private:
    QString m_fileName;
    std::unique_ptr<QLockFile> m_lock;
};
