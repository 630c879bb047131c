#include "app/EntryActions.h"
#include "app/HistoryService.h"
#include "core/ClipboardMonitor.h"
#include "core/HistoryModel.h"
#include "core/StorageManager.h"
#include "platform/Preferences.h"
#include "platform/fakes/FakePasteboard.h"

#include <QDBusAbstractInterface>
#include <QDBusConnection>
#include <QDBusPendingCall>
#include <QDBusPendingReply>
#include <QDomDocument>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

// A client of the history interface over a connection of its own, so each call crosses the bus and comes
// back as a reply or a named error while the test's event loop serves it.
class HistoryInterface : public QDBusAbstractInterface
{
public:
    explicit HistoryInterface(const QDBusConnection& connection, const QString& service)
        : QDBusAbstractInterface(service, QLatin1String(HistoryBus::objectPath), HistoryBus::interfaceName, connection,
                                 nullptr)
    {}
};

// What a script or another program meets when it asks for what the history cannot give: named errors,
// and an interface whose introspection is the description shipped under data/.
class TestHistoryService : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void errors_data();
    void errors();
    void introspectionMatchesTheShippedDescription();

private:
    QDBusMessage answer(const QString& method, const QVariantList& arguments);

    QTemporaryDir m_root;
    std::unique_ptr<StorageManager> m_storage;
    std::unique_ptr<Preferences> m_preferences;
    std::unique_ptr<FakePasteboard> m_pasteboard;
    std::unique_ptr<HistoryModel> m_history;
    std::unique_ptr<ClipboardMonitor> m_monitor;
    std::unique_ptr<EntryActions> m_actions;
    std::unique_ptr<HistoryService> m_service;
    std::unique_ptr<HistoryInterface> m_interface;
    QString m_serviceName;
};

void TestHistoryService::initTestCase()
{
    if (!QDBusConnection::sessionBus().isConnected())
        QSKIP("no session bus (the test runs under dbus-run-session)");
    m_storage = std::make_unique<StorageManager>(m_root.filePath(QStringLiteral("Pellamor")));
    m_preferences = std::make_unique<Preferences>(m_root.filePath(QStringLiteral("prefs.conf")));
    m_pasteboard = std::make_unique<FakePasteboard>();
    m_history = std::make_unique<HistoryModel>(*m_storage);
    m_monitor = std::make_unique<ClipboardMonitor>(*m_history, *m_pasteboard, *m_preferences);
    m_actions = std::make_unique<EntryActions>(*m_history, *m_monitor);
    m_service = std::make_unique<HistoryService>(*m_monitor, *m_actions, *m_storage, *m_preferences);
    // A name of its own, so a program running on the same bus is never in the way.
    m_serviceName = QStringLiteral("com.pellamor.test%1").arg(QCoreApplication::applicationPid());
    QVERIFY(m_service->registerOn(QDBusConnection::sessionBus(), m_serviceName));
    m_interface = std::make_unique<HistoryInterface>(
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("client")), m_serviceName);
    QVERIFY(m_interface->isValid());
}

void TestHistoryService::cleanupTestCase()
{
    m_interface.reset();
    QDBusConnection::disconnectFromBus(QStringLiteral("client"));
    m_service.reset();
    m_actions.reset();
    m_monitor.reset();
    m_history.reset();
}

QDBusMessage TestHistoryService::answer(const QString& method, const QVariantList& arguments)
{
    QDBusPendingCall call = m_interface->asyncCallWithArgumentList(method, arguments);
    // The service answers from this thread's event loop.
    if (!QTest::qWaitFor([&call] { return call.isFinished(); }, 30000))
        return QDBusMessage::createError(QStringLiteral("test.NoAnswer"), QStringLiteral("no answer in 30 s"));
    return call.reply();
}

void TestHistoryService::errors_data()
{
    QTest::addColumn<QString>("method");
    QTest::addColumn<QVariantList>("arguments");
    QTest::addColumn<QString>("error");

    const QString unknownId = QStringLiteral("6F9619FF-8B86-D011-B42D-00C04FC964FF");
    QTest::newRow("Get of an unknown id")
        << "Get" << QVariantList{unknownId} << QString::fromLatin1(HistoryBus::noSuchEntry);
    QTest::newRow("Copy of text that is no id")
        << "Copy" << QVariantList{QStringLiteral("abc")} << QString::fromLatin1(HistoryBus::noSuchEntry);
    QTest::newRow("Paste of an unknown id")
        << "Paste" << QVariantList{unknownId} << QString::fromLatin1(HistoryBus::noSuchEntry);
    QTest::newRow("SetPinned of an unknown id")
        << "SetPinned" << QVariantList{unknownId, true} << QString::fromLatin1(HistoryBus::noSuchEntry);
    QTest::newRow("Add of HTML") << "Add" << QVariantList{QByteArray("<b>x</b>"), QStringLiteral("text/html")}
                                 << QString::fromLatin1(HistoryBus::unsupportedType);
    QTest::newRow("Add of text that is not UTF-8")
        << "Add" << QVariantList{QByteArray("\xff\xfe"), QStringLiteral("text/plain")}
        << QString::fromLatin1(HistoryBus::invalidData);
    QTest::newRow("Add of a PNG that does not decode")
        << "Add" << QVariantList{QByteArray("\x89PNG\r\n\x1a\nbroken"), QStringLiteral("image/png")}
        << QString::fromLatin1(HistoryBus::invalidData);
    QTest::newRow("Get with a number for the id")
        << "Get" << QVariantList{42} << QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod");
}

void TestHistoryService::errors()
{
    QFETCH(QString, method);
    QFETCH(QVariantList, arguments);
    QFETCH(QString, error);
    const ClipboardItems before = m_monitor->items();
    const QDBusMessage reply = answer(method, arguments);
    QCOMPARE(reply.type(), QDBusMessage::ErrorMessage);
    QCOMPARE(reply.errorName(), error);
    QVERIFY(!reply.errorMessage().isEmpty());
    QCOMPARE(m_monitor->items(), before);
}

void TestHistoryService::introspectionMatchesTheShippedDescription()
{
    // Methods, signals and properties with their argument types, one line each, sorted.
    const auto members = [](const QString& xml) {
        QDomDocument document;
        if (!document.setContent(xml))
            return QStringList{QStringLiteral("unreadable")};
        QStringList lines;
        for (QDomElement interface = document.documentElement().firstChildElement(QStringLiteral("interface"));
             !interface.isNull(); interface = interface.nextSiblingElement(QStringLiteral("interface"))) {
            if (interface.attribute(QStringLiteral("name")) != QLatin1String(HistoryBus::interfaceName))
                continue;
            for (QDomElement member = interface.firstChildElement(); !member.isNull();
                 member = member.nextSiblingElement()) {
                QString line = member.tagName() + u' ' + member.attribute(QStringLiteral("name")) + u' ' +
                               member.attribute(QStringLiteral("type"));
                for (QDomElement arg = member.firstChildElement(QStringLiteral("arg")); !arg.isNull();
                     arg = arg.nextSiblingElement(QStringLiteral("arg")))
                    line += u' ' + arg.attribute(QStringLiteral("direction"), QStringLiteral("in")) + u':' +
                            arg.attribute(QStringLiteral("type"));
                lines.append(line);
            }
        }
        lines.sort();
        return lines;
    };
    QFile shipped(QStringLiteral(PELLAMOR_INTERFACE_XML));
    QVERIFY(shipped.open(QIODevice::ReadOnly));
    QDBusMessage introspect = QDBusMessage::createMethodCall(m_serviceName, QLatin1String(HistoryBus::objectPath),
                                                             QStringLiteral("org.freedesktop.DBus.Introspectable"),
                                                             QStringLiteral("Introspect"));
    QDBusPendingCall call = m_interface->connection().asyncCall(introspect);
    QTRY_VERIFY_WITH_TIMEOUT(call.isFinished(), 30000);
    const QStringList live = members(QDBusPendingReply<QString>(call).value());
    QVERIFY2(live.size() > 10, qPrintable(live.join(u'\n')));
    QCOMPARE(live, members(QString::fromUtf8(shipped.readAll())));
}

QTEST_GUILESS_MAIN(TestHistoryService)
#include "tst_historyservice.moc"
