#include "platform/KeystrokeSender.h"

#include "platform/freedesktop/PortalKeystrokeSender.h"
#include "platform/wayland/KdeKeystrokeSender.h"
#include "platform/wayland/WlrKeystrokeSender.h"
#include "platform/x11/X11KeystrokeSender.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QGuiApplication>

namespace {

// A desktop that lets no program type into another's windows, or one this program cannot reach.
class UnsupportedKeystrokeSender : public KeystrokeSender
{
public:
    explicit UnsupportedKeystrokeSender(QString reason)
        : m_reason(std::move(reason))
    {}

    Support support() const override { return Support::None; }
    QString limitation() const override { return m_reason; }
    PasteTarget focusedWindow() const override { return {}; }
    bool exists(const PasteTarget&) const override { return false; }
    void activate(const PasteTarget&) override {}
    bool modifiersHeld() const override { return false; }
    void send(PasteKeystroke) override {}

private:
    QString m_reason;
};

// Whether the desktop portal runs or can be started on the session bus: asked of the bus itself, which
// answers at once, never of the portal.
bool portalAvailable()
{
    const QDBusConnection bus = QDBusConnection::sessionBus();
    const QDBusConnectionInterface* daemon = bus.isConnected() ? bus.interface() : nullptr;
    if (!daemon)
        return false;
    const QString name = QString::fromLatin1(PortalRequest::serviceName);
    return daemon->isServiceRegistered(name).value() || daemon->activatableServiceNames().value().contains(name);
}

} // namespace

void typePaste(PasteKeystroke keystroke, const std::function<void(PasteKey key, bool pressed)>& key)
{
    const bool shift = keystroke == PasteKeystroke::CtrlShiftV;
    key(PasteKey::Control, true);
    if (shift)
        key(PasteKey::Shift, true);
    key(PasteKey::V, true);
    key(PasteKey::V, false);
    if (shift)
        key(PasteKey::Shift, false);
    key(PasteKey::Control, false);
}

std::unique_ptr<KeystrokeSender> KeystrokeSender::createForSession()
{
    // On Wayland the compositor is asked first, on a connection of the sender's own, whatever Qt draws
    // through: the program's windows may be XWayland's, and the window lists of wlroots compositors and
    // of KWin name native and X11 windows alike.
    if (!qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
        auto wlroots = std::make_unique<WlrKeystrokeSender>();
        if (wlroots->support() != Support::None)
            return wlroots;
        auto kde = std::make_unique<KdeKeystrokeSender>();
        if (kde->support() != Support::None)
            return kde;
        // Elsewhere (GNOME, KDE without its grant) the portal types into any window, once the user allows
        // it in the portal's dialog.
        if (portalAvailable())
            return std::make_unique<PortalKeystrokeSender>(QStringLiteral("com.pellamor.app"));
        if (QGuiApplication::platformName() == u"xcb")
            return std::make_unique<X11KeystrokeSender>();
        // On Plasma the missing grant is what matters, elsewhere what a wlroots compositor would offer.
        const bool plasma = qEnvironmentVariable("XDG_CURRENT_DESKTOP").contains(u"KDE", Qt::CaseInsensitive);
        return std::make_unique<UnsupportedKeystrokeSender>(plasma ? kde->limitation() : wlroots->limitation());
    }
    if (QGuiApplication::platformName() == u"xcb")
        return std::make_unique<X11KeystrokeSender>();
    return std::make_unique<UnsupportedKeystrokeSender>(
        QStringLiteral("this desktop (%1) offers no way to type into other windows")
            .arg(QGuiApplication::platformName()));
}
