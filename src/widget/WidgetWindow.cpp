#include "WidgetWindow.h"

#include "DesktopWidgetView.h"
#include "platform/Preferences.h"
#include "platform/x11/WindowEffects.h"
#include "ui/RoundedShape.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QVBoxLayout>

namespace {

// A drag moves the window many times a second; its place is written once it has stopped.
constexpr int restMs = 400;
// At least this much of the header stays reachable for a restored place to be kept.
constexpr int reachableWidth = 60;
constexpr int reachableHeight = 20;

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
    QList<QRect> screens;
    for (const QScreen* screen : QGuiApplication::screens())
        screens << screen->availableGeometry();
    const QScreen* primary = QGuiApplication::primaryScreen();
    m_placedAt =
        placement(board->preferences().widgetPosition(), screens, primary ? primary->availableGeometry() : QRect());
    move(m_placedAt);
    m_restTimer.setSingleShot(true);
    m_restTimer.setInterval(restMs);
    connect(&m_restTimer, &QTimer::timeout, this, &WidgetWindow::rememberPosition);
}

QPoint WidgetWindow::placement(const std::optional<QPoint>& stored, const QList<QRect>& screens, const QRect& primary)
{
    if (stored) {
        const QRect header(*stored, QSize(DesktopWidgetView::boardSide, DesktopWidgetView::headerHeight));
        for (const QRect& screen : screens) {
            const QRect reachable = header.intersected(screen);
            if (reachable.width() >= reachableWidth && reachable.height() >= reachableHeight)
                return *stored;
        }
    }
    return primary.topLeft() + initialOffset;
}

void WidgetWindow::moveEvent(QMoveEvent* event)
{
    QWidget::moveEvent(event);
    if (isVisible())
        m_restTimer.start();
}

void WidgetWindow::rememberPosition()
{
    Preferences& preferences = m_board->preferences();
    // Only a place the user chose is written: every write re-applies the windows.
    if (pos() == preferences.widgetPosition().value_or(m_placedAt))
        return;
    preferences.setWidgetPosition(pos());
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
    RoundedShape::apply(this, DesktopWidgetView::cornerRadius);
}

void WidgetWindow::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.fillRect(rect(), Qt::transparent);
}
