#pragma once

#include <QDBusVariant>
#include <QObject>

#include <optional>

// Whether the desktop asks for dark or light windows: the freedesktop appearance portal's colour
// scheme where it answers, otherwise the lightness of the platform palette as it was when the first
// instance was made (the program then sets the application palette to its own theme).
class DesktopAppearance : public QObject
{
    Q_OBJECT

public:
    explicit DesktopAppearance(QObject* parent = nullptr);

    bool prefersDark() const;

Q_SIGNALS:
    void changed();

private Q_SLOTS:
    void onSettingChanged(const QString& group, const QString& key, const QDBusVariant& value);

private:
    static std::optional<bool> fromColorScheme(uint scheme);

    std::optional<bool> m_portalDark;
};
