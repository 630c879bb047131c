#include "SettingsClickableRow.h"

#include "SettingsWidgets.h"
#include "ui/SymbolIcon.h"
#include "ui/Theme.h"

#include <QPainter>

namespace {

constexpr int padding = 8;
constexpr int iconWidth = 14;
constexpr int spacing = 8;
constexpr int chevronWidth = 10;

} // namespace

SettingsClickableRow::SettingsClickableRow(const QString& title, const QString& icon, bool isDestructive,
                                           QWidget* parent)
    : ScaleButton(parent)
    , m_icon(icon)
    , m_destructive(isDestructive)
{
    setText(title);
    setFont(pixelFont(12));
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

QSize SettingsClickableRow::sizeHint() const
{
    const QFontMetrics metrics(font());
    const int iconPart = m_icon.isEmpty() ? 0 : iconWidth + spacing;
    return {padding + iconPart + metrics.horizontalAdvance(text()) + spacing + chevronWidth + padding,
            padding + metrics.height() + padding};
}

QSize SettingsClickableRow::minimumSizeHint() const
{
    return {0, sizeHint().height()};
}

void SettingsClickableRow::paintFace(QPainter& painter, const QRectF& rect)
{
    const ThemePalette& palette = Theme::palette();
    if (isHovered()) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(ThemePalette::withOpacity(palette.secondary, 0.08));
        painter.drawRoundedRect(rect, 6, 6);
    }
    const QColor content = m_destructive ? palette.red : palette.primary;
    qreal x = rect.left() + padding;
    const QRectF line(rect.left(), rect.top() + padding, rect.width(), rect.height() - 2 * padding);
    if (!m_icon.isEmpty()) {
        SymbolIcon::paint(painter, QRectF(x, line.top(), iconWidth, line.height()), m_icon, content, 11);
        x += iconWidth + spacing;
    }
    const QRectF chevron(rect.right() - padding - chevronWidth, line.top(), chevronWidth, line.height());
    painter.setFont(font());
    painter.setPen(content);
    const QFontMetrics metrics(font());
    painter.drawText(QRectF(x, line.top(), chevron.left() - spacing - x, line.height()),
                     Qt::AlignLeft | Qt::AlignVCenter,
                     metrics.elidedText(text(), Qt::ElideRight, qMax(0, int(chevron.left() - spacing - x))));
    SymbolIcon::paint(painter, chevron, QStringLiteral("chevron.right"),
                      ThemePalette::withOpacity(palette.secondary, 0.3), 10, QFont::Bold);
}
