#include "WidgetWindow.h"

#include "DesktopWidgetView.h"
#include "platform/x11/WindowEffects.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QVBoxLayout>

namespace {

Qt::WindowFlags widgetFlags(bool pinned)
{
    Qt::WindowFlags flags = Qt::Tool | Qt::FramelessWindowHint | Qt::NoDropShadowWindowHint;
    flags |= pinned ? Qt::WindowStaysOnTopHint : Qt::WindowStaysOnBottomHint;
    return flags;
}

} // namespace

WidgetWindow::WidgetWindow(DesktopWidgetView* board, bool pinned)
    : QWidget(nullptr, widgetFlags(pinned))
    , m_board(board)
    , m_pinned(pinned)
{
    setObjectName(QStringLiteral("WidgetWindow"));
    setWindowTitle(QStringLiteral("Pellamor 看板"));
    setAttribute(Qt::WA_TranslucentBackground);
    // Shown or re-stacked, the board sits on the desktop without taking the focus: a window manager that
    // focused it would close the panel the user just opened. A click on it still focuses it.
    setAttribute(Qt::WA_ShowWithoutActivating);
    // The board is rarely the active window: its buttons explain themselves all the same.
    setAttribute(Qt::WA_AlwaysShowToolTips);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(board);
    setFixedSize(DesktopWidgetView::boardSide, DesktopWidgetView::boardSide);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().topLeft() + initialOffset);
}

void WidgetWindow::applyPinned(bool pinned)
{
    if (pinned != m_pinned) {
        m_pinned = pinned;
        const QPoint position = pos();
        const bool visible = isVisible();
        setWindowFlags(widgetFlags(pinned));
        move(position);
        if (visible)
            show();
    }
    if (pinned)
        raise();
    else
        lower();
}

void WidgetWindow::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    WindowEffects::requestBlurBehind(windowHandle(), DesktopWidgetView::cornerRadius);
    WindowEffects::skipTaskbar(windowHandle());
    // Without a compositor the transparent corners would show black: the window takes the board's
    // rounded shape itself.
    if (WindowEffects::compositingActive()) {
        clearMask();
    } else {
        QPainterPath shape;
        shape.addRoundedRect(QRectF(rect()), DesktopWidgetView::cornerRadius, DesktopWidgetView::cornerRadius);
        setMask(QRegion(shape.toFillPolygon().toPolygon()));
    }
}

void WidgetWindow::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.fillRect(rect(), Qt::transparent);
}
