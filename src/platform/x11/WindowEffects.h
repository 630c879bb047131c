#pragma once

class QWindow;

// What the compositor can add to our translucent windows. Every call is a request: where the desktop
// does not support it nothing happens.
namespace WindowEffects {

// Blur of what lies behind the window (KWin's blur region on X11), rounded like the window's corners.
void requestBlurBehind(QWindow* window, int cornerRadius);

// Keeps the window out of taskbars and pagers (_NET_WM_STATE_SKIP_TASKBAR and _SKIP_PAGER on X11): the
// panel, the settings and the widget belong to the tray icon, not to the task list. Call once shown.
void skipTaskbar(QWindow* window);

// Gives the window the keyboard focus now, as a pager would ask (_NET_ACTIVE_WINDOW from a pager, and
// the input focus at the current server time), so no earlier time stamp makes the window manager or the
// server refuse it. For our own window after our own dialog closed, where the window manager may keep
// the focus for itself.
void takeFocus(QWindow* window);

// Our top-level window that the display server gives the keyboard to now, whatever the toolkit last
// heard; null when it is another application's or nobody's, and off X11. Qt reports a window that the
// window manager is still framing as having lost the focus, for a moment or for good, while the server
// keeps it there.
QWindow* keyboardFocusWindow();

// Whether a compositing manager draws the windows, so that translucent pixels show what lies behind
// (on X11: someone owns _NET_WM_CM_S<screen>). Where it does not, translucency shows black and windows
// with rounded corners shape themselves instead. True off X11, where the display server composites.
bool compositingActive();

} // namespace WindowEffects
