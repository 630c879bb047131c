// Searching the history: keystroke to repainted panel list with 1000 entries of 20-2000 characters
// and of 50 KB each, the longest time the main thread is busy in one go meanwhile, the time until the
// last match of a text searched to its end (50 KB entries, one of 30 MB), and the memory the search
// keys take. Opening the panel with 1000 entries is in bench_panel.
// Run: QT_QPA_PLATFORM=offscreen build/bench/pellamor_bench_search

#include "OffscreenBench.h"
#include "ResidentMemory.h"
#include "core/ClipboardMonitor.h"
#include "core/EntryIntents.h"
#include "core/HistoryModel.h"
#include "core/HistorySearchModel.h"
#include "core/StorageManager.h"
#include "panel/ClipItemView.h"
#include "panel/ContentView.h"
#include "platform/Preferences.h"
#include "platform/fakes/FakePasteboard.h"
#include "ui/SearchField.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTimer>

#include <benchmark/benchmark.h>

namespace {

const QStringList words = {QStringLiteral("会议"),    QStringLiteral("记录"),   QStringLiteral("项目"),
                           QStringLiteral("report"),  QStringLiteral("draft"),  QStringLiteral("clipboard"),
                           QStringLiteral("数据"),    QStringLiteral("Linux"),  QStringLiteral("安排"),
                           QStringLiteral("meeting"), QStringLiteral("服务器"), QStringLiteral("notes")};

QString randomText(QRandomGenerator& random, int length)
{
    QString text;
    text.reserve(length + 16);
    while (text.size() < length) {
        text += words.at(int(random.bounded(words.size())));
        text += random.bounded(8) == 0 ? QLatin1Char('\n') : QLatin1Char(' ');
    }
    text.truncate(length);
    return text;
}

ClipboardItems history(int minLength, int maxLength)
{
    QRandomGenerator random(7);
    const QDateTime now = ClipboardItem::currentMoment();
    ClipboardItems items;
    for (int i = 0; i < 1000; ++i) {
        const int length = minLength == maxLength ? minLength : int(random.bounded(minLength, maxLength + 1));
        items << ClipboardItem(QUuid::createUuid(), ClipboardItemType::Text, randomText(random, length), false,
                               std::nullopt, now.addSecs(-i * 600));
    }
    return items;
}

struct Setup
{
    QTemporaryDir dir;
    std::unique_ptr<StorageManager> storage;
    FakePasteboard pasteboard;
    std::unique_ptr<Preferences> preferences;
    std::unique_ptr<HistoryModel> historyModel;
    std::unique_ptr<ClipboardMonitor> monitor;

    explicit Setup(const ClipboardItems& items)
    {
        storage = std::make_unique<StorageManager>(dir.filePath(QStringLiteral("Pellamor")));
        preferences = std::make_unique<Preferences>(dir.filePath(QStringLiteral("prefs.conf")));
        preferences->setDisplayCount(20);
        storage->save(items);
        monitor.reset();
        historyModel = std::make_unique<HistoryModel>(*storage);
        monitor = std::make_unique<ClipboardMonitor>(*historyModel, pasteboard, *preferences);
    }
};

// A 5 ms timer on the main thread: the longest gap between two of its ticks is the longest time the
// main thread did not get back to its event loop. The main thread's CPU time in that gap is the same
// figure without the time other processes of a loaded machine took from it.
class MainThreadWatch
{
public:
    MainThreadWatch()
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(5);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { tick(); });
        m_timer.start();
        restart();
    }
    void restart()
    {
        m_wall.start();
        m_cpu = threadCpuMs();
    }
    void tick()
    {
        const double cpu = threadCpuMs();
        longestGapMs = std::max(longestGapMs, double(m_wall.nsecsElapsed()) / 1e6);
        longestCpuMs = std::max(longestCpuMs, cpu - m_cpu);
        m_wall.start();
        m_cpu = cpu;
    }
    double longestGapMs = 0;
    double longestCpuMs = 0;

private:
    QTimer m_timer;
    QElapsedTimer m_wall;
    double m_cpu = 0;
};

const QStringList typedQueries = {QStringLiteral("h"),    QStringLiteral("hy"),  QStringLiteral("会议 not"),
                                  QStringLiteral("repo"), QStringLiteral("xyz"), QString()};

// Types a query one key at a time and waits for each repainted list; reports the longest stretch of
// main-thread work meanwhile.
void typeAndRepaint(benchmark::State& state, int minLength, int maxLength)
{
    Setup setup(history(minLength, maxLength));
    EntryIntents intents;
    ContentView panel(*setup.historyModel, intents, *setup.storage, *setup.preferences);
    panel.resize(340, 600);
    panel.show();
    QCoreApplication::processEvents();
    MainThreadWatch watch;
    int step = 0;
    for (auto _ : state) {
        watch.restart();
        panel.searchField()->setText(typedQueries.at(step++ % typedQueries.size()));
        while (panel.searchModel()->isBusy())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        QCoreApplication::processEvents();
        panel.repaint();
        watch.tick();
    }
    state.counters["longest_main_gap_ms"] = watch.longestGapMs;
    state.counters["longest_main_cpu_ms"] = watch.longestCpuMs;
    // The row widgets alive while nearly every entry is listed.
    panel.searchField()->setText(QStringLiteral("e"));
    while (panel.searchModel()->isBusy())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    QCoreApplication::processEvents();
    state.counters["row_widgets"] = double(panel.findChildren<ClipItemView*>().size());
}

// One keystroke in the core: setQuery until the filter model holds the new results, the list left out.
// Reports the main thread's longest stretch meanwhile and the CPU time of the whole process (the
// worker threads too) per keystroke.
void coreKeystroke(benchmark::State& state, int minLength, int maxLength)
{
    Setup setup(history(minLength, maxLength));
    HistorySearchModel search(setup.monitor->history());
    int ready = 0;
    QObject::connect(&search, &HistorySearchModel::resultsReady, [&ready] { ++ready; });
    MainThreadWatch watch;
    int step = 0;
    const double cpuBefore = processCpuMs();
    for (auto _ : state) {
        const int wanted = ready + 1;
        watch.restart();
        search.setQuery(typedQueries.at(step++ % typedQueries.size()));
        // processEvents() with a time limit spins instead of waiting; the watch's timer wakes this one.
        while (ready < wanted)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        benchmark::DoNotOptimize(search.rowCount());
        watch.tick();
    }
    state.counters["process_cpu_ms_per_key"] = (processCpuMs() - cpuBefore) / double(state.iterations());
    state.counters["longest_main_gap_ms"] = watch.longestGapMs;
    state.counters["longest_main_cpu_ms"] = watch.longestCpuMs;
}

void BM_CoreKeystrokeShortEntries(benchmark::State& state)
{
    coreKeystroke(state, 20, 2000);
}
BENCHMARK(BM_CoreKeystrokeShortEntries)->Unit(benchmark::kMillisecond)->Iterations(60);

void BM_CoreKeystroke50KBEntries(benchmark::State& state)
{
    coreKeystroke(state, 25'000, 25'000);
}
BENCHMARK(BM_CoreKeystroke50KBEntries)->Unit(benchmark::kMillisecond)->Iterations(30)->UseRealTime();

// A word typed one key every 2 ms, faster than the results of 1000 entries of 50 KB arrive, then
// the wait for the whole word's results.
void BM_CoreFastTyping50KBEntries(benchmark::State& state)
{
    Setup setup(history(25'000, 25'000));
    HistorySearchModel search(setup.monitor->history());
    MainThreadWatch watch;
    const QString word = QStringLiteral("meeting xyz");
    for (auto _ : state) {
        watch.restart();
        for (qsizetype typed = 1; typed <= word.size(); ++typed) {
            search.setQuery(word.left(typed));
            QElapsedTimer pause;
            pause.start();
            while (pause.elapsed() < 2)
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        }
        while (search.isBusy() || search.query().words.size() < 2)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        benchmark::DoNotOptimize(search.rowCount());
        watch.tick();
        state.PauseTiming();
        search.setQuery(QString());
        state.ResumeTiming();
    }
    state.counters["longest_main_gap_ms"] = watch.longestGapMs;
    state.counters["longest_main_cpu_ms"] = watch.longestCpuMs;
}
BENCHMARK(BM_CoreFastTyping50KBEntries)->Unit(benchmark::kMillisecond)->Iterations(10)->UseRealTime();

// A new entry of 50 KB, or of 30 MB, arriving while a search is shown: the main thread's work from the
// capture to the filtered row (its key is folded there).
void BM_CoreAddWhileSearching(benchmark::State& state)
{
    Setup setup(history(25'000, 25'000));
    HistorySearchModel search(setup.monitor->history());
    search.setQuery(QStringLiteral("hy"));
    QTimer wake;
    wake.start(5);
    while (search.isBusy())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    QRandomGenerator random(11);
    const int length = int(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        const ClipboardItem item = ClipboardItem::captured(ClipboardItemType::Text, randomText(random, length));
        state.ResumeTiming();
        setup.monitor->history().addItem(item);
        QCoreApplication::processEvents();
    }
}
BENCHMARK(BM_CoreAddWhileSearching)->Arg(25'000)->Arg(15'000'000)->Unit(benchmark::kMillisecond)->Iterations(10);

// The time from a keystroke until the last match is known: every entry ends with the words searched,
// so each text is searched to its end. 1000 entries of 50 KB, and one entry of 30 MB (15 million
// UTF-16 units) beside 999 short ones.
void BM_CoreLastMatch(benchmark::State& state)
{
    const int count = int(state.range(0));
    const int length = int(state.range(1));
    const QString tail = QStringLiteral("\n第 4321 行 line 4321");
    ClipboardItems items = history(20, 2000);
    QRandomGenerator random(13);
    for (int i = 0; i < count; ++i)
        items[i].content = randomText(random, length) + tail;
    Setup setup(items);
    HistorySearchModel search(setup.monitor->history());
    QTimer wake;
    wake.start(5);
    const QStringList queries = {QStringLiteral("第 4321 行"), QStringLiteral("line 4321")};
    int step = 0;
    for (auto _ : state) {
        bool finished = false;
        const QMetaObject::Connection done =
            QObject::connect(&search, &HistorySearchModel::searchFinished, [&finished] { finished = true; });
        search.setQuery(queries.at(step++ % queries.size()));
        while (!finished)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        QObject::disconnect(done);
        if (search.rowCount() < count)
            state.SkipWithError("a match was missed");
    }
}
BENCHMARK(BM_CoreLastMatch)
    ->Args({1000, 25'000})
    ->Args({1, 15'000'000})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(6)
    ->UseRealTime();

void BM_KeystrokeShortEntries(benchmark::State& state)
{
    typeAndRepaint(state, 20, 2000);
}
BENCHMARK(BM_KeystrokeShortEntries)->Unit(benchmark::kMillisecond)->Iterations(60);

void BM_Keystroke50KBEntries(benchmark::State& state)
{
    typeAndRepaint(state, 25'000, 25'000); // 25,000 UTF-16 units: 50 KB each
}
BENCHMARK(BM_Keystroke50KBEntries)->Unit(benchmark::kMillisecond)->Iterations(30);

// What the search keys of 1000 entries add: resident size before and after, and the keys' own
// characters against the history's.
void BM_SearchKeyMemory(benchmark::State& state)
{
    for (auto _ : state) {
        Setup setup(history(int(state.range(0)), int(state.range(1))));
        qsizetype textChars = 0;
        for (const ClipboardItem& item : setup.monitor->items())
            textChars += item.content.size();
        const long before = residentKiB();
        HistoryModel& model = setup.monitor->history();
        const long after = residentKiB();
        qsizetype ownKeyChars = 0;
        for (const HistoryModel::Entry& entry : model.entries()) {
            if (!entry.key.folded.isSharedWith(entry.item.content))
                ownKeyChars += entry.key.folded.size();
        }
        state.counters["history_KiB"] = double(textChars * 2) / 1024;
        state.counters["key_KiB"] = double(ownKeyChars * 2) / 1024;
        state.counters["key_ratio"] = double(ownKeyChars) / double(textChars);
        state.counters["rss_before_KiB"] = double(before);
        state.counters["rss_after_KiB"] = double(after);
    }
}
BENCHMARK(BM_SearchKeyMemory)->Args({20, 2000})->Args({25'000, 25'000})->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace

int main(int argc, char** argv)
{
    return runOffscreenBenchmarks(argc, argv);
}
