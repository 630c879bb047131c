#pragma once

#include "platform/KeystrokeSender.h"
#include "platform/freedesktop/PortalRequest.h"

#include <QDBusConnection>

// Types the paste through the desktop portal's RemoteDesktop interface, on desktops that offer nothing
// more direct. The portal's own dialog asks the user once; with a restore token it may remember the
// answer across runs. The portal types into whatever window has the keyboard focus and says nothing
// about windows, so focusedWindow() is never valid here: which window is the target, and whether it
// has the focus, must be learnt elsewhere.
class PortalKeystrokeSender : public KeystrokeSender
{
    Q_OBJECT

public:
    static constexpr const char* interfaceName = "org.freedesktop.portal.RemoteDesktop";

    explicit PortalKeystrokeSender(const QString& applicationId,
                                   const QDBusConnection& bus = QDBusConnection::sessionBus(),
                                   QObject* parent = nullptr);
    ~PortalKeystrokeSender() override;

    // Opens the one session for the life of the program, with a keyboard only: call it when the user
    // switches pasting on. restoreToken: the one restoreTokenChanged gave last time, if any.
    void start(const QString& restoreToken = {});

    // Full once the session is open; None before, and after the portal or the user said no.
    Support support() const override;
    QString limitation() const override;
    // A start failed, or the session was closed: start() may be tried again.
    bool hasFailed() const { return m_failed; }
    bool knowsWindows() const override { return false; }
    PasteTarget focusedWindow() const override { return {}; }
    bool exists(const PasteTarget&) const override { return false; }
    void activate(const PasteTarget&) override {}
    // The portal does not say.
    bool modifiersHeld() const override { return false; }
    void send(PasteKeystroke keystroke) override;

Q_SIGNALS:
    void supportChanged();
    // The portal gave a token that restores this grant next time; keep it in the settings.
    void restoreTokenChanged(const QString& token);

private Q_SLOTS:
    void handleSessionClosed();

private:
    void createSession();
    void selectDevices();
    void startSession();
    void fail(const QString& reason);
    // Calls `method` on the portal; `onResponse` gets the answer of the request it starts.
    void request(const QString& method, QList<QVariant> arguments, QVariantMap options,
                 PortalRequest::ResponseHandler onResponse);
    void notifyKeysym(int keysym, bool pressed);

    QString m_applicationId;
    QDBusConnection m_bus;
    QString m_restoreToken;
    QString m_session;
    bool m_started = false;
    bool m_starting = false;
    bool m_failed = false;
    QString m_limitation;
    PortalRequest* m_requests;
};
