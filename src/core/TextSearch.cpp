#include "TextSearch.h"

#include "PinyinTable.h"

#include <algorithm>
#include <array>
#include <memory>
#include <vector>

namespace {

constexpr char32_t denseFirst = 0x3400;
constexpr char32_t denseLast = 0x9FFF;

// Combining marks, and invisible format characters (direction marks around right-to-left text,
// zero-width spaces and joiners, soft hyphens), which a query typed or pasted may or may not carry.
bool isDroppedMark(char32_t point)
{
    const QChar::Category category = QChar::category(point);
    return category == QChar::Mark_NonSpacing || category == QChar::Mark_Enclosing || category == QChar::Other_Format;
}

void appendPoint(QString& out, char32_t point)
{
    if (QChar::requiresSurrogates(point)) {
        out.append(QChar(QChar::highSurrogate(point)));
        out.append(QChar(QChar::lowSurrogate(point)));
    } else {
        out.append(QChar(char16_t(point)));
    }
}

// Appends the folded form of one character: lower-case ASCII, Chinese characters as they are, the
// rest decomposed, without combining marks and case folded.
void foldPoint(QString& out, char32_t point)
{
    if (point < 0x80) {
        out.append(QChar(char16_t(point >= 'A' && point <= 'Z' ? point + 32 : point)));
    } else if (point >= denseFirst && point <= denseLast) {
        // Chinese characters neither decompose nor have case.
        out.append(QChar(char16_t(point)));
    } else if (QChar::decompositionTag(point) != QChar::NoDecomposition) {
        const QString decomposed = QString::fromUcs4(&point, 1).normalized(QString::NormalizationForm_KD);
        for (const char32_t part : decomposed.toUcs4()) {
            if (!isDroppedMark(part))
                appendPoint(out, QChar::toCaseFolded(part));
        }
    } else if (!isDroppedMark(point)) {
        appendPoint(out, QChar::toCaseFolded(point));
    }
}

// The character of `text` starting at `i`, and where the next one starts.
char32_t pointAt(QStringView text, qsizetype& i)
{
    char32_t point = text[i].unicode();
    ++i;
    if (QChar::isHighSurrogate(point) && i < text.size() && text[i].isLowSurrogate()) {
        point = QChar::surrogateToUcs4(char16_t(point), text[i].unicode());
        ++i;
    }
    return point;
}

// Folds the first `limit` UTF-16 units of `text`. With `map`, records for every unit written the
// position in `text` of the character it came from, plus one closing entry for the end.
QString foldText(QStringView text, qsizetype limit, QList<qsizetype>* map)
{
    const qsizetype end = std::min(text.size(), limit);
    QString out;
    out.reserve(end);
    if (map) {
        map->clear();
        map->reserve(end + 1);
    }
    qsizetype i = 0;
    while (i < end) {
        const qsizetype start = i;
        const qsizetype before = out.size();
        foldPoint(out, pointAt(text, i));
        if (map) {
            for (qsizetype k = before; k < out.size(); ++k)
                map->append(start);
        }
    }
    if (map)
        map->append(end);
    return out;
}

// The position in `text` of the character that unit `foldedIndex` of its folded form came from,
// found without building the folded text.
qsizetype sourceIndex(QStringView text, qsizetype foldedIndex)
{
    QString scratch;
    qsizetype folded = 0;
    qsizetype i = 0;
    while (i < text.size()) {
        const qsizetype start = i;
        const char32_t point = pointAt(text, i);
        if (point < 0x80 || (point >= denseFirst && point <= denseLast)) {
            ++folded;
        } else {
            scratch.clear();
            foldPoint(scratch, point);
            folded += scratch.size();
        }
        if (folded > foldedIndex)
            return start;
    }
    return text.size();
}

// For every character of the dense range, the first letters of its readings as a bit set (bit 0: 'a').
const std::vector<quint32>& initialMasks()
{
    static const std::vector<quint32> masks = [] {
        std::vector<quint32> result(denseLast - denseFirst + 1, 0);
        for (char32_t point = denseFirst; point <= denseLast; ++point) {
            for (const unsigned short reading : PinyinTable::readings(point))
                result[point - denseFirst] |= 1u << (PinyinTable::syllable(reading)[0] - 'a');
        }
        return result;
    }();
    return masks;
}

bool isAsciiLetter(QChar c)
{
    return c >= QLatin1Char('a') && c <= QLatin1Char('z');
}

// For every lower-case ASCII letter, the UTF-16 units a pinyin match of a word beginning with it can
// start at: the letter, the Chinese characters with a reading that begins with it, and every high
// surrogate (the characters beyond the dense range are looked at one by one). One bit test per unit
// keeps the scan of a long text short.
using UnitSet = std::array<quint64, 0x10000 / 64>;

const std::array<UnitSet, 26>& startSets()
{
    static const std::unique_ptr<std::array<UnitSet, 26>> sets = [] {
        auto result = std::make_unique<std::array<UnitSet, 26>>();
        const std::vector<quint32>& masks = initialMasks();
        for (int letter = 0; letter < 26; ++letter) {
            UnitSet& set = (*result)[letter];
            set.fill(0);
            const auto add = [&set](char32_t unit) { set[unit >> 6] |= quint64(1) << (unit & 63); };
            add(char32_t('a' + letter));
            for (char32_t point = denseFirst; point <= denseLast; ++point) {
                if (masks[point - denseFirst] >> letter & 1)
                    add(point);
            }
            for (char32_t unit = 0xD800; unit <= 0xDBFF; ++unit)
                add(unit);
        }
        return result;
    }();
    return *sets;
}

// Finds where `word` matches `text` with Chinese characters read as pinyin.
class PinyinFinder
{
public:
    explicit PinyinFinder(QStringView word)
        : m_word(word)
        , m_side(word.size() + 1)
        , m_window(2 * m_side)
        , m_failed(size_t(m_window * m_side), -1)
    {}

    // The first match starting at or after `from`, or a negative start.
    TextSearch::Range find(QStringView text, qsizetype from)
    {
        if (m_text.data() && (text.data() != m_text.data() || text.size() != m_text.size()))
            std::fill(m_failed.begin(), m_failed.end(), -1);
        m_text = text;
        const QChar first = m_word.front();
        qsizetype end = 0;
        if (!isAsciiLetter(first)) {
            for (qsizetype i = text.indexOf(first, from); i >= 0; i = text.indexOf(first, i + 1)) {
                if (matchAt(i, 0, end))
                    return {i, end - i};
            }
            return {-1, 0};
        }
        const UnitSet& starts = startSets()[first.unicode() - 'a'];
        const char16_t* units = text.utf16();
        for (qsizetype i = from; i < text.size(); ++i) {
            const char16_t unit = units[i];
            if ((starts[unit >> 6] >> (unit & 63) & 1) && matchAt(i, 0, end))
                return {i, end - i};
        }
        return {-1, 0};
    }

private:
    bool matchAt(qsizetype i, qsizetype j, qsizetype& end)
    {
        if (j == m_word.size()) {
            end = i;
            return true;
        }
        if (i >= m_text.size())
            return false;
        // Whether the rest of the word can match from here depends on neither where the match began
        // nor the text before, so a place found failing is not tried again for a later start: the
        // work stays linear in the text's length. Every step takes at least one character of the word
        // and at most two units of the text, so one start looks at no more than m_window positions,
        // and a ring of m_window rows, each tagged with its text position, holds them all.
        if (m_failed[size_t((i % m_window) * m_side + j)] == i)
            return false;

        char32_t point = m_text[i].unicode();
        qsizetype width = 1;
        if (QChar::isHighSurrogate(point) && i + 1 < m_text.size() && m_text[i + 1].isLowSurrogate()) {
            point = QChar::surrogateToUcs4(char16_t(point), m_text[i + 1].unicode());
            width = 2;
        }
        if (m_word.mid(j).startsWith(m_text.mid(i, width)) && matchAt(i + width, j + width, end))
            return true;
        for (const unsigned short reading : PinyinTable::readings(point)) {
            const char* syllable = PinyinTable::syllable(reading);
            qsizetype common = 0;
            while (syllable[common] && j + common < m_word.size() &&
                   m_word[j + common] == QLatin1Char(syllable[common]))
                ++common;
            // The whole syllable first, then ever shorter beginnings down to the initial.
            for (qsizetype taken = common; taken >= 1; --taken) {
                if (matchAt(i + width, j + taken, end))
                    return true;
            }
        }
        m_failed[size_t((i % m_window) * m_side + j)] = qint32(i);
        return false;
    }

    QStringView m_word;
    QStringView m_text;
    qsizetype m_side;
    qsizetype m_window;
    std::vector<qint32> m_failed; // texts searched: a key's beginning, or one stretch of a longer text
};

bool wantsPinyin(QStringView word)
{
    return word.size() <= TextSearch::longestPinyinWord && std::any_of(word.begin(), word.end(), isAsciiLetter);
}

bool foundIn(const QString& folded, bool hasHan, const QString& word)
{
    return folded.contains(word) || (hasHan && wantsPinyin(word) && PinyinFinder(word).find(folded, 0).start >= 0);
}

// Whether `word` occurs in `text` from `from` on. The text is folded a stretch at a time; stretches
// overlap by more than a match can span (a pinyin match takes at most two units per character of the
// word, folding rarely shortens a character by more), so no match across a border is missed.
bool foundFrom(QStringView text, qsizetype from, const QString& word, const std::atomic_bool* cancel)
{
    const qsizetype overlap = 8 * word.size() + 64;
    const qsizetype stretch = std::max<qsizetype>(qsizetype(1) << 20, 4 * overlap);
    for (qsizetype start = std::max<qsizetype>(0, from - overlap); start < text.size();) {
        if (cancel && cancel->load(std::memory_order_relaxed))
            return false;
        qsizetype end = std::min(text.size(), start + stretch);
        if (end < text.size() && text[end - 1].isHighSurrogate())
            ++end;
        // Pinyin on text without Chinese characters finds what the plain search finds: no need to know.
        if (foundIn(foldText(text.mid(start, end - start), end - start, nullptr), true, word))
            return true;
        if (end == text.size())
            break;
        start = end - overlap;
    }
    return false;
}

} // namespace

namespace TextSearch {

QString fold(QStringView text)
{
    return foldText(text, text.size(), nullptr);
}

Key keyFor(QStringView text)
{
    Key key;
    key.folded = foldText(text, searchedLength, nullptr);
    key.complete = text.size() <= searchedLength;
    for (qsizetype i = 0; i < key.folded.size() && !key.hasHan; ++i) {
        const char16_t unit = key.folded[i].unicode();
        if (unit >= denseFirst && unit <= denseLast)
            key.hasHan = !PinyinTable::readings(unit).empty();
        else if (QChar::isHighSurrogate(unit) && i + 1 < key.folded.size())
            key.hasHan = !PinyinTable::readings(QChar::surrogateToUcs4(unit, key.folded[i + 1].unicode())).empty();
    }
    key.folded.squeeze();
    return key;
}

Query parseQuery(const QString& text)
{
    Query query;
    const QString folded = fold(text);
    qsizetype start = -1;
    for (qsizetype i = 0; i <= folded.size(); ++i) {
        const bool space = i == folded.size() || folded[i].isSpace();
        if (space && start >= 0) {
            query.words.append(folded.mid(start, i - start));
            start = -1;
        } else if (!space && start < 0) {
            start = i;
        }
    }
    return query;
}

bool matches(const Key& key, const Query& query)
{
    return std::all_of(query.words.begin(), query.words.end(),
                       [&key](const QString& word) { return foundIn(key.folded, key.hasHan, word); });
}

bool matchesWhole(QStringView text, const Key& key, const Query& query, const std::atomic_bool* cancel)
{
    for (const QString& word : query.words) {
        if (foundIn(key.folded, key.hasHan, word))
            continue;
        if (key.complete || !foundFrom(text, searchedLength, word, cancel))
            return false;
    }
    return true;
}

QList<Range> matchRanges(QStringView text, const Query& query, int limit)
{
    QList<Range> found;
    if (query.isEmpty())
        return found;
    QList<qsizetype> map;
    const QString folded = foldText(text, searchedLength, &map);
    const auto add = [&](qsizetype start, qsizetype length) {
        found.append({map[start], map[start + length] - map[start]});
    };
    for (const QString& word : query.words) {
        for (qsizetype at = folded.indexOf(word); at >= 0 && found.size() < limit;
             at = folded.indexOf(word, at + word.size()))
            add(at, word.size());
        if (!wantsPinyin(word))
            continue;
        PinyinFinder finder(word);
        for (Range range = finder.find(folded, 0); range.start >= 0 && found.size() < limit;
             range = finder.find(folded, range.start + range.length))
            add(range.start, range.length);
    }
    std::sort(found.begin(), found.end(), [](const Range& a, const Range& b) { return a.start < b.start; });
    QList<Range> merged;
    for (const Range& range : std::as_const(found)) {
        if (!merged.isEmpty() && range.start <= merged.last().start + merged.last().length) {
            Range& last = merged.last();
            last.length = std::max(last.start + last.length, range.start + range.length) - last.start;
        } else {
            merged.append(range);
        }
    }
    return merged;
}

QList<Range> highlightRanges(QStringView text, const Key& key, const Query& query)
{
    constexpr qsizetype head = 1000;
    constexpr qsizetype before = 300;
    constexpr qsizetype after = 1200;
    QList<Range> ranges = matchRanges(text.left(head), query);
    if (!ranges.isEmpty() || text.size() <= head || query.isEmpty())
        return ranges;
    qsizetype first = -1;
    qsizetype longest = 0;
    for (const QString& word : query.words) {
        qsizetype at = key.folded.indexOf(word);
        if (at < 0 && key.hasHan && wantsPinyin(word))
            at = PinyinFinder(word).find(key.folded, 0).start;
        if (at >= 0 && (first < 0 || at < first))
            first = at;
        longest = std::max(longest, word.size());
    }
    if (first < 0)
        return ranges;
    // Only the stretch around the first match is folded again, wide enough for the longest word even
    // where folding shortened the text (combining marks dropped).
    qsizetype start = qMax<qsizetype>(0, sourceIndex(text, first) - before);
    if (start > 0 && text[start].isLowSurrogate())
        --start;
    ranges = matchRanges(text.mid(start, before + 2 * longest + after), query);
    for (Range& range : ranges)
        range.start += start;
    return ranges;
}

} // namespace TextSearch
