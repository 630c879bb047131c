#include "RelaunchChannel.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>
#include <QTimer>

RelaunchServer::RelaunchServer(QObject* parent)
    : QObject(parent)
    , m_server(new QLocalServer(this))
{
    // Owner only; the runtime directory is private as well.
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server, &QLocalServer::newConnection, this, &RelaunchServer::acceptPending);
}

RelaunchServer::~RelaunchServer() = default;

bool RelaunchServer::listen(const QString& socketPath)
{
    // Whatever is left at the path belongs to an instance that is gone: the caller holds the lock.
    QLocalServer::removeServer(socketPath);
    if (!m_server->listen(socketPath)) {
        m_error = m_server->errorString();
        return false;
    }
    return true;
}

void RelaunchServer::acceptPending()
{
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        // A client that never finishes its line is dropped, so no start can tie up the running one.
        auto* timeout = new QTimer(socket);
        timeout->setSingleShot(true);
        connect(timeout, &QTimer::timeout, socket, [socket] {
            socket->abort();
            socket->deleteLater();
        });
        timeout->start(clientTimeoutMs);
        const auto readLine = [this, socket] {
            if (!socket->canReadLine() && socket->bytesAvailable() < maxMessageBytes)
                return;
            const QString surface = QString::fromUtf8(socket->readLine(maxMessageBytes)).trimmed();
            socket->disconnect(this);
            socket->abort();
            socket->deleteLater();
            if (!surface.isEmpty())
                Q_EMIT surfaceRequested(surface);
        };
        connect(socket, &QLocalSocket::readyRead, this, readLine);
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        // An error before the line (the client gave up) ends the connection too.
        connect(socket, &QLocalSocket::errorOccurred, socket, &QObject::deleteLater);
        if (socket->bytesAvailable() > 0)
            readLine();
    }
}

QString relaunchSocketPath(const QString& directory, const QString& applicationId)
{
    return QDir(directory).filePath(applicationId + QStringLiteral(".socket"));
}

bool sendRelaunchRequest(const QString& socketPath, const QString& surface, int timeoutMs, QString* error)
{
    const QDeadlineTimer deadline(timeoutMs);
    QLocalSocket socket;
    socket.connectToServer(socketPath, QIODevice::WriteOnly);
    if (!socket.waitForConnected(int(deadline.remainingTime()))) {
        if (error)
            *error = socket.errorString();
        return false;
    }
    socket.write(surface.toUtf8().left(RelaunchServer::maxMessageBytes - 1) + '\n');
    while (socket.bytesToWrite() > 0) {
        if (!socket.waitForBytesWritten(int(deadline.remainingTime()))) {
            if (error)
                *error = socket.errorString();
            return false;
        }
    }
    socket.disconnectFromServer();
    return true;
}
