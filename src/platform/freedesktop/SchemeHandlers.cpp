#include "platform/freedesktop/SchemeHandlers.h"

#include "platform/freedesktop/XdgPaths.h"

#include <QDir>
#include <QFile>
#include <QStringList>

namespace {

QStringList dirsFrom(const char* variable, const QString& fallback)
{
    QStringList dirs;
    for (const QString& dir : qEnvironmentVariable(variable, fallback).split(QLatin1Char(':'), Qt::SkipEmptyParts)) {
        if (QDir::isAbsolutePath(dir))
            dirs << dir;
    }
    return dirs;
}

// The desktop files `file` associates with `type`, in any of its groups (defaults, added associations,
// the cache of declared types); removed associations are left out.
QStringList associatedDesktopFiles(const QString& file, const QString& type)
{
    QFile list(file);
    if (!list.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    QStringList found;
    bool removed = false;
    while (!list.atEnd()) {
        const QString line = QString::fromUtf8(list.readLine()).trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            removed = line == u"[Removed Associations]";
            continue;
        }
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (removed || equals < 0 || line.left(equals).trimmed() != type)
            continue;
        found << line.mid(equals + 1).split(QLatin1Char(';'), Qt::SkipEmptyParts);
    }
    return found;
}

} // namespace

bool hasSchemeHandler(const QString& scheme)
{
    const QString type = QStringLiteral("x-scheme-handler/") + scheme;
    QStringList configDirs{XdgPaths::configHome()};
    configDirs << dirsFrom("XDG_CONFIG_DIRS", QStringLiteral("/etc/xdg"));
    QStringList applicationDirs;
    applicationDirs << XdgPaths::dataHome() + QStringLiteral("/applications");
    for (const QString& dir : dirsFrom("XDG_DATA_DIRS", QStringLiteral("/usr/local/share:/usr/share")))
        applicationDirs << dir + QStringLiteral("/applications");

    QStringList lists;
    for (const QString& dir : std::as_const(configDirs))
        lists << dir + QStringLiteral("/mimeapps.list");
    for (const QString& dir : std::as_const(applicationDirs)) {
        lists << dir + QStringLiteral("/mimeapps.list") << dir + QStringLiteral("/defaults.list")
              << dir + QStringLiteral("/mimeinfo.cache");
    }
    for (const QString& list : std::as_const(lists)) {
        for (const QString& desktopFile : associatedDesktopFiles(list, type)) {
            // A program that was uninstalled leaves its association behind.
            for (const QString& dir : std::as_const(applicationDirs)) {
                if (QFile::exists(dir + QLatin1Char('/') + desktopFile.trimmed()))
                    return true;
            }
        }
    }
    return false;
}
