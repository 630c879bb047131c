// The portal binding against a stand-in portal on a private session bus of its own.
#include "StubPortal.h"
#include "platform/freedesktop/PortalGlobalShortcut.h"

#include <QDBusArgument>
#include <QDBusMetaType>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>

#include <atomic>

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

class TestPortalGlobalShortcut : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void portalThatStartsLater();
    void portalWithoutShortcuts();
    void declinedBinding();

private:
    QStringList seenCalls()
    {
        std::lock_guard lock(m_portal.mutex);
        return m_portal.calls;
    }
    void activate(const QString& sessionPath, const QString& id)
    {
        QDBusMessage signal = QDBusMessage::createSignal(QString::fromLatin1(StubPortal::path),
                                                         QString::fromLatin1(PortalGlobalShortcut::interfaceName),
                                                         QStringLiteral("Activated"));
        signal << QVariant::fromValue(QDBusObjectPath(sessionPath)) << id << qulonglong(1234) << QVariantMap();
        m_portal.bus().send(signal);
    }

    StubPortal m_portal{QString::fromLatin1(PortalGlobalShortcut::interfaceName)};
    // The triggers asked for, guarded by the portal's mutex.
    QStringList m_triggers;
    std::atomic<uint> m_bindAnswer = 0;
};

void TestPortalGlobalShortcut::initTestCase()
{
    if (QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")).isEmpty())
        QSKIP("dbus-daemon is not installed");
    qDBusRegisterMetaType<StubShortcut>();
    qDBusRegisterMetaType<QList<StubShortcut>>();
    QVERIFY(m_portal.startBus());
    // BindShortcuts: the portal answers with what it bound, in the same a(sa{sv}) form.
    m_portal.answer = [this](const QString&, const QList<QVariant>& arguments, QVariantMap& results) {
        QList<StubShortcut> asked;
        arguments.value(1).value<QDBusArgument>() >> asked;
        for (const StubShortcut& shortcut : std::as_const(asked))
            m_triggers << shortcut.id + QLatin1Char(' ') +
                              shortcut.properties.value(QStringLiteral("preferred_trigger")).toString();
        if (arguments.value(0).value<QDBusObjectPath>().path() != m_portal.session)
            return 2u;
        if (m_bindAnswer != 0)
            return m_bindAnswer.load();
        for (StubShortcut& shortcut : asked)
            shortcut.properties = {{QStringLiteral("trigger_description"), QStringLiteral("Alt+Space")}};
        results.insert(QStringLiteral("shortcuts"), QVariant::fromValue(asked));
        return 0u;
    };
}

void TestPortalGlobalShortcut::init()
{
    m_portal.forget();
    std::lock_guard lock(m_portal.mutex);
    m_triggers.clear();
    m_bindAnswer = 0;
}

void TestPortalGlobalShortcut::cleanup()
{
    m_portal.stop();
}

void TestPortalGlobalShortcut::portalThatStartsLater()
{
    const QDBusConnection client = QDBusConnection::connectToBus(m_portal.address, QStringLiteral("client1"));
    PortalGlobalShortcut shortcut(QStringLiteral("com.pellamor.app"), client);
    QSignalSpy activated(&shortcut, &GlobalShortcut::activated);
    shortcut.bind(Qt::ALT | Qt::Key_Space);
    // Nothing answers yet.
    QTRY_COMPARE(shortcut.status(), Status::Unsupported);

    QVERIFY(m_portal.start());
    QTRY_COMPARE(shortcut.status(), Status::Bound);
    {
        std::lock_guard lock(m_portal.mutex);
        QCOMPARE(m_portal.registeredIds, QStringList{QStringLiteral("com.pellamor.app")});
        QCOMPARE(m_portal.calls, (QStringList{QStringLiteral("CreateSession"), QStringLiteral("BindShortcuts")}));
        QCOMPARE(m_triggers, QStringList{QStringLiteral("toggle-panel ALT+space")});
    }
    const QString session = m_portal.session;
    activate(session, QStringLiteral("toggle-panel"));
    QTRY_COMPARE(activated.size(), 1);
    // Another session's or another shortcut's activation is not ours. The bus keeps one sender's order:
    // once the last activation has arrived, the two before it have been looked at.
    activate(QStringLiteral("/org/freedesktop/portal/desktop/session/other/x"), QStringLiteral("toggle-panel"));
    activate(session, QStringLiteral("something-else"));
    activate(session, QStringLiteral("toggle-panel"));
    QTRY_VERIFY(activated.size() >= 2);
    QCOMPARE(activated.size(), 2);

    // A new combination: the old session closes and a new one binds it.
    shortcut.bind(Qt::CTRL | Qt::SHIFT | Qt::Key_V);
    QTRY_COMPARE(shortcut.status(), Status::Bound);
    QTRY_COMPARE(seenCalls().size(), 4);
    {
        std::lock_guard lock(m_portal.mutex);
        QCOMPARE(m_portal.closed, QStringList{session});
        QCOMPARE(m_triggers.last(), QStringLiteral("toggle-panel CTRL+SHIFT+v"));
    }
    activate(session, QStringLiteral("toggle-panel"));
    activate(m_portal.session, QStringLiteral("toggle-panel"));
    QTRY_COMPARE(activated.size(), 3);

    // The portal goes away, and comes back.
    m_portal.stop();
    QTRY_COMPARE(shortcut.status(), Status::Unsupported);
    QVERIFY(m_portal.start());
    QTRY_COMPARE(shortcut.status(), Status::Bound);
    QDBusConnection::disconnectFromBus(QStringLiteral("client1"));
}

void TestPortalGlobalShortcut::portalWithoutShortcuts()
{
    m_portal.offersInterface = false;
    QVERIFY(m_portal.start());
    const QDBusConnection client = QDBusConnection::connectToBus(m_portal.address, QStringLiteral("client2"));
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
    m_bindAnswer = 1;
    QVERIFY(m_portal.start());
    const QDBusConnection client = QDBusConnection::connectToBus(m_portal.address, QStringLiteral("client3"));
    {
        PortalGlobalShortcut shortcut(QStringLiteral("com.pellamor.app"), client);
        shortcut.bind(Qt::ALT | Qt::Key_Space);
        QTRY_COMPARE(shortcut.status(), Status::Refused);
    }
    QDBusConnection::disconnectFromBus(QStringLiteral("client3"));
}

QTEST_GUILESS_MAIN(TestPortalGlobalShortcut)
#include "tst_portalglobalshortcut.moc"
