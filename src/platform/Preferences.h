#pragma once

#include <QObject>
#include <QPoint>
#include <QString>
#include <QVariant>

#include <array>
#include <climits>
#include <memory>
#include <optional>

class QSettings;

// Every user setting. The key table below holds each key's name, type, default and allowed range; the
// getters read the store at the moment of the call through it; every write, even of an unchanged value,
// emits changed(key).
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
        static constexpr const char* widgetPosition = "widgetPosition";
    };

    // The values of themePreference, as stored.
    enum class Appearance { FollowSystem = 0, Light = 1, Dark = 2 };
    // The values of autoClearPreference, as stored, and the age past which unpinned entries go.
    enum class AutoClear { Never = 0, OneDay = 1, SevenDays = 2 };
    // Seconds; 0 for Never.
    static constexpr qint64 maxAgeSeconds(AutoClear choice)
    {
        return choice == AutoClear::OneDay ? 86400 : choice == AutoClear::SevenDays ? 604800 : 0;
    }

    enum class Type { Bool, Int, Text };
    struct Setting
    {
        const char* key;
        Type type;
        // Bool and Int keys.
        int defaultNumber = 0;
        // Text keys.
        const char* defaultText = "";
        // Int keys: a stored number outside [lowest, highest] is used as the default.
        int lowest = INT_MIN;
        int highest = INT_MAX;

        QVariant defaultValue() const;
    };
    // The key table.
    static const std::array<Setting, 14> settings;
    // The table's row for `key`; every key the program uses has one.
    static const Setting& setting(const char* key);
    static QVariant defaultValue(const char* key) { return setting(key).defaultValue(); }

    // The per-user store, ~/.config/Pellamor/Pellamor.conf.
    explicit Preferences(QObject* parent = nullptr);
    // A store in the given file; tests use a temporary one.
    explicit Preferences(const QString& filePath, QObject* parent = nullptr);
    ~Preferences() override;

    // The value under `key` as its type, the default when absent, unreadable or out of range.
    QVariant value(const char* key) const;
    // An Int key's number as written, the default only when absent or not a number; the settings
    // controls show a hand-edited value that is none of their choices as no choice.
    int storedNumber(const char* key) const;
    // Writes `value` as given, without looking at the range.
    void setValue(const char* key, const QVariant& value);
    void remove(const char* key);
    QString fileName() const;

    // What the panel lists and is sized for: a count of 0 or less, edited by hand, counts as the default 6.
    int displayCount() const { return number(Keys::displayCount); }
    QString shortcutKey() const { return value(Keys::shortcutKey).toString(); }
    Appearance themePreference() const { return Appearance(number(Keys::themePreference)); }
    bool popoverPinned() const { return flag(Keys::popoverPinned); }
    bool popoverStayOpen() const { return flag(Keys::popoverStayOpen); }
    bool showDesktopWidget() const { return flag(Keys::showDesktopWidget); }
    bool widgetPinned() const { return flag(Keys::widgetPinned); }
    bool widgetLocked() const { return flag(Keys::widgetLocked); }
    bool launchAtLogin() const { return flag(Keys::launchAtLogin); }
    bool ignoreSensitive() const { return flag(Keys::ignoreSensitive); }
    bool recognizeImageText() const { return flag(Keys::recognizeImageText); }
    AutoClear autoClearPreference() const { return AutoClear(number(Keys::autoClearPreference)); }
    bool monitoringPaused() const { return flag(Keys::monitoringPaused); }
    // Where the user left the desktop widget's top-left corner; none until it was moved.
    std::optional<QPoint> widgetPosition() const;

    void setDisplayCount(int value) { setValue(Keys::displayCount, value); }
    void setShortcutKey(const QString& value) { setValue(Keys::shortcutKey, value); }
    void setThemePreference(Appearance value) { setValue(Keys::themePreference, int(value)); }
    void setPopoverPinned(bool value) { setValue(Keys::popoverPinned, value); }
    void setPopoverStayOpen(bool value) { setValue(Keys::popoverStayOpen, value); }
    void setShowDesktopWidget(bool value) { setValue(Keys::showDesktopWidget, value); }
    void setWidgetPinned(bool value) { setValue(Keys::widgetPinned, value); }
    void setWidgetLocked(bool value) { setValue(Keys::widgetLocked, value); }
    void setLaunchAtLogin(bool value) { setValue(Keys::launchAtLogin, value); }
    void setIgnoreSensitive(bool value) { setValue(Keys::ignoreSensitive, value); }
    void setRecognizeImageText(bool value) { setValue(Keys::recognizeImageText, value); }
    void setAutoClearPreference(AutoClear value) { setValue(Keys::autoClearPreference, int(value)); }
    void setMonitoringPaused(bool value) { setValue(Keys::monitoringPaused, value); }
    void setWidgetPosition(const QPoint& value);

Q_SIGNALS:
    void changed(const QString& key);

private:
    int number(const char* key) const { return value(key).toInt(); }
    bool flag(const char* key) const { return value(key).toBool(); }

    std::unique_ptr<QSettings> m_settings;
};
