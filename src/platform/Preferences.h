#pragma once

#include <QObject>
#include <QString>
#include <QVariant>

#include <memory>

class QSettings;

// Every user setting: key names, types and defaults live here and nowhere else. Each getter reads the
// store at the moment of the call; every write, even of an unchanged value, emits changed(key).
class Preferences : public QObject
{
    Q_OBJECT

public:
    struct Keys
    {
        static constexpr const char* displayCount = "displayCount";
        static constexpr const char* shortcutKey = "shortcutKey";
        static constexpr const char* themePreference = "themePreference";
        static constexpr const char* popoverPinned = "popoverPinned";
        static constexpr const char* popoverStayOpen = "popoverStayOpen";
        static constexpr const char* showDesktopWidget = "showDesktopWidget";
        static constexpr const char* widgetPinned = "widgetPinned";
        static constexpr const char* widgetLocked = "widgetLocked";
        static constexpr const char* launchAtLogin = "launchAtLogin";
        static constexpr const char* ignoreSensitive = "ignoreSensitive";
        static constexpr const char* autoClearPreference = "autoClearPreference";
        static constexpr const char* monitoringPaused = "monitoringPaused";
        static constexpr const char* recognizeImageText = "recognizeImageText";
    };

    struct Defaults
    {
        static constexpr int displayCount = 6;
        static constexpr const char* shortcutKey = "⌥ + Space";
        static constexpr int themePreference = 0;
        static constexpr bool ignoreSensitive = true;
        static constexpr int autoClearPreference = 0;
        // Every other boolean key defaults to false.
    };

    // The per-user store, ~/.config/Pellamor/Pellamor.conf.
    explicit Preferences(QObject* parent = nullptr);
    // A store in the given file; tests use a temporary one.
    explicit Preferences(const QString& filePath, QObject* parent = nullptr);
    ~Preferences() override;

    // The stored value as written, the default when absent or unreadable. May be 0 or negative when edited
    // by hand; effectiveDisplayCount() is what sizing and listing use.
    int displayCount() const;
    int effectiveDisplayCount() const;
    QString shortcutKey() const;
    // 0 follow the desktop, 1 light, 2 dark; effectiveThemePreference() maps anything else to 0.
    int themePreference() const;
    int effectiveThemePreference() const;
    bool popoverPinned() const;
    bool popoverStayOpen() const;
    bool showDesktopWidget() const;
    bool widgetPinned() const;
    bool widgetLocked() const;
    bool launchAtLogin() const;
    bool ignoreSensitive() const;
    bool recognizeImageText() const;
    // 0 never, 1 one day, 2 seven days; any other value never cleans up.
    int autoClearPreference() const;
    // While true no clipboard change becomes an entry; kept across restarts.
    bool monitoringPaused() const;

    void setDisplayCount(int value);
    void setShortcutKey(const QString& value);
    void setThemePreference(int value);
    void setPopoverPinned(bool value);
    void setPopoverStayOpen(bool value);
    void setShowDesktopWidget(bool value);
    void setWidgetPinned(bool value);
    void setWidgetLocked(bool value);
    void setLaunchAtLogin(bool value);
    void setIgnoreSensitive(bool value);
    void setRecognizeImageText(bool value);
    void setAutoClearPreference(int value);
    void setMonitoringPaused(bool value);

    void remove(const char* key);
    QString fileName() const;

Q_SIGNALS:
    void changed(const QString& key);

private:
    int readInt(const char* key, int fallback) const;
    bool readBool(const char* key, bool fallback) const;
    void write(const char* key, const QVariant& value);

    std::unique_ptr<QSettings> m_settings;
};
