// Opening the history panel with 20 listed entries, 10 of them images: time from the tray click to
// the painted panel, and how much memory showing it costs. With 1000 text entries: opening the panel
// with an empty query, a keystroke to the repainted result list, and how many row widgets a list of
// 1000 results keeps alive.
// Run: QT_QPA_PLATFORM=offscreen build/bench/pellamor_bench_panel

#include "OffscreenBench.h"
#include "ResidentMemory.h"
#include "app/AppDelegate.h"
#include "app/PopoverWindow.h"
#include "core/ClipboardMonitor.h"
#include "core/HistorySearchModel.h"
#include "core/StorageManager.h"
#include "panel/ClipItemView.h"
#include "panel/ClipListView.h"
#include "panel/ContentView.h"
#include "platform/Preferences.h"
#include "platform/fakes/FakeLoginItem.h"
#include "platform/fakes/FakePasteboard.h"
#include "ui/SearchField.h"
#include "ui/ThumbnailLoader.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>

#include <benchmark/benchmark.h>

namespace {

struct Panel
{
    QTemporaryDir dir;
    AppDelegate delegate;

    Panel()
    {
        auto storage = std::make_unique<StorageManager>(dir.filePath(QStringLiteral("Pellamor")));
        auto preferences = std::make_unique<Preferences>(dir.filePath(QStringLiteral("prefs.conf")));
        preferences->setDisplayCount(20);
        QRandomGenerator random(3);
        const QDateTime now = ClipboardItem::currentMoment();
        ClipboardItems items;
        for (int i = 0; i < 20; ++i) {
            if (i % 2) {
                QImage photo(1200, 900, QImage::Format_RGB32);
                photo.fill(QColor::fromHsv(int(random.bounded(360)), 160, 200));
                items << ClipboardItem(QUuid::createUuid(), ClipboardItemType::Image,
                                       storage->saveImage(StorageManager::pngData(photo)), false, std::nullopt,
                                       now.addSecs(-i * 60));
            } else {
                items << ClipboardItem(
                    QUuid::createUuid(), ClipboardItemType::Text,
                    QStringLiteral("条目 %1：一段用于测量的文字，足够长，会占满两行的宽度并被截断。").arg(i), false,
                    std::nullopt, now.addSecs(-i * 60));
            }
        }
        storage->save(items);
        delegate.launchWith(std::move(preferences), std::move(storage), std::make_unique<FakePasteboard>(),
                            std::make_unique<FakeLoginItem>());
    }

    void waitForThumbnails()
    {
        for (int round = 0; round < 500; ++round) {
            ThumbnailLoader::waitForDone();
            QCoreApplication::processEvents();
            bool all = true;
            for (ClipItemView* row : delegate.contentView()->rows())
                all = all && (row->item().isText() || row->hasThumbnail());
            if (all)
                return;
        }
    }
};

void BM_OpenPanel(benchmark::State& state)
{
    Panel panel;
    PopoverWindow* popover = panel.delegate.popover();
    for (auto _ : state) {
        panel.delegate.togglePopover();
        popover->repaint();
        state.PauseTiming();
        panel.waitForThumbnails();
        panel.delegate.togglePopover();
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_OpenPanel)->Unit(benchmark::kMillisecond)->Iterations(20);

// The first opening, thumbnails decoded and painted included, and what it adds to the resident size.
void BM_FirstOpenMemory(benchmark::State& state)
{
    for (auto _ : state) {
        state.PauseTiming();
        auto panel = std::make_unique<Panel>();
        QCoreApplication::processEvents();
        const long before = residentKiB();
        state.ResumeTiming();
        QElapsedTimer firstPaint;
        firstPaint.start();
        panel->delegate.togglePopover();
        panel->delegate.popover()->repaint();
        const double firstPaintMs = double(firstPaint.nsecsElapsed()) / 1e6;
        panel->waitForThumbnails();
        panel->delegate.popover()->repaint();
        state.PauseTiming();
        state.counters["first_paint_ms"] = firstPaintMs;
        state.counters["growth_KiB"] = double(residentKiB() - before);
        panel.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_FirstOpenMemory)->Unit(benchmark::kMillisecond)->Iterations(1);

// 1000 text entries of the given length range, ten minutes apart.
std::unique_ptr<AppDelegate> launchWithTexts(QTemporaryDir& dir, int minLength, int maxLength)
{
    static const QStringList words = {QStringLiteral("会议"),  QStringLiteral("记录"),    QStringLiteral("report"),
                                      QStringLiteral("draft"), QStringLiteral("数据"),    QStringLiteral("Linux"),
                                      QStringLiteral("安排"),  QStringLiteral("meeting"), QStringLiteral("notes")};
    auto storage = std::make_unique<StorageManager>(dir.filePath(QStringLiteral("Pellamor")));
    auto preferences = std::make_unique<Preferences>(dir.filePath(QStringLiteral("prefs.conf")));
    preferences->setDisplayCount(20);
    QRandomGenerator random(11);
    const QDateTime now = ClipboardItem::currentMoment();
    ClipboardItems items;
    for (int i = 0; i < 1000; ++i) {
        const int length = int(random.bounded(minLength, maxLength + 1));
        QString text;
        while (text.size() < length)
            text += words.at(int(random.bounded(words.size()))) + (random.bounded(8) ? u' ' : u'\n');
        text.truncate(length);
        items << ClipboardItem(QUuid::createUuid(), ClipboardItemType::Text, text, false, std::nullopt,
                               now.addSecs(-i * 600));
    }
    storage->save(items);
    auto delegate = std::make_unique<AppDelegate>();
    delegate->launchWith(std::move(preferences), std::move(storage), std::make_unique<FakePasteboard>(),
                         std::make_unique<FakeLoginItem>());
    return delegate;
}

// The tray click to the painted panel, 1000 entries in the history, the field empty.
void BM_OpenPanel1000(benchmark::State& state)
{
    QTemporaryDir dir;
    auto delegate = launchWithTexts(dir, 20, 2000);
    for (auto _ : state) {
        delegate->togglePopover();
        delegate->popover()->repaint();
        state.PauseTiming();
        delegate->togglePopover();
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_OpenPanel1000)->Unit(benchmark::kMillisecond)->Iterations(20);

// One keystroke to the repainted list, cycling through queries that match many, few and no entries;
// also the row widgets alive after a query that lists every entry.
void keystroke(benchmark::State& state, int minLength, int maxLength)
{
    QTemporaryDir dir;
    auto delegate = launchWithTexts(dir, minLength, maxLength);
    delegate->togglePopover();
    PopoverWindow* popover = delegate->popover();
    ContentView* panel = delegate->contentView();
    popover->repaint();
    const QStringList queries = {QStringLiteral("e"),    QStringLiteral("hy"),  QStringLiteral("会议 not"),
                                 QStringLiteral("repo"), QStringLiteral("xyz"), QString()};
    int step = 0;
    for (auto _ : state) {
        panel->searchField()->setText(queries.at(step++ % queries.size()));
        while (panel->searchModel()->isBusy())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        QCoreApplication::processEvents();
        popover->repaint();
    }
    // A query nearly every entry matches.
    panel->searchField()->setText(QStringLiteral("e"));
    while (panel->searchModel()->isBusy())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    QCoreApplication::processEvents();
    popover->repaint();
    state.counters["results"] = panel->searchModel()->rowCount();
    state.counters["row_widgets"] = double(panel->findChildren<ClipItemView*>().size());
}

// A delete makes the 20 listed rows glide up: the time of one deletion, and the longest frame (a turn
// of the event loop and a repaint) while the rows move, in wall time and in the main thread's CPU time
// (on a loaded machine the wall time mostly measures waiting for a core). The first frame after the
// delete also re-sizes the panel's window.
void BM_ListMotionFrames(benchmark::State& state)
{
    QTemporaryDir dir;
    auto delegate = launchWithTexts(dir, 20, 2000);
    delegate->togglePopover();
    PopoverWindow* popover = delegate->popover();
    ClipListView* list = delegate->contentView()->list();
    popover->repaint();
    double longestFrameMs = 0;
    double firstFrameCpuMs = 0;
    double longestLaterFrameCpuMs = 0;
    int frames = 0;
    FrameClock frame;
    for (auto _ : state) {
        delegate->history()->deleteItem(delegate->history()->items().first());
        state.PauseTiming();
        while (list->isMoving()) {
            QThread::msleep(4);
            frame.start();
            QCoreApplication::processEvents();
            popover->repaint();
            longestFrameMs = std::max(longestFrameMs, frame.wallMs());
            const double cpuMs = frame.cpuMs();
            double& longest = frames == 0 ? firstFrameCpuMs : longestLaterFrameCpuMs;
            longest = std::max(longest, cpuMs);
            ++frames;
        }
        frames = 0;
        state.ResumeTiming();
    }
    state.counters["longest_frame_ms"] = longestFrameMs;
    state.counters["first_frame_cpu_ms"] = firstFrameCpuMs;
    state.counters["later_frames_cpu_ms"] = longestLaterFrameCpuMs;
}
BENCHMARK(BM_ListMotionFrames)->Unit(benchmark::kMillisecond)->Iterations(10);

void BM_KeystrokeShortEntries(benchmark::State& state)
{
    keystroke(state, 20, 2000);
}
BENCHMARK(BM_KeystrokeShortEntries)->Unit(benchmark::kMillisecond)->Iterations(60);

void BM_Keystroke50KBEntries(benchmark::State& state)
{
    keystroke(state, 25'000, 25'000); // 25,000 UTF-16 units: 50 KB each
}
BENCHMARK(BM_Keystroke50KBEntries)->Unit(benchmark::kMillisecond)->Iterations(30);

} // namespace

int main(int argc, char** argv)
{
    return runOffscreenBenchmarks(argc, argv);
}
