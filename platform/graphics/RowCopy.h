// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <cstring>

#include "platform/graphics/Bitmap.h"

namespace kalvio {

// Copies n >= 0 pixels. Short runs (the spans of lattices and triangle edges)
// use two overlapping fixed-size moves instead of a library call or a loop.
inline void CopyPixels(Pixel* d, const Pixel* s, int32_t n)
{
    if (n >= 16) {
        std::memcpy(d, s, size_t(n) * sizeof(Pixel));
    } else if (n >= 8) {
        std::memcpy(d, s, 8 * sizeof(Pixel));
        std::memcpy(d + n - 8, s + n - 8, 8 * sizeof(Pixel));
    } else if (n >= 4) {
        std::memcpy(d, s, 4 * sizeof(Pixel));
        std::memcpy(d + n - 4, s + n - 4, 4 * sizeof(Pixel));
    } else if (n > 0) {
        d[0] = s[0];
        if (n > 1)
            d[1] = s[1];
        if (n > 2)
            d[2] = s[2];
    }
}

}
