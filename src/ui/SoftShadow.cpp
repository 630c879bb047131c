#include "SoftShadow.h"

#include <QPainter>

void paintSoftShadow(QPainter& painter, const QRectF& rect, qreal radius, const QColor& color, qreal blur,
                     QPointF offset)
{
    // A few widening, fading outlines approximate a blurred shadow cheaply.
    painter.save();
    painter.setPen(Qt::NoPen);
    const int steps = qMax(1, qRound(blur * 2));
    for (int i = steps; i >= 1; --i) {
        const qreal grow = blur * i / steps;
        QColor layer = color;
        layer.setAlphaF(color.alphaF() / steps);
        painter.setBrush(layer);
        painter.drawRoundedRect(rect.translated(offset).adjusted(-grow, -grow, grow, grow), radius + grow,
                                radius + grow);
    }
    painter.restore();
}
