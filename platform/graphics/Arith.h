// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

// The integer arithmetic of frame geometry. Plain C++ integer division already
// truncates toward zero, which is the `div` of every geometry rule; MulDiv is
// the one operation that needs a wide product and rounding.
namespace kalvio {

// x * y / z with a 64-bit product, rounded to nearest, halves away from zero.
// A zero divisor, or a result outside 32 bits, gives -1, as the platform
// routine it stands for does (rather than a wrapped value).
constexpr int32_t MulDiv(int32_t x, int32_t y, int32_t z)
{
    if (z == 0)
        return -1;
    int64_t p = int64_t(x) * y;
    int64_t d = z;
    bool negative = (p < 0) != (d < 0);
    uint64_t up = p < 0 ? uint64_t(-p) : uint64_t(p);
    uint64_t ud = d < 0 ? uint64_t(-d) : uint64_t(d);
    uint64_t q = (up + ud / 2) / ud;
    int64_t result = negative ? -int64_t(q) : int64_t(q);
    if (result > INT32_MAX || result < INT32_MIN)
        return -1;
    return int32_t(result);
}

static_assert(MulDiv(1024, 37, 100) == 379);
static_assert(MulDiv(5, 1, 2) == 3 && MulDiv(-5, 1, 2) == -3);
static_assert(MulDiv(379, 768, 1024) == 284 && MulDiv(3, 1, -2) == -2 && MulDiv(7, 0, 3) == 0);
static_assert(MulDiv(1 << 30, 8, 2) == -1 && MulDiv(-(1 << 30), 8, 2) == -1 && MulDiv(5, 5, 0) == -1);
static_assert(MulDiv(INT32_MIN, 1, 1) == INT32_MIN && MulDiv(INT32_MAX, 2, 2) == INT32_MAX);

}
