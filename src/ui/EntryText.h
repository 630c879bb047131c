#pragma once

#include "core/TextSearch.h"

#include <QColor>
#include <QFont>
#include <QString>
#include <QTextLayout>

#include <memory>

class QPainter;

// The text of an entry as a row or a tile shows it: line breaks honoured, at most `maxLines` lines
// wrapped to the width, the last one ending in "…" when text follows. Lines are laid out with
// QTextLayout, so each line is as tall as the fonts it really uses (a fallback font for Chinese
// characters or emoji, say). Matches of the search are painted behind the text, and when the first
// one lies beyond the lines shown, the text is shown from just before it.
class EntryText
{
public:
    EntryText(const QString& text, const QFont& font, qreal width, int maxLines,
              const QList<TextSearch::Range>& highlights = {});

    qreal height() const { return m_height; }
    int lineCount() const { return m_lineCount; }
    // The text laid out, from where it is shown, with line breaks as the layout sees them.
    QString shownText() const { return m_layout ? m_layout->text() : QString(); }
    bool isElided() const { return m_elided; }
    QList<qreal> lineHeights() const;
    const QTextLayout* textLayout() const { return m_layout.get(); }

    void draw(QPainter& painter, const QPointF& topLeft, const QColor& color, const QColor& highlight) const;

    // The characters laid out at most: what the lines can hold if every character were a narrow one,
    // so a 30 MB entry costs what a short one does.
    qsizetype laidOutLength() const;

private:
    void layOut(const QString& text, qsizetype from, bool leadingEllipsis);

    QFont m_font;
    qreal m_width;
    int m_maxLines;
    QList<TextSearch::Range> m_highlights;
    std::unique_ptr<QTextLayout> m_layout;
    qsizetype m_offset = 0; // position in the entry's text of the first character laid out
    bool m_leadingEllipsis = false;
    qreal m_height = 0;
    int m_lineCount = 0;
    bool m_elided = false;
};
