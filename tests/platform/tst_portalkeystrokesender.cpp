// Typing through a stand-in RemoteDesktop portal on a private session bus of its own.
#include "platform/freedesktop/PortalKeystrokeSender.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVirtualObject>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>

#include <memory>
#include <mutex>
#include <optional>

namespace {

// The portal's side of the session: what the program asked for and the keys it typed. Runs on the bus
// thread; what it saw is read under the mutex.
class StubPortal : public QDBusVirtualObject
{
public:
    std::mutex mutex;
    QStringList calls;
    QVariantMap selected;
    QStringList keys;
    uint startAnswer = 0;

    QString introspect(const QString&) const override { return {}; }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override
    {
        std::lock_guard lock(mutex);
        const QString member = message.member();
        const QList<QVariant> arguments = message.arguments();
        if (message.interface() != QLatin1String(PortalKeystrokeSender::interfaceName) ||
            member == QLatin1String("NotifyKeyboardKeysym")) {
            if (member == QLatin1String("NotifyKeyboardKeysym"))
                keys << QStringLiteral("%1 %2").arg(arguments.value(2).toInt(), 0, 16).arg(arguments.value(3).toUInt());
            connection.send(message.createReply());
            return true;
        }
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
            results.insert(QStringLiteral("session_handle"),
                           QStringLiteral("/org/freedesktop/portal/desktop/session/1"));
        } else if (member == QLatin1String("SelectDevices")) {
            selected = options;
        } else if (member == QLatin1String("Start")) {
            response = startAnswer;
            results.insert(QStringLiteral("devices"), uint(1));
            results.insert(QStringLiteral("restore_token"), QStringLiteral("token-2"));
        }
        QDBusMessage signal = QDBusMessage::createSignal(request, QStringLiteral("org.freedesktop.portal.Request"),
                                                         QStringLiteral("Response"));
        signal << response << results;
        connection.send(signal);
        return true;
    }
};

} // namespace

class TestPortalKeystrokeSender : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();
    void grantedSessionTypesThePaste();
    void refusedSessionTypesNothing();

private:
    QProcess m_daemon;
    QString m_address;
    std::unique_ptr<StubPortal> m_portal;
    std::optional<QDBusConnection> m_client;
};

void TestPortalKeystrokeSender::initTestCase()
{
    if (QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")).isEmpty())
        QSKIP("dbus-daemon is not installed");
    m_daemon.start(QStringLiteral("dbus-daemon"),
                   {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address=1")});
    QVERIFY(m_daemon.waitForStarted());
    QTRY_VERIFY(m_daemon.canReadLine());
    m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
    QVERIFY(!m_address.isEmpty());
    QDBusConnection portal = QDBusConnection::connectToBus(m_address, QStringLiteral("portal"));
    m_portal = std::make_unique<StubPortal>();
    QVERIFY(portal.registerVirtualObject(QString::fromLatin1(PortalKeystrokeSender::objectPath), m_portal.get(),
                                         QDBusConnection::SubPath));
    QVERIFY(portal.registerService(QString::fromLatin1(PortalKeystrokeSender::serviceName)));
}

void TestPortalKeystrokeSender::cleanupTestCase()
{
    QDBusConnection::disconnectFromBus(QStringLiteral("portal"));
    m_daemon.terminate();
    m_daemon.waitForFinished();
}

void TestPortalKeystrokeSender::init()
{
    std::lock_guard lock(m_portal->mutex);
    m_portal->calls.clear();
    m_portal->keys.clear();
    m_portal->selected.clear();
    m_client = QDBusConnection::connectToBus(m_address, QStringLiteral("client"));
}

void TestPortalKeystrokeSender::cleanup()
{
    m_client.reset();
    QDBusConnection::disconnectFromBus(QStringLiteral("client"));
}

void TestPortalKeystrokeSender::grantedSessionTypesThePaste()
{
    PortalKeystrokeSender sender(QStringLiteral("com.pellamor.app"), *m_client);
    QSignalSpy token(&sender, &PortalKeystrokeSender::restoreTokenChanged);
    QCOMPARE(sender.support(), KeystrokeSender::Support::None);
    sender.start(QStringLiteral("token-1"));
    QTRY_COMPARE(sender.support(), KeystrokeSender::Support::Full);
    QVERIFY(sender.limitation().isEmpty());
    QCOMPARE(token.size(), 1);
    QCOMPARE(token.at(0).at(0).toString(), QStringLiteral("token-2"));

    sender.send(PasteKeystroke::CtrlShiftV);
    sender.send(PasteKeystroke::CtrlV);
    const QStringList keys{QStringLiteral("ffe3 1"), QStringLiteral("ffe1 1"), QStringLiteral("76 1"),
                           QStringLiteral("76 0"),   QStringLiteral("ffe1 0"), QStringLiteral("ffe3 0"),
                           QStringLiteral("ffe3 1"), QStringLiteral("76 1"),   QStringLiteral("76 0"),
                           QStringLiteral("ffe3 0")};
    QTRY_COMPARE(([this] {
                     std::lock_guard lock(m_portal->mutex);
                     return m_portal->keys;
                 }()),
                 keys);
    std::lock_guard lock(m_portal->mutex);
    QCOMPARE(m_portal->calls,
             (QStringList{QStringLiteral("CreateSession"), QStringLiteral("SelectDevices"), QStringLiteral("Start")}));
    // A keyboard only, kept until the user revokes it, restored from last time's grant.
    QCOMPARE(m_portal->selected.value(QStringLiteral("types")).toUInt(), 1u);
    QCOMPARE(m_portal->selected.value(QStringLiteral("persist_mode")).toUInt(), 2u);
    QCOMPARE(m_portal->selected.value(QStringLiteral("restore_token")).toString(), QStringLiteral("token-1"));
}

void TestPortalKeystrokeSender::refusedSessionTypesNothing()
{
    m_portal->startAnswer = 1;
    PortalKeystrokeSender sender(QStringLiteral("com.pellamor.app"), *m_client);
    QSignalSpy changed(&sender, &PortalKeystrokeSender::supportChanged);
    sender.start();
    QVERIFY(changed.wait());
    QCOMPARE(sender.support(), KeystrokeSender::Support::None);
    QCOMPARE(sender.limitation(), QStringLiteral("the user did not allow the desktop portal to type"));
    sender.send(PasteKeystroke::CtrlV);
    std::lock_guard lock(m_portal->mutex);
    QCOMPARE(m_portal->calls.size(), 3);
    QVERIFY(m_portal->keys.isEmpty());
    m_portal->startAnswer = 0;
}

QTEST_GUILESS_MAIN(TestPortalKeystrokeSender)
#include "tst_portalkeystrokesender.moc"
