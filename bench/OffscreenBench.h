#pragma once

#include "CpuClock.h"

#include <QApplication>
#include <QElapsedTimer>

#include <benchmark/benchmark.h>

// One frame's wall time and this thread's processor time, from start() (or the construction) on. On a
// loaded machine the wall time also counts what other programs took from this one; the processor time
// does not.
class FrameClock
{
public:
    FrameClock() { start(); }
    void start()
    {
        m_wall.start();
        m_cpu = threadCpuMs();
    }
    double wallMs() const { return double(m_wall.nsecsElapsed()) / 1e6; }
    double cpuMs() const { return threadCpuMs() - m_cpu; }

private:
    QElapsedTimer m_wall;
    double m_cpu = 0;
};

// The main program of a benchmark that draws widgets: offscreen, whatever the environment says.
inline int runOffscreenBenchmarks(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
