// Speed of the history core: loading, saving, the idle tick and the main-thread cost of a capture.
// Run: build/bench/pellamor_bench

#include "core/ClipboardMonitor.h"
#include "core/StorageManager.h"
#include "platform/FakePasteboard.h"
#include "platform/Preferences.h"

#include <QCoreApplication>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

ClipboardItems sampleHistory(int count)
{
    QRandomGenerator random(42);
    const QDateTime now = ClipboardItem::currentMoment();
    ClipboardItems items;
    for (int i = 0; i < count; ++i) {
        const int length = 10 + int(random.bounded(1991));
        QString text;
        text.reserve(length);
        for (int c = 0; c < length; ++c)
            text.append(QChar(c % 61 == 60 ? u'\n' : char16_t(u'a' + random.bounded(26))));
        items.append(ClipboardItem(QUuid::createUuid(), ClipboardItemType::Text, text, i % 50 == 0,
                                   i % 50 == 0 ? std::optional(now.addSecs(-i)) : std::nullopt, now.addSecs(-i * 60)));
    }
    return items;
}

void settle()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
}

struct Fixture
{
    QTemporaryDir dir;
    StorageManager storage{dir.filePath(QStringLiteral("Pellamor"))};
    FakePasteboard pasteboard;
    Preferences preferences{dir.filePath(QStringLiteral("prefs.conf"))};
};

void BM_LoadAndSort1000(benchmark::State& state)
{
    Fixture fixture;
    fixture.storage.save(sampleHistory(1000));
    for (auto _ : state) {
        ClipboardItems items = fixture.storage.load();
        ClipboardMonitor::sortItems(items);
        benchmark::DoNotOptimize(items);
    }
}
BENCHMARK(BM_LoadAndSort1000)->Unit(benchmark::kMillisecond);

// The work the storage thread does for one save.
void BM_EncodeAndSave1000(benchmark::State& state)
{
    Fixture fixture;
    const ClipboardItems items = sampleHistory(1000);
    for (auto _ : state)
        fixture.storage.save(items);
}
BENCHMARK(BM_EncodeAndSave1000)->Unit(benchmark::kMillisecond);

// What a save costs the main thread: the snapshot and the hand-over.
void BM_SaveRequestOnMainThread(benchmark::State& state)
{
    Fixture fixture;
    const ClipboardItems items = sampleHistory(1000);
    for (auto _ : state)
        fixture.storage.saveInBackground(items);
    fixture.storage.waitForBackgroundWork();
}
BENCHMARK(BM_SaveRequestOnMainThread)->Unit(benchmark::kMicrosecond);

void BM_IdlePollTick(benchmark::State& state)
{
    Fixture fixture;
    ClipboardMonitor monitor(fixture.storage, fixture.pasteboard, fixture.preferences);
    for (auto _ : state)
        monitor.checkClipboard();
}
BENCHMARK(BM_IdlePollTick)->Unit(benchmark::kNanosecond);

// From the tick that sees a new text to the history holding it, with 1000 entries stored.
void BM_TextCaptureMainThread(benchmark::State& state)
{
    Fixture fixture;
    fixture.storage.save(sampleHistory(1000));
    ClipboardMonitor monitor(fixture.storage, fixture.pasteboard, fixture.preferences);
    qint64 n = 0;
    for (auto _ : state) {
        fixture.pasteboard.copyText(QStringLiteral("captured text number %1").arg(++n));
        monitor.checkClipboard();
        settle();
    }
    fixture.storage.waitForBackgroundWork();
}
BENCHMARK(BM_TextCaptureMainThread)->Unit(benchmark::kMicrosecond);

// A 4000 x 3000 screenshot offered as PNG: decoding and scaling on the main thread, encoding and
// writing on the storage thread (not timed here).
void BM_ImageCaptureMainThread(benchmark::State& state)
{
    Fixture fixture;
    ClipboardMonitor monitor(fixture.storage, fixture.pasteboard, fixture.preferences);
    QImage image(4000, 3000, QImage::Format_RGB32);
    QRandomGenerator random(7);
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            line[x] = qRgb((x / 16) % 256, (y / 16) % 256, (x * y / 4096 + int(random.bounded(8))) % 256);
    }
    const QByteArray png = StorageManager::pngData(image);
    for (auto _ : state) {
        fixture.pasteboard.copyData({{QStringLiteral("image/png"), png}});
        monitor.checkClipboard();
        settle();
        state.PauseTiming();
        fixture.storage.waitForBackgroundWork();
        state.ResumeTiming();
    }
    state.counters["png_MB"] = double(png.size()) / 1e6;
}
BENCHMARK(BM_ImageCaptureMainThread)->Unit(benchmark::kMillisecond)->Iterations(5);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
