#include "platform/freedesktop/PortalRequest.h"

#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

namespace {

const QString requestInterface = QStringLiteral("org.freedesktop.portal.Request");

} // namespace

PortalRequest::PortalRequest(const QDBusConnection& bus, const QString& interfaceName, const QString& tokenPrefix,
                             QObject* parent)
    : QObject(parent)
    , m_bus(bus)
    , m_interfaceName(interfaceName)
    , m_tokenPrefix(tokenPrefix)
{}

QString PortalRequest::nextToken()
{
    return m_tokenPrefix + QString::number(++m_tokens);
}

void PortalRequest::listen(const QString& path, ResponseHandler onResponse)
{
    m_handlers.insert(path, std::move(onResponse));
    m_bus.connect(QString::fromLatin1(serviceName), path, requestInterface, QStringLiteral("Response"), this,
                  SLOT(handleResponse(uint, QVariantMap, QDBusMessage)));
}

void PortalRequest::call(const QString& method, QList<QVariant> arguments, QVariantMap options,
                         ResponseHandler onResponse, ErrorHandler onError)
{
    const QString token = nextToken();
    options.insert(QStringLiteral("handle_token"), token);
    QString sender = m_bus.baseService().mid(1);
    sender.replace(QLatin1Char('.'), QLatin1Char('_'));
    const QString expected = QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2").arg(sender, token);
    listen(expected, std::move(onResponse));
    QDBusMessage message = QDBusMessage::createMethodCall(QString::fromLatin1(serviceName),
                                                          QString::fromLatin1(objectPath), m_interfaceName, method);
    arguments << options;
    message.setArguments(arguments);
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(message), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, expected, onError = std::move(onError)](QDBusPendingCallWatcher* done) {
                done->deleteLater();
                const QDBusPendingReply<QDBusObjectPath> reply = *done;
                if (reply.isError()) {
                    m_handlers.remove(expected);
                    onError(reply.error());
                    return;
                }
                // Older portals chose the path themselves.
                const QString path = reply.value().path();
                if (path != expected && m_handlers.contains(expected))
                    listen(path, m_handlers.take(expected));
            });
}

void PortalRequest::handleResponse(uint response, const QVariantMap& results, const QDBusMessage& message)
{
    const ResponseHandler handler = m_handlers.take(message.path());
    m_bus.disconnect(QString::fromLatin1(serviceName), message.path(), requestInterface, QStringLiteral("Response"),
                     this, SLOT(handleResponse(uint, QVariantMap, QDBusMessage)));
    if (handler)
        handler(response, results);
}
