#include "platform/freedesktop/PortalKeystrokeSender.h"

#include <QDBusError>
#include <QDBusMessage>
#include <QDBusObjectPath>

namespace {

const QString sessionInterface = QStringLiteral("org.freedesktop.portal.Session");

// The portal's device types and persist modes.
constexpr uint keyboardDevice = 1;
constexpr uint persistUntilRevoked = 2;

constexpr int keysymShiftL = 0xffe1;
constexpr int keysymControlL = 0xffe3;
constexpr int keysymV = 0x76;

QString objectPathOf(const QVariant& value)
{
    return value.userType() == qMetaTypeId<QDBusObjectPath>() ? value.value<QDBusObjectPath>().path()
                                                              : value.toString();
}

} // namespace

PortalKeystrokeSender::PortalKeystrokeSender(const QString& applicationId, const QDBusConnection& bus, QObject* parent)
    : KeystrokeSender(parent)
    , m_applicationId(applicationId)
    , m_bus(bus)
    , m_limitation(QStringLiteral("the desktop portal's remote desktop session is not open"))
    , m_requests(new PortalRequest(bus, QString::fromLatin1(interfaceName), QStringLiteral("pellamor_paste"), this))
{}

PortalKeystrokeSender::~PortalKeystrokeSender()
{
    if (!m_session.isEmpty())
        m_bus.send(QDBusMessage::createMethodCall(QString::fromLatin1(PortalRequest::serviceName), m_session,
                                                  sessionInterface, QStringLiteral("Close")));
}

void PortalKeystrokeSender::start(const QString& restoreToken)
{
    if (m_started || m_starting)
        return;
    if (!m_bus.isConnected()) {
        fail(QStringLiteral("there is no session bus"));
        return;
    }
    m_starting = true;
    m_restoreToken = restoreToken;
    // Outside a sandbox the portal learns who we are only by being told (newer portals); its dialog
    // names the program then.
    QDBusMessage registration = QDBusMessage::createMethodCall(
        QString::fromLatin1(PortalRequest::serviceName), QString::fromLatin1(PortalRequest::objectPath),
        QStringLiteral("org.freedesktop.host.portal.Registry"), QStringLiteral("Register"));
    registration << m_applicationId << QVariantMap();
    m_bus.send(registration);
    createSession();
}

KeystrokeSender::Support PortalKeystrokeSender::support() const
{
    return m_started ? Support::Full : Support::None;
}

QString PortalKeystrokeSender::limitation() const
{
    return m_started ? QString() : m_limitation;
}

void PortalKeystrokeSender::fail(const QString& reason)
{
    const bool changed = m_started || !m_failed || m_limitation != reason;
    m_started = false;
    m_starting = false;
    m_failed = true;
    m_limitation = reason;
    if (changed)
        Q_EMIT supportChanged();
}

void PortalKeystrokeSender::request(const QString& method, QList<QVariant> arguments, QVariantMap options,
                                    PortalRequest::ResponseHandler onResponse)
{
    m_requests->call(method, std::move(arguments), std::move(options), std::move(onResponse),
                     [this, method](const QDBusError& error) {
                         fail(QStringLiteral("the desktop portal has no remote desktop interface (%1: %2)")
                                  .arg(method, error.message()));
                     });
}

void PortalKeystrokeSender::createSession()
{
    request(QStringLiteral("CreateSession"), {}, {{QStringLiteral("session_handle_token"), m_requests->nextToken()}},
            [this](uint response, const QVariantMap& results) {
                m_session = objectPathOf(results.value(QStringLiteral("session_handle")));
                if (response != 0 || m_session.isEmpty()) {
                    m_session.clear();
                    fail(QStringLiteral("the desktop portal refused a remote desktop session"));
                    return;
                }
                m_bus.connect(QString::fromLatin1(PortalRequest::serviceName), m_session, sessionInterface,
                              QStringLiteral("Closed"), this, SLOT(handleSessionClosed()));
                selectDevices();
            });
}

void PortalKeystrokeSender::selectDevices()
{
    QVariantMap options{{QStringLiteral("types"), keyboardDevice},
                        {QStringLiteral("persist_mode"), persistUntilRevoked}};
    if (!m_restoreToken.isEmpty())
        options.insert(QStringLiteral("restore_token"), m_restoreToken);
    request(QStringLiteral("SelectDevices"), {QVariant::fromValue(QDBusObjectPath(m_session))}, options,
            [this](uint response, const QVariantMap&) {
                if (response != 0) {
                    fail(QStringLiteral("the desktop portal refused a keyboard"));
                    return;
                }
                startSession();
            });
}

void PortalKeystrokeSender::startSession()
{
    // The portal's dialog shows here, unless the restore token spares it.
    request(QStringLiteral("Start"), {QVariant::fromValue(QDBusObjectPath(m_session)), QString()}, {},
            [this](uint response, const QVariantMap& results) {
                if (response != 0 || !(results.value(QStringLiteral("devices")).toUInt() & keyboardDevice)) {
                    fail(QStringLiteral("the user did not allow the desktop portal to type"));
                    return;
                }
                m_starting = false;
                m_started = true;
                m_failed = false;
                Q_EMIT supportChanged();
                const QString token = results.value(QStringLiteral("restore_token")).toString();
                if (!token.isEmpty() && token != m_restoreToken) {
                    m_restoreToken = token;
                    Q_EMIT restoreTokenChanged(token);
                }
            });
}

void PortalKeystrokeSender::handleSessionClosed()
{
    m_session.clear();
    fail(QStringLiteral("the desktop portal closed the remote desktop session"));
}

void PortalKeystrokeSender::notifyKeysym(int keysym, bool pressed)
{
    QDBusMessage call = QDBusMessage::createMethodCall(
        QString::fromLatin1(PortalRequest::serviceName), QString::fromLatin1(PortalRequest::objectPath),
        QString::fromLatin1(interfaceName), QStringLiteral("NotifyKeyboardKeysym"));
    call << QVariant::fromValue(QDBusObjectPath(m_session)) << QVariantMap() << keysym << uint(pressed ? 1 : 0);
    // In order, and without waiting: the bus keeps the order of one connection's calls.
    m_bus.send(call);
}

void PortalKeystrokeSender::send(PasteKeystroke keystroke)
{
    if (!m_started)
        return;
    typePaste(keystroke, [this](PasteKey key, bool pressed) {
        notifyKeysym(key == PasteKey::Control ? keysymControlL
                     : key == PasteKey::Shift ? keysymShiftL
                                              : keysymV,
                     pressed);
    });
}
