// Speed of the history core: loading, saving, the idle tick, the main-thread cost of a capture (with and
// without formatted text beside it) and of a copy back that reads kept formats, and the reader-thread
// cost of the user's capture rules;
// the memory of reading a huge history file and of a huge capture.
// Run: build/bench/pellamor_bench

#include "HistoryFolder.h"
#include "core/ClipboardMonitor.h"
#include "core/HistoryModel.h"
#include "core/StorageManager.h"
#include "platform/CaptureRules.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <cstring>

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

using Fixture = HistoryFolder;

void BM_LoadAndSort1000(benchmark::State& state)
{
    Fixture fixture;
    fixture.storage.save(sampleHistory(1000));
    for (auto _ : state) {
        ClipboardItems items = fixture.storage.load();
        HistoryModel::sortItems(items);
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
    HistoryModel monitorHistory(fixture.storage);
    ClipboardMonitor monitor(monitorHistory, fixture.pasteboard, fixture.preferences);
    for (auto _ : state)
        monitor.checkClipboard();
}
BENCHMARK(BM_IdlePollTick)->Unit(benchmark::kNanosecond);

// A clipboard whose texts come with formatted text beside them, as the readers prepare it.
class FormattedPasteboard : public FakePasteboard
{
public:
    KeptFormats formats;
    using FakePasteboard::contents;
    ClipboardContents contents(const QStringList& markers) const override
    {
        ClipboardContents contents = Pasteboard::contents(markers);
        if (contents.text)
            contents.formats = formats;
        return contents;
    }
};

// From the tick that sees a new text to the history holding it, with 1000 entries stored; the argument
// is the KiB of HTML offered beside the text, which is written off the main thread.
void BM_TextCaptureMainThread(benchmark::State& state)
{
    Fixture fixture;
    fixture.storage.save(sampleHistory(1000));
    HistoryModel monitorHistory(fixture.storage);
    FormattedPasteboard pasteboard;
    if (state.range(0) > 0)
        pasteboard.formats.insert(QStringLiteral("text/html"), QByteArray(state.range(0) * 1024, 'h'));
    ClipboardMonitor monitor(monitorHistory, pasteboard, fixture.preferences);
    qint64 n = 0;
    for (auto _ : state) {
        pasteboard.copyText(QStringLiteral("captured text number %1").arg(++n));
        monitor.checkClipboard();
        settle();
    }
    fixture.storage.waitForBackgroundWork();
}
BENCHMARK(BM_TextCaptureMainThread)->Arg(0)->Unit(benchmark::kMicrosecond);
// The writes of a megabyte each pile up on the worker thread: few rounds.
BENCHMARK(BM_TextCaptureMainThread)->Arg(1024)->Unit(benchmark::kMicrosecond)->Iterations(200);

// A copy back of an entry that keeps the argument's KiB of HTML: read from its file on the main thread.
void BM_CopyBackKeptFormats(benchmark::State& state)
{
    Fixture fixture;
    HistoryModel monitorHistory(fixture.storage);
    ClipboardMonitor monitor(monitorHistory, fixture.pasteboard, fixture.preferences);
    const ClipboardItem entry = ClipboardItem::captured(ClipboardItemType::Text, QStringLiteral("formatted"));
    monitorHistory.addItem(entry, {{QStringLiteral("text/html"), QByteArray(state.range(0) * 1024, 'h')}});
    settle();
    fixture.storage.waitForBackgroundWork();
    for (auto _ : state)
        monitor.copyToClipboard(entry);
}
BENCHMARK(BM_CopyBackKeptFormats)->Arg(1)->Arg(1024)->Arg(10 * 1024)->Unit(benchmark::kMicrosecond);

// A 4000 x 3000 screenshot offered as PNG: decoding and scaling on the main thread, encoding and
// writing on the storage thread (not timed here).
void BM_ImageCaptureMainThread(benchmark::State& state)
{
    Fixture fixture;
    HistoryModel monitorHistory(fixture.storage);
    ClipboardMonitor monitor(monitorHistory, fixture.pasteboard, fixture.preferences);
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

// The reader thread's time for one text change as the rules judge it: the default excluded applications
// and 20 ignore patterns (range(0) = 1) or no rules (0), over a text of range(1) bytes. The difference is
// what the rules add; wall time, since the reader waits for the pattern thread.
void BM_RulesOnTextChange(benchmark::State& state)
{
    QStringList patterns = {QStringLiteral("^\\s*\\d{6,8}\\s*$"), QStringLiteral("^[A-Za-z0-9+/=_-]{32,}$")};
    for (int i = patterns.size(); i < 20; ++i)
        patterns << QStringLiteral("^(?:token|secret|key)-%1[:=]\\S+").arg(i);
    const auto rules = state.range(0)
                           ? std::make_unique<CaptureRules>(CaptureRules::defaultExcludedApplications(), patterns)
                           : nullptr;
    QByteArray text;
    while (text.size() < state.range(1))
        text += "The quick brown fox jumps over the lazy dog 0123456789. ";
    text.truncate(state.range(1));
    const QList<QByteArray> offered = {"TARGETS", "UTF8_STRING", "text/plain"};
    for (auto _ : state) {
        ClipboardSnapshot snapshot;
        snapshot.owner = QStringLiteral("XTerm");
        ClipboardReading::readOffered(
            offered, ClipboardMonitor::sensitiveMarkerTypes(), true,
            [&](const QByteArray&, qint64, QByteArray& out) {
                out = text;
                return ClipboardReading::Outcome::Done;
            },
            snapshot, rules.get());
        benchmark::DoNotOptimize(snapshot);
    }
}
BENCHMARK(BM_RulesOnTextChange)
    ->ArgsProduct({{0, 1}, {100, 4096, 64 * 1024}})
    ->ArgNames({"rules", "bytes"})
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime();

// The reader thread's time for a change of a 4 KB text with an HTML value of range(0) bytes beside it
// (0: none), from the type list to the prepared contents with the HTML kept. The fetch hands over bytes
// already in memory, so this is the reading's own work, not the owner's or the transfer's. A value past
// the kept limit is given up on at the limit, as a reader does.
void BM_FormattedTextChange(benchmark::State& state)
{
    const QByteArray text(4096, 'x');
    const QByteArray html = "<html><body>" + QByteArray(state.range(0), 'x') + "</body></html>";
    QList<QByteArray> offered = {"TARGETS", "UTF8_STRING", "text/plain"};
    if (state.range(0) > 0)
        offered.append("text/html");
    qsizetype kept = 0;
    for (auto _ : state) {
        ClipboardSnapshot snapshot;
        ClipboardReading::readOffered(
            offered, ClipboardMonitor::sensitiveMarkerTypes(), true,
            [&](const QByteArray& type, qint64 limit, QByteArray& out) {
                if (type != "text/html") {
                    out = text;
                    return ClipboardReading::Outcome::Done;
                }
                if (html.size() > limit)
                    return ClipboardReading::Outcome::TooLarge;
                // A copy, as a transfer makes one.
                out = QByteArray(html.constData(), html.size());
                return ClipboardReading::Outcome::Done;
            },
            snapshot);
        const ClipboardContents contents = ClipboardReading::prepare(snapshot);
        kept = contents.formats.value(QStringLiteral("text/html")).size();
        benchmark::DoNotOptimize(contents);
    }
    state.counters["html_kept_bytes"] = double(kept);
}
BENCHMARK(BM_FormattedTextChange)
    ->Arg(0)
    ->Arg(1024 * 1024)
    ->Arg(50 * 1024 * 1024)
    ->ArgName("html_bytes")
    ->Unit(benchmark::kMicrosecond);

// Peak and resident memory of the process, in KiB.
long statusKiB(const char* field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(qsizetype(std::strlen(field))).trimmed().split(' ').first().toLong();
    }
    return 0;
}

// Starts a new peak: VmHWM is set back to the current resident size.
void resetPeak()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

// A history of 1000 texts of 200 KB each (about 200 MB), written straight to the file.
void writeLargeHistory(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return;
    QByteArray text(200 * 1000, 'x');
    for (qsizetype i = 0; i < text.size(); ++i)
        text[i] = char('a' + i % 26);
    for (qsizetype i = 79; i + 1 < text.size(); i += 80) {
        text[i] = '\\';
        text[i + 1] = 'n';
    }
    file.write("[");
    for (int i = 0; i < 1000; ++i) {
        if (i > 0)
            file.write(",");
        file.write(R"({"id":")" + uuidText(QUuid::createUuid()).toLatin1() + R"(","type":"text","content":")" + text +
                   R"(","isPinned":false,"timestamp":"2025-03-14T09:26:53Z"})");
    }
    file.write("]");
}

// Peak memory while reading a 200 MB history, as a multiple of the file's size (the goal is under 3).
void BM_LoadLargeHistoryPeak(benchmark::State& state)
{
    Fixture fixture;
    writeLargeHistory(fixture.storage.historyFilePath());
    const double fileKiB = double(QFileInfo(fixture.storage.historyFilePath()).size()) / 1024;
    double peakOverFile = 0;
    for (auto _ : state) {
        resetPeak();
        const long before = statusKiB("VmRSS:");
        ClipboardItems items = fixture.storage.load();
        peakOverFile = double(statusKiB("VmHWM:") - before) / fileKiB;
        benchmark::DoNotOptimize(items);
    }
    state.counters["file_MB"] = fileKiB / 1024;
    state.counters["peak_over_file"] = peakOverFile;
}
BENCHMARK(BM_LoadLargeHistoryPeak)->Unit(benchmark::kMillisecond)->Iterations(1);

// Resident memory after a 30 MB text is captured and saved: what stays is the entry itself (60 MB of
// UTF-16) and the program, not the buffers of the capture and the save.
void BM_LargeTextCaptureResident(benchmark::State& state)
{
    Fixture fixture;
    HistoryModel monitorHistory(fixture.storage);
    ClipboardMonitor monitor(monitorHistory, fixture.pasteboard, fixture.preferences);
    const long start = statusKiB("VmRSS:");
    long after = 0;
    for (auto _ : state) {
        fixture.pasteboard.copyText(QString(30 * 1000 * 1000, QChar(u'x')));
        monitor.checkClipboard();
        settle();
        fixture.storage.waitForBackgroundWork();
        fixture.pasteboard.copyText(QString());
        after = statusKiB("VmRSS:");
    }
    state.counters["rss_start_MB"] = double(start) / 1024;
    state.counters["rss_after_MB"] = double(after) / 1024;
}
BENCHMARK(BM_LargeTextCaptureResident)->Unit(benchmark::kMillisecond)->Iterations(1);

// Resident memory after 50 different 1200 x 1200 images are opened in the preview, which loads each
// through the decoded-image cache (50 images at most, and at most 64 MiB of them).
void BM_FiftyImagePreviewsResident(benchmark::State& state)
{
    Fixture fixture;
    QStringList names;
    for (int i = 0; i < 50; ++i) {
        QImage image(1200, 1200, QImage::Format_RGB32);
        image.fill(QColor::fromHsv(i * 7, 200, 200));
        names.append(fixture.storage.saveImage(image));
    }
    fixture.storage.waitForBackgroundWork();
    long before = 0;
    long after = 0;
    for (auto _ : state) {
        StorageManager storage(fixture.storage.appSupportDir());
        before = statusKiB("VmRSS:");
        for (const QString& name : std::as_const(names))
            benchmark::DoNotOptimize(storage.loadImage(name));
        after = statusKiB("VmRSS:");
    }
    state.counters["rss_growth_MB"] = double(after - before) / 1024;
}
BENCHMARK(BM_FiftyImagePreviewsResident)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
