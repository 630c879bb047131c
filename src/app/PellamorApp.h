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

private:
    AppDelegate m_appDelegate;
    SignalWatcher* m_signalWatcher = nullptr;
};
