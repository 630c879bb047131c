// The portal binding against a stand-in portal on a private session bus of its own.
#include "platform/freedesktop/PortalGlobalShortcut.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVirtualObject>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>

#include <mutex>

namespace {

using Status = GlobalShortcut::Status;

struct StubShortcut
{
    QString id;
    QVariantMap properties;
};

QDBusArgument& operator<<(QDBusArgument& argument, const StubShortcut& shortcut)
{
    argument.beginStructure();
    argument << shortcut.id << shortcut.properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, StubShortcut& shortcut)
{
    argument.beginStructure();
    argument >> shortcut.id >> shortcut.properties;
    argument.endStructure();
    return argument;
}

} // namespace

Q_DECLARE_METATYPE(StubShortcut)

namespace {

// The desktop portal's side of CreateSession, BindShortcuts and the host registry, as far as the
// program uses them. Runs on the bus thread; what it saw is read under the mutex.
class StubPortal : public QDBusVirtualObject
{
public:
    explicit StubPortal(const QDBusConnection& bus)
        : m_bus(bus)
    {}

    std::mutex mutex;
    QStringList registeredIds;
    QStringList calls;
    QStringList triggers;
    QString session;
    bool offersShortcuts = true;
    uint bindAnswer = 0;

    QString introspect(const QString&) const override { return {}; }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override
    {
        std::lock_guard lock(mutex);
        const QString member = message.member();
        const QList<QVariant> arguments = message.arguments();
        if (message.interface() == QLatin1String("org.freedesktop.host.portal.Registry") &&
            member == QLatin1String("Register")) {
            registeredIds << arguments.value(0).toString();
            connection.send(message.createReply());
            return true;
        }
        if (message.interface() == QLatin1String("org.freedesktop.DBus.Properties")) {
            if (!offersShortcuts) {
                connection.send(message.createErrorReply(QStringLiteral("org.freedesktop.DBus.Error.InvalidArgs"),
                                                         QStringLiteral("No such interface")));
                return true;
            }
            connection.send(message.createReply(QVariant::fromValue(QDBusVariant(uint(1)))));
            return true;
        }
        if (message.interface() == QLatin1String("org.freedesktop.portal.Session") &&
            member == QLatin1String("Close")) {
            calls << QStringLiteral("Close ") + message.path();
            connection.send(message.createReply());
            return true;
        }
        if (message.interface() != QLatin1String(PortalGlobalShortcut::interfaceName))
            return false;
        calls << member;
        const QVariantMap options = qdbus_cast<QVariantMap>(arguments.last());
        QString sender = message.service().mid(1);
        sender.replace(QLatin1Char('.'), QLatin1Char('_'));
        const QString request = QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2")
                                    .arg(sender, options.value(QStringLiteral("handle_token")).toString());
        connection.send(message.createReply(QVariant::fromValue(QDBusObjectPath(request))));
        QVariantMap results;
        uint response = 0;
        if (member == QLatin1String("CreateSession")) {
            session = QStringLiteral("/org/freedesktop/portal/desktop/session/%1/%2")
                          .arg(sender, options.value(QStringLiteral("session_handle_token")).toString());
            results.insert(QStringLiteral("session_handle"), session);
        } else if (member == QLatin1String("BindShortcuts")) {
            if (arguments.value(0).value<QDBusObjectPath>().path() != session)
                response = 2;
            QList<StubShortcut> asked;
            arguments.value(1).value<QDBusArgument>() >> asked;
            for (const StubShortcut& shortcut : std::as_const(asked))
                triggers << shortcut.id + QLatin1Char(' ') +
                                shortcut.properties.value(QStringLiteral("preferred_trigger")).toString();
            response = response ? response : bindAnswer;
            // The portal answers with what it bound, in the same a(sa{sv}) form.
            if (response == 0) {
                for (StubShortcut& shortcut : asked)
                    shortcut.properties = {{QStringLiteral("trigger_description"), QStringLiteral("Alt+Space")}};
                results.insert(QStringLiteral("shortcuts"), QVariant::fromValue(asked));
            }
        }
        QDBusMessage signal = QDBusMessage::createSignal(request, QStringLiteral("org.freedesktop.portal.Request"),
                                                         QStringLiteral("Response"));
        signal << response << results;
        connection.send(signal);
        return true;
    }

    void activate(const QString& sessionPath, const QString& id)
    {
        QDBusMessage signal = QDBusMessage::createSignal(QString::fromLatin1(PortalGlobalShortcut::objectPath),
                                                         QString::fromLatin1(PortalGlobalShortcut::interfaceName),
                                                         QStringLiteral("Activated"));
        signal << QVariant::fromValue(QDBusObjectPath(sessionPath)) << id << qulonglong(1234) << QVariantMap();
        m_bus.send(signal);
    }

private:
    QDBusConnection m_bus;
};

} // namespace

class TestPortalGlobalShortcut : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void portalThatStartsLater();
    void portalWithoutShortcuts();
    void declinedBinding();

private:
    // Puts the stand-in portal on the bus under the portal's name.
    void startPortal();
    void stopPortal();
    QStringList seenCalls()
    {
        std::lock_guard lock(m_portal->mutex);
        return m_portal->calls;
    }

    QProcess m_daemon;
    QString m_address;
    int m_connections = 0;
    std::unique_ptr<StubPortal> m_portal;
    QString m_portalConnection;
};

void TestPortalGlobalShortcut::initTestCase()
{
    if (QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")).isEmpty())
        QSKIP("dbus-daemon is not installed");
    qDBusRegisterMetaType<StubShortcut>();
    qDBusRegisterMetaType<QList<StubShortcut>>();
    m_daemon.start(QStringLiteral("dbus-daemon"),
                   {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address=1")});
    QVERIFY(m_daemon.waitForStarted());
    QTRY_VERIFY(m_daemon.canReadLine());
    m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
    QVERIFY(!m_address.isEmpty());
}

void TestPortalGlobalShortcut::cleanupTestCase()
{
    m_daemon.terminate();
    m_daemon.waitForFinished();
}

void TestPortalGlobalShortcut::init()
{
    m_portalConnection = QStringLiteral("portal%1").arg(++m_connections);
    const QDBusConnection bus = QDBusConnection::connectToBus(m_address, m_portalConnection);
    QVERIFY(bus.isConnected());
    m_portal = std::make_unique<StubPortal>(bus);
}

void TestPortalGlobalShortcut::cleanup()
{
    stopPortal();
    QDBusConnection::disconnectFromBus(m_portalConnection);
    m_portal.reset();
}

void TestPortalGlobalShortcut::startPortal()
{
    QDBusConnection bus(m_portalConnection);
    QVERIFY(bus.registerVirtualObject(QString::fromLatin1(PortalGlobalShortcut::objectPath), m_portal.get(),
                                      QDBusConnection::SubPath));
    QVERIFY(bus.registerService(QString::fromLatin1(PortalGlobalShortcut::serviceName)));
}

void TestPortalGlobalShortcut::stopPortal()
{
    QDBusConnection bus(m_portalConnection);
    bus.unregisterService(QString::fromLatin1(PortalGlobalShortcut::serviceName));
    bus.unregisterObject(QString::fromLatin1(PortalGlobalShortcut::objectPath));
}

void TestPortalGlobalShortcut::portalThatStartsLater()
{
    const QDBusConnection client = QDBusConnection::connectToBus(m_address, QStringLiteral("client1"));
    PortalGlobalShortcut shortcut(QStringLiteral("com.pellamor.app"), client);
    QSignalSpy activated(&shortcut, &GlobalShortcut::activated);
    shortcut.bind(Qt::ALT | Qt::Key_Space);
    // Nothing answers yet.
    QTRY_COMPARE(shortcut.status(), Status::Unsupported);

    startPortal();
    QTRY_COMPARE(shortcut.status(), Status::Bound);
    {
        std::lock_guard lock(m_portal->mutex);
        QCOMPARE(m_portal->registeredIds, QStringList{QStringLiteral("com.pellamor.app")});
        QCOMPARE(m_portal->calls, (QStringList{QStringLiteral("CreateSession"), QStringLiteral("BindShortcuts")}));
        QCOMPARE(m_portal->triggers, QStringList{QStringLiteral("toggle-panel ALT+space")});
    }
    const QString session = m_portal->session;
    m_portal->activate(session, QStringLiteral("toggle-panel"));
    QTRY_COMPARE(activated.size(), 1);
    // Another session's or another shortcut's activation is not ours.
    m_portal->activate(QStringLiteral("/org/freedesktop/portal/desktop/session/other/x"),
                       QStringLiteral("toggle-panel"));
    m_portal->activate(session, QStringLiteral("something-else"));
    m_portal->activate(session, QStringLiteral("toggle-panel"));
    QTRY_COMPARE(activated.size(), 2);
    QTest::qWait(100);
    QCOMPARE(activated.size(), 2);

    // A new combination: the old session closes and a new one binds it.
    shortcut.bind(Qt::CTRL | Qt::SHIFT | Qt::Key_V);
    QTRY_COMPARE(shortcut.status(), Status::Bound);
    QTRY_COMPARE(seenCalls().size(), 5);
    QCOMPARE(seenCalls().at(2), QStringLiteral("Close ") + session);
    {
        std::lock_guard lock(m_portal->mutex);
        QCOMPARE(m_portal->triggers.last(), QStringLiteral("toggle-panel CTRL+SHIFT+v"));
    }
    m_portal->activate(session, QStringLiteral("toggle-panel"));
    m_portal->activate(m_portal->session, QStringLiteral("toggle-panel"));
    QTRY_COMPARE(activated.size(), 3);

    // The portal goes away, and comes back.
    stopPortal();
    QTRY_COMPARE(shortcut.status(), Status::Unsupported);
    startPortal();
    QTRY_COMPARE(shortcut.status(), Status::Bound);
    QDBusConnection::disconnectFromBus(QStringLiteral("client1"));
}

void TestPortalGlobalShortcut::portalWithoutShortcuts()
{
    m_portal->offersShortcuts = false;
    startPortal();
    const QDBusConnection client = QDBusConnection::connectToBus(m_address, QStringLiteral("client2"));
    {
        PortalGlobalShortcut shortcut(QStringLiteral("com.pellamor.app"), client);
        shortcut.bind(Qt::ALT | Qt::Key_Space);
        QTRY_COMPARE(shortcut.status(), Status::Unsupported);
        QVERIFY(seenCalls().isEmpty());
    }
    QDBusConnection::disconnectFromBus(QStringLiteral("client2"));
}

void TestPortalGlobalShortcut::declinedBinding()
{
    m_portal->bindAnswer = 1;
    startPortal();
    const QDBusConnection client = QDBusConnection::connectToBus(m_address, QStringLiteral("client3"));
    {
        PortalGlobalShortcut shortcut(QStringLiteral("com.pellamor.app"), client);
        shortcut.bind(Qt::ALT | Qt::Key_Space);
        QTRY_COMPARE(shortcut.status(), Status::Refused);
    }
    QDBusConnection::disconnectFromBus(QStringLiteral("client3"));
}

QTEST_GUILESS_MAIN(TestPortalGlobalShortcut)
#include "tst_portalglobalshortcut.moc"
