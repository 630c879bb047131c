// Text recognition of image entries: a 1920 x 1080 screenshot of Chinese and English text read by the
// helper process with both languages (wall time, the helper's CPU time and peak resident memory), and
// this program's memory once the helper is released, against the figure before it started; the longest gap of a
// 10 ms timer on the main thread while 20 images are read; one keystroke of a search over 1000 entries,
// 200 of them images with 2 KB of recognised text each; the program's peak resident memory while an
// 8000 x 8000 PNG in the image folder is read.
// Run: QT_QPA_PLATFORM=offscreen build/bench/pellamor_bench_ocr
// The figures depend on the load of the machine: compare them with the load average.

#include "CpuClock.h"
#include "HistoryFolder.h"
#include "ResidentMemory.h"
#include "core/ClipboardMonitor.h"
#include "core/HistoryModel.h"
#include "core/HistorySearchModel.h"
#include "core/ImageTextIndex.h"
#include "platform/fakes/FakeTextRecognizer.h"
#include "platform/tesseract/TesseractRecognizer.h"
#include "platform/tesseract/TextRecognizerProcess.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFont>
#include <QGuiApplication>
#include <QImageWriter>
#include <QPainter>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTimer>

#include <benchmark/benchmark.h>
#include <cstring>
#include <ctime>
#include <sys/resource.h>

namespace {

// A full-HD screenshot of a document: lines of mixed Chinese and English at a screen's usual size.
QImage screenshot()
{
    QImage image(1920, 1080, QImage::Format_RGB32);
    image.fill(QColor(250, 250, 250));
    QPainter painter(&image);
    QFont font(QStringLiteral("Noto Sans CJK SC"));
    font.setPixelSize(20);
    painter.setFont(font);
    painter.setPen(QColor(30, 30, 30));
    const QStringList lines{
        QStringLiteral("会议纪要：明天下午三点在三楼会议室讨论第二季度预算 Budget review for Q2"),
        QStringLiteral("Error: connection refused while connecting to server 10.0.0.12 port 8080"),
        QStringLiteral("请各部门负责人提前准备材料，并把报告发送到项目邮箱 project@example.com"),
        QStringLiteral("The build failed because the test suite timed out after 300 seconds"),
    };
    for (int row = 0; row < 36; ++row)
        painter.drawText(40, 40 + row * 28, lines.at(row % lines.size()));
    return image;
}

// What the helper processes this program started, and waited for, used: CPU seconds and peak resident KiB.
struct ChildUsage
{
    double cpuSeconds = 0;
    long peakKiB = 0;
};

ChildUsage childUsage()
{
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    const auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return {seconds(usage.ru_utime) + seconds(usage.ru_stime), usage.ru_maxrss};
}

// As the program reads images: in a helper process (this benchmark, started again as one), which loads
// the engine for the first image and leaves when released.
void BM_RecognizeScreenshot(benchmark::State& state)
{
    const QImage image = screenshot();
    TextRecognizerProcess recognizer(QCoreApplication::applicationFilePath(),
                                     {QLatin1String(TextRecognizerProcess::serveArgument)});
    if (!recognizer.unavailableReason().isEmpty()) {
        state.SkipWithError("language data not installed");
        return;
    }
    const long idle = residentKiB();
    QElapsedTimer clock;
    clock.start();
    recognizer.recognize(QImage(40, 40, QImage::Format_RGB32));
    state.counters["start_and_load_s"] = double(clock.elapsed()) / 1000;
    qsizetype characters = 0;
    for (auto _ : state) {
        const QString text = recognizer.recognize(image);
        characters = text.size();
        benchmark::DoNotOptimize(text);
    }
    recognizer.release();
    const ChildUsage helper = childUsage();
    const long released = residentKiB();
    state.counters["characters"] = double(characters);
    state.counters["helper_cpu_s"] = helper.cpuSeconds;
    state.counters["helper_peak_MiB"] = double(helper.peakKiB) / 1024;
    state.counters["program_idle_MiB"] = double(idle) / 1024;
    state.counters["program_released_minus_idle_MiB"] = double(released - idle) / 1024;
}
BENCHMARK(BM_RecognizeScreenshot)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

struct History : HistoryFolder
{
    std::unique_ptr<HistoryModel> historyModel;
    std::unique_ptr<ClipboardMonitor> monitor;

    History()
    {
        historyModel = std::make_unique<HistoryModel>(storage);
        monitor = std::make_unique<ClipboardMonitor>(*historyModel, pasteboard, preferences);
    }
    void copyImage(const QImage& image)
    {
        pasteboard.copyImage(image);
        monitor->checkClipboard();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
    }
};

// Twenty screenshots of a few lines each are read while a 10 ms timer runs on the main thread; the
// longest time between two of its ticks is how long the main thread was ever kept from its work.
void BM_MainThreadGapWhileIndexing(benchmark::State& state)
{
    TextRecognizerProcess recognizer(QCoreApplication::applicationFilePath(),
                                     {QLatin1String(TextRecognizerProcess::serveArgument)});
    if (!recognizer.unavailableReason().isEmpty()) {
        state.SkipWithError("language data not installed");
        return;
    }
    for (auto _ : state) {
        History history;
        QFont font(QStringLiteral("Noto Sans CJK SC"));
        font.setPixelSize(20);
        for (int i = 0; i < 20; ++i) {
            QImage image(800, 160, QImage::Format_RGB32);
            image.fill(Qt::white);
            QPainter painter(&image);
            painter.setFont(font);
            painter.drawText(20, 40, QStringLiteral("Screenshot %1: the build failed after 300 seconds").arg(i));
            painter.drawText(20, 80, QStringLiteral("会议纪要：明天下午三点讨论第 %1 季度预算").arg(i));
            painter.drawText(20, 120, QStringLiteral("Error: connection refused on port %1").arg(8000 + i));
            painter.end();
            history.copyImage(image);
        }
        history.storage.waitForBackgroundWork();
        HistoryModel& model = history.monitor->history();
        ImageTextIndex index(*history.historyModel, history.storage, history.preferences, recognizer);
        index.setSettleDelay(0);
        model.setImageTextSource([&index](const QString& name) { return index.textOf(name); });
        QObject::connect(&index, &ImageTextIndex::textChanged, &model, &HistoryModel::refreshImageText);
        HistorySearchModel search(model);
        search.setQuery(QStringLiteral("error"));

        QEventLoop loop;
        QTimer ticks;
        ticks.setTimerType(Qt::PreciseTimer);
        ticks.setInterval(10);
        QElapsedTimer sinceTick;
        qint64 longestGapUs = 0;
        bool baseline = true;
        QObject::connect(&ticks, &QTimer::timeout, [&] {
            longestGapUs = std::max(longestGapUs, sinceTick.nsecsElapsed() / 1000);
            sinceTick.start();
            if (!baseline && index.pendingCount() == 0 && !index.isSaving())
                loop.quit();
        });
        // The same timer for three seconds with nothing to read: what the machine's load alone costs.
        QTimer::singleShot(3000, &loop, [&] {
            baseline = false;
            loop.quit();
        });
        sinceTick.start();
        ticks.start();
        loop.exec();
        state.counters["longest_gap_idle_ms"] = double(longestGapUs) / 1000.0;
        longestGapUs = 0;

        QElapsedTimer wall;
        wall.start();
        const double cpuBefore = processCpuMs();
        history.preferences.setRecognizeImageText(true);
        sinceTick.start();
        loop.exec();
        state.SetIterationTime(double(wall.nsecsElapsed()) / 1e9);
        state.counters["longest_gap_ms"] = double(longestGapUs) / 1000.0;
        state.counters["images_read"] = double(index.store().textCount());
        state.counters["found_by_error"] = double(search.rowCount());
        state.counters["cpu_s"] = (processCpuMs() - cpuBefore) / 1000;
        model.setImageTextSource({});
    }
}
BENCHMARK(BM_MainThreadGapWhileIndexing)->Unit(benchmark::kMillisecond)->Iterations(1)->UseManualTime();

// One keystroke of a search over 1000 entries: 800 texts of 20-400 characters and 200 images with
// 2 KB of recognised text each. The query is typed a letter at a time; each letter is one iteration.
void BM_SearchKeystrokeWithImageText(benchmark::State& state)
{
    History history;
    QRandomGenerator random(17);
    const QStringList words{QStringLiteral("会议"),  QStringLiteral("report"),     QStringLiteral("服务器"),
                            QStringLiteral("error"), QStringLiteral("connection"), QStringLiteral("项目"),
                            QStringLiteral("draft"), QStringLiteral("budget"),     QStringLiteral("数据")};
    const auto text = [&](int length) {
        QString out;
        while (out.size() < length)
            out += words.at(int(random.bounded(words.size()))) + QLatin1Char(' ');
        out.truncate(length);
        return out;
    };
    const QDateTime now = ClipboardItem::currentMoment();
    ClipboardItems items;
    QHash<QString, QString> imageTexts;
    for (int i = 0; i < 1000; ++i) {
        const bool image = i % 5 == 0;
        const QString content = image ? QStringLiteral("image-%1.png").arg(i) : text(int(random.bounded(20, 400)));
        if (image)
            imageTexts.insert(content, text(2048) + QStringLiteral(" invoice-%1").arg(i));
        items << ClipboardItem(QUuid::createUuid(), image ? ClipboardItemType::Image : ClipboardItemType::Text, content,
                               false, std::nullopt, now.addSecs(-i * 60));
    }
    history.storage.save(items);
    history.monitor.reset();
    history.historyModel = std::make_unique<HistoryModel>(history.storage);
    history.monitor =
        std::make_unique<ClipboardMonitor>(*history.historyModel, history.pasteboard, history.preferences);
    HistoryModel& model = history.monitor->history();
    model.setImageTextSource([&imageTexts](const QString& name) { return imageTexts.value(name); });
    HistorySearchModel search(model);

    const QString query = QStringLiteral("invoice-95");
    qsizetype typed = 0;
    int rows = 0;
    for (auto _ : state) {
        typed = typed % query.size() + 1;
        QElapsedTimer timer;
        timer.start();
        search.setQuery(query.left(typed));
        while (search.isBusy())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        rows = search.rowCount();
        state.SetIterationTime(double(timer.nsecsElapsed()) / 1e9);
    }
    state.counters["rows_last_keystroke"] = rows;
    state.counters["searched_chars"] = double(model.searchedTextSize());
    model.setImageTextSource({});
}
BENCHMARK(BM_SearchKeystrokeWithImageText)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(100);

// An 8000 x 8000 PNG in the image folder (an older version stored images whole, or a file was put
// there) with a few lines of text, read with recognition on. The figure is the program's peak resident
// memory from building the index to the end of the reading; the helper process is not counted.
void BM_PeakWhileReadingHugeImage(benchmark::State& state)
{
    TextRecognizerProcess engine(QCoreApplication::applicationFilePath(),
                                 {QLatin1String(TextRecognizerProcess::serveArgument)});
    FakeTextRecognizer standIn;
    // Without the language data the decoding is still measured, with a recognizer that reads nothing.
    TextRecognizer& recognizer = engine.unavailableReason().isEmpty() ? static_cast<TextRecognizer&>(engine) : standIn;
    for (auto _ : state) {
        History history;
        const QString name = uuidText(QUuid::createUuid()) + QStringLiteral(".png");
        {
            QImage huge(8000, 8000, QImage::Format_RGB32);
            huge.fill(Qt::white);
            QPainter painter(&huge);
            QFont font(QStringLiteral("Noto Sans CJK SC"));
            font.setPixelSize(160);
            painter.setFont(font);
            for (int row = 0; row < 6; ++row)
                painter.drawText(200, 600 + row * 1200, QStringLiteral("Quarterly report %1 会议纪要").arg(row));
            painter.end();
            QImageWriter writer(QDir(history.storage.imagesDir()).filePath(name), "png");
            writer.write(huge);
        }
        history.storage.save({ClipboardItem(QUuid::createUuid(), ClipboardItemType::Image, name, false, std::nullopt,
                                            ClipboardItem::currentMoment())});
        history.monitor.reset();
        history.historyModel = std::make_unique<HistoryModel>(history.storage);
        history.monitor =
            std::make_unique<ClipboardMonitor>(*history.historyModel, history.pasteboard, history.preferences);
        ImageTextIndex index(*history.historyModel, history.storage, history.preferences, recognizer);
        index.setSettleDelay(0);
        QEventLoop loop;
        QObject::connect(&index, &ImageTextIndex::idle, &loop, &QEventLoop::quit);
        resetPeakResident();
        const long before = peakResidentKiB();
        QElapsedTimer wall;
        wall.start();
        history.preferences.setRecognizeImageText(true);
        if (index.pendingCount() > 0)
            loop.exec();
        state.SetIterationTime(double(wall.nsecsElapsed()) / 1e9);
        state.counters["peak_MiB"] = double(peakResidentKiB()) / 1024;
        state.counters["before_MiB"] = double(before) / 1024;
        state.counters["characters"] = double(index.textOf(name).size());
    }
}
BENCHMARK(BM_PeakWhileReadingHugeImage)->Unit(benchmark::kMillisecond)->Iterations(1)->UseManualTime();

} // namespace

int main(int argc, char** argv)
{
    if (argc == 2 && std::strcmp(argv[1], TextRecognizerProcess::serveArgument) == 0) {
        TesseractRecognizer recognizer;
        return TextRecognizerProcess::serve(recognizer);
    }
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
