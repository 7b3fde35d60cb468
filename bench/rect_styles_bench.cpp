// One frame of each rectangle style at progress 50, beside a plain copy of one
// frame's bytes at the same size: the copy is the floor a frame cannot beat,
// since every frame starts by drawing the whole old picture.

#include <cstring>
#include <utility>
#include <vector>

#include <benchmark/benchmark.h>

#include "FrameFixture.h"
#include "transition/FrameComposer.h"

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
    for (auto _ : state) {
        FrameResult result = RenderFrame({ .OldBitmap = oldPicture, .NewBitmap = newPicture, .FrameBitmap = frame,
                                           .Style = style, .Progress = 50, .Step = 4 });
        benchmark::DoNotOptimize(result);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * W * H * int64_t(sizeof(Pixel)));
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
        for (int style = 1; style <= 57; ++style)
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
