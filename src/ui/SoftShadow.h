#pragma once

#include <QColor>
#include <QPointF>
#include <QRectF>

class QPainter;

// Draws a soft drop shadow under a rounded rectangle, the way the design's small buttons have one.
void paintSoftShadow(QPainter& painter, const QRectF& rect, qreal radius, const QColor& color, qreal blur,
                     QPointF offset);
