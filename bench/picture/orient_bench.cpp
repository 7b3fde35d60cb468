// SPDX-License-Identifier: GPL-3.0-or-later
// Turning a 24-megapixel picture upright, for each Exif orientation, against
// copies of the same bitmap timed beside it in the same iteration:
// `memcpy_ratio` against a memcpy into a bitmap already in use (the in-place
// orientations' fair anchor), `copy_ratio` against copying into a new bitmap
// (allocation included, as the quarter turns allocate theirs). Processor time
// of the thread, page faults included; medians of the per-iteration ratios.
// BM_OrientedNaiveRotate90 is the plain per-pixel quarter turn, for comparison.
#include <cstring>
#include <vector>

#include <benchmark/benchmark.h>

#include "fixtures/Clocks.h"
#include "fixtures/FrameFixture.h"
#include "platform/picture/Orient.h"

namespace {

using namespace kalvio;
using kalvio::bench::Median;
using kalvio::bench::Seconds;

constexpr int32_t kWidth = 6000, kHeight = 4000;

double Now() { return Seconds(CLOCK_THREAD_CPUTIME_ID); }

// Runs `turn` on the picture once per iteration, each followed by its anchors.
template <typename Turn>
void TimeBesideCopies(benchmark::State& state, Turn turn)
{
    Bitmap picture = bench::FramePicture(kWidth, kHeight, 0);
    Bitmap warm(kWidth, kHeight);
    std::vector<double> memcpyRatios, copyRatios, memcpyMs;
    for (auto _ : state) {
        const double t0 = Now();
        picture = turn(std::move(picture));
        benchmark::DoNotOptimize(picture.bits());
        benchmark::ClobberMemory();
        const double t1 = Now();
        std::memcpy(warm.bits(), picture.bits(), picture.pixelCount() * sizeof(Pixel));
        benchmark::DoNotOptimize(warm.bits());
        benchmark::ClobberMemory();
        const double t2 = Now();
        {
            Bitmap copy(picture);
            benchmark::DoNotOptimize(copy.bits());
            benchmark::ClobberMemory();
        }
        const double t3 = Now();
        state.SetIterationTime(t1 - t0);
        if (t2 > t1 && t3 > t2) {
            memcpyRatios.push_back((t1 - t0) / (t2 - t1));
            copyRatios.push_back((t1 - t0) / (t3 - t2));
            memcpyMs.push_back(t2 - t1);
        }
    }
    state.counters["memcpy_ratio"] = Median(memcpyRatios);
    state.counters["copy_ratio"] = Median(copyRatios);
    state.counters["memcpy_ms"] = 1000 * Median(memcpyMs);
}

void BM_Oriented(benchmark::State& state)
{
    const Orientation orientation = Orientation(state.range(0));
    TimeBesideCopies(state, [&](Bitmap picture) { return Oriented(std::move(picture), orientation); });
}
BENCHMARK(BM_Oriented)->ArgName("orientation")->DenseRange(2, 8)->UseManualTime()->Unit(benchmark::kMillisecond);

// The quarter turn column by column, one pixel at a time: every write lands
// in another row, so each misses the cache.
void BM_OrientedNaiveRotate90(benchmark::State& state)
{
    TimeBesideCopies(state, [](const Bitmap& picture) {
        const int32_t W = picture.width(), H = picture.height();
        Bitmap upright = Bitmap::Unfilled(H, W);
        for (int32_t x = 0; x < H; ++x)
            for (int32_t y = 0; y < W; ++y)
                upright.row(y)[x] = picture.row(H - 1 - x)[y];
        return upright;
    });
}
BENCHMARK(BM_OrientedNaiveRotate90)->UseManualTime()->Unit(benchmark::kMillisecond);

}
