#pragma once

#include <cstdint>

// The integer arithmetic of frame geometry. Plain C++ integer division already
// truncates toward zero, which is the `div` of every geometry rule; MulDiv is
// the one operation that needs a wide product and rounding.
namespace kalvio {

// x * y / z with a 64-bit product, rounded to nearest, halves away from zero.
// A zero divisor gives -1, as the platform routine it stands for does.
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
    return int32_t(negative ? -int64_t(q) : int64_t(q));
}

static_assert(MulDiv(1024, 37, 100) == 379);
static_assert(MulDiv(5, 1, 2) == 3 && MulDiv(-5, 1, 2) == -3);

}
