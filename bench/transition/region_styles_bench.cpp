// SPDX-License-Identifier: GPL-3.0-or-later
// One frame of each region style at progress 50 (step 4), beside a plain copy
// of one frame's bytes at the same size. BM_Region times the region alone, so
// a slow frame shows whether building or drawing through the region costs.

#include <benchmark/benchmark.h>

#include "fixtures/FrameFixture.h"
#include "platform/graphics/Bitmap.h"
#include "platform/system/Random.h"
#include "transition/FrameComposer.h"
#include "transition/styles/StyleTable.h"

namespace {

using namespace kalvio;

const bool registered = bench::RegisterFrameBenchmarks(kFirstRegionStyle, kLastStyle);

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

void StyleSizes(benchmark::internal::Benchmark* b)
{
    bench::ApplyStyleSizes(b, kFirstRegionStyle, kLastStyle);
}

}

BENCHMARK(BM_Region)->Apply(StyleSizes);
