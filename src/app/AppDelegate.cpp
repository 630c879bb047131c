#include "AppDelegate.h"

#include "core/ClipboardMonitor.h"
#include "core/StandardOutput.h"
#include "core/StorageManager.h"
#include "platform/InstanceLock.h"
#include "platform/Preferences.h"
#include "platform/QtPasteboard.h"

#include <QGuiApplication>

AppDelegate::AppDelegate(QObject* parent)
    : QObject(parent)
{}

AppDelegate::~AppDelegate()
{
    // The monitor refers to the store, the clipboard and the preferences; it goes first. The store's
    // destructor then finishes every save already requested.
    m_clipboardMonitor.reset();
    m_pasteboard.reset();
    m_storageManager.reset();
}

bool AppDelegate::applicationDidFinishLaunching()
{
    m_instanceLock = std::make_unique<InstanceLock>(QString::fromLatin1(applicationId));
    if (!m_instanceLock->tryAcquire()) {
        printLine(QStringLiteral("Duplicate instance detected. Quitting."));
        return false;
    }

    m_preferences = std::make_unique<Preferences>();
    m_storageManager = std::make_unique<StorageManager>();
    m_pasteboard = std::make_unique<QtPasteboard>(QGuiApplication::clipboard());
    // Constructing the monitor loads and sorts the stored history.
    m_clipboardMonitor = std::make_unique<ClipboardMonitor>(*m_storageManager, *m_pasteboard, *m_preferences);
    m_clipboardMonitor->startMonitoring();
    return true;
}

void AppDelegate::applicationWillTerminate()
{
    if (m_clipboardMonitor)
        m_clipboardMonitor->stopMonitoring();
}
