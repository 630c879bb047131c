#include "platform/freedesktop/DesktopAppearance.h"

#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusReply>
#include <QDBusVariant>
#include <QGuiApplication>
#include <QPalette>

namespace {

const QString portalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString portalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString settingsInterface = QStringLiteral("org.freedesktop.portal.Settings");
const QString appearanceGroup = QStringLiteral("org.freedesktop.appearance");
const QString colorSchemeKey = QStringLiteral("color-scheme");

uint unwrapScheme(QVariant value)
{
    // Read() wraps the value in one variant more than ReadOne() does.
    while (value.canConvert<QDBusVariant>())
        value = qvariant_cast<QDBusVariant>(value).variant();
    return value.toUInt();
}

bool desktopPaletteIsDark()
{
    static const bool dark = QGuiApplication::palette().color(QPalette::Window).lightness() < 128;
    return dark;
}

} // namespace

DesktopAppearance::DesktopAppearance(QObject* parent)
    : QObject(parent)
{
    desktopPaletteIsDark();
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    QDBusInterface portal(portalService, portalPath, settingsInterface, bus);
    if (portal.isValid()) {
        portal.setTimeout(300);
        const QDBusMessage reply = portal.call(QStringLiteral("Read"), appearanceGroup, colorSchemeKey);
        if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty())
            m_portalDark = fromColorScheme(unwrapScheme(reply.arguments().first()));
    }
    bus.connect(portalService, portalPath, settingsInterface, QStringLiteral("SettingChanged"), this,
                SLOT(onSettingChanged(QString, QString, QDBusVariant)));
}

std::optional<bool> DesktopAppearance::fromColorScheme(uint scheme)
{
    if (scheme == 1)
        return true;
    if (scheme == 2)
        return false;
    return std::nullopt;
}

bool DesktopAppearance::prefersDark() const
{
    if (m_portalDark)
        return *m_portalDark;
    return desktopPaletteIsDark();
}

void DesktopAppearance::onSettingChanged(const QString& group, const QString& key, const QDBusVariant& value)
{
    if (group != appearanceGroup || key != colorSchemeKey)
        return;
    m_portalDark = fromColorScheme(unwrapScheme(value.variant()));
    Q_EMIT changed();
}
