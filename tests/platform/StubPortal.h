#pragma once

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVirtualObject>
#include <QHash>
#include <QProcess>

#include <functional>
#include <mutex>

// A stand-in desktop portal on a private session bus of its own. A call on the portal interface whose
// options carry a handle_token starts a request: the reply names the request object, and the Response
// signal on it follows at once with what `answer` gives (CreateSession answers by itself). It runs on the
// bus thread; what it saw is read under the mutex.
class StubPortal : public QDBusVirtualObject
{
public:
    static constexpr const char* service = "org.freedesktop.portal.Desktop";
    static constexpr const char* path = "/org/freedesktop/portal/desktop";
    // The response code and results of a request other than CreateSession.
    using Answer = std::function<uint(const QString& member, const QList<QVariant>& arguments, QVariantMap& results)>;

    explicit StubPortal(const QString& interfaceName)
        : m_interfaceName(interfaceName)
    {}
    ~StubPortal() override
    {
        stop();
        QDBusConnection::disconnectFromBus(QStringLiteral("stub-portal"));
        m_daemon.terminate();
        m_daemon.waitForFinished();
    }

    // Starts the bus, with the portal's connection on it.
    bool startBus()
    {
        m_daemon.start(QStringLiteral("dbus-daemon"),
                       {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address=1")});
        while (!m_daemon.canReadLine()) {
            if (!m_daemon.waitForReadyRead())
                return false;
        }
        address = QString::fromUtf8(m_daemon.readLine()).trimmed();
        return bus().isConnected();
    }
    QDBusConnection bus() const { return QDBusConnection::connectToBus(address, QStringLiteral("stub-portal")); }
    // The portal taking its name, as when it starts; stop() is the portal exiting.
    bool start()
    {
        return bus().registerVirtualObject(QString::fromLatin1(path), this, QDBusConnection::SubPath) &&
               bus().registerService(QString::fromLatin1(service));
    }
    void stop()
    {
        bus().unregisterService(QString::fromLatin1(service));
        bus().unregisterObject(QString::fromLatin1(path));
    }
    void forget()
    {
        std::lock_guard lock(mutex);
        registeredIds.clear();
        calls.clear();
        options.clear();
        closed.clear();
        notices.clear();
        session.clear();
        offersInterface = true;
    }

    QString address;
    std::mutex mutex;
    Answer answer;
    bool offersInterface = true;
    QStringList registeredIds;
    // The requests, by method, and the options each came with.
    QStringList calls;
    QHash<QString, QVariantMap> options;
    QStringList closed;
    // The arguments of the other calls on the portal interface.
    QList<QList<QVariant>> notices;
    QString session;

    QString introspect(const QString&) const override { return {}; }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override
    {
        std::lock_guard lock(mutex);
        const QString interface = message.interface();
        const QList<QVariant> arguments = message.arguments();
        if (interface == QLatin1String("org.freedesktop.DBus.Properties")) {
            connection.send(offersInterface
                                ? message.createReply(QVariant::fromValue(QDBusVariant(uint(1))))
                                : message.createErrorReply(QStringLiteral("org.freedesktop.DBus.Error.InvalidArgs"),
                                                           QStringLiteral("No such interface")));
            return true;
        }
        if (interface == QLatin1String("org.freedesktop.host.portal.Registry"))
            registeredIds << arguments.value(0).toString();
        else if (interface == QLatin1String("org.freedesktop.portal.Session"))
            closed << message.path();
        else if (interface != m_interfaceName)
            return false;
        const QVariantMap asked = qdbus_cast<QVariantMap>(arguments.value(arguments.size() - 1));
        const QString token = asked.value(QStringLiteral("handle_token")).toString();
        if (interface != m_interfaceName || token.isEmpty()) {
            if (interface == m_interfaceName)
                notices << arguments;
            connection.send(message.createReply());
            return true;
        }
        calls << message.member();
        options.insert(message.member(), asked);
        QString sender = message.service().mid(1);
        sender.replace(QLatin1Char('.'), QLatin1Char('_'));
        const QString request = QStringLiteral("%1/request/%2/%3").arg(QLatin1String(path), sender, token);
        connection.send(message.createReply(QVariant::fromValue(QDBusObjectPath(request))));
        QVariantMap results;
        uint response = 0;
        if (message.member() == QLatin1String("CreateSession")) {
            session =
                QStringLiteral("%1/session/%2/%3")
                    .arg(QLatin1String(path), sender, asked.value(QStringLiteral("session_handle_token")).toString());
            results.insert(QStringLiteral("session_handle"), session);
        } else if (answer) {
            response = answer(message.member(), arguments, results);
        }
        QDBusMessage signal = QDBusMessage::createSignal(request, QStringLiteral("org.freedesktop.portal.Request"),
                                                         QStringLiteral("Response"));
        signal << response << results;
        connection.send(signal);
        return true;
    }

private:
    QString m_interfaceName;
    QProcess m_daemon;
};
