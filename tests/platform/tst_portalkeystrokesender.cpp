// Typing through a stand-in RemoteDesktop portal on a private session bus of its own.
#include "StubPortal.h"
#include "platform/freedesktop/PortalKeystrokeSender.h"

#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>

#include <atomic>
#include <optional>

class TestPortalKeystrokeSender : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void grantedSessionTypesThePaste();
    void refusedSessionTypesNothing();

private:
    QStringList keys()
    {
        std::lock_guard lock(m_portal.mutex);
        QStringList keys;
        for (const QList<QVariant>& notice : std::as_const(m_portal.notices))
            keys << QStringLiteral("%1 %2").arg(notice.value(2).toInt(), 0, 16).arg(notice.value(3).toUInt());
        return keys;
    }

    StubPortal m_portal{QString::fromLatin1(PortalKeystrokeSender::interfaceName)};
    std::atomic<uint> m_startAnswer = 0;
    std::optional<QDBusConnection> m_client;
};

void TestPortalKeystrokeSender::initTestCase()
{
    if (QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")).isEmpty())
        QSKIP("dbus-daemon is not installed");
    QVERIFY(m_portal.startBus());
    m_portal.answer = [this](const QString& member, const QList<QVariant>&, QVariantMap& results) {
        if (member != QLatin1String("Start"))
            return 0u;
        results.insert(QStringLiteral("devices"), uint(1));
        results.insert(QStringLiteral("restore_token"), QStringLiteral("token-2"));
        return m_startAnswer.load();
    };
    QVERIFY(m_portal.start());
}

void TestPortalKeystrokeSender::init()
{
    m_portal.forget();
    m_startAnswer = 0;
    m_client = QDBusConnection::connectToBus(m_portal.address, QStringLiteral("client"));
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
    QVERIFY(!sender.hasFailed());
    QCOMPARE(token.size(), 1);
    QCOMPARE(token.at(0).at(0).toString(), QStringLiteral("token-2"));

    sender.send(PasteKeystroke::CtrlShiftV);
    sender.send(PasteKeystroke::CtrlV);
    const QStringList keys{QStringLiteral("ffe3 1"), QStringLiteral("ffe1 1"), QStringLiteral("76 1"),
                           QStringLiteral("76 0"),   QStringLiteral("ffe1 0"), QStringLiteral("ffe3 0"),
                           QStringLiteral("ffe3 1"), QStringLiteral("76 1"),   QStringLiteral("76 0"),
                           QStringLiteral("ffe3 0")};
    QTRY_COMPARE(this->keys(), keys);
    std::lock_guard lock(m_portal.mutex);
    QCOMPARE(m_portal.calls,
             (QStringList{QStringLiteral("CreateSession"), QStringLiteral("SelectDevices"), QStringLiteral("Start")}));
    // A keyboard only, kept until the user revokes it, restored from last time's grant.
    const QVariantMap selected = m_portal.options.value(QStringLiteral("SelectDevices"));
    QCOMPARE(selected.value(QStringLiteral("types")).toUInt(), 1u);
    QCOMPARE(selected.value(QStringLiteral("persist_mode")).toUInt(), 2u);
    QCOMPARE(selected.value(QStringLiteral("restore_token")).toString(), QStringLiteral("token-1"));
}

void TestPortalKeystrokeSender::refusedSessionTypesNothing()
{
    m_startAnswer = 1;
    PortalKeystrokeSender sender(QStringLiteral("com.pellamor.app"), *m_client);
    QSignalSpy changed(&sender, &PortalKeystrokeSender::supportChanged);
    sender.start();
    QVERIFY(changed.wait());
    QCOMPARE(sender.support(), KeystrokeSender::Support::None);
    QVERIFY(sender.hasFailed());
    QCOMPARE(sender.limitation(), QStringLiteral("the user did not allow the desktop portal to type"));
    sender.send(PasteKeystroke::CtrlV);
    QVERIFY(keys().isEmpty());
    std::lock_guard lock(m_portal.mutex);
    QCOMPARE(m_portal.calls.size(), 3);
}

QTEST_GUILESS_MAIN(TestPortalKeystrokeSender)
#include "tst_portalkeystrokesender.moc"
