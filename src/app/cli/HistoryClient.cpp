#include "HistoryClient.h"

#include <QDBusError>
#include <QDBusMessage>
#include <QDBusUnixFileDescriptor>

namespace {

// A 30 MB entry crosses the bus in well under a second; a program that does not answer for this long is
// stuck.
constexpr int callTimeoutMs = 60'000;

} // namespace

HistoryClient::HistoryClient()
    : m_connection(QDBusConnection::sessionBus())
{}

HistoryClient::Reply HistoryClient::send(const QString& method, const QVariantList& arguments, QDBusMessage& answer)
{
    Reply reply;
    if (!m_connection.isConnected()) {
        reply.notRunning = true;
        return reply;
    }
    QDBusMessage message =
        QDBusMessage::createMethodCall(QLatin1String(HistoryBus::serviceName), QLatin1String(HistoryBus::objectPath),
                                       QLatin1String(HistoryBus::interfaceName), method);
    // Only a running program answers: a command never starts one.
    message.setAutoStartService(false);
    message.setArguments(arguments);
    answer = m_connection.call(message, QDBus::Block, callTimeoutMs);
    if (answer.type() == QDBusMessage::ErrorMessage) {
        const QDBusError::ErrorType type = QDBusError(answer).type();
        if (type == QDBusError::ServiceUnknown || type == QDBusError::Disconnected ||
            answer.errorName() == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner"))
            reply.notRunning = true;
        else
            reply.error = answer.errorMessage().isEmpty() ? answer.errorName() : answer.errorMessage();
    }
    return reply;
}

HistoryClient::Reply HistoryClient::call(const QString& method, const QVariantList& arguments)
{
    QDBusMessage answer;
    return send(method, arguments, answer);
}

HistoryClient::Reply HistoryClient::listText(const QString& query, qsizetype limit, bool json, QByteArray& text)
{
    QDBusMessage answer;
    Reply reply = send(QStringLiteral("ListText"), {query, uint(limit), json}, answer);
    if (reply.ok())
        text = answer.arguments().value(0).toByteArray();
    return reply;
}

HistoryClient::Reply HistoryClient::get(const QString& id, QByteArray& bytes)
{
    QDBusMessage answer;
    Reply reply = send(QStringLiteral("Get"), {id}, answer);
    if (reply.ok())
        bytes = answer.arguments().value(0).toByteArray();
    return reply;
}

HistoryClient::Reply HistoryClient::add(const QByteArray& data, const QString& mimeType, QString& id)
{
    QDBusMessage answer;
    Reply reply = send(QStringLiteral("Add"), {data, mimeType}, answer);
    if (reply.ok())
        id = answer.arguments().value(0).toString();
    return reply;
}

HistoryClient::Reply HistoryClient::writeTo(const QString& id, int fd, bool& unsupported)
{
    unsupported = !m_connection.isConnected() ||
                  !(m_connection.connectionCapabilities() & QDBusConnection::UnixFileDescriptorPassing);
    if (unsupported)
        return {};
    QDBusMessage answer;
    return send(QStringLiteral("WriteTo"), {id, QVariant::fromValue(QDBusUnixFileDescriptor(fd))}, answer);
}
