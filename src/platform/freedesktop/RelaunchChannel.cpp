#include "platform/freedesktop/RelaunchChannel.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

// A plain Unix socket: the program needs no more of a network library than this.

namespace {

bool addressFor(const QString& socketPath, sockaddr_un& address)
{
    const QByteArray path = QFile::encodeName(socketPath);
    std::memset(&address, 0, sizeof address);
    address.sun_family = AF_UNIX;
    if (path.isEmpty() || size_t(path.size()) >= sizeof address.sun_path)
        return false;
    std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
    return true;
}

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

// Waits for `events` on `fd` until `deadline`.
bool waitFor(int fd, short events, const QDeadlineTimer& deadline)
{
    pollfd entry{fd, events, 0};
    for (;;) {
        const int ready = ::poll(&entry, 1, int(std::max<qint64>(0, deadline.remainingTime())));
        if (ready < 0 && errno == EINTR)
            continue;
        return ready > 0;
    }
}

} // namespace

// One connected start, dropped when its line is read, when it leaves, or when it takes too long.
struct RelaunchServer::Client
{
    int fd = -1;
    QByteArray line;
    QSocketNotifier* notifier = nullptr;
    QTimer* timeout = nullptr;
};

RelaunchServer::RelaunchServer(QObject* parent)
    : QObject(parent)
{}

RelaunchServer::~RelaunchServer()
{
    for (Client* client : std::as_const(m_clients))
        drop(client);
    if (m_fd >= 0)
        ::close(m_fd);
}

bool RelaunchServer::listen(const QString& socketPath)
{
    sockaddr_un address;
    if (!addressFor(socketPath, address)) {
        m_error = QStringLiteral("套接字路径过长：%1").arg(socketPath);
        return false;
    }
    m_fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (m_fd < 0) {
        m_error = systemError();
        return false;
    }
    // Whatever is left at the path belongs to an instance that is gone: the caller holds the lock.
    ::unlink(address.sun_path);
    // Owner only; the runtime directory is private as well.
    if (::bind(m_fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::chmod(address.sun_path, S_IRUSR | S_IWUSR) != 0 || ::listen(m_fd, 16) != 0) {
        m_error = systemError();
        ::close(m_fd);
        m_fd = -1;
        return false;
    }
    auto* notifier = new QSocketNotifier(qintptr(m_fd), QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, &RelaunchServer::acceptPending);
    return true;
}

void RelaunchServer::acceptPending()
{
    for (;;) {
        const int fd = ::accept4(m_fd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        auto* client = new Client;
        client->fd = fd;
        m_clients.append(client);
        // A client that never finishes its line is dropped, so no start can tie up the running one.
        client->timeout = new QTimer(this);
        client->timeout->setSingleShot(true);
        connect(client->timeout, &QTimer::timeout, this, [this, client] { drop(client); });
        client->timeout->start(clientTimeoutMs);
        client->notifier = new QSocketNotifier(qintptr(fd), QSocketNotifier::Read, this);
        connect(client->notifier, &QSocketNotifier::activated, this, [this, client] { readFrom(client); });
    }
}

void RelaunchServer::readFrom(Client* client)
{
    char buffer[maxMessageBytes];
    for (;;) {
        const ssize_t got = ::recv(client->fd, buffer, size_t(maxMessageBytes - client->line.size()), 0);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return;
        if (got <= 0) {
            // Gone, or failed, before the line ended: nothing was asked.
            drop(client);
            return;
        }
        client->line.append(buffer, got);
        const qsizetype end = client->line.indexOf('\n');
        if (end >= 0 || client->line.size() >= maxMessageBytes - 1) {
            const QString surface =
                QString::fromUtf8(client->line.left(end >= 0 ? end : maxMessageBytes - 1)).trimmed();
            if (!surface.isEmpty())
                Q_EMIT surfaceRequested(surface);
            // Done: the start that asked may quit now. It is not waited for.
            const ssize_t answered = ::send(client->fd, "ok\n", 3, MSG_NOSIGNAL | MSG_DONTWAIT);
            Q_UNUSED(answered);
            drop(client);
            return;
        }
    }
}

void RelaunchServer::drop(Client* client)
{
    if (!m_clients.removeOne(client))
        return;
    client->notifier->setEnabled(false);
    client->notifier->deleteLater();
    client->timeout->stop();
    client->timeout->deleteLater();
    ::close(client->fd);
    delete client;
}

QString relaunchSocketPath(const QString& directory, const QString& applicationId)
{
    return QDir(directory).filePath(applicationId + QStringLiteral(".socket"));
}

bool sendRelaunchRequest(const QString& socketPath, const QString& surface, int timeoutMs, QString* error)
{
    const auto fail = [error](const QString& why) {
        if (error)
            *error = why;
        return false;
    };
    const QDeadlineTimer deadline(timeoutMs);
    sockaddr_un address;
    if (!addressFor(socketPath, address))
        return fail(QStringLiteral("套接字路径过长：%1").arg(socketPath));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return fail(systemError());
    const auto closeAndFail = [fd, &fail](const QString& why) {
        ::close(fd);
        return fail(why);
    };
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        if (errno != EAGAIN && errno != EINPROGRESS)
            return closeAndFail(systemError());
        // The listener's queue is full: wait for it to take connections again.
        int failure = 0;
        socklen_t length = sizeof failure;
        if (!waitFor(fd, POLLOUT, deadline) || ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &failure, &length) != 0 ||
            failure != 0)
            return closeAndFail(failure ? QString::fromLocal8Bit(std::strerror(failure)) : QStringLiteral("连接超时"));
    }
    const QByteArray line = surface.toUtf8().left(RelaunchServer::maxMessageBytes - 1) + '\n';
    qsizetype sent = 0;
    while (sent < line.size()) {
        const ssize_t put = ::send(fd, line.constData() + sent, size_t(line.size() - sent), MSG_NOSIGNAL);
        if (put > 0) {
            sent += put;
            continue;
        }
        if (put < 0 && errno == EINTR)
            continue;
        if (put < 0 && errno == EAGAIN && waitFor(fd, POLLOUT, deadline))
            continue;
        return closeAndFail(put < 0 && errno != EAGAIN ? systemError() : QStringLiteral("发送超时"));
    }
    // The running instance answers once it has acted on the line (an older one closes without a word);
    // either way the message was delivered, so a late answer is not a failure.
    if (waitFor(fd, POLLIN, deadline)) {
        char answer[8];
        const ssize_t got = ::recv(fd, answer, sizeof answer, MSG_DONTWAIT);
        Q_UNUSED(got);
    }
    ::close(fd);
    return true;
}
