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

// Whether a compositing manager draws the windows, so that translucent pixels show what lies behind
// (on X11: someone owns _NET_WM_CM_S<screen>). Where it does not, translucency shows black and windows
// with rounded corners shape themselves instead. True off X11, where the display server composites.
bool compositingActive();

} // namespace WindowEffects
