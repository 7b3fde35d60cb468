// One frame of each region style at progress 50 (step 4), beside a plain copy
// of one frame's bytes at the same size. BM_Region times the region alone, so
// a slow frame shows whether building or drawing through the region costs.

#include <cstring>
#include <utility>
#include <vector>

#include <benchmark/benchmark.h>

#include "FrameFixture.h"
#include "platform/Bitmap.h"
#include "platform/Random.h"
#include "transition/FrameComposer.h"
#include "transition/styles/StyleTable.h"

namespace {

using namespace kalvio;

const std::vector<std::pair<int32_t, int32_t>> kSizes = { { 1920, 1080 }, { 6000, 4000 } };

void BM_Frame(benchmark::State& state)
{
    const int style = int(state.range(0));
    const int32_t W = int32_t(state.range(1)), H = int32_t(state.range(2));
    const Bitmap& oldPicture = bench::FramePicture(W, H, 0);
    const Bitmap& newPicture = bench::FramePicture(W, H, 1);
    Bitmap frame(W, H);
    RandomSeed(1);
    for (auto _ : state) {
        FrameResult result = RenderFrame({ .OldBitmap = oldPicture, .NewBitmap = newPicture, .FrameBitmap = frame,
                                           .Style = style, .Progress = 50, .Step = 4 });
        benchmark::DoNotOptimize(result);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * W * H * int64_t(sizeof(Pixel)));
}

void BM_Region(benchmark::State& state)
{
    const int style = int(state.range(0));
    const int32_t W = int32_t(state.range(1)), H = int32_t(state.range(2));
    const Extents e = ProgressExtents(W, H, 50);
    Bitmap picture(1, 1), frame(1, 1);
    FrameRects invalidated;
    StyleRule rule = RegionStyleRule(style);
    RandomSeed(1);
    for (auto _ : state) {
        StyleFrame f { .W = W, .H = H, .PX = e.PX, .PY = e.PY, .Band = BandFor(W, H, 4),
                       .DstRect = { 0, 0, W, H }, .SrcRect = { 0, 0, W, H }, .ClipRegion = std::nullopt,
                       .NewBitmap = picture, .FrameBitmap = frame, .Invalidated = invalidated };
        rule(f);
        benchmark::DoNotOptimize(f.ClipRegion);
    }
}

void BM_FrameMemcpy(benchmark::State& state)
{
    const int32_t W = int32_t(state.range(0)), H = int32_t(state.range(1));
    const Bitmap& oldPicture = bench::FramePicture(W, H, 0);
    Bitmap frame(W, H);
    for (auto _ : state) {
        std::memcpy(frame.bits(), oldPicture.bits(), oldPicture.pixelCount() * sizeof(Pixel));
        benchmark::DoNotOptimize(frame.bits());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * W * H * int64_t(sizeof(Pixel)));
}

void StyleSizes(benchmark::internal::Benchmark* b)
{
    for (auto [W, H] : kSizes)
        for (int style = kFirstRegionStyle; style <= kLastStyle; ++style)
            b->Args({ style, W, H });
}

void Sizes(benchmark::internal::Benchmark* b)
{
    for (auto [W, H] : kSizes)
        b->Args({ W, H });
}

}

BENCHMARK(BM_FrameMemcpy)->ArgNames({ "w", "h" })->Apply(Sizes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Frame)->ArgNames({ "style", "w", "h" })->Apply(StyleSizes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Region)->ArgNames({ "style", "w", "h" })->Apply(StyleSizes)->Unit(benchmark::kMillisecond);
