#include "EntryText.h"

#include "ThemeEmoji.h"

#include <QFontMetricsF>
#include <QPainter>

namespace {

const QChar ellipsis(0x2026);

// Line breaks become the layout's own line separator; the carriage return of a CR LF pair becomes an
// invisible zero-width space, so positions in the text stay the same.
QString forLayout(QStringView text)
{
    QString out = text.toString();
    for (qsizetype i = 0; i < out.size(); ++i) {
        const QChar c = out[i];
        if (c == QLatin1Char('\n') || c == QChar(0x2029) || c == QChar(0x0B) || c == QChar(0x0C)) {
            out[i] = QChar::LineSeparator;
        } else if (c == QLatin1Char('\r')) {
            out[i] = i + 1 < out.size() && out[i + 1] == QLatin1Char('\n') ? QChar(0x200B) : QChar::LineSeparator;
        } else if (c == QLatin1Char('\t')) {
            out[i] = QLatin1Char(' ');
        }
    }
    return out;
}

} // namespace

EntryText::EntryText(const QString& text, const QFont& font, qreal width, int maxLines,
                     const QList<TextSearch::Range>& highlights)
    : m_font(font)
    , m_width(qMax<qreal>(1, width))
    , m_maxLines(qMax(1, maxLines))
    , m_highlights(highlights)
{
    layOut(text, 0, false);
    if (m_highlights.isEmpty())
        return;
    const TextSearch::Range first = m_highlights.first();
    const qsizetype shownEnd = m_offset + m_layout->lineAt(m_lineCount - 1).textStart() +
                               m_layout->lineAt(m_lineCount - 1).textLength() - (m_leadingEllipsis ? 1 : 0);
    if (first.start + first.length <= shownEnd)
        return;
    // The first match is out of view: start at its line when that is close, otherwise a little before it.
    qsizetype lineStart = first.start;
    while (lineStart > 0 && first.start - lineStart < 12 && text[lineStart - 1] != QLatin1Char('\n'))
        --lineStart;
    const bool cut = lineStart > 0 && text[lineStart - 1] != QLatin1Char('\n');
    layOut(text, lineStart, cut);
}

void EntryText::layOut(const QString& text, qsizetype from, bool leadingEllipsis)
{
    m_offset = from;
    m_leadingEllipsis = leadingEllipsis;
    QString laid = forLayout(QStringView(text).mid(from, laidOutLength()));
    const bool truncatedSource = from + laid.size() < text.size();
    if (leadingEllipsis)
        laid.prepend(ellipsis);
    m_layout = std::make_unique<QTextLayout>(laid, m_font);
    m_layout->setFormats(emojiFormats(laid));
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    m_layout->setTextOption(option);
    m_layout->setCacheEnabled(true);

    const qreal ellipsisWidth = QFontMetricsF(m_font).horizontalAdvance(ellipsis);
    m_layout->beginLayout();
    m_height = 0;
    m_lineCount = 0;
    m_elided = false;
    while (m_lineCount < m_maxLines) {
        QTextLine line = m_layout->createLine();
        if (!line.isValid())
            break;
        const bool last = m_lineCount == m_maxLines - 1;
        line.setLineWidth(last ? m_width - ellipsisWidth : m_width);
        if (last) {
            const bool more = line.textStart() + line.textLength() < laid.size() || truncatedSource;
            if (!more)
                line.setLineWidth(m_width);
            m_elided = more;
        }
        line.setPosition(QPointF(0, m_height));
        m_height += line.height();
        ++m_lineCount;
    }
    m_layout->endLayout();
    if (m_lineCount == 0)
        m_height = QFontMetricsF(m_font).height();
}

qsizetype EntryText::laidOutLength() const
{
    const qreal narrowest = qMax<qreal>(1, QFontMetricsF(m_font).horizontalAdvance(QLatin1Char('i')) * 0.8);
    return qsizetype(m_maxLines * (m_width / narrowest + 2)) + 1;
}

QList<qreal> EntryText::lineHeights() const
{
    QList<qreal> heights;
    for (int i = 0; i < m_lineCount; ++i)
        heights << m_layout->lineAt(i).height();
    return heights;
}

void EntryText::draw(QPainter& painter, const QPointF& topLeft, const QColor& color, const QColor& highlight) const
{
    if (!m_layout || m_lineCount == 0)
        return;
    QList<QTextLayout::FormatRange> selections;
    const qsizetype shift = m_leadingEllipsis ? 1 : 0;
    const qsizetype laidLength = m_layout->text().size();
    for (const TextSearch::Range& range : m_highlights) {
        const qsizetype start = qMax<qsizetype>(shift, range.start - m_offset + shift);
        const qsizetype end = qMin(laidLength, range.start + range.length - m_offset + shift);
        if (end <= start)
            continue;
        QTextLayout::FormatRange format;
        format.start = int(start);
        format.length = int(end - start);
        format.format.setBackground(highlight);
        selections.append(format);
    }
    painter.save();
    painter.setPen(color);
    const QRectF clip(topLeft, QSizeF(m_width, m_height));
    m_layout->draw(&painter, topLeft, selections, clip);
    if (m_elided) {
        const QTextLine last = m_layout->lineAt(m_lineCount - 1);
        painter.setFont(m_font);
        const QPointF at = topLeft + QPointF(last.naturalTextWidth(), last.y() + last.ascent());
        painter.drawText(at, QString(ellipsis));
    }
    painter.restore();
}
