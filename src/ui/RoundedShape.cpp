#include "ui/RoundedShape.h"

#include "platform/x11/WindowEffects.h"

#include <QPainterPath>
#include <QRegion>
#include <QWidget>

namespace RoundedShape {

void apply(QWidget* window, qreal cornerRadius)
{
    if (WindowEffects::compositingActive()) {
        window->clearMask();
        return;
    }
    QPainterPath shape;
    shape.addRoundedRect(QRectF(QPointF(0, 0), QSizeF(window->size())), cornerRadius, cornerRadius);
    window->setMask(QRegion(shape.toFillPolygon().toPolygon()));
}

} // namespace RoundedShape
