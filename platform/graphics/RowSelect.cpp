// SPDX-License-Identifier: GPL-3.0-or-later
// The frame mix's per-pixel select, written once and compiled by Highway for
// every instruction set of the architecture (this file includes itself once
// per target through foreach_target.h). The compiler vectorises the plain
// loop for the baseline instruction set only, which took 15 to 40 % longer
// than AVX2 on rows in the cache.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "platform/graphics/RowSelect.cpp"
#include <hwy/foreach_target.h> // IWYU pragma: keep

#include <hwy/highway.h>

#include "platform/graphics/RowSelect.h"
#include "platform/simd/SimdTarget.h"

HWY_BEFORE_NAMESPACE();
namespace kalvio::HWY_NAMESPACE {

namespace hn = hwy::HWY_NAMESPACE;

void SelectRowVector(Pixel* HWY_RESTRICT d, const Pixel* HWY_RESTRICT o, const Pixel* HWY_RESTRICT n,
                     const uint32_t* HWY_RESTRICT m, int32_t count)
{
    const hn::ScalableTag<uint32_t> du;
    const int32_t N = int32_t(hn::Lanes(du));
    int32_t k = 0;
    for (; k + N <= count; k += N)
        hn::StoreU(hn::IfVecThenElse(hn::LoadU(du, m + k), hn::LoadU(du, n + k), hn::LoadU(du, o + k)), du, d + k);
    for (; k < count; ++k)
        d[k] = (o[k] & ~m[k]) | (n[k] & m[k]);
}

}
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace kalvio {

HWY_EXPORT(SelectRowVector);

void SelectRowPlain(Pixel* __restrict d, const Pixel* __restrict o, const Pixel* __restrict n,
                    const uint32_t* __restrict m, int32_t count)
{
    for (int32_t k = 0; k < count; ++k)
        d[k] = (o[k] & ~m[k]) | (n[k] & m[k]);
}

void SelectRow(Pixel* d, const Pixel* o, const Pixel* n, const uint32_t* m, int32_t count)
{
    if (simd::UsePlain())
        return SelectRowPlain(d, o, n, m, count);
    HWY_DYNAMIC_DISPATCH(SelectRowVector)(d, o, n, m, count);
}

}
#endif
