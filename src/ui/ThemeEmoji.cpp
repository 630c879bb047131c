#include "ThemeEmoji.h"

#include <QFontDatabase>
#include <QTextCharFormat>

namespace {

constexpr char32_t zeroWidthJoiner = 0x200d;
constexpr char32_t emojiPresentation = 0xfe0f;
constexpr char32_t enclosingKeycap = 0x20e3;

// Pictographs drawn as emoji on their own: emoticons, symbols and pictographs, transport, flags
// (regional indicators), skin tones and the supplemental blocks.
bool isPictograph(char32_t c)
{
    return (c >= 0x1f000 && c <= 0x1faff) || (c >= 0x1fc00 && c <= 0x1fffd);
}

// What continues a sequence: joiners, presentation selectors, keycaps, skin tones and tag characters.
bool continuesSequence(char32_t c)
{
    return c == zeroWidthJoiner || c == emojiPresentation || c == enclosingKeycap || (c >= 0x1f3fb && c <= 0x1f3ff) ||
           (c >= 0xe0020 && c <= 0xe007f);
}

char32_t codePointAt(QStringView text, qsizetype at, qsizetype* size)
{
    const QChar c = text[at];
    if (c.isHighSurrogate() && at + 1 < text.size() && text[at + 1].isLowSurrogate()) {
        *size = 2;
        return QChar::surrogateToUcs4(c, text[at + 1]);
    }
    *size = 1;
    return c.unicode();
}

} // namespace

QString colorEmojiFamily()
{
    static const QString family = [] {
        const QStringList installed = QFontDatabase::families();
        for (const char* candidate :
             {"Noto Color Emoji", "Twemoji", "JoyPixels", "Apple Color Emoji", "Segoe UI Emoji"}) {
            const QString name = QString::fromLatin1(candidate);
            if (installed.contains(name, Qt::CaseInsensitive))
                return name;
        }
        return QString();
    }();
    return family;
}

QList<EmojiRun> emojiRuns(QStringView text)
{
    QList<EmojiRun> runs;
    qsizetype at = 0;
    while (at < text.size()) {
        qsizetype size = 0;
        const char32_t c = codePointAt(text, at, &size);
        qsizetype next = at + size;
        qsizetype nextSize = 0;
        // A symbol of the older blocks (☀, ❤, a digit of a keycap) is an emoji when asked for with U+FE0F.
        const bool asked = next < text.size() && codePointAt(text, next, &nextSize) == emojiPresentation;
        if (!isPictograph(c) && !asked) {
            at = next;
            continue;
        }
        qsizetype end = next;
        while (end < text.size()) {
            qsizetype partSize = 0;
            const char32_t part = codePointAt(text, end, &partSize);
            const bool joined = part != zeroWidthJoiner && end > 0 && text[end - 1] == QChar(zeroWidthJoiner);
            if (continuesSequence(part) || joined || isPictograph(part))
                end += partSize;
            else
                break;
        }
        if (!runs.isEmpty() && runs.last().start + runs.last().length == at)
            runs.last().length += end - at;
        else
            runs.append({at, end - at});
        at = end;
    }
    return runs;
}

QList<QTextLayout::FormatRange> emojiFormats(QStringView text)
{
    QList<QTextLayout::FormatRange> formats;
    const QString family = colorEmojiFamily();
    if (family.isEmpty())
        return formats;
    QTextCharFormat format;
    format.setFontFamilies(QStringList{family});
    for (const EmojiRun& run : emojiRuns(text))
        formats.append({int(run.start), int(run.length), format});
    return formats;
}

EmojiHighlighter::EmojiHighlighter(QTextDocument* document)
    : QSyntaxHighlighter(document)
{}

void EmojiHighlighter::highlightBlock(const QString& text)
{
    for (const QTextLayout::FormatRange& range : emojiFormats(text))
        setFormat(range.start, range.length, range.format);
}
