// How long a paste takes on a wlroots compositor: from WlrKeystrokeSender::send() to the text in the
// file that foot's `cat > file` writes, the terminal's own paste and the pty included. Run it under a
// headless sway of its own:
//
//   tests/e2e/run-under-sway.sh BUILD/bench/pellamor_bench_paste_wayland [ROUNDS]
//
// Prints the median, the fastest and the slowest of ROUNDS pastes (20 by default). The clipboard is set
// by this process through the data-control interface before each round, and is not timed.
#include "platform/wayland/WaylandClipboardReader.h"
#include "platform/wayland/WlrKeystrokeSender.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <thread>
#include <vector>

namespace {

// Polls until done() or 10 s have passed; false on the timeout.
bool waitFor(const std::function<bool()>& done)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > 10000)
            return false;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, atoi(argv[1])) : 20;
    if (qEnvironmentVariableIsEmpty("PELLAMOR_SWAY_DISPLAY")) {
        std::fprintf(stderr, "run it under tests/e2e/run-under-sway.sh\n");
        return 2;
    }
    WlrKeystrokeSender sender;
    if (sender.support() != KeystrokeSender::Support::Full) {
        std::fprintf(stderr, "cannot paste: %s\n", qPrintable(sender.limitation()));
        return 1;
    }
    std::atomic<int> owned{0};
    WaylandClipboardReader clipboard({}, [&owned](ClipboardSnapshot snapshot) {
        if (snapshot.ownedByUs)
            ++owned;
    });
    if (!clipboard.start()) {
        std::fprintf(stderr, "no data-control interface\n");
        return 1;
    }

    QTemporaryDir dir;
    const QString output = dir.filePath(QStringLiteral("out"));
    QProcess terminal;
    terminal.setStandardOutputFile(QProcess::nullDevice());
    terminal.setStandardErrorFile(QProcess::nullDevice());
    terminal.start(QStringLiteral("foot"), {QStringLiteral("--app-id"), QStringLiteral("bench"), QStringLiteral("sh"),
                                            QStringLiteral("-c"), QStringLiteral("cat > '%1'").arg(output)});
    if (!waitFor([&] { return sender.focusedWindow().appId == QStringLiteral("bench"); })) {
        std::fprintf(stderr, "foot did not get the focus\n");
        return 1;
    }

    QByteArray expected;
    const auto written = [&output] {
        QFile file(output);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    std::vector<double> times;
    for (int i = 0; i < rounds; ++i) {
        const QByteArray line = "round " + QByteArray::number(i) + "\n";
        const int before = owned.load();
        clipboard.publish({{QStringLiteral("text/plain;charset=utf-8")}, [line](const QString&) { return line; }});
        if (!waitFor([&] { return owned.load() > before; })) {
            std::fprintf(stderr, "the clipboard was not set\n");
            return 1;
        }
        expected += line;
        QElapsedTimer timer;
        timer.start();
        sender.send(PasteKeystroke::CtrlShiftV);
        if (!waitFor([&] { return written() == expected; })) {
            std::fprintf(stderr, "paste %d did not arrive\n", i + 1);
            return 1;
        }
        times.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    terminal.kill();
    terminal.waitForFinished();

    std::sort(times.begin(), times.end());
    const double median =
        times.size() % 2 ? times[times.size() / 2] : (times[times.size() / 2 - 1] + times[times.size() / 2]) / 2;
    std::printf("send() to the text in foot's file, %d pastes: median %.1f ms, fastest %.1f ms, slowest %.1f ms\n",
                rounds, median, times.front(), times.back());
    return 0;
}
