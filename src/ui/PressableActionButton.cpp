#include "PressableActionButton.h"

#include "SoftShadow.h"
#include "SymbolIcon.h"
#include "Theme.h"

#include <QPainter>

PressableActionButton::PressableActionButton(std::optional<QString> title, std::optional<QString> icon, ColorFn color,
                                             QWidget* parent)
    : ScaleButton(parent)
    , m_title(std::move(title))
    , m_icon(std::move(icon))
    , m_color(std::move(color))
{
    QFont label = font();
    label.setPixelSize(10);
    label.setWeight(QFont::Medium);
    setFont(label);
}

QSize PressableActionButton::sizeHint() const
{
    // padded 6 left and right and 3 top and bottom, plus a pixel for the shadow
    if (m_icon)
        return {6 + 12 + 6, 3 + 12 + 3};
    if (m_title)
        return {6 + fontMetrics().horizontalAdvance(*m_title) + 6, 3 + 12 + 3};
    return {12, 20};
}

void PressableActionButton::paintFace(QPainter& painter, const QRectF& rect)
{
    const ThemePalette& palette = Theme::palette();
    const QColor color = m_color();
    const QRectF face = rect.adjusted(0.5, 0.5, -0.5, -1.5);
    if (isHovered())
        paintSoftShadow(painter, face, 4, QColor::fromRgbF(0, 0, 0, 0.15), 2, QPointF(0, 1));
    else
        paintSoftShadow(painter, face, 4, QColor::fromRgbF(0, 0, 0, 0.08), 1, QPointF(0, 1));
    painter.setBrush(isHovered() ? ThemePalette::withOpacity(palette.secondary, 0.08) : palette.windowBackground);
    painter.setPen(QPen(
        isHovered() ? ThemePalette::withOpacity(color, 0.3) : ThemePalette::withOpacity(palette.secondary, 0.1), 0.5));
    painter.drawRoundedRect(face, 4, 4);
    if (m_icon) {
        SymbolIcon::paint(painter, face, *m_icon, color, 10);
    } else if (m_title) {
        painter.setPen(color);
        painter.setFont(font());
        painter.drawText(face, Qt::AlignCenter, *m_title);
    }
}
