#pragma once

#include "HistoryModel.h"
#include "TextSearch.h"

#include <QHash>
#include <QSortFilterProxyModel>

#include <atomic>
#include <memory>

// The history filtered by the search text, in history order. An empty query lets every entry through.
//
// Small histories are filtered at once on the main thread. Once the text to search is larger than
// `backgroundThreshold` characters, the matching runs on a worker thread: each query gets a new
// generation, a newer query cancels the running search, and at most one query waits behind it (the
// newest), so fast typing never queues work. Until its results arrive the list keeps the previous ones.
// Texts longer than a search key are matched at once by their beginning; the rest of them is searched
// the same way on the worker, and the entries it matches join the list when it returns.
class HistorySearchModel : public QSortFilterProxyModel
{
    Q_OBJECT

public:
    // HighlightsRole: where the shown query matches an entry's text (QList<TextSearch::Range>), found
    // once per entry and query; none while the query is empty and for images.
    enum Role { HighlightsRole = HistoryModel::IdRole + 16 };

    // A query that fails everywhere (a pinyin word checked against every Chinese character) costs
    // 3 to 5 ms of CPU per million characters on the main thread; at this size that stays under a frame.
    static constexpr qsizetype defaultBackgroundThreshold = 2'000'000;

    explicit HistorySearchModel(HistoryModel& history, QObject* parent = nullptr);
    ~HistorySearchModel() override;

    void setQuery(const QString& text);
    // The query whose results are shown: the newest one, or the one before while a search runs.
    const TextSearch::Query& query() const { return m_shownQuery; }
    bool isSearching() const { return !m_shownQuery.isEmpty(); }
    // A search is running on the worker thread.
    bool isBusy() const { return m_running; }
    quint64 generation() const { return m_generation; }

    HistoryModel& history() const { return m_history; }
    const ClipboardItem& itemAt(int row) const;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

    void setBackgroundThreshold(qsizetype characters) { m_backgroundThreshold = characters; }

Q_SIGNALS:
    // Around the rows a new query (or the worker's answer) lets through: a view may ignore the row
    // signals between the two and read the rows anew after the second.
    void rowsAboutToBeRefiltered();
    void rowsRefiltered();
    // The rows now shown belong to the newest query.
    void resultsReady();
    // Every entry has been searched to its end for the newest query.
    void searchFinished();

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;

private:
    void startBackgroundSearch();
    void refilter(const TextSearch::Query& shown);

    HistoryModel& m_history;
    QString m_queryText;
    TextSearch::Query m_query;
    TextSearch::Query m_shownQuery;
    quint64 m_generation = 0;
    qsizetype m_backgroundThreshold = defaultBackgroundThreshold;
    // Results of the last background search, by entry, with the revision they were computed for.
    QHash<QUuid, quint64> m_matched;
    QHash<QUuid, quint64> m_unmatched;
    bool m_useStoredResults = false;
    bool m_running = false;
    bool m_pending = false;
    std::shared_ptr<std::atomic_bool> m_cancel;
    // Highlights found for the shown query, by entry, with the revision they were found for.
    mutable QHash<QUuid, std::pair<quint64, QList<TextSearch::Range>>> m_highlights;
};
