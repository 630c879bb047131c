#include "PellamorApp.h"

#include "platform/SignalWatcher.h"

#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

PellamorApp::PellamorApp(int& argc, char** argv)
    : QApplication(argc, argv)
{
    setApplicationName(QStringLiteral("Pellamor"));
    setDesktopFileName(QString::fromLatin1(AppDelegate::applicationId));
    setQuitOnLastWindowClosed(false);
    installQtTranslations(QLocale::system());
}

bool PellamorApp::installQtTranslations(const QLocale& locale)
{
    // The buttons and labels Qt draws itself (the export dialog's "Save", "Cancel", "File name:") in the
    // desktop's language, from Qt's own translations where they are installed.
    auto* translator = new QTranslator(qApp);
    if (!translator->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    QCoreApplication::installTranslator(translator);
    return true;
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
