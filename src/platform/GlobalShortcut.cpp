#include "platform/GlobalShortcut.h"

#include "platform/freedesktop/PortalGlobalShortcut.h"
#include "platform/x11/X11GlobalShortcut.h"

#include <QGuiApplication>

void GlobalShortcut::setStatus(Status status)
{
    if (status == m_status)
        return;
    m_status = status;
    Q_EMIT statusChanged(status);
}

std::unique_ptr<GlobalShortcut> GlobalShortcut::createForSession()
{
    // On Wayland only the compositor sees every key press, also when the program runs under XWayland.
    if (!qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        return std::make_unique<PortalGlobalShortcut>(QStringLiteral("com.pellamor.app"));
    if (QGuiApplication::platformName() == u"xcb")
        return std::make_unique<X11GlobalShortcut>();
    return std::make_unique<UnsupportedGlobalShortcut>();
}
