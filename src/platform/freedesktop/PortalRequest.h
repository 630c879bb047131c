#pragma once

#include <QDBusConnection>
#include <QHash>
#include <QObject>
#include <QVariantMap>

#include <functional>

class QDBusError;
class QDBusMessage;

// Calls on one interface of the desktop portal that start a request: the call answers at once with the
// request's object path, and the outcome comes later as the Response signal on that path. The path is
// made of our bus name and a token we choose, so the answer is listened for before the call goes out.
class PortalRequest : public QObject
{
    Q_OBJECT

public:
    static constexpr const char* serviceName = "org.freedesktop.portal.Desktop";
    static constexpr const char* objectPath = "/org/freedesktop/portal/desktop";

    using ResponseHandler = std::function<void(uint response, const QVariantMap& results)>;
    using ErrorHandler = std::function<void(const QDBusError& error)>;

    // tokenPrefix starts every token handed out here, which are numbered from 1.
    PortalRequest(const QDBusConnection& bus, const QString& interfaceName, const QString& tokenPrefix,
                  QObject* parent);

    // A token no other request or session of ours has (handle_token, session_handle_token).
    QString nextToken();
    // Calls method with arguments and options last; onResponse gets the answer of the request it
    // starts, onError the portal's refusal of the call itself.
    void call(const QString& method, QList<QVariant> arguments, QVariantMap options, ResponseHandler onResponse,
              ErrorHandler onError);
    // Forgets the open requests: their answers go unheard.
    void clear() { m_handlers.clear(); }

private Q_SLOTS:
    void handleResponse(uint response, const QVariantMap& results, const QDBusMessage& message);

private:
    void listen(const QString& path, ResponseHandler onResponse);

    QDBusConnection m_bus;
    QString m_interfaceName;
    QString m_tokenPrefix;
    QHash<QString, ResponseHandler> m_handlers;
    int m_tokens = 0;
};
