#include "WidgetGridItem.h"

#include "ui/EntryText.h"
#include "ui/FileNames.h"
#include "ui/RecognizedTextBadge.h"
#include "ui/SymbolIcon.h"
#include "ui/Theme.h"

#include <QApplication>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <optional>

namespace {

constexpr int pinDiameter = 18;    // an 8-point symbol padded 4
constexpr int deleteDiameter = 20; // a 16-point circled mark
constexpr int controlsPadding = 4;

void paintButtonShadow(QPainter& painter, const QRect& circle)
{
    painter.setPen(Qt::NoPen);
    for (int grow = 2; grow >= 1; --grow) {
        painter.setBrush(QColor(0, 0, 0, 40 / grow));
        painter.drawEllipse(QRectF(circle).adjusted(-grow, -grow, grow, grow));
    }
}

void paintText(QPainter& painter, const QRect& area, const ClipboardItem& item,
               const QList<TextSearch::Range>& highlights, const ThemePalette& palette)
{
    // At most six lines, and no more than fit whole: lines in a tall fallback font (CJK fonts are) would
    // otherwise have the last one cut through the middle instead of ending it with an ellipsis.
    const QFont font = WidgetGridItem::textFont();
    std::optional<EntryText> text(std::in_place, item.content, font, area.width(), WidgetGridItem::textLines,
                                  highlights);
    int fitting = 0;
    qreal used = 0;
    for (const qreal height : text->lineHeights()) {
        if (used + height > area.height())
            break;
        used += height;
        ++fitting;
    }
    if (fitting < text->lineCount())
        text.emplace(item.content, font, area.width(), std::max(1, fitting), highlights);
    painter.save();
    painter.setClipRect(area);
    text->draw(painter, area.topLeft(), ThemePalette::withOpacity(palette.primary, 0.8),
               ThemePalette::withOpacity(palette.accent, 0.25));
    painter.restore();
}

void paintSpinner(QPainter& painter, const QPointF& centre)
{
    // A half-size activity indicator: twelve fading spokes.
    painter.save();
    painter.translate(centre);
    for (int i = 0; i < 12; ++i) {
        painter.setPen(QPen(QColor(128, 128, 128, 40 + i * 17), 1.5, Qt::SolidLine, Qt::RoundCap));
        painter.drawLine(QPointF(0, -4), QPointF(0, -7));
        painter.rotate(30);
    }
    painter.restore();
}

} // namespace

WidgetTileLayout WidgetGridItem::layout(const QRect& tile, bool hovered, bool pinned, bool matchedByText)
{
    WidgetTileLayout result;
    result.tile = tile;
    if (hovered || pinned)
        result.pinButton = QRect(tile.left() + controlsPadding, tile.top() + controlsPadding, pinDiameter, pinDiameter);
    if (hovered) {
        result.deleteButton = QRect(tile.right() + 1 - controlsPadding - deleteDiameter, tile.top() + controlsPadding,
                                    deleteDiameter, deleteDiameter);
    }
    const int badge = 15; // a 7-point symbol padded 3
    result.kindBadge = QRect(tile.right() + 1 - 3 - badge, tile.bottom() + 1 - 3 - badge, badge, badge);
    if (matchedByText)
        result.textBadge = QRect(result.kindBadge.left() - 3 - 26, result.kindBadge.top(), 26, badge);
    const int controlsBottom = controlsPadding + std::max(pinDiameter, deleteDiameter);
    result.textArea = tile.adjusted(8, controlsBottom + 2, -8, -8);
    return result;
}

QFont WidgetGridItem::textFont()
{
    return pixelFont(10);
}

void WidgetGridItem::paint(QPainter& painter, const WidgetTileLayout& layout, const ClipboardItem& item,
                           const QImage& thumbnail, bool hovered, const ThemePalette& palette, bool imageMissing,
                           const QList<TextSearch::Range>& highlights, const HistoryModel::KeptSummary* kept)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF tile = layout.tile;
    QPainterPath shape;
    shape.addRoundedRect(tile, cornerRadius, cornerRadius);
    painter.fillPath(shape, ThemePalette::withOpacity(palette.secondary, 0.05));

    if (item.isImage()) {
        if (!thumbnail.isNull()) {
            painter.save();
            painter.setClipPath(shape);
            painter.setRenderHint(QPainter::SmoothPixmapTransform);
            const QSizeF scaled = QSizeF(thumbnail.size()).scaled(tile.size(), Qt::KeepAspectRatioByExpanding);
            painter.drawImage(QRectF(tile.center() - QPointF(scaled.width() / 2, scaled.height() / 2), scaled),
                              thumbnail);
            painter.restore();
        } else if (imageMissing) {
            SymbolIcon::paint(painter, QRectF(tile.left(), tile.top() + 22, tile.width(), 24),
                              QStringLiteral("photo.badge.exclamationmark"), palette.secondary, 20);
            QFont font = QApplication::font();
            font.setPixelSize(10);
            painter.setFont(font);
            painter.setPen(palette.secondary);
            painter.drawText(tile.adjusted(8, 50, -8, -18), Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap,
                             QStringLiteral("图片不存在或已被删除"));
        } else {
            paintSpinner(painter, tile.center());
        }
    } else if (kept && kept->files) {
        FileNames::paint(painter, layout.textArea, *kept, textFont(), ThemePalette::withOpacity(palette.primary, 0.8),
                         textLines);
    } else {
        paintText(painter, layout.textArea, item, highlights, palette);
    }

    // The kind, on a small frosted badge in the corner.
    painter.setPen(Qt::NoPen);
    painter.setBrush(palette.dark ? QColor(30, 30, 30, 170) : QColor(245, 245, 245, 200));
    painter.drawRoundedRect(layout.kindBadge, 3, 3);
    const QString symbol = item.isImage()        ? QStringLiteral("photo")
                           : kept && kept->files ? QStringLiteral("doc.on.doc")
                                                 : QStringLiteral("doc.text");
    SymbolIcon::paint(painter, layout.kindBadge, symbol, palette.primary, 7);
    if (!layout.textBadge.isEmpty()) {
        RecognizedTextBadge::paint(painter, layout.textBadge, palette, 9,
                                   item.isImage() ? QStringLiteral("文字") : RecognizedTextBadge::formattedLabel);
    }

    QColor border = QColor::fromRgbF(0.5, 0.5, 0.5, 0.1);
    if (item.isPinned)
        border = ThemePalette::withOpacity(palette.orange, 0.6);
    else if (hovered)
        border = ThemePalette::withOpacity(palette.accent, 0.4);
    painter.setPen(QPen(border, 1.5));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(tile.adjusted(0.75, 0.75, -0.75, -0.75), cornerRadius, cornerRadius);

    if (!layout.pinButton.isEmpty()) {
        paintButtonShadow(painter, layout.pinButton);
        painter.setBrush(item.isPinned ? palette.orange : QColor::fromRgbF(0.5, 0.5, 0.5, 0.6));
        painter.drawEllipse(layout.pinButton);
        SymbolIcon::paint(painter, layout.pinButton, item.isPinned ? QStringLiteral("pin.fill") : QStringLiteral("pin"),
                          Qt::white, 8);
    }
    if (!layout.deleteButton.isEmpty()) {
        paintButtonShadow(painter, layout.deleteButton);
        painter.setPen(Qt::NoPen);
        painter.setBrush(Qt::white);
        painter.drawEllipse(layout.deleteButton);
        painter.setBrush(ThemePalette::withOpacity(palette.red, 0.9));
        painter.drawEllipse(QRectF(layout.deleteButton).adjusted(2, 2, -2, -2));
        // The white cross of the circled mark.
        const QPointF c = QRectF(layout.deleteButton).center();
        painter.setPen(QPen(Qt::white, 1.6, Qt::SolidLine, Qt::RoundCap));
        painter.drawLine(c + QPointF(-3.5, -3.5), c + QPointF(3.5, 3.5));
        painter.drawLine(c + QPointF(-3.5, 3.5), c + QPointF(3.5, -3.5));
    }
    painter.restore();
}
