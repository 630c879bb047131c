#pragma once

#include <QList>
#include <QStringView>
#include <QSyntaxHighlighter>
#include <QTextLayout>

// Every emoji in the colour emoji font. Left to the fallback, some come out as monochrome outlines,
// from a text font that happens to carry a face for them (DejaVu Sans draws 😀 but not 🎉), beside
// others in colour.

// The installed colour emoji font, empty when there is none.
QString colorEmojiFamily();

// Where `text` holds emoji: each whole sequence (skin tones, joined families, flags, keycaps), as
// [start, length) in UTF-16 units.
struct EmojiRun
{
    qsizetype start;
    qsizetype length;
};
QList<EmojiRun> emojiRuns(QStringView text);

// Formats that set the emoji of `text` in the colour emoji font; none when it is not installed.
QList<QTextLayout::FormatRange> emojiFormats(QStringView text);

// The same for an editor's document, kept up to date as it is edited.
class EmojiHighlighter : public QSyntaxHighlighter
{
public:
    explicit EmojiHighlighter(QTextDocument* document);

protected:
    void highlightBlock(const QString& text) override;
};
