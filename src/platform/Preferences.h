#pragma once

#include <QObject>
#include <QPoint>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <array>
#include <climits>
#include <memory>
#include <optional>

class QSettings;

// Every user setting. The key table below holds each key's name, type, default and allowed range; the
// getters read the store at the moment of the call through it; every write, even of an unchanged value,
// emits changed(key) with the key's enum, which listeners compare.
class Preferences : public QObject
{
    Q_OBJECT

public:
    // Every key, in the order of the key table; the store names each as keyName() says.
    enum class Key {
        DisplayCount,
        ShortcutKey,
        ThemePreference,
        PopoverPinned,
        PopoverStayOpen,
        ShowDesktopWidget,
        WidgetPinned,
        WidgetLocked,
        LaunchAtLogin,
        IgnoreSensitive,
        AutoClearPreference,
        MonitoringPaused,
        RecognizeImageText,
        WidgetPosition,
        PasteAfterChoosing,
        ExcludedApplications,
        IgnorePatterns,
        RestoreEmptyClipboard,
        PasteRestoreToken,
    };
    Q_ENUM(Key)

    // The values of themePreference, as stored.
    enum class Appearance { FollowSystem = 0, Light = 1, Dark = 2 };
    // The values of autoClearPreference, as stored, and the age past which unpinned entries go.
    enum class AutoClear { Never = 0, OneDay = 1, SevenDays = 2 };
    // Seconds; 0 for Never.
    static constexpr qint64 maxAgeSeconds(AutoClear choice)
    {
        return choice == AutoClear::OneDay ? 86400 : choice == AutoClear::SevenDays ? 604800 : 0;
    }

    // List: a list of strings; its default is defaultText split at line breaks.
    enum class Type { Bool, Int, Text, List };
    struct Setting
    {
        Key key;
        // The key's name in the store.
        const char* name;
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
    static const std::array<Setting, 19> settings;
    // The table's row for `key`.
    static const Setting& setting(Key key);
    static QVariant defaultValue(Key key) { return setting(key).defaultValue(); }
    static const char* keyName(Key key) { return setting(key).name; }

    // The per-user store, ~/.config/Pellamor/Pellamor.conf.
    explicit Preferences(QObject* parent = nullptr);
    // A store in the given file; tests use a temporary one.
    explicit Preferences(const QString& filePath, QObject* parent = nullptr);
    ~Preferences() override;

    // The value under `key` as its type, the default when absent, unreadable or out of range.
    QVariant value(Key key) const;
    // An Int key's number as written, the default only when absent or not a number; the settings
    // controls show a hand-edited value that is none of their choices as no choice.
    int storedNumber(Key key) const;
    // Writes `value` as given, without looking at the range.
    void setValue(Key key, const QVariant& value);
    void remove(Key key);
    QString fileName() const;

    // What the panel lists and is sized for: a count of 0 or less, edited by hand, counts as the default 6.
    int displayCount() const { return number(Key::DisplayCount); }
    QString shortcutKey() const { return value(Key::ShortcutKey).toString(); }
    Appearance themePreference() const { return Appearance(number(Key::ThemePreference)); }
    bool popoverPinned() const { return flag(Key::PopoverPinned); }
    bool popoverStayOpen() const { return flag(Key::PopoverStayOpen); }
    bool showDesktopWidget() const { return flag(Key::ShowDesktopWidget); }
    bool widgetPinned() const { return flag(Key::WidgetPinned); }
    bool widgetLocked() const { return flag(Key::WidgetLocked); }
    bool launchAtLogin() const { return flag(Key::LaunchAtLogin); }
    bool ignoreSensitive() const { return flag(Key::IgnoreSensitive); }
    bool recognizeImageText() const { return flag(Key::RecognizeImageText); }
    // A choice also pastes the entry into the window the user came from.
    bool pasteAfterChoosing() const { return flag(Key::PasteAfterChoosing); }
    AutoClear autoClearPreference() const { return AutoClear(number(Key::AutoClearPreference)); }
    bool monitoringPaused() const { return flag(Key::MonitoringPaused); }
    // Where the user left the desktop widget's top-left corner; none until it was moved.
    std::optional<QPoint> widgetPosition() const;
    // Applications whose copies are not recorded, matched without case against the owner's name.
    QStringList excludedApplications() const { return value(Key::ExcludedApplications).toStringList(); }
    // Regular expressions; a text matching any of them is not recorded.
    QStringList ignorePatterns() const { return value(Key::IgnorePatterns).toStringList(); }
    bool restoreEmptyClipboard() const { return flag(Key::RestoreEmptyClipboard); }
    // What the desktop portal gave to open the typing session again without asking; empty when none.
    QString pasteRestoreToken() const { return value(Key::PasteRestoreToken).toString(); }

    void setDisplayCount(int value) { setValue(Key::DisplayCount, value); }
    void setShortcutKey(const QString& value) { setValue(Key::ShortcutKey, value); }
    void setThemePreference(Appearance value) { setValue(Key::ThemePreference, int(value)); }
    void setPopoverPinned(bool value) { setValue(Key::PopoverPinned, value); }
    void setPopoverStayOpen(bool value) { setValue(Key::PopoverStayOpen, value); }
    void setShowDesktopWidget(bool value) { setValue(Key::ShowDesktopWidget, value); }
    void setWidgetPinned(bool value) { setValue(Key::WidgetPinned, value); }
    void setWidgetLocked(bool value) { setValue(Key::WidgetLocked, value); }
    void setLaunchAtLogin(bool value) { setValue(Key::LaunchAtLogin, value); }
    void setIgnoreSensitive(bool value) { setValue(Key::IgnoreSensitive, value); }
    void setRecognizeImageText(bool value) { setValue(Key::RecognizeImageText, value); }
    void setPasteAfterChoosing(bool value) { setValue(Key::PasteAfterChoosing, value); }
    void setAutoClearPreference(AutoClear value) { setValue(Key::AutoClearPreference, int(value)); }
    void setMonitoringPaused(bool value) { setValue(Key::MonitoringPaused, value); }
    void setWidgetPosition(const QPoint& value);
    void setExcludedApplications(const QStringList& value) { setValue(Key::ExcludedApplications, value); }
    void setIgnorePatterns(const QStringList& value) { setValue(Key::IgnorePatterns, value); }
    void setRestoreEmptyClipboard(bool value) { setValue(Key::RestoreEmptyClipboard, value); }
    void setPasteRestoreToken(const QString& value) { setValue(Key::PasteRestoreToken, value); }

Q_SIGNALS:
    void changed(Preferences::Key key);

private:
    int number(Key key) const { return value(key).toInt(); }
    bool flag(Key key) const { return value(key).toBool(); }

    std::unique_ptr<QSettings> m_settings;
};
