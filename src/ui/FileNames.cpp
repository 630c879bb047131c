#include "FileNames.h"

#include <QFontMetrics>
#include <QPainter>

namespace FileNames {

void paint(QPainter& painter, const QRect& area, const HistoryModel::KeptSummary& files, const QFont& font,
           const QColor& color, int maxLines)
{
    const QFontMetrics metrics(font);
    const int lineHeight = metrics.lineSpacing();
    const int fitting = std::clamp(area.height() / std::max(1, lineHeight), 1, std::max(1, maxLines));
    const int shown = std::min<int>(fitting, int(files.fileNames.size()));
    painter.save();
    painter.setClipRect(area);
    painter.setPen(color);
    for (int line = 0; line < shown; ++line) {
        QString text = files.fileNames.at(line);
        QString rest;
        if (line == shown - 1 && files.fileCount > shown)
            rest = QStringLiteral(" 等 %1 个文件").arg(files.fileCount);
        const int restWidth = metrics.horizontalAdvance(rest);
        text = metrics.elidedText(text, Qt::ElideMiddle, std::max(0, area.width() - restWidth));
        QFont lineFont = font;
        lineFont.setStrikeOut(files.missing.value(line));
        const QRect lineRect(area.left(), area.top() + line * lineHeight, area.width(), lineHeight);
        painter.setFont(lineFont);
        painter.drawText(lineRect, Qt::AlignLeft | Qt::AlignVCenter, text);
        if (!rest.isEmpty()) {
            painter.setFont(font);
            painter.drawText(lineRect.adjusted(metrics.horizontalAdvance(text), 0, 0, 0),
                             Qt::AlignLeft | Qt::AlignVCenter, rest);
        }
    }
    painter.restore();
}

} // namespace FileNames
