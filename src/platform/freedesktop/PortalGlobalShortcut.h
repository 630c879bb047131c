#pragma once

#include "platform/GlobalShortcut.h"
#include "platform/freedesktop/PortalRequest.h"

#include <QDBusConnection>

#include <optional>

class QDBusMessage;
class QDBusServiceWatcher;

// The shortcut through the desktop portal's GlobalShortcuts interface (Wayland sessions whose portal
// offers it). The program introduces itself by its application id, opens a session and asks for one
// shortcut with the combination as its preferred trigger; the desktop may let the user change it. A
// portal that is missing, or lacks the interface, leaves the shortcut Unsupported until a portal starts.
class PortalGlobalShortcut : public GlobalShortcut
{
    Q_OBJECT

public:
    static constexpr const char* interfaceName = "org.freedesktop.portal.GlobalShortcuts";
    static constexpr const char* shortcutId = "toggle-panel";
    static const QString shortcutDescription;

    explicit PortalGlobalShortcut(const QString& applicationId,
                                  const QDBusConnection& bus = QDBusConnection::sessionBus(),
                                  QObject* parent = nullptr);
    ~PortalGlobalShortcut() override;

    void bind(QKeyCombination combination) override;
    void unbind() override;

private Q_SLOTS:
    void handleActivated(const QDBusMessage& message);

private:
    void start();
    void createSession();
    void bindShortcuts();
    void closeSession();
    // Calls `method` on the portal; `onResponse` gets the answer of the request it starts.
    void request(const QString& method, QList<QVariant> arguments, QVariantMap options,
                 PortalRequest::ResponseHandler onResponse);

    QString m_applicationId;
    QDBusConnection m_bus;
    QDBusServiceWatcher* m_watcher;
    PortalRequest* m_requests;
    std::optional<QKeyCombination> m_wanted;
    QString m_session;
    quint64 m_generation = 0;
};
