#include "PellamorApp.h"
#include "core/StandardOutput.h"

#include <QtGlobal>

int main(int argc, char** argv)
{
    // A Wayland client only sees the clipboard while one of its windows has focus, and we speak no
    // compositor interface that would let us watch it; through XWayland we can watch it at all times.
    // Decided before the application object exists, because that is when Qt picks its platform. A
    // platform the user chose stays as it is.
    if (!qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") && !qEnvironmentVariableIsSet("QT_QPA_PLATFORM") &&
        !qEnvironmentVariableIsEmpty("DISPLAY")) {
        qputenv("QT_QPA_PLATFORM", "xcb");
        printLine(QStringLiteral("Pellamor watches the clipboard through XWayland, because the compositor offers it "
                                 "no interface to watch the clipboard."));
    }
    PellamorApp app(argc, argv);
    return app.run();
}
