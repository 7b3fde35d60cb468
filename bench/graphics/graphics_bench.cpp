// SPDX-License-Identifier: GPL-3.0-or-later
// The graphics layer on the sizes a slideshow meets: a full-HD frame and a
// 24-megapixel picture. BM_FrameMemcpy is the anchor: a plain copy of one
// frame's bytes, the least any per-frame pass over the pixels can cost.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "platform/graphics/Arith.h"
#include "platform/graphics/BitmapDraw.h"
#include "platform/graphics/Region.h"
#include "platform/graphics/RowSelect.h"

using namespace kalvio;

namespace {

constexpr int32_t kFrameW = 1920, kFrameH = 1080;

// A lattice of the bar styles: 5-line bars every 10 lines, row bars grown to
// 1500 of 1920 columns, column bars to 800 of 1080 rows (300 bars on a
// full-HD frame).
std::vector<Rect> LatticeBars(int32_t w = kFrameW, int32_t h = kFrameH)
{
    std::vector<Rect> bars;
    for (int32_t i = 0; i < h + 5; i += 10)
        bars.push_back({ 0, i, w * 25 / 32, i + 5 });
    for (int32_t j = 0; j < w + 5; j += 10)
        bars.push_back({ j, 0, j + 5, h * 20 / 27 });
    return bars;
}

// The triangle grid at 60 % progress: 100 triangles, legs 230 and 129 on a
// full-HD frame.
std::vector<std::vector<Point>> GridTriangles(int32_t w = kFrameW, int32_t h = kFrameH)
{
    int32_t e = MulDiv(w, 60, 100) / 5, py = MulDiv(e, h, w);
    std::vector<std::vector<Point>> triangles;
    for (int32_t r = 0; r < 10; ++r)
        for (int32_t i = 0; i < 10; ++i) {
            int32_t x = w * i / 10, y = h * r / 10;
            triangles.push_back({ { x, y }, { x + e, y }, { x, y + py }, { x, y } });
        }
    return triangles;
}

Region LatticeRegion(int32_t w = kFrameW, int32_t h = kFrameH)
{
    RegionBuilder builder;
    for (const Rect& r : LatticeBars(w, h))
        builder.addRect(r);
    return builder.build();
}

void BM_RegionLattice(benchmark::State& state)
{
    const bool bulk = state.range(0) != 0;
    const std::vector<Rect> bars = LatticeBars();
    RegionBuilder builder;
    for (auto _ : state) {
        Region result;
        if (bulk) {
            for (const Rect& r : bars)
                builder.addRect(r);
            result = builder.build();
        } else {
            for (const Rect& r : bars)
                result.combine(Region::FromRect(r), CombineMode::Or);
        }
        benchmark::DoNotOptimize(result);
    }
    state.counters["bands"] = double(LatticeRegion().bandCount());
}
BENCHMARK(BM_RegionLattice)->ArgName("builder")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

void BM_RegionTriangles(benchmark::State& state)
{
    const bool bulk = state.range(0) != 0;
    const auto triangles = GridTriangles(int32_t(state.range(1)), int32_t(state.range(2)));
    RegionBuilder builder;
    for (auto _ : state) {
        Region result;
        if (bulk) {
            for (const auto& t : triangles)
                builder.addPolygon(t);
            result = builder.build();
        } else {
            for (const auto& t : triangles)
                result.combine(Region::FromPolygon(t), CombineMode::Or);
        }
        benchmark::DoNotOptimize(result);
    }
}
BENCHMARK(BM_RegionTriangles)
    ->ArgNames({ "builder", "w", "h" })
    ->Args({ 0, 1920, 1080 })
    ->Args({ 1, 1920, 1080 })
    ->Args({ 0, 6000, 4000 })
    ->Args({ 1, 6000, 4000 })
    ->Unit(benchmark::kMicrosecond);

void BM_StretchCopy24MP(benchmark::State& state)
{
    const int32_t w = int32_t(state.range(0)), h = int32_t(state.range(1));
    Bitmap src(6000, 4000, RGB(10, 20, 30));
    for (int32_t y = 0; y < src.height(); y += 7)
        src.setPixel(y % src.width(), y, RGB(200, 0, 0));
    Bitmap dst(w, h);
    for (auto _ : state) {
        StretchCopy(dst, dst.rect(), src, src.rect());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * w * h * int64_t(sizeof(Pixel)));
}
// Down to screen sizes, and within a 24-megapixel frame as the rectangle
// styles do: squeezed across (gathering columns) and squeezed down (whole rows).
BENCHMARK(BM_StretchCopy24MP)
    ->ArgNames({ "w", "h" })
    ->Args({ 3840, 2160 })
    ->Args({ 1920, 1080 })
    ->Args({ 3000, 4000 })
    ->Args({ 6000, 2000 })
    ->Unit(benchmark::kMillisecond);

// A folded style's mirrored copy of a whole 24-megapixel picture.
void BM_StretchCopyMirror24MP(benchmark::State& state)
{
    Bitmap src(6000, 4000, RGB(10, 20, 30)), dst(6000, 4000);
    for (auto _ : state) {
        StretchCopy(dst, 6000, 0, -6000, 4000, src, 0, 0, 6000, 4000);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(src.pixelCount() * sizeof(Pixel)));
}
BENCHMARK(BM_StretchCopyMirror24MP)->Unit(benchmark::kMillisecond);

// Enlarging: every destination row repeats a source row at least once.
void BM_StretchCopyEnlarge(benchmark::State& state)
{
    Bitmap src(960, 540, RGB(10, 20, 30));
    Bitmap dst(kFrameW, kFrameH);
    for (auto _ : state) {
        StretchCopy(dst, dst.rect(), src, src.rect());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * kFrameW * kFrameH * int64_t(sizeof(Pixel)));
}
BENCHMARK(BM_StretchCopyEnlarge)->Unit(benchmark::kMillisecond);

// The frame mix's per-pixel select over a whole frame (a lattice style's
// band of short spans, every row): two pictures read, one written.
void BM_SelectRow(benchmark::State& state)
{
    const int32_t w = int32_t(state.range(0)), h = int32_t(state.range(1));
    Bitmap oldPicture(w, h, RGB(1, 2, 3)), newPicture(w, h, RGB(4, 5, 6)), frame(w, h);
    std::vector<uint32_t> mask(static_cast<size_t>(w));
    for (int32_t x = 0; x < w; ++x)
        mask[size_t(x)] = x % 10 < 5 ? ~0u : 0u;
    for (auto _ : state) {
        for (int32_t y = 0; y < h; ++y)
            SelectRow(frame.row(y), oldPicture.row(y), newPicture.row(y), mask.data(), w);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * w * h * int64_t(sizeof(Pixel)));
}
BENCHMARK(BM_SelectRow)->ArgNames({ "w", "h" })->Args({ 1920, 1080 })->Args({ 3840, 2160 })->Unit(benchmark::kMicrosecond);

void BM_DrawThroughLattice(benchmark::State& state)
{
    const int32_t w = int32_t(state.range(0)), h = int32_t(state.range(1));
    const Region clip = LatticeRegion(w, h);
    Bitmap src(w, h, RGB(1, 2, 3)), dst(w, h);
    for (auto _ : state) {
        DrawThroughRegion(dst, src, clip);
        benchmark::ClobberMemory();
    }
    state.counters["pixels"] = double(clip.area());
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(clip.area()) * int64_t(sizeof(Pixel)));
}
BENCHMARK(BM_DrawThroughLattice)->ArgNames({ "w", "h" })->Args({ 1920, 1080 })->Args({ 6000, 4000 })->Unit(benchmark::kMicrosecond);

void BM_DrawThroughTriangles(benchmark::State& state)
{
    RegionBuilder builder;
    for (const auto& t : GridTriangles())
        builder.addPolygon(t);
    const Region clip = builder.build();
    Bitmap src(kFrameW, kFrameH, RGB(1, 2, 3)), dst(kFrameW, kFrameH);
    for (auto _ : state) {
        DrawThroughRegion(dst, src, clip);
        benchmark::ClobberMemory();
    }
    state.counters["pixels"] = double(clip.area());
}
BENCHMARK(BM_DrawThroughTriangles)->Unit(benchmark::kMicrosecond);

void BM_FrameMemcpy(benchmark::State& state)
{
    const int32_t w = int32_t(state.range(0)), h = int32_t(state.range(1));
    Bitmap src(w, h, RGB(1, 2, 3)), dst(w, h);
    for (auto _ : state) {
        std::memcpy(dst.bits(), src.bits(), src.pixelCount() * sizeof(Pixel));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(src.pixelCount() * sizeof(Pixel)));
}
BENCHMARK(BM_FrameMemcpy)->ArgNames({ "w", "h" })->Args({ 1920, 1080 })->Args({ 3840, 2160 })->Args({ 6000, 4000 })->Unit(benchmark::kMicrosecond);

}
