#include "platform/freedesktop/XdgPaths.h"

#include <QDir>
#include <QFile>

namespace {

QString baseFolder(const char* variable, const char* fallback)
{
    const QString value = QFile::decodeName(qgetenv(variable));
    if (!value.isEmpty() && QDir::isAbsolutePath(value))
        return QDir::cleanPath(value);
    return QDir::homePath() + QLatin1Char('/') + QLatin1String(fallback);
}

} // namespace

namespace XdgPaths {

QString dataHome()
{
    return baseFolder("XDG_DATA_HOME", ".local/share");
}

QString configHome()
{
    return baseFolder("XDG_CONFIG_HOME", ".config");
}

} // namespace XdgPaths
