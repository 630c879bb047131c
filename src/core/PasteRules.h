#pragma once

#include <QString>
#include <QStringList>

// What pasting into another application's window must take into account, from the name the window gives
// its application (WM_CLASS's class or the Wayland app_id).
namespace PasteRules {

enum class TargetKind {
    Ordinary,
    // Takes Ctrl+V as a literal character and pastes with Ctrl+Shift+V. Shift+Insert would paste the
    // primary selection there, not the clipboard.
    Terminal,
    // Remote desktops and virtual machines forward keys to another computer, whose clipboard may not
    // hold the entry: these get the copy and no keystroke.
    RemoteViewer,
};

// `applicationDirs` are the folders holding desktop entries (`<appId>.desktop`); empty for the XDG data
// folders' "applications".
TargetKind kindOf(const QString& appId, const QStringList& applicationDirs = {});

bool isKnownTerminal(const QString& appId);
bool isRemoteViewer(const QString& appId);
// Whether `<appId>.desktop` in one of `applicationDirs` lists TerminalEmulator among its Categories.
bool hasTerminalDesktopEntry(const QString& appId, const QStringList& applicationDirs);

} // namespace PasteRules
