#pragma once

#include "AppDelegate.h"

#include <QApplication>

class SignalWatcher;

// The application object: no main window; life-cycle events go to the shell.
class PellamorApp : public QApplication
{
    Q_OBJECT

public:
    PellamorApp(int& argc, char** argv);
    ~PellamorApp() override;

    // Runs until quit, SIGINT or SIGTERM; returns the exit code.
    int run();

    // Loads Qt's translations of its own texts for `locale`; false where none are installed.
    static bool installQtTranslations(const QLocale& locale);

private:
    AppDelegate m_appDelegate;
    SignalWatcher* m_signalWatcher = nullptr;
};
