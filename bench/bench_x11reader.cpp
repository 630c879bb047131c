// Main-thread time per captured change, QtPasteboard against X11Pasteboard, for a 100 KB text and a
// 4000 x 3000 PNG that xclip offers. Needs an X server of its own and xclip; run it as
//
//   tests/e2e/run-under-xvfb.sh BUILD/bench/pellamor_bench_x11reader [REPEATS]
//
// "Main-thread time" is the wall time of the poll steps that run for the change, from the pasteboard's
// change signal to the new entry: the reads, the decode and the save, and for QtPasteboard the waits for
// the owner's answers and its INCR pieces too, which Qt handles inside those reads. The reader thread's
// own work is not counted: it never holds up the main thread.
#include "core/ClipboardMonitor.h"
#include "core/StorageManager.h"
#include "platform/ImageCodec.h"
#include "platform/Preferences.h"
#include "platform/QtPasteboard.h"
#include "platform/X11Pasteboard.h"

#include <QClipboard>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QGuiApplication>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <memory>

namespace {

QImage noiseImage(int width, int height)
{
    QRandomGenerator random(7);
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x)
            line[x] = 0xff000000u | (random.generate() & 0xffffffu);
    }
    return image;
}

// One captured change: main-thread milliseconds, or a negative number when nothing was captured.
double captureOnce(bool x11, const QByteArray& payload, const QString& target)
{
    QTemporaryDir dir;
    StorageManager storage(dir.filePath(QStringLiteral("Pellamor")));
    Preferences preferences(dir.filePath(QStringLiteral("Pellamor.conf")));
    std::unique_ptr<Pasteboard> pasteboard;
    if (x11)
        pasteboard =
            std::make_unique<X11Pasteboard>(QGuiApplication::clipboard(), ClipboardMonitor::sensitiveMarkerTypes());
    else
        pasteboard = std::make_unique<QtPasteboard>(QGuiApplication::clipboard());
    ClipboardMonitor monitor(storage, *pasteboard, preferences);
    // The poll step as startMonitoring() connects it, with a stopwatch around it.
    qint64 busyNs = 0;
    QObject::connect(
        pasteboard.get(), &Pasteboard::changed, &monitor,
        [&monitor, &busyNs] {
            QElapsedTimer step;
            step.start();
            monitor.checkClipboard();
            busyNs += step.nsecsElapsed();
        },
        Qt::QueuedConnection);

    QProcess xclip;
    xclip.setStandardOutputFile(QProcess::nullDevice());
    xclip.setStandardErrorFile(QProcess::nullDevice());
    QStringList arguments = {QStringLiteral("-quiet"), QStringLiteral("-selection"), QStringLiteral("clipboard"),
                             QStringLiteral("-in")};
    if (!target.isEmpty())
        arguments << QStringLiteral("-target") << target;
    xclip.start(QStringLiteral("xclip"), arguments);
    xclip.waitForStarted();
    xclip.write(payload);
    xclip.waitForBytesWritten(-1);
    xclip.closeWriteChannel();

    QEventLoop loop;
    QObject::connect(&monitor, &ClipboardMonitor::itemsChanged, &loop, &QEventLoop::quit);
    QTimer::singleShot(30000, &loop, &QEventLoop::quit);
    loop.exec();
    const double busy = double(busyNs) / 1e6;
    const bool captured = !monitor.items().isEmpty();

    storage.waitForBackgroundWork();
    xclip.kill();
    xclip.waitForFinished();
    QGuiApplication::clipboard()->clear(QClipboard::Clipboard);
    QEventLoop settle;
    QTimer::singleShot(300, &settle, &QEventLoop::quit);
    settle.exec();
    return captured ? busy : -1;
}

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    if (QGuiApplication::platformName() != u"xcb" ||
        QStandardPaths::findExecutable(QStringLiteral("xclip")).isEmpty()) {
        std::fprintf(stderr, "needs the xcb platform and xclip (run through run-under-xvfb.sh)\n");
        return 77;
    }
    const int repeats = argc > 1 ? std::max(1, QByteArray(argv[1]).toInt()) : 5;

    QByteArray text(100 * 1024, 'x');
    for (qsizetype i = 0; i < text.size(); ++i)
        text[i] = char('a' + QRandomGenerator::global()->bounded(26));
    const QByteArray png = ImageCodec::encodePng(noiseImage(4000, 3000));

    struct Case
    {
        const char* name;
        QByteArray payload;
        QString target;
    };
    const Case cases[] = {{"100 KB text", text, {}}, {"4000x3000 PNG", png, QStringLiteral("image/png")}};
    std::printf("%-16s %-14s %12s %12s  (ms of main thread per captured change, %d runs; PNG is %lld bytes)\n",
                "payload", "pasteboard", "median", "max", repeats, qlonglong(png.size()));
    for (const Case& c : cases) {
        for (const bool x11 : {false, true}) {
            QList<double> times;
            for (int i = 0; i < repeats; ++i) {
                // A different text each time, so that no run is a duplicate of the one before.
                QByteArray payload = c.payload;
                if (c.target.isEmpty())
                    payload.append(QByteArray::number(i));
                times.append(captureOnce(x11, payload, c.target));
            }
            std::sort(times.begin(), times.end());
            if (times.first() < 0) {
                std::printf("%-16s %-14s  not captured in some run\n", c.name, x11 ? "X11Pasteboard" : "QtPasteboard");
                continue;
            }
            std::printf("%-16s %-14s %12.1f %12.1f\n", c.name, x11 ? "X11Pasteboard" : "QtPasteboard",
                        times.at(times.size() / 2), times.last());
            std::fflush(stdout);
        }
    }
    return 0;
}
