// One whole frame on a 4K screen for every style: the composition of a frame
// of a 24-megapixel picture (progress 50, step 4) plus the view's paint of a
// 3840 x 2160 client area, the frame stretched over all of it as in the
// slideshow. The screen copy of the finished client area is not included.

#include <benchmark/benchmark.h>

#include "FrameFixture.h"
#include "platform/Random.h"
#include "transition/FrameComposer.h"
#include "transition/ViewPaint.h"
#include "transition/styles/StyleTable.h"

namespace {

using namespace kalvio;

constexpr int32_t kPictureW = 6000, kPictureH = 4000;
constexpr int32_t kClientW = 3840, kClientH = 2160;

void BM_FrameOnScreen(benchmark::State& state)
{
    const int style = int(state.range(0));
    const Bitmap& oldPicture = bench::FramePicture(kPictureW, kPictureH, 0);
    const Bitmap& newPicture = bench::FramePicture(kPictureW, kPictureH, 1);
    Bitmap frame(kPictureW, kPictureH), buffer;
    ClientPaint paint;
    paint.frame = &frame;
    paint.placement.client = { 0, 0, kClientW, kClientH };
    paint.placement.pictureRect = frame.rect().translated((kClientW - kPictureW) / 2, (kClientH - kPictureH) / 2);
    paint.placement.stretch = true;
    paint.placement.center = true;
    RandomSeed(1);
    for (auto _ : state) {
        FrameResult result = RenderFrame({ .OldBitmap = oldPicture, .NewBitmap = newPicture, .FrameBitmap = frame,
                                           .Style = style, .Progress = 50, .Step = 4 });
        benchmark::DoNotOptimize(result);
        PaintClientArea(buffer, paint);
        benchmark::DoNotOptimize(buffer.bits());
        benchmark::ClobberMemory();
    }
}

void Styles(benchmark::internal::Benchmark* b)
{
    for (int style = 1; style <= kLastStyle; ++style)
        b->Arg(style);
}

}

BENCHMARK(BM_FrameOnScreen)->ArgName("style")->Apply(Styles)->Unit(benchmark::kMillisecond);
