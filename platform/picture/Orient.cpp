// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/picture/Orient.h"

#include <algorithm>

#include <emmintrin.h>

namespace kalvio {

namespace {

// Four pixels in reverse order.
inline __m128i Reversed(__m128i v) { return _mm_shuffle_epi32(v, _MM_SHUFFLE(0, 1, 2, 3)); }

inline __m128i Load(const Pixel* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
inline void Store(Pixel* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }

// Reverses n pixels in place, four from each end at a time.
void ReverseRun(Pixel* p, size_t n)
{
    Pixel* lo = p;
    Pixel* hi = p + n;
    while (hi - lo >= 8) {
        hi -= 4;
        const __m128i a = Load(lo), b = Load(hi);
        Store(lo, Reversed(b));
        Store(hi, Reversed(a));
        lo += 4;
    }
    std::reverse(lo, hi);
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
    auto targetRow = [&](int32_t x) { return to.row(plan.mirrorColumns ? W - 1 - x : x); };
    auto targetColumn = [&](int32_t y) { return plan.mirrorRows ? H - 1 - y : y; };
    auto turnPixels = [&](int32_t x, int32_t xEnd, int32_t y, int32_t yEnd) {
        for (int32_t i = x; i < xEnd; ++i)
            for (int32_t j = y; j < yEnd; ++j)
                targetRow(i)[targetColumn(j)] = from.row(j)[i];
    };

    // Blocks of 4 x 4 pixels are transposed in registers.
    const int32_t xBlocks = x0 + (x1 - x0) / 4 * 4;
    const int32_t yBlocks = y0 + (y1 - y0) / 4 * 4;
    for (int32_t x = x0; x < xBlocks; x += 4) {
        for (int32_t y = y0; y < yBlocks; y += 4) {
            const __m128i r0 = Load(from.row(y) + x), r1 = Load(from.row(y + 1) + x);
            const __m128i r2 = Load(from.row(y + 2) + x), r3 = Load(from.row(y + 3) + x);
            const __m128i t0 = _mm_unpacklo_epi32(r0, r1), t1 = _mm_unpackhi_epi32(r0, r1);
            const __m128i t2 = _mm_unpacklo_epi32(r2, r3), t3 = _mm_unpackhi_epi32(r2, r3);
            const __m128i columns[4] = { _mm_unpacklo_epi64(t0, t2), _mm_unpackhi_epi64(t0, t2),
                                         _mm_unpacklo_epi64(t1, t3), _mm_unpackhi_epi64(t1, t3) };
            // The block's four upright pixels of a row land at [c, c + 4).
            const int32_t c = plan.mirrorRows ? H - 4 - y : y;
            for (int k = 0; k < 4; ++k)
                Store(targetRow(x + k) + c, plan.mirrorRows ? Reversed(columns[k]) : columns[k]);
        }
        turnPixels(x, x + 4, yBlocks, y1);
    }
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
