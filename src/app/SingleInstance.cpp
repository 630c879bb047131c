#include "SingleInstance.h"

#include "core/StandardOutput.h"
#include "platform/freedesktop/InstanceLock.h"
#include "platform/freedesktop/RelaunchChannel.h"

const QString SingleInstance::panelSurface = QStringLiteral("panel");
const QString SingleInstance::settingsSurface = QStringLiteral("settings");

SingleInstance::SingleInstance(const QString& applicationId, const QString& directory, QObject* parent)
    : QObject(parent)
    , m_lock(std::make_unique<InstanceLock>(applicationId, directory))
{
    // Without a private folder there is no lock, and so no socket either.
    if (!m_lock->directory().isEmpty())
        m_socketPath = relaunchSocketPath(m_lock->directory(), applicationId);
}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::requestedSurface(const QStringList& arguments)
{
    return arguments.contains(QStringLiteral("--surface=settings")) ? settingsSurface : panelSurface;
}

bool SingleInstance::start(const QString& surface)
{
    switch (m_lock->acquire()) {
    case InstanceLock::Result::HeldElsewhere: {
        QString error;
        const bool sent = sendRelaunchRequest(m_socketPath, surface, sendTimeoutMs, &error);
        printLine(QStringLiteral("Duplicate instance detected. Quitting."));
        if (!sent)
            printLine(QStringLiteral("Pellamor: Failed to reach the running instance: ") + error);
        return false;
    }
    case InstanceLock::Result::Failed:
        // Better two instances than none: run without the lock, and so without the socket.
        printLine(
            QStringLiteral("Pellamor: Failed to take the single-instance lock%1: %2")
                .arg(m_lock->fileName().isEmpty() ? QString() : u' ' + m_lock->fileName(), m_lock->errorString()));
        return true;
    case InstanceLock::Result::Acquired:
        break;
    }
    m_server = new RelaunchServer(this);
    connect(m_server, &RelaunchServer::surfaceRequested, this, &SingleInstance::surfaceRequested);
    if (!m_server->listen(m_socketPath))
        printLine(QStringLiteral("Pellamor: Failed to listen for later starts at %1: %2")
                      .arg(m_socketPath, m_server->errorString()));
    return true;
}
