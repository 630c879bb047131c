#include "platform/SystemPasteboard.h"

#include "platform/QtPasteboard.h"
#include "platform/wayland/WaylandPasteboard.h"
#include "platform/x11/X11Pasteboard.h"

#include <QGuiApplication>

namespace SystemPasteboard {

QString choosePlatform()
{
    if (qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        return {};
    const bool hasXWayland = !qEnvironmentVariableIsEmpty("DISPLAY");
    if (hasXWayland && !qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "xcb");
    if (WaylandClipboardReader::offeredProtocol() != WaylandClipboardReader::Protocol::None)
        return {};
    const QString lead = QStringLiteral("Pellamor cannot watch the clipboard on this Wayland compositor, which offers "
                                        "no data-control interface; ");
    if (hasXWayland && qgetenv("QT_QPA_PLATFORM").startsWith("xcb"))
        return lead + QStringLiteral("it watches it through XWayland (QT_QPA_PLATFORM=xcb) instead.");
    return lead + QStringLiteral("it sees changes only while one of its windows has focus. Run it under XWayland "
                                 "(QT_QPA_PLATFORM=xcb) to watch the clipboard at all times.");
}

std::unique_ptr<Pasteboard> create(QClipboard* clipboard, const QStringList& valueTypes)
{
    if (!qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
        auto wayland = std::make_unique<WaylandPasteboard>(valueTypes);
        if (wayland->isWatching())
            return wayland;
    }
    if (QGuiApplication::platformName() == u"xcb")
        return std::make_unique<X11Pasteboard>(clipboard, valueTypes);
    return std::make_unique<QtPasteboard>(clipboard);
}

} // namespace SystemPasteboard
