// Main-thread time per captured change, for a 100 KB text, a 4000 x 3000 PNG and a list of 20 copied
// 4000 x 3000 PNG files that another application offers: on X11 QtPasteboard against X11Pasteboard with xclip as the
// other application, on Wayland WaylandPasteboard with wl-copy (QClipboard would see no change there at all without
// focus). Needs a display server of its own; run it as
//
//   tests/e2e/run-under-xvfb.sh BUILD/bench/pellamor_bench_capture [REPEATS]
//   tests/e2e/run-under-sway.sh BUILD/bench/pellamor_bench_capture [REPEATS]
//
// "Main-thread time" is the wall time of the poll steps that run for the change, from the pasteboard's
// change signal to the new entry: the reads, the decode and the save, and for QtPasteboard the waits for
// the owner's answers and its INCR pieces too, which Qt handles inside those reads. The reader thread's
// own work is not counted: it never holds up the main thread.
#include "core/ClipboardMonitor.h"
#include "core/HistoryModel.h"
#include "core/StorageManager.h"
#include "platform/ImageCodec.h"
#include "platform/Preferences.h"
#include "platform/QtPasteboard.h"
#include "platform/wayland/WaylandPasteboard.h"
#include "platform/x11/X11Pasteboard.h"

#include <QClipboard>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QGuiApplication>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>

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

enum class Kind { Qt, X11, Wayland };

const char* kindName(Kind kind)
{
    return kind == Kind::Qt ? "QtPasteboard" : kind == Kind::X11 ? "X11Pasteboard" : "WaylandPasteboard";
}

// One captured change: main-thread milliseconds, or a negative number when nothing was captured.
double captureOnce(Kind kind, const QByteArray& payload, const QString& target)
{
    QTemporaryDir dir;
    StorageManager storage(dir.filePath(QStringLiteral("Pellamor")));
    Preferences preferences(dir.filePath(QStringLiteral("Pellamor.conf")));
    std::unique_ptr<Pasteboard> pasteboard;
    if (kind == Kind::X11)
        pasteboard =
            std::make_unique<X11Pasteboard>(QGuiApplication::clipboard(), ClipboardMonitor::sensitiveMarkerTypes());
    else if (kind == Kind::Wayland)
        pasteboard = std::make_unique<WaylandPasteboard>(ClipboardMonitor::sensitiveMarkerTypes());
    else
        pasteboard = std::make_unique<QtPasteboard>(QGuiApplication::clipboard());
    HistoryModel monitorHistory(storage);
    ClipboardMonitor monitor(monitorHistory, *pasteboard, preferences);
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

    QProcess owner;
    owner.setStandardOutputFile(QProcess::nullDevice());
    owner.setStandardErrorFile(QProcess::nullDevice());
    QStringList arguments;
    if (kind == Kind::Wayland) {
        arguments = {QStringLiteral("--foreground")};
        if (!target.isEmpty())
            arguments << QStringLiteral("--type") << target;
        owner.start(QStringLiteral("wl-copy"), arguments);
    } else {
        arguments = {QStringLiteral("-quiet"), QStringLiteral("-selection"), QStringLiteral("clipboard"),
                     QStringLiteral("-in")};
        if (!target.isEmpty())
            arguments << QStringLiteral("-target") << target;
        owner.start(QStringLiteral("xclip"), arguments);
    }
    owner.waitForStarted();
    owner.write(payload);
    owner.waitForBytesWritten(-1);
    owner.closeWriteChannel();

    QEventLoop loop;
    QObject::connect(&monitorHistory, &HistoryModel::itemsChanged, &loop, &QEventLoop::quit);
    // Twenty large files take a while to decode on the reader thread of a busy machine.
    QTimer::singleShot(120000, &loop, &QEventLoop::quit);
    loop.exec();
    const double busy = double(busyNs) / 1e6;
    const bool captured = !monitor.items().isEmpty();

    storage.waitForBackgroundWork();
    owner.kill();
    owner.waitForFinished();
    if (kind != Kind::Wayland)
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
    QList<Kind> kinds;
    if (QGuiApplication::platformName() == u"xcb" && !QStandardPaths::findExecutable(QStringLiteral("xclip")).isEmpty())
        kinds = {Kind::Qt, Kind::X11};
    else if (WaylandClipboardReader::offeredProtocol() != WaylandClipboardReader::Protocol::None &&
             !QStandardPaths::findExecutable(QStringLiteral("wl-copy")).isEmpty())
        kinds = {Kind::Wayland};
    if (kinds.isEmpty()) {
        std::fprintf(stderr, "needs the xcb platform and xclip (run-under-xvfb.sh), or a compositor with "
                             "data-control and wl-copy (run-under-sway.sh)\n");
        return 77;
    }
    const int repeats = argc > 1 ? std::max(1, QByteArray(argv[1]).toInt()) : 5;

    QByteArray text(100 * 1024, 'x');
    for (qsizetype i = 0; i < text.size(); ++i)
        text[i] = char('a' + QRandomGenerator::global()->bounded(26));
    const QByteArray png = ImageCodec::encodePng(noiseImage(4000, 3000));
    // The same picture in 20 files, as a file manager offers them when they are copied together.
    QTemporaryDir files;
    QByteArray fileList;
    for (int i = 0; i < 20; ++i) {
        const QString path = files.filePath(QStringLiteral("photo%1.png").arg(i));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(png) != png.size())
            return 1;
        fileList += QUrl::fromLocalFile(path).toEncoded() + "\r\n";
    }

    struct Case
    {
        const char* name;
        QByteArray payload;
        QString target;
    };
    const Case cases[] = {{"100 KB text", text, {}},
                          {"4000x3000 PNG", png, QStringLiteral("image/png")},
                          {"20 PNG files", fileList, QStringLiteral("text/uri-list")}};
    std::printf("%-16s %-17s %12s %12s  (ms of main thread per captured change, %d runs; PNG is %lld bytes)\n",
                "payload", "pasteboard", "median", "max", repeats, qlonglong(png.size()));
    for (const Case& c : cases) {
        for (const Kind kind : std::as_const(kinds)) {
            QList<double> times;
            for (int i = 0; i < repeats; ++i) {
                // A different text each time, so that no run is a duplicate of the one before.
                QByteArray payload = c.payload;
                if (c.target.isEmpty())
                    payload.append(QByteArray::number(i));
                times.append(captureOnce(kind, payload, c.target));
            }
            std::sort(times.begin(), times.end());
            if (times.first() < 0) {
                std::printf("%-16s %-17s  not captured in some run\n", c.name, kindName(kind));
                continue;
            }
            std::printf("%-16s %-17s %12.1f %12.1f\n", c.name, kindName(kind), times.at(times.size() / 2),
                        times.last());
            std::fflush(stdout);
        }
    }
    return 0;
}
