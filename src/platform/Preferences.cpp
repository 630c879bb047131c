#include "platform/Preferences.h"

#include "platform/freedesktop/XdgPaths.h"

#include <QSettings>
#include <QStringList>

#include <optional>

namespace {

std::unique_ptr<QSettings> userSettings()
{
    // Qt would take a relative $XDG_CONFIG_HOME relative to the current folder; the base-directory rules
    // say to ignore it.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, XdgPaths::configHome());
    return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Pellamor"),
                                       QStringLiteral("Pellamor"));
}

std::optional<int> readNumber(const QVariant& stored)
{
    bool ok = false;
    const int number = stored.toInt(&ok);
    return ok ? std::optional<int>(number) : std::nullopt;
}

std::optional<bool> readFlag(const QVariant& stored)
{
    if (stored.typeId() == QMetaType::Bool)
        return stored.toBool();
    // The ini format stores booleans as text; anything unexpected counts as absent.
    const QString text = stored.toString().trimmed().toLower();
    if (text == u"true" || text == u"1")
        return true;
    if (text == u"false" || text == u"0")
        return false;
    return std::nullopt;
}

} // namespace

const std::array<Preferences::Setting, 19> Preferences::settings{{
    {Key::DisplayCount, "displayCount", Type::Int, 6, "", 1},
    {Key::ShortcutKey, "shortcutKey", Type::Text, 0, "⌥ + Space"},
    {Key::ThemePreference, "themePreference", Type::Int, int(Appearance::FollowSystem), "", 0, 2},
    {Key::PopoverPinned, "popoverPinned", Type::Bool},
    {Key::PopoverStayOpen, "popoverStayOpen", Type::Bool},
    {Key::ShowDesktopWidget, "showDesktopWidget", Type::Bool},
    {Key::WidgetPinned, "widgetPinned", Type::Bool},
    {Key::WidgetLocked, "widgetLocked", Type::Bool},
    {Key::LaunchAtLogin, "launchAtLogin", Type::Bool},
    {Key::IgnoreSensitive, "ignoreSensitive", Type::Bool, true},
    {Key::AutoClearPreference, "autoClearPreference", Type::Int, int(AutoClear::Never), "", 0, 2},
    // While true no clipboard change becomes an entry; kept across restarts.
    {Key::MonitoringPaused, "monitoringPaused", Type::Bool},
    {Key::RecognizeImageText, "recognizeImageText", Type::Bool},
    // "x,y" in desktop coordinates; empty until the user moves the desktop widget.
    {Key::WidgetPosition, "widgetPosition", Type::Text},
    {Key::PasteAfterChoosing, "pasteAfterChoosing", Type::Bool},
    // Password managers, until the user edits the list.
    {Key::ExcludedApplications, "excludedApplications", Type::List, 0,
     "KeePassXC\nKeePass2\nBitwarden\n1Password\nEnpass\nSeahorse"},
    {Key::IgnorePatterns, "ignorePatterns", Type::List},
    {Key::RestoreEmptyClipboard, "restoreEmptyClipboard", Type::Bool},
    {Key::PasteRestoreToken, "pasteRestoreToken", Type::Text},
}};

QVariant Preferences::Setting::defaultValue() const
{
    switch (type) {
    case Type::Bool:
        return bool(defaultNumber);
    case Type::Int:
        return defaultNumber;
    case Type::Text:
        break;
    case Type::List:
        return QString::fromUtf8(defaultText).split(u'\n', Qt::SkipEmptyParts);
    }
    return QString::fromUtf8(defaultText);
}

const Preferences::Setting& Preferences::setting(Key key)
{
    // The table is in the order of the keys.
    return settings[std::size_t(key)];
}

Preferences::Preferences(QObject* parent)
    : QObject(parent)
    , m_settings(userSettings())
{}

Preferences::Preferences(const QString& filePath, QObject* parent)
    : QObject(parent)
    , m_settings(std::make_unique<QSettings>(filePath, QSettings::IniFormat))
{}

Preferences::~Preferences() = default;

QVariant Preferences::value(Key key) const
{
    const Setting& row = setting(key);
    const QVariant stored = m_settings->value(QLatin1String(keyName(key)));
    if (!stored.isValid())
        return row.defaultValue();
    switch (row.type) {
    case Type::Bool:
        return readFlag(stored).value_or(bool(row.defaultNumber));
    case Type::Int: {
        const int number = readNumber(stored).value_or(row.defaultNumber);
        return number >= row.lowest && number <= row.highest ? number : row.defaultNumber;
    }
    case Type::Text:
        break;
    case Type::List:
        // A hand-edited value that is not text at all counts as an empty list.
        return stored.toStringList();
    }
    return stored.toString();
}

int Preferences::storedNumber(Key key) const
{
    const QVariant stored = m_settings->value(QLatin1String(keyName(key)));
    return (stored.isValid() ? readNumber(stored) : std::nullopt).value_or(setting(key).defaultNumber);
}

void Preferences::setValue(Key key, const QVariant& value)
{
    m_settings->setValue(QLatin1String(keyName(key)), value);
    m_settings->sync();
    Q_EMIT changed(key);
}

void Preferences::remove(Key key)
{
    m_settings->remove(QLatin1String(keyName(key)));
    m_settings->sync();
    Q_EMIT changed(key);
}

QString Preferences::fileName() const
{
    return m_settings->fileName();
}

std::optional<QPoint> Preferences::widgetPosition() const
{
    // Typed into the file without quotes, the two numbers read as a list.
    const QVariant stored = value(Key::WidgetPosition);
    const QStringList parts =
        stored.typeId() == QMetaType::QStringList ? stored.toStringList() : stored.toString().split(QLatin1Char(','));
    if (parts.size() != 2)
        return std::nullopt;
    bool xRead = false;
    bool yRead = false;
    const QPoint position(parts[0].trimmed().toInt(&xRead), parts[1].trimmed().toInt(&yRead));
    return xRead && yRead ? std::optional(position) : std::nullopt;
}

void Preferences::setWidgetPosition(const QPoint& value)
{
    setValue(Key::WidgetPosition, QStringLiteral("%1,%2").arg(value.x()).arg(value.y()));
}
