#include "FooterButton.h"

#include "SoftShadow.h"
#include "SymbolIcon.h"
#include "Theme.h"

#include <QEvent>
#include <QPainter>
#include <QPainterPath>

FooterButton::FooterButton(const QString& symbol, const QString& title, ColorFn content, ColorFn outline, bool shadow,
                           QWidget* parent)
    : ScaleButton(parent)
    , m_symbol(symbol)
    , m_content(std::move(content))
    , m_outline(std::move(outline))
    , m_shadow(shadow)
{
    setText(title);
    QFont label = font();
    label.setPixelSize(11);
    setFont(label);
    setFixedSize(sizeHint());
}

QSize FooterButton::sizeHint() const
{
    const int textWidth = fontMetrics().horizontalAdvance(text());
    // symbol (about 12) + spacing 3 + text, padded 8 left and right and 4 top and bottom
    return {8 + 12 + 3 + textWidth + 8, 4 + qMax(13, fontMetrics().height()) + 4};
}

void FooterButton::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::EnabledChange)
        update();
    ScaleButton::changeEvent(event);
}

void FooterButton::paintFace(QPainter& painter, const QRectF& rect)
{
    const ThemePalette& palette = Theme::palette();
    painter.save();
    if (!isEnabled())
        painter.setOpacity(0.3);
    const QRectF face = rect.adjusted(1, 1, -1, -2);
    if (m_shadow)
        paintSoftShadow(painter, face, 4, QColor::fromRgbF(0, 0, 0, 0.1), 1, QPointF(0, 1));
    painter.setBrush(palette.windowBackground);
    painter.setPen(QPen(m_outline(), 0.5));
    painter.drawRoundedRect(face, 4, 4);

    const QColor content = m_content();
    const QRectF symbolRect(face.left() + 7, face.top(), 12, face.height());
    SymbolIcon::paint(painter, symbolRect, m_symbol, content, 10);
    painter.setPen(content);
    painter.setFont(font());
    painter.drawText(QRectF(symbolRect.right() + 3, face.top(), face.width(), face.height()),
                     Qt::AlignLeft | Qt::AlignVCenter, text());
    painter.restore();
}
