#include "WindowDragHandler.h"

#include "panel/Theme.h"
#include "platform/Preferences.h"

#include <QMouseEvent>
#include <QPainter>
#include <QWindow>

WindowDragHandler::WindowDragHandler(Preferences& preferences, QWidget* parent)
    : QWidget(parent)
    , m_preferences(preferences)
    , m_move([](QWindow* window) { return window->startSystemMove(); })
{
    setObjectName(QStringLiteral("dragSurface"));
    setCursor(Qt::OpenHandCursor);
}

void WindowDragHandler::mousePressEvent(QMouseEvent* event)
{
    // The press is consumed either way: it does nothing else on the header.
    event->accept();
    if (event->button() != Qt::LeftButton || m_preferences.widgetLocked())
        return;
    if (QWindow* window = this->window()->windowHandle())
        m_move(window);
}

void WindowDragHandler::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), VisualEffectView::fill(VisualEffectView::Material::Titlebar, Theme::palette().dark));
    if (m_tint.isValid())
        painter.fillRect(rect(), m_tint);
}

VisualEffectView::VisualEffectView(Material material, QWidget* parent)
    : QWidget(parent)
    , m_material(material)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

QColor VisualEffectView::fill(Material material, bool dark)
{
    if (material == Material::HudWindow)
        return dark ? QColor(28, 28, 30, 200) : QColor(240, 240, 240, 200);
    return dark ? QColor(40, 40, 42, 210) : QColor(236, 236, 236, 210);
}

void VisualEffectView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), fill(m_material, Theme::palette().dark));
}
