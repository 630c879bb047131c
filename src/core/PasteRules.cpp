#include "PasteRules.h"

#include <QFile>
#include <QStandardPaths>
#include <QTextStream>

#include <algorithm>
#include <array>

namespace {

// As the applications name themselves, compared without regard to case.
constexpr std::array terminals = {
    "xterm",
    "uxterm",
    "urxvt",
    "rxvt",
    "alacritty",
    "kitty",
    "foot",
    "footclient",
    "gnome-terminal",
    "gnome-terminal-server",
    "org.gnome.terminal",
    "org.gnome.console",
    "kgx",
    "org.gnome.ptyxis",
    "konsole",
    "org.kde.konsole",
    "xfce4-terminal",
    "terminator",
    "tilix",
    "com.gexperts.tilix",
    "wezterm",
    "org.wezfurlong.wezterm",
    "st",
    "st-256color",
    "sakura",
    "lxterminal",
    "qterminal",
    "mate-terminal",
    "terminology",
    "guake",
    "tilda",
    "yakuake",
    "cool-retro-term",
    "ghostty",
    "com.mitchellh.ghostty",
    "contour",
    "eterm",
    "deepin-terminal",
};

constexpr std::array remoteViewers = {
    "remmina",
    "org.remmina.remmina",
    "virt-viewer",
    "remote-viewer",
    "vncviewer",
    "tigervnc",
    "xtightvncviewer",
    "xfreerdp",
    "wlfreerdp",
    "sdl-freerdp",
    "krdc",
    "org.kde.krdc",
    "vinagre",
    "gnome-connections",
    "org.gnome.connections",
    "virt-manager",
    "virtualbox",
    "virtualbox machine",
    "virtualboxvm",
    "vmware",
    "vmplayer",
    "vmware-view",
    "gnome-boxes",
    "org.gnome.boxes",
    "qemu",
    "spicy",
    "x2goclient",
    "nxplayer",
    "rustdesk",
    "anydesk",
};

template<std::size_t N>
bool listed(const std::array<const char*, N>& names, const QString& appId)
{
    const QString wanted = appId.trimmed().toLower();
    return !wanted.isEmpty() &&
           std::any_of(names.begin(), names.end(), [&](const char* name) { return wanted == QLatin1String(name); });
}

} // namespace

namespace PasteRules {

bool isKnownTerminal(const QString& appId)
{
    return listed(terminals, appId);
}

bool isRemoteViewer(const QString& appId)
{
    return listed(remoteViewers, appId);
}

bool hasTerminalDesktopEntry(const QString& appId, const QStringList& applicationDirs)
{
    if (appId.isEmpty() || appId.contains(u'/'))
        return false;
    // X11 programs name their class in capitals ("XTerm"); their desktop entries are mostly lower case.
    QStringList names{appId};
    if (appId.toLower() != appId)
        names << appId.toLower();
    for (const QString& dir : applicationDirs) {
        for (const QString& name : names) {
            QFile file(dir + u'/' + name + QLatin1String(".desktop"));
            if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
                continue;
            QTextStream in(&file);
            bool inEntry = false;
            while (!in.atEnd()) {
                const QString line = in.readLine().trimmed();
                if (line.startsWith(u'['))
                    inEntry = line == QLatin1String("[Desktop Entry]");
                else if (inEntry && line.startsWith(QLatin1String("Categories")) &&
                         line.section(u'=', 0, 0).trimmed() == QLatin1String("Categories"))
                    return line.section(u'=', 1).split(u';').contains(QLatin1String("TerminalEmulator"));
            }
            // The first entry found stands for the application, as the menus take it.
            return false;
        }
    }
    return false;
}

TargetKind kindOf(const QString& appId, const QStringList& applicationDirs)
{
    if (isRemoteViewer(appId))
        return TargetKind::RemoteViewer;
    if (isKnownTerminal(appId))
        return TargetKind::Terminal;
    const QStringList dirs = applicationDirs.isEmpty()
                                 ? QStandardPaths::standardLocations(QStandardPaths::ApplicationsLocation)
                                 : applicationDirs;
    return hasTerminalDesktopEntry(appId, dirs) ? TargetKind::Terminal : TargetKind::Ordinary;
}

} // namespace PasteRules
