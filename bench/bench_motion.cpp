// A history row while its pin button scales and fades and its delete button fades: what one frame of
// the transition costs, drawn offscreen at several points of the transition, at 1x and 2x.
// A frame must stay well under 16 ms.
// Run: QT_QPA_PLATFORM=offscreen build/bench/pellamor_bench_motion

#include "HistoryFolder.h"
#include "OffscreenBench.h"
#include "core/ClipboardMonitor.h"
#include "panel/ClipItemView.h"
#include "ui/PressableActionButton.h"
#include "ui/Transition.h"

#include <QApplication>
#include <QImage>
#include <QTemporaryDir>
#include <QVariantAnimation>

#include <algorithm>
#include <benchmark/benchmark.h>

namespace {

struct Row : HistoryFolder
{
    HistoryModel history{storage};
    ClipboardMonitor monitor{history, pasteboard, preferences};
    ClipItemView view{history, storage};

    Row()
    {
        view.setItem(ClipboardItem(
            QUuid::createUuid(), ClipboardItemType::Text,
            QStringLiteral("条目：一段用于测量的文字 with some Latin words, 足够长，会占满两行的宽度并被截断。"), false,
            std::nullopt, ClipboardItem::currentMoment()));
        view.resize(340, view.heightForWidth(340));
        view.show();
        view.setHovered(true);
    }

    // The buttons where the transition has them at `presence` (0 gone, 1 in place; the spring passes
    // slightly beyond 1).
    void setPresence(qreal presence)
    {
        view.pinButton()->setTransition(qBound(0.0, presence, 1.0), presence);
        view.deleteButton()->setTransition(qBound(0.0, presence, 1.0), 1);
    }
};

// The whole row drawn, as when its buttons move and the window repaints the row.
void BM_RowFrame(benchmark::State& state)
{
    Row row;
    const qreal presence = state.range(0) / 100.0;
    const qreal ratio = state.range(1);
    row.setPresence(presence);
    QImage frame(row.view.size() * ratio, QImage::Format_ARGB32_Premultiplied);
    frame.setDevicePixelRatio(ratio);
    for (auto _ : state) {
        frame.fill(Qt::white);
        row.view.render(&frame);
        benchmark::DoNotOptimize(frame.constBits());
    }
}
BENCHMARK(BM_RowFrame)
    ->ArgsProduct({{0, 25, 50, 75, 100, 102}, {1, 2}})
    ->ArgNames({"presence%", "scale"})
    ->Unit(benchmark::kMicrosecond);

// One step of the transition: the spring's value handed to both buttons (without drawing).
void BM_TransitionStep(benchmark::State& state)
{
    Row row;
    qreal presence = 0;
    for (auto _ : state) {
        presence = presence >= 1 ? 0 : presence + 0.01;
        row.setPresence(presence);
    }
}
BENCHMARK(BM_TransitionStep)->Unit(benchmark::kNanosecond);

// A whole transition inside the panel's animated update, from hover to settled, driven by the event
// loop as in the panel. For every tick of the spring: the tick's events and the row's repaint, the
// longest of them, as wall time and as this thread's processor time (the wall time also counts other
// programs on a loaded machine).
void BM_WholeTransition(benchmark::State& state)
{
    Row row;
    row.view.setHovered(false);
    bool hovered = false;
    double longestWall = 0;
    double longestCpu = 0;
    int ticks = 0;
    for (auto _ : state) {
        hovered = !hovered;
        QApplication::processEvents();
        AnimatedUpdate::open({});
        row.view.setHovered(hovered);
        const QVariantAnimation* spring = row.view.findChild<ButtonTransitions*>()->findChild<QVariantAnimation*>();
        int lastTime = -1;
        while (spring->state() == QAbstractAnimation::Running) {
            const FrameClock frame;
            QApplication::processEvents();
            if (spring->currentTime() == lastTime)
                continue;
            lastTime = spring->currentTime();
            row.view.repaint();
            ++ticks;
            longestWall = std::max(longestWall, frame.wallMs());
            longestCpu = std::max(longestCpu, frame.cpuMs());
        }
    }
    state.counters["ticks"] = ticks;
    state.counters["longestFrameWallMs"] = longestWall;
    state.counters["longestFrameCpuMs"] = longestCpu;
}
BENCHMARK(BM_WholeTransition)->Unit(benchmark::kMillisecond)->Iterations(6);

} // namespace

int main(int argc, char** argv)
{
    return runOffscreenBenchmarks(argc, argv);
}
