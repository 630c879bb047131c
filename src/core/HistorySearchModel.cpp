#include "HistorySearchModel.h"

#include <QFutureWatcher>
#include <QThread>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>

namespace {

struct SearchResult
{
    quint64 generation = 0;
    bool cancelled = false;
    QHash<QUuid, quint64> matched;
    QHash<QUuid, quint64> unmatched;
};

// Matches entries [first, last) of `entries` against their whole text, or only those longer than
// their key (`longOnly`); stops early, marked cancelled, once `cancel` is set.
SearchResult searchPart(const QList<HistoryModel::Entry>& entries, qsizetype first, qsizetype last,
                        const TextSearch::Query& query, bool longOnly, const std::atomic_bool& cancel)
{
    SearchResult result;
    for (qsizetype i = first; i < last; ++i) {
        const HistoryModel::Entry& entry = entries.at(i);
        if (longOnly && entry.key.complete)
            continue;
        const QStringView text = entry.item.isImage() ? QStringView() : QStringView(entry.item.content);
        const bool matched = TextSearch::matchesWhole(text, entry.key, query, &cancel);
        if (cancel.load(std::memory_order_relaxed)) {
            result.cancelled = true;
            break;
        }
        if (matched)
            result.matched.insert(entry.item.id, entry.revision);
        else
            result.unmatched.insert(entry.item.id, entry.revision);
    }
    return result;
}

bool hasLongTexts(const HistoryModel& history)
{
    const QList<HistoryModel::Entry>& entries = history.entries();
    return std::any_of(entries.begin(), entries.end(),
                       [](const HistoryModel::Entry& entry) { return !entry.key.complete; });
}

} // namespace

HistorySearchModel::HistorySearchModel(HistoryModel& history, QObject* parent)
    : QSortFilterProxyModel(parent)
    , m_history(history)
{
    setSourceModel(&history);
    setDynamicSortFilter(true);
}

HistorySearchModel::~HistorySearchModel()
{
    if (m_cancel)
        m_cancel->store(true);
}

const ClipboardItem& HistorySearchModel::itemAt(int row) const
{
    return m_history.itemAt(mapToSource(index(row, 0)).row());
}

void HistorySearchModel::setQuery(const QString& text)
{
    if (text == m_queryText)
        return;
    m_queryText = text;
    m_query = TextSearch::parseQuery(text);
    ++m_generation;
    if (m_query.isEmpty() || m_history.searchedTextSize() <= m_backgroundThreshold) {
        if (m_cancel)
            m_cancel->store(true);
        m_pending = false;
        m_useStoredResults = false;
        m_matched.clear();
        m_unmatched.clear();
        refilter(m_query);
        Q_EMIT resultsReady();
        // The beginnings are answered; the rest of the long texts follows from the worker.
        if (!m_query.isEmpty() && hasLongTexts(m_history)) {
            if (m_running)
                m_pending = true;
            else
                startBackgroundSearch();
        } else {
            Q_EMIT searchFinished();
        }
        return;
    }
    if (m_running) {
        // The running search is for an older query: stop it; the newest query starts when it returns.
        m_cancel->store(true);
        m_pending = true;
        return;
    }
    startBackgroundSearch();
}

void HistorySearchModel::refilter(const TextSearch::Query& shown)
{
    Q_EMIT rowsAboutToBeRefiltered();
    if (shown.words != m_shownQuery.words)
        m_highlights.clear();
    m_shownQuery = shown;
    invalidateRowsFilter();
    Q_EMIT rowsRefiltered();
}

QVariant HistorySearchModel::data(const QModelIndex& index, int role) const
{
    if (role != HighlightsRole)
        return QSortFilterProxyModel::data(index, role);
    if (!checkIndex(index, CheckIndexOption::IndexIsValid))
        return {};
    const int sourceRow = mapToSource(index).row();
    const HistoryModel::Entry& entry = m_history.entries().at(sourceRow);
    if (m_shownQuery.isEmpty() || !entry.item.isText())
        return QVariant::fromValue(QList<TextSearch::Range>());
    auto found = m_highlights.constFind(entry.item.id);
    if (found == m_highlights.cend() || found->first != entry.revision)
        found = m_highlights.insert(
            entry.item.id, {entry.revision, TextSearch::highlightRanges(entry.item.content, entry.key, m_shownQuery)});
    return QVariant::fromValue(found->second);
}

void HistorySearchModel::startBackgroundSearch()
{
    m_running = true;
    m_pending = false;
    m_cancel = std::make_shared<std::atomic_bool>(false);
    // The worker reads a copy of the entries; their texts are shared, not duplicated.
    const QList<HistoryModel::Entry> entries = m_history.entries();
    const TextSearch::Query query = m_query;
    const quint64 generation = m_generation;
    // A small history already shows the matches in the entries' beginnings: only the long texts remain.
    const bool longOnly = m_history.searchedTextSize() <= m_backgroundThreshold;
    auto* watcher = new QFutureWatcher<SearchResult>(this);
    connect(watcher, &QFutureWatcher<SearchResult>::finished, this, [this, watcher, query, longOnly] {
        watcher->deleteLater();
        SearchResult result = watcher->result();
        m_running = false;
        if (!result.cancelled && result.generation == m_generation) {
            const int shown = rowCount();
            m_matched = std::move(result.matched);
            m_unmatched = std::move(result.unmatched);
            m_useStoredResults = true;
            refilter(query);
            // Late matches join the list as it stands, unless it had none.
            if (!longOnly || shown == 0)
                Q_EMIT resultsReady();
            Q_EMIT searchFinished();
        }
        if (m_pending)
            startBackgroundSearch();
    });
    watcher->setFuture(QtConcurrent::run([entries, query, generation, longOnly, cancel = m_cancel] {
        // The entries are shared out in equal parts over the pool's threads; this thread searches the
        // first part. While it waits for the others it gives its place in the pool back, so the parts
        // never wait for each other.
        const qsizetype parts = std::clamp<qsizetype>(QThread::idealThreadCount(), 1, 8);
        const qsizetype size = (entries.size() + parts - 1) / parts;
        QList<QFuture<SearchResult>> others;
        for (qsizetype first = size; first < entries.size(); first += size) {
            const qsizetype last = std::min(entries.size(), first + size);
            others.append(QtConcurrent::run([&entries, first, last, &query, longOnly, &cancel] {
                return searchPart(entries, first, last, query, longOnly, *cancel);
            }));
        }
        SearchResult result = searchPart(entries, 0, std::min(size, entries.size()), query, longOnly, *cancel);
        result.generation = generation;
        for (QFuture<SearchResult>& other : others) {
            const SearchResult part = other.result();
            result.cancelled = result.cancelled || part.cancelled;
            result.matched.insert(part.matched);
            result.unmatched.insert(part.unmatched);
        }
        return result;
    }));
}

bool HistorySearchModel::filterAcceptsRow(int sourceRow, const QModelIndex&) const
{
    if (m_shownQuery.isEmpty())
        return true;
    if (m_useStoredResults) {
        // Entries added or edited since the search ran are matched here, one by one.
        const QUuid id = m_history.itemAt(sourceRow).id;
        const quint64 revision = m_history.revisionAt(sourceRow);
        if (m_matched.value(id) == revision)
            return true;
        if (m_unmatched.value(id) == revision)
            return false;
    }
    return TextSearch::matches(m_history.keyAt(sourceRow), m_shownQuery);
}
