// SPDX-License-Identifier: GPL-3.0-or-later
// Turning pictures upright. The pixel moves are written once and compiled by
// Highway for every instruction set of the architecture (this file includes
// itself once per target through foreach_target.h); the plain code beside
// them is the reference.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "platform/picture/Orient.cpp"
#include <hwy/foreach_target.h> // IWYU pragma: keep

#include <hwy/highway.h>

#include <algorithm>

#include "platform/picture/Orient.h"
#include "platform/simd/SimdTarget.h"

HWY_BEFORE_NAMESPACE();
namespace kalvio::HWY_NAMESPACE {

namespace hn = hwy::HWY_NAMESPACE;

// Reverses n pixels in place, a vector from each end at a time.
void ReverseRunVector(Pixel* p, size_t n)
{
    const hn::ScalableTag<uint32_t> d;
    const size_t N = hn::Lanes(d);
    Pixel* lo = p;
    Pixel* hi = p + n;
    while (size_t(hi - lo) >= 2 * N) {
        hi -= N;
        const auto a = hn::LoadU(d, lo), b = hn::LoadU(d, hi);
        hn::StoreU(hn::Reverse(d, b), d, lo);
        hn::StoreU(hn::Reverse(d, a), d, hi);
        lo += N;
    }
    std::reverse(lo, hi);
}

// Turns the 4 x 4 blocks of stored columns [x0, x1) and rows [y0, y1) (both
// multiples of 4 long): each block is transposed in registers, and its four
// upright rows are written four pixels at a time. Stored column x lands in
// upright row x (W - 1 - x when `mirrorColumns`), stored row y in upright
// column y (H - 1 - y when `mirrorRows`).
void TurnBlocksVector(const Bitmap& from, Bitmap& to, bool mirrorColumns, bool mirrorRows, int32_t x0, int32_t x1,
                      int32_t y0, int32_t y1)
{
    const int32_t W = from.width(), H = from.height();
#if HWY_TARGET == HWY_SCALAR
    // One lane: the dispatch runs the plain code on such machines; this only
    // keeps the target complete.
    for (int32_t x = x0; x < x1; ++x)
        for (int32_t y = y0; y < y1; ++y)
            to.row(mirrorColumns ? W - 1 - x : x)[mirrorRows ? H - 1 - y : y] = from.row(y)[x];
#else
    const hn::Full128<uint32_t> d;
    const hn::Repartition<uint64_t, decltype(d)> d64;
    auto pairs = [&](auto a, auto b, bool upper) {
        const auto a64 = hn::BitCast(d64, a), b64 = hn::BitCast(d64, b);
        return hn::BitCast(d, upper ? hn::InterleaveUpper(d64, a64, b64) : hn::InterleaveLower(d64, a64, b64));
    };
    for (int32_t x = x0; x < x1; x += 4) {
        Pixel* targets[4];
        for (int k = 0; k < 4; ++k)
            targets[k] = to.row(mirrorColumns ? W - 1 - (x + k) : x + k);
        for (int32_t y = y0; y < y1; y += 4) {
            const auto r0 = hn::LoadU(d, from.row(y) + x), r1 = hn::LoadU(d, from.row(y + 1) + x);
            const auto r2 = hn::LoadU(d, from.row(y + 2) + x), r3 = hn::LoadU(d, from.row(y + 3) + x);
            const auto t0 = hn::InterleaveLower(d, r0, r1), t1 = hn::InterleaveUpper(d, r0, r1);
            const auto t2 = hn::InterleaveLower(d, r2, r3), t3 = hn::InterleaveUpper(d, r2, r3);
            // The block's four upright pixels of a row land at [c, c + 4).
            // (No array of vectors: SVE's vectors have no size.)
            const int32_t c = mirrorRows ? H - 4 - y : y;
            auto store = [&](int k, auto column) {
                hn::StoreU(mirrorRows ? hn::Reverse(d, column) : column, d, targets[k] + c);
            };
            store(0, pairs(t0, t2, false));
            store(1, pairs(t0, t2, true));
            store(2, pairs(t1, t3, false));
            store(3, pairs(t1, t3, true));
        }
    }
#endif
}

}
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace kalvio {

namespace {

HWY_EXPORT(ReverseRunVector);
HWY_EXPORT(TurnBlocksVector);

void ReverseRun(Pixel* p, size_t n)
{
    if (simd::UsePlain())
        std::reverse(p, p + n);
    else
        HWY_DYNAMIC_DISPATCH(ReverseRunVector)(p, n);
}

void MirrorRows(Bitmap& b)
{
    for (int32_t y = 0; y < b.height(); ++y)
        ReverseRun(b.row(y), size_t(b.width()));
}

void SwapRowsUpsideDown(Bitmap& b)
{
    const size_t w = size_t(b.width());
    for (int32_t top = 0, bottom = b.height() - 1; top < bottom; ++top, --bottom)
        std::swap_ranges(b.row(top), b.row(top) + w, b.row(bottom));
}

// Where the pixels of a stored column and row go in the upright picture of an
// axis-swapping orientation: stored column x becomes upright row x (or
// W - 1 - x when mirrored), stored row y upright column y (or H - 1 - y).
struct SwapPlan {
    bool mirrorColumns; // stored column x lands in upright row W - 1 - x
    bool mirrorRows;    // stored row y lands in upright column H - 1 - y
};

SwapPlan PlanFor(Orientation o)
{
    switch (o) {
    case Orientation::Transpose: return { false, false };
    case Orientation::Rotate90: return { false, true };
    case Orientation::Rotate270: return { true, false };
    default: return { true, true }; // Transverse
    }
}

// Tiles of 128 x 128 pixels (64 KB), which stay in the second-level cache
// while they are turned. A tile is walked four stored columns at a time: the
// cache lines of its 128 rows are then reused from the first-level cache for
// the next three steps, and each step writes four upright rows, 512 bytes of
// each in a row. Of 32, 64, 128 and 256, 128 turned fastest here, by 10 to
// 40 % (bench/picture/orient_bench.cpp).
constexpr int32_t kTile = 128;

// Turns stored rows [y0, y1) x columns [x0, x1) of `from` into `to`.
void TurnTile(const Bitmap& from, Bitmap& to, SwapPlan plan, int32_t x0, int32_t x1, int32_t y0, int32_t y1)
{
    const int32_t W = from.width(), H = from.height();
    auto turnPixels = [&](int32_t x, int32_t xEnd, int32_t y, int32_t yEnd) {
        for (int32_t i = x; i < xEnd; ++i) {
            Pixel* target = to.row(plan.mirrorColumns ? W - 1 - i : i);
            for (int32_t j = y; j < yEnd; ++j)
                target[plan.mirrorRows ? H - 1 - j : j] = from.row(j)[i];
        }
    };
    if (simd::UsePlain())
        return turnPixels(x0, x1, y0, y1);
    // Blocks of 4 x 4 pixels in registers, the ragged edges pixel by pixel.
    const int32_t xBlocks = x0 + (x1 - x0) / 4 * 4;
    const int32_t yBlocks = y0 + (y1 - y0) / 4 * 4;
    HWY_DYNAMIC_DISPATCH(TurnBlocksVector)(from, to, plan.mirrorColumns, plan.mirrorRows, x0, xBlocks, y0, yBlocks);
    turnPixels(x0, xBlocks, yBlocks, y1);
    turnPixels(xBlocks, x1, y0, y1);
}

Bitmap SwappedAxes(const Bitmap& from, Orientation o)
{
    const SwapPlan plan = PlanFor(o);
    const int32_t W = from.width(), H = from.height();
    Bitmap to = Bitmap::Unfilled(H, W); // every pixel is written below
    // Fault its pages in first: the kernel clears a (huge) page whole at its
    // first write, which in the middle of the turn would evict the tiles.
    constexpr size_t kPagePixels = 4096 / sizeof(Pixel);
    for (size_t i = 0; i < to.pixelCount(); i += kPagePixels)
        to.bits()[i] = 0;
    for (int32_t y = 0; y < H; y += kTile)
        for (int32_t x = 0; x < W; x += kTile)
            TurnTile(from, to, plan, x, std::min(x + kTile, W), y, std::min(y + kTile, H));
    return to;
}

}

bool SwapsAxes(Orientation o)
{
    return o == Orientation::Transpose || o == Orientation::Rotate90 || o == Orientation::Transverse
        || o == Orientation::Rotate270;
}

Bitmap Oriented(Bitmap picture, Orientation o)
{
    if (picture.isEmpty())
        return picture;
    switch (o) {
    case Orientation::MirrorHorizontal:
        MirrorRows(picture);
        return picture;
    case Orientation::Rotate180:
        // Rows are contiguous: the whole picture reversed is its half turn.
        ReverseRun(picture.bits(), picture.pixelCount());
        return picture;
    case Orientation::MirrorVertical:
        SwapRowsUpsideDown(picture);
        return picture;
    case Orientation::Transpose:
    case Orientation::Rotate90:
    case Orientation::Transverse:
    case Orientation::Rotate270:
        return SwappedAxes(picture, o);
    default:
        return picture;
    }
}

}
#endif
