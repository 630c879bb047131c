#include "platform/freedesktop/PortalGlobalShortcut.h"

#include "platform/KeySymbols.h"

#include <QDBusArgument>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>

namespace {

const QString sessionInterface = QStringLiteral("org.freedesktop.portal.Session");
const QString registryInterface = QStringLiteral("org.freedesktop.host.portal.Registry");

// One entry of the a(sa{sv}) list BindShortcuts takes.
struct PortalShortcut
{
    QString id;
    QVariantMap properties;
};

QDBusArgument& operator<<(QDBusArgument& argument, const PortalShortcut& shortcut)
{
    argument.beginStructure();
    argument << shortcut.id << shortcut.properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, PortalShortcut& shortcut)
{
    argument.beginStructure();
    argument >> shortcut.id >> shortcut.properties;
    argument.endStructure();
    return argument;
}

} // namespace

Q_DECLARE_METATYPE(PortalShortcut)

const QString PortalGlobalShortcut::shortcutDescription = QStringLiteral("打开或关闭剪贴板历史面板");

PortalGlobalShortcut::PortalGlobalShortcut(const QString& applicationId, const QDBusConnection& bus, QObject* parent)
    : GlobalShortcut(parent)
    , m_applicationId(applicationId)
    , m_bus(bus)
    , m_watcher(new QDBusServiceWatcher(QString::fromLatin1(PortalRequest::serviceName), bus,
                                        QDBusServiceWatcher::WatchForOwnerChange, this))
    , m_requests(new PortalRequest(bus, QString::fromLatin1(interfaceName), QStringLiteral("pellamor"), this))
{
    qDBusRegisterMetaType<PortalShortcut>();
    qDBusRegisterMetaType<QList<PortalShortcut>>();
    // A portal that starts, or starts again, after us: the old session went with the old one.
    connect(m_watcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
            [this](const QString&, const QString&, const QString& newOwner) {
                m_session.clear();
                m_requests->clear();
                if (!m_wanted)
                    return;
                if (newOwner.isEmpty())
                    setStatus(Status::Unsupported);
                else
                    start();
            });
    // From any sender: the session path, which the portal made for us alone, tells ours apart.
    m_bus.connect(QString(), QString::fromLatin1(PortalRequest::objectPath), QString::fromLatin1(interfaceName),
                  QStringLiteral("Activated"), this, SLOT(handleActivated(QDBusMessage)));
}

PortalGlobalShortcut::~PortalGlobalShortcut()
{
    closeSession();
}

void PortalGlobalShortcut::bind(QKeyCombination combination)
{
    m_wanted = combination;
    if (!m_bus.isConnected()) {
        setStatus(Status::Unsupported);
        return;
    }
    if (xdgTrigger(combination).isEmpty()) {
        setStatus(Status::NoSuchKey);
        return;
    }
    start();
}

void PortalGlobalShortcut::unbind()
{
    m_wanted.reset();
    ++m_generation;
    closeSession();
    setStatus(Status::Unbound);
}

void PortalGlobalShortcut::closeSession()
{
    m_requests->clear();
    if (m_session.isEmpty())
        return;
    m_bus.send(QDBusMessage::createMethodCall(QString::fromLatin1(PortalRequest::serviceName), m_session,
                                              sessionInterface, QStringLiteral("Close")));
    m_session.clear();
}

void PortalGlobalShortcut::start()
{
    // A new combination gets a new session: the portal binds a session's shortcuts once.
    closeSession();
    setStatus(Status::Pending);
    const quint64 generation = ++m_generation;
    // Outside a sandbox the portal learns who we are only by being told (newer portals).
    QDBusMessage registration = QDBusMessage::createMethodCall(QString::fromLatin1(PortalRequest::serviceName),
                                                               QString::fromLatin1(PortalRequest::objectPath),
                                                               registryInterface, QStringLiteral("Register"));
    registration << m_applicationId << QVariantMap();
    m_bus.send(registration);

    QDBusMessage probe = QDBusMessage::createMethodCall(
        QString::fromLatin1(PortalRequest::serviceName), QString::fromLatin1(PortalRequest::objectPath),
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    probe << QString::fromLatin1(interfaceName) << QStringLiteral("version");
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(probe), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, generation](QDBusPendingCallWatcher* call) {
        call->deleteLater();
        if (generation != m_generation)
            return;
        if (call->isError()) {
            // No portal, or one without global shortcuts; a portal that starts later is picked up.
            setStatus(Status::Unsupported);
            return;
        }
        createSession();
    });
}

void PortalGlobalShortcut::request(const QString& method, QList<QVariant> arguments, QVariantMap options,
                                   PortalRequest::ResponseHandler onResponse)
{
    const quint64 generation = m_generation;
    m_requests->call(method, std::move(arguments), std::move(options), std::move(onResponse),
                     [this, generation](const QDBusError&) {
                         if (generation == m_generation)
                             setStatus(Status::Unsupported);
                     });
}

void PortalGlobalShortcut::createSession()
{
    const quint64 generation = m_generation;
    request(QStringLiteral("CreateSession"), {}, {{QStringLiteral("session_handle_token"), m_requests->nextToken()}},
            [this, generation](uint response, const QVariantMap& results) {
                if (generation != m_generation)
                    return;
                const QVariant handle = results.value(QStringLiteral("session_handle"));
                m_session = handle.userType() == qMetaTypeId<QDBusObjectPath>() ? handle.value<QDBusObjectPath>().path()
                                                                                : handle.toString();
                if (response != 0 || m_session.isEmpty()) {
                    m_session.clear();
                    setStatus(Status::Refused);
                    return;
                }
                bindShortcuts();
            });
}

void PortalGlobalShortcut::bindShortcuts()
{
    if (!m_wanted)
        return;
    const quint64 generation = m_generation;
    QVariantMap properties{{QStringLiteral("description"), shortcutDescription},
                           {QStringLiteral("preferred_trigger"), xdgTrigger(*m_wanted)}};
    const QList<PortalShortcut> shortcuts{{QString::fromLatin1(shortcutId), properties}};
    request(QStringLiteral("BindShortcuts"),
            {QVariant::fromValue(QDBusObjectPath(m_session)), QVariant::fromValue(shortcuts), QString()}, {},
            [this, generation](uint response, const QVariantMap& results) {
                if (generation != m_generation)
                    return;
                bool bound = false;
                const QVariant list = results.value(QStringLiteral("shortcuts"));
                if (list.userType() == qMetaTypeId<QDBusArgument>()) {
                    QList<PortalShortcut> given;
                    list.value<QDBusArgument>() >> given;
                    for (const PortalShortcut& shortcut : std::as_const(given))
                        bound = bound || shortcut.id == QLatin1String(shortcutId);
                }
                setStatus(response == 0 && bound ? Status::Bound : Status::Refused);
            });
}

void PortalGlobalShortcut::handleActivated(const QDBusMessage& message)
{
    const QList<QVariant> arguments = message.arguments();
    if (arguments.size() < 2 || m_session.isEmpty() || status() != Status::Bound)
        return;
    const QVariant session = arguments.at(0);
    const QString path = session.userType() == qMetaTypeId<QDBusObjectPath>() ? session.value<QDBusObjectPath>().path()
                                                                              : session.toString();
    if (path == m_session && arguments.at(1).toString() == QLatin1String(shortcutId))
        Q_EMIT activated();
}
