#include "PopoverPlacement.h"

namespace {

QRect keepInside(QRect frame, const QRect& available)
{
    if (available.isEmpty())
        return frame;
    frame.moveLeft(
        qBound(available.left(), frame.left(), qMax(available.left(), available.right() + 1 - frame.width())));
    frame.moveTop(qBound(available.top(), frame.top(), qMax(available.top(), available.bottom() + 1 - frame.height())));
    return frame;
}

} // namespace

PopoverPlacement PopoverPlacement::place(const QRect& trayIcon, const QSize& size, const QRect& available,
                                         const QPoint& pointer)
{
    PopoverPlacement placement;
    const QRect anchor = trayIcon.isValid() && !trayIcon.isEmpty() ? trayIcon : QRect(pointer, QSize(1, 1));
    placement.growsUp = anchor.center().y() > available.center().y();
    const int x = anchor.left() + anchor.width() / 2 - size.width() / 2;
    const int y = placement.growsUp ? anchor.top() - gap - size.height() : anchor.bottom() + 1 + gap;
    placement.frame = keepInside(QRect(QPoint(x, y), size), available);
    return placement;
}

QRect PopoverPlacement::resized(const QRect& frame, bool growsUp, const QSize& size, const QRect& available)
{
    QRect next(frame.topLeft(), size);
    next.moveLeft(frame.left() + frame.width() / 2 - size.width() / 2);
    if (growsUp)
        next.moveBottom(frame.bottom());
    return keepInside(next, available);
}

QRect previewWindowFrame(const QRect& widgetFrame, const QSize& size, const QRect& available)
{
    if (!widgetFrame.isValid())
        return QRect(QPoint(available.left() + (available.width() - size.width()) / 2,
                            available.top() + (available.height() - size.height()) / 2),
                     size);
    const QRect frame(
        QPoint(widgetFrame.right() + 1 + 12, widgetFrame.top() + widgetFrame.height() / 2 - size.height() / 2), size);
    return keepInside(frame, available);
}
