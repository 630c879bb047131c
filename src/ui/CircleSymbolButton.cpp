#include "CircleSymbolButton.h"

#include "SoftShadow.h"
#include "SymbolIcon.h"
#include "Theme.h"

#include <QPainter>

CircleSymbolButton::CircleSymbolButton(QWidget* parent)
    : ScaleButton(parent)
{
    setFixedSize(28, 28);
}

void CircleSymbolButton::setSymbol(const QString& symbol, ColorFn color, QFont::Weight weight)
{
    m_symbol = symbol;
    m_color = std::move(color);
    m_weight = weight;
    update();
}

void CircleSymbolButton::paintFace(QPainter& painter, const QRectF& rect)
{
    const ThemePalette& palette = Theme::palette();
    const QRectF circle = rect.adjusted(3, 3, -3, -3);
    paintSoftShadow(painter, circle, circle.width() / 2, QColor::fromRgbF(0, 0, 0, 0.1), 2, QPointF(0, 1));
    painter.setPen(Qt::NoPen);
    painter.setBrush(palette.windowBackground);
    painter.drawEllipse(circle);
    if (m_color)
        SymbolIcon::paint(painter, circle, m_symbol, m_color(), 11, m_weight);
}
