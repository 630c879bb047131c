#include "PellamorApp.h"
#include "core/StandardOutput.h"
#include "platform/SystemPasteboard.h"

int main(int argc, char** argv)
{
    // Decided before the application object exists, because that is when Qt picks its platform.
    if (const QString note = SystemPasteboard::choosePlatform(); !note.isEmpty())
        printLine(note);
    PellamorApp app(argc, argv);
    return app.run();
}
