#pragma once

#include <QObject>

#include <memory>

class ClipboardMonitor;
class InstanceLock;
class Pasteboard;
class Preferences;
class StorageManager;

// The shell: owns the single-instance lock, the preferences, the history store and the clipboard
// monitor for the whole run.
class AppDelegate : public QObject
{
    Q_OBJECT

public:
    static constexpr const char* applicationId = "com.pellamor.app";

    explicit AppDelegate(QObject* parent = nullptr);
    ~AppDelegate() override;

    // Returns false, having printed the duplicate-instance line, when another instance already runs;
    // nothing of the history is touched then.
    bool applicationDidFinishLaunching();
    void applicationWillTerminate();

    ClipboardMonitor* clipboardMonitor() const { return m_clipboardMonitor.get(); }
    StorageManager* storageManager() const { return m_storageManager.get(); }
    Preferences* preferences() const { return m_preferences.get(); }

private:
    std::unique_ptr<InstanceLock> m_instanceLock;
    std::unique_ptr<Preferences> m_preferences;
    std::unique_ptr<StorageManager> m_storageManager;
    std::unique_ptr<Pasteboard> m_pasteboard;
    std::unique_ptr<ClipboardMonitor> m_clipboardMonitor;
};
