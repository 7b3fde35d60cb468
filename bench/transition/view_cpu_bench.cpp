// SPDX-License-Identifier: GPL-3.0-or-later
// The processor time an in-line transition costs, against its wall time: the
// driver waits for events between frames instead of polling, so a transition
// should cost only its composition and painting. Runs under any Qt platform
// (offscreen unless QT_QPA_PLATFORM says otherwise).

#include <time.h>

#include <QApplication>

#include <benchmark/benchmark.h>

#include "fixtures/FrameFixture.h"
#include "fixtures/OffscreenApp.h"
#include "transition/TransitionView.h"

namespace {

using namespace kalvio;
using bench::Seconds;

// One whole transition per iteration, set up as the slideshow sets up its view.
void BM_InlineTransition(benchmark::State& state)
{
    bench::OffscreenApplication();
    const int style = int(state.range(0));
    const int32_t W = int32_t(state.range(1)), H = int32_t(state.range(2));
    TTransitionView view;
    bench::SetUpShowView(view, 1920, 1080);
    for (int i = 0; i < 20; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    view.SetStyle(TShowStyle(style));

    double cpu = 0, wall = 0;
    int frames = 0;
    view.OnProgress = [&](TTransitionView*) { ++frames; };
    int variant = 0;
    for (auto _ : state) {
        view.Picture().Assign(bench::FramePicture(W, H, variant++ % 2));
        const double c0 = Seconds(CLOCK_PROCESS_CPUTIME_ID), w0 = Seconds(CLOCK_MONOTONIC);
        view.Execute();
        cpu += Seconds(CLOCK_PROCESS_CPUTIME_ID) - c0;
        wall += Seconds(CLOCK_MONOTONIC) - w0;
    }
    state.counters["cpu_per_wall"] = cpu / wall;
    state.counters["frames"] = benchmark::Counter(frames, benchmark::Counter::kAvgIterations);
    state.counters["cpu_ms_per_frame"] = 1000 * cpu / frames;
}

BENCHMARK(BM_InlineTransition)
    ->Args({ 60, 1920, 1080 })  // a region style
    ->Args({ 1, 1920, 1080 })   // a rectangle style
    ->Args({ 60, 6000, 4000 })  // a large picture stretched to the screen
    ->Iterations(3)
    ->UseRealTime()
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond);

}
