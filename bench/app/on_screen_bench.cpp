// SPDX-License-Identifier: GPL-3.0-or-later
// One whole frame on a 4K screen for every style, as the slideshow shows it:
// pictures made at the screen's size (3840 x 2160), the real view set up as
// the show sets it up (offscreen), a frame composed at progress 50 (step 4)
// and painted over the whole client area into the window's backing store.
// The frame is reached by a step back from 52, so that the whole client area
// is repainted, as a region style does at every frame.
//
// After every frame the same program copies a 3840 x 2160 frame with memcpy
// (between two bitmaps of its own) and times the copy too: `memcpy_ratio` is
// the median of the per-frame ratios, `memcpy_ms` the median copy. For
// reference, `compose_ratio` is the composition alone (RenderFrame of the
// same pictures into a bitmap of its own) against the same copy. Times are
// this thread's processor time.

#include <cstring>
#include <vector>

#include <QCoreApplication>

#include <benchmark/benchmark.h>

#include "fixtures/FrameFixture.h"
#include "fixtures/OffscreenApp.h"
#include "platform/system/Random.h"
#include "transition/FrameComposer.h"
#include "transition/TransitionView.h"
#include "transition/styles/StyleTable.h"

namespace {

using namespace kalvio;
using bench::Seconds;

constexpr int32_t kScreenW = 3840, kScreenH = 2160;

void BM_FrameOnScreen(benchmark::State& state)
{
    const int style = int(state.range(0));
    bench::OffscreenApplication();
    const Bitmap& oldPicture = bench::FramePicture(kScreenW, kScreenH, 0);
    const Bitmap& newPicture = bench::FramePicture(kScreenW, kScreenH, 1);
    // The anchor copies a frame between two bitmaps of its own, which the
    // frames' traffic has pushed out of the caches as it would any other.
    const Bitmap& copySource = bench::FramePicture(kScreenW, kScreenH, 2);
    Bitmap copy(kScreenW, kScreenH), composed(kScreenW, kScreenH);

    TTransitionView view;
    bench::SetUpShowView(view, kScreenW, kScreenH);
    QCoreApplication::processEvents();
    view.SetDelay(0);
    view.SetStep(100);
    view.Picture().Assign(oldPicture); // the shown picture the transition starts from
    view.Execute();
    view.Picture().Assign(newPicture);
    view.SetStyle(TShowStyle(style));
    view.SetManual(true);
    view.Execute();
    RandomSeed(1);

    std::vector<double> ratios, copies, composeRatios;
    for (auto _ : state) {
        view.SetProgress(52);
        const double t0 = Seconds(CLOCK_THREAD_CPUTIME_ID);
        view.SetProgress(50);
        const double t1 = Seconds(CLOCK_THREAD_CPUTIME_ID);
        std::memcpy(copy.bits(), copySource.bits(), copy.pixelCount() * sizeof(Pixel));
        benchmark::DoNotOptimize(copy.bits());
        benchmark::ClobberMemory();
        const double t2 = Seconds(CLOCK_THREAD_CPUTIME_ID);
        FrameResult alone = RenderFrame({ .OldBitmap = oldPicture, .NewBitmap = newPicture, .FrameBitmap = composed,
                                          .Style = style, .Progress = 50, .Step = 4 });
        benchmark::DoNotOptimize(alone);
        benchmark::ClobberMemory();
        const double t3 = Seconds(CLOCK_THREAD_CPUTIME_ID);
        state.SetIterationTime(t1 - t0);
        if (t2 > t1) {
            ratios.push_back((t1 - t0) / (t2 - t1));
            copies.push_back(t2 - t1);
            composeRatios.push_back((t3 - t2) / (t2 - t1));
        }
    }
    view.Stop();
    state.counters["memcpy_ratio"] = bench::Median(ratios);
    state.counters["memcpy_ms"] = 1000 * bench::Median(copies);
    state.counters["compose_ratio"] = bench::Median(composeRatios);
}

void Styles(benchmark::internal::Benchmark* b)
{
    for (int style = 1; style <= kLastStyle; ++style)
        b->Arg(style);
}

}

BENCHMARK(BM_FrameOnScreen)->ArgName("style")->Apply(Styles)->UseManualTime()->Unit(benchmark::kMillisecond);
