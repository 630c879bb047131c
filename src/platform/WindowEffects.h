#pragma once

class QWindow;

// What the compositor can add to our translucent windows. Every call is a request: where the desktop
// does not support it nothing happens.
namespace WindowEffects {

// Blur of what lies behind the window (KWin's blur region on X11), rounded like the window's corners.
void requestBlurBehind(QWindow* window, int cornerRadius);

} // namespace WindowEffects
