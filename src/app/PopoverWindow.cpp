#include "PopoverWindow.h"

#include "platform/x11/WindowEffects.h"
#include "ui/RoundedShape.h"
#include "ui/Theme.h"

#include <QKeyEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPropertyAnimation>
#include <QVBoxLayout>

namespace {

Qt::WindowFlags popoverFlags(bool floating)
{
    // A tool window: no taskbar button, no window-switcher entry.
    Qt::WindowFlags flags = Qt::Tool | Qt::FramelessWindowHint | Qt::NoDropShadowWindowHint;
    if (floating)
        flags |= Qt::WindowStaysOnTopHint;
    return flags;
}

} // namespace

PopoverWindow::PopoverWindow(QWidget* content, QWidget* parent)
    : QWidget(parent, popoverFlags(false))
    , m_content(content)
    , m_animation(new QPropertyAnimation(this, "geometry", this))
{
    setAttribute(Qt::WA_TranslucentBackground);
    // A panel kept open stays behind the window the user works in; its buttons' tooltips still show.
    setAttribute(Qt::WA_AlwaysShowToolTips);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(content);
    m_animation->setDuration(resizeMilliseconds);
    m_animation->setEasingCurve(QEasingCurve::InOutCubic);
    connect(&Theme::instance(), &Theme::changed, this, qOverload<>(&QWidget::update));
}

void PopoverWindow::setFloating(bool floating)
{
    if (floating == m_floating)
        return;
    m_floating = floating;
    const bool visible = isVisible();
    const QRect frame = geometry();
    setWindowFlags(popoverFlags(floating));
    if (visible) {
        setGeometry(frame);
        show();
    }
}

void PopoverWindow::setFrame(const QRect& frame, bool animated)
{
    m_target = frame;
    m_animation->stop();
    if (animated && isVisible() && geometry() != frame) {
        m_animation->setStartValue(geometry());
        m_animation->setEndValue(frame);
        m_animation->start();
    } else {
        setGeometry(frame);
    }
}

void PopoverWindow::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.fillRect(rect(), Qt::transparent);
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), cornerRadius, cornerRadius);
    painter.fillPath(shape, Theme::palette().textBackground);
    painter.setPen(QPen(ThemePalette::withOpacity(Theme::palette().secondary, 0.3), 1));
    painter.drawPath(shape);
}

void PopoverWindow::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    // The content paints its own background; keep it inside the rounded shape.
    QPainterPath shape;
    shape.addRoundedRect(QRectF(QPointF(0, 0), QSizeF(size())).adjusted(1, 1, -1, -1), cornerRadius - 1,
                         cornerRadius - 1);
    m_content->setMask(QRegion(shape.toFillPolygon().toPolygon()));
    RoundedShape::apply(this, cornerRadius);
}

void PopoverWindow::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    WindowEffects::skipTaskbar(windowHandle());
    RoundedShape::apply(this, cornerRadius);
}

void PopoverWindow::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    m_animation->stop();
    Q_EMIT hidden();
}

void PopoverWindow::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        hide();
        return;
    }
    QWidget::keyPressEvent(event);
}
