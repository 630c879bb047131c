#pragma once

#include "platform/Pasteboard.h"

#include <QString>
#include <QStringList>

#include <memory>

class QClipboard;

namespace SystemPasteboard {

// Decides, before the application object exists, which Qt platform the program runs on when the user
// chose none: on a Wayland session with XWayland, X11, where our windows can be placed beside the tray
// icon. Returns the line to print when the clipboard cannot be watched at all times, or an empty string.
QString choosePlatform();

// The session's clipboard, read the best way the session allows: the compositor's data-control
// interface on Wayland, our own X11 connection on X11, QClipboard (which only sees changes while one of
// our windows has focus on Wayland) otherwise.
std::unique_ptr<Pasteboard> create(QClipboard* clipboard, const QStringList& valueTypes);

} // namespace SystemPasteboard
