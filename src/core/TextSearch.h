#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <atomic>

// How the search matches an entry's text against what the user typed.
//
// Both sides are folded the same way: compatibility decomposition (NFKD, which also maps full-width
// forms to half-width ones), combining marks dropped, case folded. The query is split on white space
// and every word must occur in the text as a plain substring (no pattern characters). Chinese
// characters also match by their pinyin: each character takes its own symbol, a whole syllable of
// any of its readings, or the beginning of one (so "huiyi", "hui yi", "hy" and "会y" all find 会议);
// tones are ignored.
namespace TextSearch {

// A key holds the folded first 100,000 characters (UTF-16 units) of a text: a 30 MB entry keeps and
// matches at once no more than that, so it costs what a 200 KB one does. `matchesWhole` searches the
// rest, off the main thread.
inline constexpr qsizetype searchedLength = 100000;
// Longer query words match as plain text only.
inline constexpr qsizetype longestPinyinWord = 64;

// What an entry keeps for searching, computed once when its text is set.
struct Key
{
    QString folded; // the folded first searchedLength characters
    bool hasHan = false;
    bool complete = true; // folded holds the whole text
};

struct Query
{
    QStringList words; // folded, non-empty
    bool isEmpty() const { return words.isEmpty(); }
};

struct Range
{
    qsizetype start = 0;
    qsizetype length = 0;
    friend bool operator==(const Range&, const Range&) = default;
};

QString fold(QStringView text);
Key keyFor(QStringView text);
Query parseQuery(const QString& text);

// Whether every word occurs in the beginning the key holds.
bool matches(const Key& key, const Query& query);
// Whether every word occurs anywhere in `text`, the text `key` was made from: what the key does not
// hold is folded a stretch at a time. Gives false early once `cancel` is set.
bool matchesWhole(QStringView text, const Key& key, const Query& query, const std::atomic_bool* cancel = nullptr);

// Where the query's words occur in `text` (positions in `text` itself, not in its folded form),
// sorted and merged; each word's occurrences are all listed, up to `limit` ranges in all.
QList<Range> matchRanges(QStringView text, const Query& query, int limit = 200);

// The same for a row or a tile: only the beginning of the text, or the stretch around the first match
// that `key` (the text's own key) locates, is folded, so a long entry costs what a short one does.
QList<Range> highlightRanges(QStringView text, const Key& key, const Query& query);

} // namespace TextSearch
