// SPDX-License-Identifier: GPL-3.0-or-later
// One whole frame of the transition view: the composition of style 0 at
// progress 50 plus the paint of the client area (colour, background, frame
// stretched to the client area), beside a plain copy of the same bytes.

#include <benchmark/benchmark.h>

#include "fixtures/FrameFixture.h"
#include "platform/graphics/BitmapDraw.h"
#include "transition/FrameComposer.h"
#include "transition/ViewPaint.h"

namespace {

using namespace kalvio;

struct Sizes {
    int32_t W, H, clientW, clientH;
};

void Args(benchmark::internal::Benchmark* b)
{
    b->Args({ 1920, 1080, 1920, 1080 });
    b->Args({ 6000, 4000, 3840, 2160 });
    b->Unit(benchmark::kMillisecond);
}

ClientPaint SlideshowPaint(const Bitmap& frame, int32_t clientW, int32_t clientH)
{
    ClientPaint p;
    p.color = RGB(240, 240, 240);
    p.frame = &frame;
    p.placement.client = { 0, 0, clientW, clientH };
    p.placement.pictureRect = Rect { 0, 0, frame.width(), frame.height() }.translated(
        (clientW - frame.width()) / 2, (clientH - frame.height()) / 2);
    p.placement.stretch = true;
    p.placement.center = true;
    return p;
}

void BM_ViewFrame(benchmark::State& state)
{
    const int32_t W = int32_t(state.range(0)), H = int32_t(state.range(1));
    const int32_t CW = int32_t(state.range(2)), CH = int32_t(state.range(3));
    const Bitmap& oldPicture = bench::FramePicture(W, H, 0);
    const Bitmap& newPicture = bench::FramePicture(W, H, 1);
    Bitmap frame(W, H), buffer;
    const ClientPaint paint = SlideshowPaint(frame, CW, CH);
    for (auto _ : state) {
        FrameResult result = RenderFrame({ oldPicture, newPicture, frame, 0, 50, 4, nullptr });
        benchmark::DoNotOptimize(result);
        PaintClientArea(buffer, paint);
        benchmark::DoNotOptimize(buffer.bits());
        benchmark::ClobberMemory();
    }
}

void BM_ViewPaint(benchmark::State& state)
{
    const int32_t W = int32_t(state.range(0)), H = int32_t(state.range(1));
    const int32_t CW = int32_t(state.range(2)), CH = int32_t(state.range(3));
    const Bitmap& frame = bench::FramePicture(W, H, 1);
    Bitmap buffer;
    const ClientPaint paint = SlideshowPaint(frame, CW, CH);
    for (auto _ : state) {
        PaintClientArea(buffer, paint);
        benchmark::DoNotOptimize(buffer.bits());
        benchmark::ClobberMemory();
    }
}

// A plain copy of one frame's bytes and of one client area's bytes.
using bench::BM_FrameMemcpy;

BENCHMARK(BM_ViewFrame)->Apply(Args);
BENCHMARK(BM_ViewPaint)->Apply(Args);
BENCHMARK(BM_FrameMemcpy)->Args({ 1920, 1080 })->Args({ 3840, 2160 })->Args({ 6000, 4000 })->Unit(benchmark::kMillisecond);

}
