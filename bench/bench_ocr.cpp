// Text recognition of image entries: a 1920 x 1080 screenshot of Chinese and English text read by the
// engine with both languages, the peak resident memory meanwhile, and the memory once the engine is
// released, against the figure before it was first loaded.
// Run: QT_QPA_PLATFORM=offscreen build/bench/pellamor_bench_ocr

#include "ResidentMemory.h"
#include "platform/TesseractRecognizer.h"

#include <QFile>
#include <QFont>
#include <QGuiApplication>
#include <QPainter>

#include <benchmark/benchmark.h>

namespace {

// A line of /proc/self/status in KiB: VmHWM (peak resident), RssAnon (resident heap, without the
// pages of mapped library files).
long statusKiB(const QByteArray& field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(field + ':'))
            return line.mid(field.size() + 1).trimmed().split(' ').first().toLong();
    }
    return 0;
}

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

void BM_RecognizeScreenshot(benchmark::State& state)
{
    const QImage image = screenshot();
    TesseractRecognizer recognizer;
    if (!recognizer.unavailableReason().isEmpty()) {
        state.SkipWithError("language data not installed");
        return;
    }
    const long idle = residentKiB();
    const long idleAnon = statusKiB("RssAnon");
    qsizetype characters = 0;
    for (auto _ : state) {
        const QString text = recognizer.recognize(image);
        characters = text.size();
        benchmark::DoNotOptimize(text);
    }
    const long peak = statusKiB("VmHWM");
    recognizer.release();
    const long released = residentKiB();
    const long releasedAnon = statusKiB("RssAnon");
    state.counters["characters"] = double(characters);
    state.counters["idle_MiB"] = idle / 1024.0;
    state.counters["peak_MiB"] = peak / 1024.0;
    state.counters["released_MiB"] = released / 1024.0;
    state.counters["released_minus_idle_MiB"] = (released - idle) / 1024.0;
    state.counters["released_minus_idle_heap_MiB"] = (releasedAnon - idleAnon) / 1024.0;
}
BENCHMARK(BM_RecognizeScreenshot)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
