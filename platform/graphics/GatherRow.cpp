// SPDX-License-Identifier: GPL-3.0-or-later
// The stretch copy's row gather, written once and compiled by Highway for
// every instruction set of the architecture (this file includes itself once
// per target through foreach_target.h).
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "platform/graphics/GatherRow.cpp"
#include <hwy/foreach_target.h> // IWYU pragma: keep

#include <hwy/cache_control.h>
#include <hwy/highway.h>

#include "platform/graphics/GatherRow.h"
#include "platform/simd/SimdTarget.h"

HWY_BEFORE_NAMESPACE();
namespace kalvio::HWY_NAMESPACE {

namespace hn = hwy::HWY_NAMESPACE;

// As GatherRowPlain. The column table is monotonic, so N neighbouring
// destination pixels read a window of source columns; while that window fits
// in 2N columns (scales down to about half, and every enlargement) two loads
// and two in-register lane lookups replace N scalar loads. Wider windows take
// the pixels one by one.
void GatherRowVector(Pixel* HWY_RESTRICT d, const Pixel* HWY_RESTRICT s, const Pixel* next,
                     const int32_t* HWY_RESTRICT columns, int32_t count, int32_t sourceWidth)
{
    const hn::ScalableTag<uint32_t> du;
    const hn::RebindToSigned<decltype(du)> di;
    const int32_t N = int32_t(hn::Lanes(du));
    if (N < 8) {
        // Four lanes: the lookups are byte shuffles with index arithmetic
        // (SSE4, NEON), which took longer than the plain gather's loads one
        // by one (enlarged 0.71-0.82 ms against 0.49, mirrored 24 MP 12.7-15.6
        // against 12.0-12.2 ms).
        return GatherRowPlain(d, s, next, columns, count, sourceWidth);
    }
    const auto lastLane = hn::Set(di, N - 1);
    int32_t k = 0;
    for (; k + N <= count; k += N) {
        const int32_t a = columns[k], b = columns[k + N - 1];
        const int32_t lo = a < b ? a : b, hi = a < b ? b : a;
        hwy::Prefetch(next + a);
        if (hi - lo < 2 * N && lo + 2 * N <= sourceWidth) {
            const auto at = hn::Sub(hn::LoadU(di, columns + k), hn::Set(di, lo));
            const auto lane = hn::IndicesFromVec(du, hn::And(at, lastLane));
            const auto low = hn::TableLookupLanes(hn::LoadU(du, s + lo), lane);
            const auto high = hn::TableLookupLanes(hn::LoadU(du, s + lo + N), lane);
            hn::StoreU(hn::IfThenElse(hn::RebindMask(du, hn::Gt(at, lastLane)), high, low), du, d + k);
        } else {
            for (int32_t j = k; j < k + N; ++j)
                d[j] = s[columns[j]];
        }
    }
    for (; k < count; ++k)
        d[k] = s[columns[k]];
}

}
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace kalvio {

HWY_EXPORT(GatherRowVector);

void GatherRowPlain(Pixel* __restrict d, const Pixel* __restrict s, const Pixel* next,
                    const int32_t* __restrict columns, int32_t count, int32_t /*sourceWidth*/)
{
    int32_t k = 0;
    for (; k + 8 <= count; k += 8) {
        __builtin_prefetch(next + columns[k]);
        Pixel p0 = s[columns[k]], p1 = s[columns[k + 1]], p2 = s[columns[k + 2]], p3 = s[columns[k + 3]];
        Pixel p4 = s[columns[k + 4]], p5 = s[columns[k + 5]], p6 = s[columns[k + 6]], p7 = s[columns[k + 7]];
        d[k] = p0, d[k + 1] = p1, d[k + 2] = p2, d[k + 3] = p3;
        d[k + 4] = p4, d[k + 5] = p5, d[k + 6] = p6, d[k + 7] = p7;
    }
    for (; k < count; ++k)
        d[k] = s[columns[k]];
}

GatherRowKernel ChosenGatherRow()
{
    if (simd::UsePlain())
        return GatherRowPlain;
    return &HWY_DYNAMIC_DISPATCH(GatherRowVector);
}

}
#endif
