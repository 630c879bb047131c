// Searching the history: keystroke to repainted panel list with 1000 entries of 20-2000 characters
// and of 50 KB each, the longest time the main thread is busy in one go meanwhile, opening the panel
// with 1000 entries and an empty query, and the memory the search keys take.
// Run: QT_QPA_PLATFORM=offscreen build/bench/pellamor_bench_search

#include "ResidentMemory.h"
#include "app/AppDelegate.h"
#include "app/PopoverWindow.h"
#include "core/ClipboardMonitor.h"
#include "core/HistoryModel.h"
#include "core/HistorySearchModel.h"
#include "core/StorageManager.h"
#include "panel/ContentView.h"
#include "panel/SearchField.h"
#include "platform/FakeLoginItem.h"
#include "platform/FakePasteboard.h"
#include "platform/Preferences.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTemporaryDir>

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
    std::unique_ptr<ClipboardMonitor> monitor;

    explicit Setup(const ClipboardItems& items)
    {
        storage = std::make_unique<StorageManager>(dir.filePath(QStringLiteral("Pellamor")));
        preferences = std::make_unique<Preferences>(dir.filePath(QStringLiteral("prefs.conf")));
        preferences->setDisplayCount(20);
        storage->save(items);
        monitor = std::make_unique<ClipboardMonitor>(*storage, pasteboard, *preferences);
    }
};

// Types a query one key at a time and waits for each repainted list; reports the longest single
// stretch of main-thread work (setting the text, or one turn of the event loop).
void typeAndRepaint(benchmark::State& state, int minLength, int maxLength)
{
    Setup setup(history(minLength, maxLength));
    ContentView panel(*setup.monitor, *setup.storage, *setup.preferences);
    panel.resize(340, 600);
    panel.show();
    QCoreApplication::processEvents();
    const QStringList queries = {QStringLiteral("h"),    QStringLiteral("hy"),  QStringLiteral("会议 not"),
                                 QStringLiteral("repo"), QStringLiteral("xyz"), QString()};
    double longestBlockMs = 0;
    int step = 0;
    QElapsedTimer slice;
    for (auto _ : state) {
        const QString query = queries.at(step++ % queries.size());
        slice.start();
        panel.searchField()->setText(query);
        longestBlockMs = std::max(longestBlockMs, double(slice.nsecsElapsed()) / 1e6);
        while (panel.searchModel()->isBusy()) {
            slice.start();
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
            longestBlockMs = std::max(longestBlockMs, double(slice.nsecsElapsed()) / 1e6);
        }
        slice.start();
        QCoreApplication::processEvents();
        panel.repaint();
        longestBlockMs = std::max(longestBlockMs, double(slice.nsecsElapsed()) / 1e6);
    }
    state.counters["longest_main_thread_ms"] = longestBlockMs;
}

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

// Filtering alone, without the list: the share of the keystroke the matching takes.
void BM_FilterShortEntries(benchmark::State& state)
{
    Setup setup(history(20, 2000));
    HistorySearchModel search(HistoryModel::of(*setup.monitor));
    const QStringList queries = {QStringLiteral("h"),    QStringLiteral("hy"),  QStringLiteral("会议 not"),
                                 QStringLiteral("repo"), QStringLiteral("xyz"), QString()};
    int step = 0;
    for (auto _ : state)
        search.setQuery(queries.at(step++ % queries.size())), benchmark::DoNotOptimize(search.rowCount());
}
BENCHMARK(BM_FilterShortEntries)->Unit(benchmark::kMillisecond)->Iterations(60);

// The tray click to the painted panel, 1000 entries in the history, the field empty.
void BM_OpenPanel1000Entries(benchmark::State& state)
{
    QTemporaryDir dir;
    auto storage = std::make_unique<StorageManager>(dir.filePath(QStringLiteral("Pellamor")));
    auto preferences = std::make_unique<Preferences>(dir.filePath(QStringLiteral("prefs.conf")));
    preferences->setDisplayCount(20);
    storage->save(history(20, 2000));
    AppDelegate delegate;
    delegate.launchWith(std::move(preferences), std::move(storage), std::make_unique<FakePasteboard>(),
                        std::make_unique<FakeLoginItem>());
    for (auto _ : state) {
        delegate.togglePopover();
        delegate.popover()->repaint();
        state.PauseTiming();
        delegate.togglePopover();
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_OpenPanel1000Entries)->Unit(benchmark::kMillisecond)->Iterations(20);

// What the search keys of 1000 entries add: resident size before and after, and the keys' own
// characters against the history's.
void BM_SearchKeyMemory(benchmark::State& state)
{
    for (auto _ : state) {
        Setup setup(history(20, 2000));
        qsizetype textChars = 0;
        for (const ClipboardItem& item : setup.monitor->items())
            textChars += item.content.size();
        const long before = residentKiB();
        HistoryModel& model = HistoryModel::of(*setup.monitor);
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
BENCHMARK(BM_SearchKeyMemory)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
