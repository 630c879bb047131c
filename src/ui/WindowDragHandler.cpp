#include "WindowDragHandler.h"

#include "platform/Preferences.h"
#include "ui/Theme.h"

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
    m_following = false;
    if (event->button() != Qt::LeftButton || m_preferences.widgetLocked())
        return;
    QWindow* window = this->window()->windowHandle();
    if (!window || m_move(window))
        return;
    // No window manager took the move: follow the pointer ourselves.
    m_following = true;
    m_pressOffset = event->globalPosition().toPoint() - this->window()->pos();
}

void WindowDragHandler::mouseMoveEvent(QMouseEvent* event)
{
    event->accept();
    if (m_following && (event->buttons() & Qt::LeftButton))
        window()->move(event->globalPosition().toPoint() - m_pressOffset);
}

void WindowDragHandler::mouseReleaseEvent(QMouseEvent* event)
{
    event->accept();
    if (event->button() == Qt::LeftButton)
        m_following = false;
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

WindowMoveFilter::WindowMoveFilter(QWidget* handle)
    : QObject(handle)
    , m_handle(handle)
{
    handle->installEventFilter(this);
}

bool WindowMoveFilter::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != m_handle)
        return false;
    QWidget* window = m_handle->window();
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        auto* press = static_cast<QMouseEvent*>(event);
        if (press->button() != Qt::LeftButton)
            return false;
        m_following = !(window->windowHandle() && window->windowHandle()->startSystemMove());
        m_pressOffset = press->globalPosition().toPoint() - window->pos();
        return true;
    }
    case QEvent::MouseMove: {
        auto* move = static_cast<QMouseEvent*>(event);
        if (!m_following || !(move->buttons() & Qt::LeftButton))
            return false;
        window->move(move->globalPosition().toPoint() - m_pressOffset);
        return true;
    }
    case QEvent::MouseButtonRelease:
        m_following = false;
        return false;
    default:
        return false;
    }
}
