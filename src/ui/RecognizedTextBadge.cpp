#include "RecognizedTextBadge.h"

#include "Theme.h"

#include <QPainter>

namespace RecognizedTextBadge {

void paint(QPainter& painter, const QRectF& badge, const ThemePalette& palette, int pixelSize, const QString& label)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(ThemePalette::withOpacity(palette.accent, 0.9));
    painter.drawRoundedRect(badge, 5, 5);
    painter.setFont(pixelFont(pixelSize, QFont::DemiBold));
    painter.setPen(Qt::white);
    painter.drawText(badge, Qt::AlignCenter, label);
    painter.restore();
}

namespace {

// One line of the tooltip: line breaks of the recognised text become spaces.
QString escapedLine(QStringView text)
{
    QString line = text.toString();
    line.replace(QLatin1Char('\n'), QLatin1Char(' ')).replace(QLatin1Char('\r'), QLatin1Char(' '));
    line.replace(QLatin1Char('\t'), QLatin1Char(' '));
    return line.toHtmlEscaped();
}

// Moves a cut off the middle of a surrogate pair.
qsizetype onBoundary(QStringView text, qsizetype at)
{
    if (at > 0 && at < text.size() && text[at].isLowSurrogate())
        --at;
    return at;
}

} // namespace

QString matchedContext(const QString& text, const TextSearch::Query& query)
{
    const QList<TextSearch::Range> ranges = TextSearch::matchRanges(text, query);
    QStringList lines;
    qsizetype i = 0;
    while (i < ranges.size() && lines.size() < maxExcerpts) {
        const qsizetype start = onBoundary(text, qMax<qsizetype>(0, ranges[i].start - contextLength));
        qsizetype end = onBoundary(text, qMin(text.size(), ranges[i].start + ranges[i].length + contextLength));
        // Matches close together share one excerpt.
        qsizetype last = i;
        while (last + 1 < ranges.size() && ranges[last + 1].start < end) {
            ++last;
            end = onBoundary(text, qMin(text.size(), ranges[last].start + ranges[last].length + contextLength));
        }
        QString line = start > 0 ? QStringLiteral("…") : QString();
        qsizetype at = start;
        for (qsizetype r = i; r <= last; ++r) {
            line += escapedLine(QStringView(text).mid(at, ranges[r].start - at));
            line += QStringLiteral("<b>") + escapedLine(QStringView(text).mid(ranges[r].start, ranges[r].length)) +
                    QStringLiteral("</b>");
            at = ranges[r].start + ranges[r].length;
        }
        line += escapedLine(QStringView(text).mid(at, end - at));
        if (end < text.size())
            line += QStringLiteral("…");
        lines.append(line.simplified());
        i = last + 1;
    }
    if (lines.isEmpty())
        return {};
    return QStringLiteral("<qt>") + lines.join(QStringLiteral("<br>")) + QStringLiteral("</qt>");
}

} // namespace RecognizedTextBadge
