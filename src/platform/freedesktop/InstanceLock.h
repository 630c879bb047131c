#pragma once

#include <QString>

// One running instance per user: an advisory lock (flock) on a file in the runtime directory named after
// the application id; without a usable $XDG_RUNTIME_DIR, in Pellamor/run in the data folder, never in a
// folder other users can write. The kernel releases it when the process ends, however it ends, so a file left by a
// crash (empty, garbage or naming a dead process) never blocks a start. The file is the user's alone
// (0600) and holds the holder's process id, for people and scripts that look.
class InstanceLock
{
public:
    explicit InstanceLock(const QString& applicationId, const QString& directory = {});
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    enum class Result {
        Acquired,
        // Another living process holds the lock.
        HeldElsewhere,
        // The file could not be opened or locked at all; `errorString()` says why.
        Failed,
    };
    Result acquire();
    // True when this process now holds the lock; false while another live instance holds it or on failure.
    bool tryAcquire() { return acquire() == Result::Acquired; }
    bool isHeld() const { return m_fd >= 0; }
    QString fileName() const { return m_fileName; }
    // The runtime directory the lock file is in; the re-launch socket lives beside it.
    QString directory() const { return m_directory; }
    QString errorString() const { return m_error; }

private:
    QString m_directory;
    QString m_fileName;
    QString m_error;
    int m_fd = -1;
};
