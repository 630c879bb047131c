// Opening the history panel with 20 listed entries, 10 of them images: time from the tray click to
// the painted panel, and how much memory showing it costs.
// Run: QT_QPA_PLATFORM=offscreen build/bench/pellamor_bench_panel

#include "ResidentMemory.h"
#include "app/AppDelegate.h"
#include "app/PopoverWindow.h"
#include "core/ClipboardMonitor.h"
#include "core/StorageManager.h"
#include "panel/ClipItemView.h"
#include "panel/ContentView.h"
#include "platform/FakeLoginItem.h"
#include "platform/FakePasteboard.h"
#include "platform/Preferences.h"
#include "ui/ThumbnailLoader.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

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
