#include "PellamorApp.h"

#include "platform/SignalWatcher.h"

PellamorApp::PellamorApp(int& argc, char** argv)
    : QApplication(argc, argv)
{
    setApplicationName(QStringLiteral("Pellamor"));
    setDesktopFileName(QString::fromLatin1(AppDelegate::applicationId));
    setQuitOnLastWindowClosed(false);
}

PellamorApp::~PellamorApp() = default;

int PellamorApp::run()
{
    if (!m_appDelegate.applicationDidFinishLaunching())
        return 0;
    m_signalWatcher = new SignalWatcher(this);
    connect(m_signalWatcher, &SignalWatcher::terminationRequested, this, [] { QCoreApplication::quit(); });
    connect(this, &QCoreApplication::aboutToQuit, &m_appDelegate, &AppDelegate::applicationWillTerminate);
    return exec();
}
