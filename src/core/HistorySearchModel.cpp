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

// Matches entries [first, last) of `entries`; stops early, marked cancelled, once `cancel` is set.
SearchResult searchPart(const QList<HistoryModel::Entry>& entries, qsizetype first, qsizetype last,
                        const TextSearch::Query& query, const std::atomic_bool& cancel)
{
    SearchResult result;
    for (qsizetype i = first; i < last; ++i) {
        if (cancel.load(std::memory_order_relaxed)) {
            result.cancelled = true;
            break;
        }
        const HistoryModel::Entry& entry = entries.at(i);
        if (TextSearch::matches(entry.key, query))
            result.matched.insert(entry.item.id, entry.revision);
        else
            result.unmatched.insert(entry.item.id, entry.revision);
    }
    return result;
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
        m_shownQuery = m_query;
        invalidateRowsFilter();
        Q_EMIT resultsReady();
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

void HistorySearchModel::startBackgroundSearch()
{
    m_running = true;
    m_pending = false;
    m_cancel = std::make_shared<std::atomic_bool>(false);
    // The worker reads a copy of the entries; their texts are shared, not duplicated.
    const QList<HistoryModel::Entry> entries = m_history.entries();
    const TextSearch::Query query = m_query;
    const quint64 generation = m_generation;
    auto* watcher = new QFutureWatcher<SearchResult>(this);
    connect(watcher, &QFutureWatcher<SearchResult>::finished, this, [this, watcher, query] {
        watcher->deleteLater();
        SearchResult result = watcher->result();
        m_running = false;
        if (!result.cancelled && result.generation == m_generation) {
            m_matched = std::move(result.matched);
            m_unmatched = std::move(result.unmatched);
            m_useStoredResults = true;
            m_shownQuery = query;
            invalidateRowsFilter();
            Q_EMIT resultsReady();
        }
        if (m_pending)
            startBackgroundSearch();
    });
    watcher->setFuture(QtConcurrent::run([entries, query, generation, cancel = m_cancel] {
        // The entries are shared out in equal parts over the pool's threads; this thread searches the
        // first part. While it waits for the others it gives its place in the pool back, so the parts
        // never wait for each other.
        const qsizetype parts = std::clamp<qsizetype>(QThread::idealThreadCount(), 1, 8);
        const qsizetype size = (entries.size() + parts - 1) / parts;
        QList<QFuture<SearchResult>> others;
        for (qsizetype first = size; first < entries.size(); first += size) {
            const qsizetype last = std::min(entries.size(), first + size);
            others.append(QtConcurrent::run(
                [&entries, first, last, &query, &cancel] { return searchPart(entries, first, last, query, *cancel); }));
        }
        SearchResult result = searchPart(entries, 0, std::min(size, entries.size()), query, *cancel);
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
