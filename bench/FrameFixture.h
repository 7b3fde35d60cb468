#pragma once

// Pictures for the frame benchmarks. Each is a photo from the shared test
// material, tiled or cropped to the size asked for; where the photos cannot be
// read, a smooth synthetic gradient stands in. The old and the new picture of a
// frame are different variants. Each picture is made once per size and variant
// and kept for the whole run.
//
// Also the frame benchmarks themselves: BM_Frame (one frame of a style at
// progress 50, step 4, with its memcpy anchor timed beside it) and
// BM_FrameMemcpy (the same copy of one frame's bytes alone, back to back).

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <exception>
#include <map>
#include <tuple>
#include <utility>
#include <vector>

#include <benchmark/benchmark.h>

#include "Clocks.h"
#include "platform/Bitmap.h"
#include "platform/JpegLoader.h"
#include "platform/Random.h"
#include "transition/FrameComposer.h"

namespace kalvio::bench {

inline Bitmap GradientPicture(int32_t W, int32_t H, int variant)
{
    Bitmap b(W, H);
    for (int32_t y = 0; y < H; ++y) {
        Pixel* row = b.row(y);
        const uint8_t g = uint8_t(int64_t(y) * 255 / H);
        for (int32_t x = 0; x < W; ++x) {
            const uint8_t r = uint8_t(int64_t(x) * 255 / W);
            row[x] = variant % 2 ? RGB(g, uint8_t(255 - r), uint8_t(64 * variant)) : RGB(r, g, uint8_t(64 * variant));
        }
    }
    return b;
}

// `photo` repeated from the top-left corner to fill W x H (cropped where it is larger).
inline Bitmap TiledPicture(const Bitmap& photo, int32_t W, int32_t H)
{
    Bitmap b(W, H);
    for (int32_t y = 0; y < H; ++y) {
        const Pixel* source = photo.row(y % photo.height());
        Pixel* row = b.row(y);
        for (int32_t x = 0; x < W; ++x)
            row[x] = source[x % photo.width()];
    }
    return b;
}

// The decoded photo of `variant`, or an empty bitmap when it cannot be read.
inline const Bitmap& Photo(int variant)
{
    static const char* const paths[] = {
        KALVIO_PHOTO_DIR "/picosdeeuropa_by_Aitzol_Berasategi.jpg",
        KALVIO_PHOTO_DIR "/Dragonfly_by_Bolly.jpg",
    };
    static std::map<int, Bitmap> decoded;
    const int index = variant % 2;
    auto it = decoded.find(index);
    if (it == decoded.end()) {
        Bitmap photo;
        try {
            photo = LoadJpegFile(paths[index]);
        } catch (const std::exception&) {
        }
        it = decoded.emplace(index, std::move(photo)).first;
    }
    return it->second;
}

// Picture `variant` at W x H.
inline const Bitmap& FramePicture(int32_t W, int32_t H, int variant)
{
    static std::map<std::tuple<int32_t, int32_t, int>, Bitmap> made;
    const auto key = std::make_tuple(W, H, variant);
    auto it = made.find(key);
    if (it == made.end()) {
        const Bitmap& photo = Photo(variant);
        it = made.emplace(key, photo.isEmpty() ? GradientPicture(W, H, variant) : TiledPicture(photo, W, H)).first;
    }
    return it->second;
}

inline const std::vector<std::pair<int32_t, int32_t>> kFrameSizes = { { 1920, 1080 }, { 6000, 4000 } };

inline double Median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
    return values[values.size() / 2];
}

// One frame per iteration, its processor time the benchmark's (manual) time.
// Each frame is followed by the anchor: a memcpy of OldBitmap onto the same
// FrameBitmap, timed alike, so that frame and copy see the same caches and the
// same neighbours on a shared machine. `memcpy_ratio` is the median of the
// per-iteration ratios, `memcpy_ms` the median copy.
inline void BM_Frame(benchmark::State& state)
{
    const int style = int(state.range(0));
    const int32_t W = int32_t(state.range(1)), H = int32_t(state.range(2));
    const Bitmap& oldPicture = FramePicture(W, H, 0);
    const Bitmap& newPicture = FramePicture(W, H, 1);
    Bitmap frame(W, H);
    RandomSeed(1);
    std::vector<double> ratios, copies;
    for (auto _ : state) {
        const double t0 = Seconds(CLOCK_THREAD_CPUTIME_ID);
        FrameResult result = RenderFrame({ .OldBitmap = oldPicture, .NewBitmap = newPicture, .FrameBitmap = frame,
                                           .Style = style, .Progress = 50, .Step = 4 });
        benchmark::DoNotOptimize(result);
        benchmark::ClobberMemory();
        const double t1 = Seconds(CLOCK_THREAD_CPUTIME_ID);
        std::memcpy(frame.bits(), oldPicture.bits(), oldPicture.pixelCount() * sizeof(Pixel));
        benchmark::DoNotOptimize(frame.bits());
        benchmark::ClobberMemory();
        const double t2 = Seconds(CLOCK_THREAD_CPUTIME_ID);
        state.SetIterationTime(t1 - t0);
        if (t2 > t1) {
            ratios.push_back((t1 - t0) / (t2 - t1));
            copies.push_back(t2 - t1);
        }
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * W * H * int64_t(sizeof(Pixel)));
    state.counters["memcpy_ratio"] = Median(ratios);
    state.counters["memcpy_ms"] = 1000 * Median(copies);
}

inline void BM_FrameMemcpy(benchmark::State& state)
{
    const int32_t W = int32_t(state.range(0)), H = int32_t(state.range(1));
    const Bitmap& source = FramePicture(W, H, 0);
    Bitmap target(W, H);
    for (auto _ : state) {
        std::memcpy(target.bits(), source.bits(), source.pixelCount() * sizeof(Pixel));
        benchmark::DoNotOptimize(target.bits());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * W * H * int64_t(sizeof(Pixel)));
}

// Adds `b` for styles first .. last at each of kFrameSizes, named
// style:N/w:W/h:H.
inline void ApplyStyleSizes(benchmark::internal::Benchmark* b, int first, int last)
{
    b->ArgNames({ "style", "w", "h" });
    for (auto [W, H] : kFrameSizes)
        for (int style = first; style <= last; ++style)
            b->Args({ style, W, H });
    b->Unit(benchmark::kMillisecond);
}

// Registers BM_FrameMemcpy/w:W/h:H and BM_Frame/style:N/w:W/h:H for styles
// first .. last. Returns a value so a program can call it at static
// initialisation, before its own BENCHMARK lines.
inline bool RegisterFrameBenchmarks(int first, int last)
{
    benchmark::internal::Benchmark* memcpy = benchmark::RegisterBenchmark("BM_FrameMemcpy", BM_FrameMemcpy);
    memcpy->ArgNames({ "w", "h" });
    for (auto [W, H] : kFrameSizes)
        memcpy->Args({ W, H });
    memcpy->Unit(benchmark::kMillisecond);
    ApplyStyleSizes(benchmark::RegisterBenchmark("BM_Frame", BM_Frame)->UseManualTime(), first, last);
    return true;
}

}
