#include "PausedCapsule.h"

#include "ui/Theme.h"

#include <QPainter>

namespace {

constexpr int padding = 8;
constexpr int glyphWidth = 7;
constexpr int spacing = 4;

} // namespace

PausedCapsule::PausedCapsule(QWidget* parent)
    : ScaleButton(parent)
{
    setText(QStringLiteral("已暂停"));
    setToolTip(QStringLiteral("点击恢复记录"));
    setFont(pixelFont(11, QFont::DemiBold));
    setCursor(Qt::PointingHandCursor);
    setFixedSize(sizeHint());
}

QSize PausedCapsule::sizeHint() const
{
    return {padding + glyphWidth + spacing + fontMetrics().horizontalAdvance(text()) + padding, 22};
}

void PausedCapsule::paintFace(QPainter& painter, const QRectF& rect)
{
    const ThemePalette& palette = Theme::palette();
    const QRectF capsule = rect.adjusted(0.5, 0.5, -0.5, -0.5);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(ThemePalette::withOpacity(palette.orange, 0.35), 0.5));
    painter.setBrush(ThemePalette::withOpacity(palette.orange, isHovered() ? 0.22 : 0.14));
    painter.drawRoundedRect(capsule, capsule.height() / 2, capsule.height() / 2);

    // A pause glyph: two bars.
    painter.setPen(Qt::NoPen);
    painter.setBrush(palette.orange);
    const qreal barHeight = 8;
    const qreal top = rect.center().y() - barHeight / 2;
    painter.drawRoundedRect(QRectF(rect.left() + padding, top, 2.5, barHeight), 1, 1);
    painter.drawRoundedRect(QRectF(rect.left() + padding + glyphWidth - 2.5, top, 2.5, barHeight), 1, 1);

    painter.setPen(palette.orange);
    painter.setFont(font());
    painter.drawText(rect.adjusted(padding + glyphWidth + spacing, 0, -padding, 0), Qt::AlignVCenter | Qt::AlignLeft,
                     text());
}
