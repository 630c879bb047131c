#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

// Where a panel of `size` goes: centred under the tray icon, or above it when the icon sits in the
// lower half of the screen, or at the pointer when the tray reports no geometry; always inside
// `available`. `growsUp` tells the caller which edge stays put when the panel is resized.
struct PopoverPlacement
{
    QRect frame;
    bool growsUp = false;

    static constexpr int gap = 4;

    static PopoverPlacement place(const QRect& trayIcon, const QSize& size, const QRect& available,
                                  const QPoint& pointer);
    // The same edge kept, for a new size.
    static QRect resized(const QRect& frame, bool growsUp, const QSize& size, const QRect& available);
};

// Beside the widget window: 12 to the right, vertically centred on it; centred on the screen when
// there is no widget window. Moved back inside `available` when it would stick out.
QRect previewWindowFrame(const QRect& widgetFrame, const QSize& size, const QRect& available);
