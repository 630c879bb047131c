#include "Preferences.h"

#include "XdgPaths.h"

#include <QSettings>

namespace {

std::unique_ptr<QSettings> userSettings()
{
    // Qt would take a relative $XDG_CONFIG_HOME relative to the current folder; the base-directory rules
    // say to ignore it.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, XdgPaths::configHome());
    return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Pellamor"),
                                       QStringLiteral("Pellamor"));
}

} // namespace

Preferences::Preferences(QObject* parent)
    : QObject(parent)
    , m_settings(userSettings())
{}

Preferences::Preferences(const QString& filePath, QObject* parent)
    : QObject(parent)
    , m_settings(std::make_unique<QSettings>(filePath, QSettings::IniFormat))
{}

Preferences::~Preferences() = default;

int Preferences::readInt(const char* key, int fallback) const
{
    const QVariant value = m_settings->value(QLatin1String(key));
    if (!value.isValid())
        return fallback;
    bool ok = false;
    const int number = value.toInt(&ok);
    return ok ? number : fallback;
}

bool Preferences::readBool(const char* key, bool fallback) const
{
    const QVariant value = m_settings->value(QLatin1String(key));
    if (!value.isValid())
        return fallback;
    if (value.typeId() == QMetaType::Bool)
        return value.toBool();
    // The ini format stores booleans as text; anything unexpected counts as absent.
    const QString text = value.toString().trimmed().toLower();
    if (text == u"true" || text == u"1")
        return true;
    if (text == u"false" || text == u"0")
        return false;
    return fallback;
}

void Preferences::write(const char* key, const QVariant& value)
{
    m_settings->setValue(QLatin1String(key), value);
    m_settings->sync();
    Q_EMIT changed(QLatin1String(key));
}

int Preferences::displayCount() const
{
    return readInt(Keys::displayCount, Defaults::displayCount);
}

int Preferences::effectiveDisplayCount() const
{
    const int count = displayCount();
    return count > 0 ? count : Defaults::displayCount;
}

QString Preferences::shortcutKey() const
{
    const QVariant value = m_settings->value(QLatin1String(Keys::shortcutKey));
    return value.isValid() ? value.toString() : QString::fromUtf8(Defaults::shortcutKey);
}

int Preferences::themePreference() const
{
    return readInt(Keys::themePreference, Defaults::themePreference);
}

int Preferences::effectiveThemePreference() const
{
    const int theme = themePreference();
    return theme == 1 || theme == 2 ? theme : 0;
}

bool Preferences::popoverPinned() const
{
    return readBool(Keys::popoverPinned, false);
}

bool Preferences::popoverStayOpen() const
{
    return readBool(Keys::popoverStayOpen, false);
}

bool Preferences::showDesktopWidget() const
{
    return readBool(Keys::showDesktopWidget, false);
}

bool Preferences::widgetPinned() const
{
    return readBool(Keys::widgetPinned, false);
}

bool Preferences::widgetLocked() const
{
    return readBool(Keys::widgetLocked, false);
}

bool Preferences::launchAtLogin() const
{
    return readBool(Keys::launchAtLogin, false);
}

bool Preferences::ignoreSensitive() const
{
    return readBool(Keys::ignoreSensitive, Defaults::ignoreSensitive);
}

bool Preferences::recognizeImageText() const
{
    return readBool(Keys::recognizeImageText, false);
}

int Preferences::autoClearPreference() const
{
    return readInt(Keys::autoClearPreference, Defaults::autoClearPreference);
}

bool Preferences::monitoringPaused() const
{
    return readBool(Keys::monitoringPaused, false);
}

void Preferences::setDisplayCount(int value)
{
    write(Keys::displayCount, value);
}

void Preferences::setShortcutKey(const QString& value)
{
    write(Keys::shortcutKey, value);
}

void Preferences::setThemePreference(int value)
{
    write(Keys::themePreference, value);
}

void Preferences::setPopoverPinned(bool value)
{
    write(Keys::popoverPinned, value);
}

void Preferences::setPopoverStayOpen(bool value)
{
    write(Keys::popoverStayOpen, value);
}

void Preferences::setShowDesktopWidget(bool value)
{
    write(Keys::showDesktopWidget, value);
}

void Preferences::setWidgetPinned(bool value)
{
    write(Keys::widgetPinned, value);
}

void Preferences::setWidgetLocked(bool value)
{
    write(Keys::widgetLocked, value);
}

void Preferences::setLaunchAtLogin(bool value)
{
    write(Keys::launchAtLogin, value);
}

void Preferences::setIgnoreSensitive(bool value)
{
    write(Keys::ignoreSensitive, value);
}

void Preferences::setRecognizeImageText(bool value)
{
    write(Keys::recognizeImageText, value);
}

void Preferences::setAutoClearPreference(int value)
{
    write(Keys::autoClearPreference, value);
}

void Preferences::setMonitoringPaused(bool value)
{
    write(Keys::monitoringPaused, value);
}

void Preferences::remove(const char* key)
{
    m_settings->remove(QLatin1String(key));
    m_settings->sync();
    Q_EMIT changed(QLatin1String(key));
}

QString Preferences::fileName() const
{
    return m_settings->fileName();
}
