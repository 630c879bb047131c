// Opening the history panel with 20 listed entries, 10 of them images: time from the tray click to
// the painted panel, and how much memory showing it costs. With 1000 text entries: opening the panel
// with an empty query, the rows gliding after a delete, and a capture to its row in the open panel.
// The keystroke to the repainted list is in bench_search.
// Run: QT_QPA_PLATFORM=offscreen build/bench/pellamor_bench_panel

#include "OffscreenBench.h"
#include "ResidentMemory.h"
#include "app/AppDelegate.h"
#include "app/PopoverWindow.h"
#include "core/ClipboardMonitor.h"
#include "core/StorageManager.h"
#include "panel/ClipItemView.h"
#include "panel/ClipListView.h"
#include "panel/ContentView.h"
#include "platform/Preferences.h"
#include "platform/fakes/FakeLoginItem.h"
#include "platform/fakes/FakePasteboard.h"
#include "ui/ThumbnailLoader.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
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

// A capture to its row in the open panel, 1000 entries listed: from the history taking the new entry
// until the panel has a row for it and is repainted, in wall time and the main thread's CPU time.
void BM_CaptureToRow(benchmark::State& state)
{
    QTemporaryDir dir;
    auto delegate = launchWithTexts(dir, 20, 2000);
    delegate->togglePopover();
    PopoverWindow* popover = delegate->popover();
    ContentView* panel = delegate->contentView();
    popover->repaint();
    const auto shown = [panel](const QUuid& id) {
        const QList<ClipItemView*> rows = panel->rows();
        return std::any_of(rows.begin(), rows.end(), [&id](ClipItemView* row) { return row->item().id == id; });
    };
    double cpuMs = 0;
    qint64 n = 0;
    FrameClock clock;
    for (auto _ : state) {
        const ClipboardItem item(QUuid::createUuid(), ClipboardItemType::Text,
                                 QStringLiteral("新复制的文字 %1").arg(++n), false, std::nullopt,
                                 ClipboardItem::currentMoment());
        clock.start();
        delegate->history()->addItem(item);
        while (!shown(item.id))
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        popover->repaint();
        cpuMs += clock.cpuMs();
    }
    state.counters["main_cpu_ms"] = cpuMs / double(state.iterations());
    delegate->history()->storage().waitForBackgroundWork();
}
BENCHMARK(BM_CaptureToRow)->Unit(benchmark::kMillisecond)->Iterations(50);

} // namespace

int main(int argc, char** argv)
{
    return runOffscreenBenchmarks(argc, argv);
}
