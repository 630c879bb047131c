// A start of the program reduced to its single-instance step, for tests with several real processes:
//
//   relaunch_helper DIRECTORY [SURFACE] [--hold]
//
// Exits 0 after handing SURFACE to the running instance (as a second start does). As the first
// instance it exits 3, or with --hold prints "holding" and each surface it is asked for, until killed.
#include "app/SingleInstance.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QStringList arguments = app.arguments().mid(1);
    const bool hold = arguments.removeAll(QStringLiteral("--hold")) > 0;
    if (arguments.isEmpty())
        return 2;
    SingleInstance instance(QStringLiteral("com.pellamor.app"), arguments.value(0));
    if (!instance.start(arguments.value(1, SingleInstance::panelSurface)))
        return 0;
    if (!hold)
        return 3;
    QObject::connect(&instance, &SingleInstance::surfaceRequested, [](const QString& surface) {
        std::printf("%s\n", surface.toUtf8().constData());
        std::fflush(stdout);
    });
    std::printf("holding\n");
    std::fflush(stdout);
    return app.exec();
}
