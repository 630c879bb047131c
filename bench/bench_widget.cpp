// The desktop widget with 1000 entries, 300 of them images: opening it, scrolling it from top to
// bottom frame by frame, and what that costs in memory.
// Run: build/bench/pellamor_bench_widget

#include "HistoryFolder.h"
#include "OffscreenBench.h"
#include "ResidentMemory.h"
#include "core/ClipboardMonitor.h"
#include "core/EntryIntents.h"
#include "core/HistoryModel.h"
#include "core/StorageManager.h"
#include "ui/ThumbnailLoader.h"
#include "widget/DesktopWidgetView.h"
#include "widget/WidgetGridView.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QScrollBar>
#include <QTemporaryDir>

#include <algorithm>
#include <benchmark/benchmark.h>

namespace {

struct History : HistoryFolder
{
    std::unique_ptr<HistoryModel> historyModel;
    std::unique_ptr<ClipboardMonitor> monitor;

    History()
    {
        const QDateTime now = ClipboardItem::currentMoment();
        ClipboardItems items;
        for (int i = 0; i < 1000; ++i) {
            if (i % 10 < 3) {
                QImage photo(800, 600, QImage::Format_RGB32);
                photo.fill(QColor::fromHsv((i * 37) % 360, 150, 210));
                items << ClipboardItem(QUuid::createUuid(), ClipboardItemType::Image,
                                       storage.saveImage(StorageManager::pngData(photo)), false, std::nullopt,
                                       now.addSecs(-i * 30));
            } else {
                items << ClipboardItem(QUuid::createUuid(), ClipboardItemType::Text,
                                       QStringLiteral("第 %1 条：会议纪要、链接和一些需要再次粘贴的文字。").arg(i),
                                       i < 5, i < 5 ? std::optional(now) : std::nullopt, now.addSecs(-i * 30));
            }
        }
        storage.save(items);
        // A fresh store: nothing of the images is in memory, as after a restart.
        monitor.reset();
        historyModel = std::make_unique<HistoryModel>(storage);
        monitor = std::make_unique<ClipboardMonitor>(*historyModel, pasteboard, preferences);
    }
};

void BM_WidgetOpenScrollMemory(benchmark::State& state)
{
    for (auto _ : state) {
        state.PauseTiming();
        auto history = std::make_unique<History>();
        StorageManager fresh(history->storage.appSupportDir());
        HistoryModel monitorHistory(fresh);
        ClipboardMonitor monitor(monitorHistory, history->pasteboard, history->preferences);
        QCoreApplication::processEvents();
        const long before = residentKiB();
        state.ResumeTiming();

        QElapsedTimer open;
        open.start();
        EntryIntents intents;
        DesktopWidgetView board(monitorHistory, intents, fresh, history->preferences);
        board.show();
        board.repaint();
        const double openMs = double(open.nsecsElapsed()) / 1e6;

        // Scroll top to bottom in 60-pixel frames, as a wheel does; thumbnails arrive as they decode.
        QScrollBar* bar = board.grid()->verticalScrollBar();
        double slowestFrame = 0;
        double totalFrames = 0;
        int frames = 0;
        int slowFrames = 0;
        int slowestIndex = 0;
        for (int value = 0; value <= bar->maximum(); value += 60) {
            QElapsedTimer frame;
            frame.start();
            bar->setValue(value);
            QCoreApplication::processEvents();
            board.grid()->viewport()->repaint();
            const double ms = double(frame.nsecsElapsed()) / 1e6;
            if (ms > slowestFrame)
                slowestIndex = frames;
            slowestFrame = std::max(slowestFrame, ms);
            if (ms > 16)
                ++slowFrames;
            totalFrames += ms;
            ++frames;
        }
        ThumbnailLoader::waitForDone();
        QCoreApplication::processEvents();
        board.grid()->viewport()->repaint();

        state.PauseTiming();
        state.counters["open_ms"] = openMs;
        state.counters["frames"] = frames;
        state.counters["mean_frame_ms"] = totalFrames / std::max(1, frames);
        state.counters["slowest_frame_ms"] = slowestFrame;
        state.counters["frames_over_16ms"] = slowFrames;
        state.counters["slowest_frame_index"] = slowestIndex;
        state.counters["growth_KiB"] = double(residentKiB() - before);
        state.ResumeTiming();
    }
}
BENCHMARK(BM_WidgetOpenScrollMemory)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace

int main(int argc, char** argv)
{
    return runOffscreenBenchmarks(argc, argv);
}
