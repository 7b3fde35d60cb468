#pragma once

// Pictures for the frame benchmarks: smooth synthetic gradients, one per
// variant, so the old and the new picture of a frame differ everywhere. Each
// picture is made once per size and variant and kept for the whole run.

#include <cstdint>
#include <map>
#include <tuple>

#include "platform/Bitmap.h"

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

// Picture `variant` at W x H.
inline const Bitmap& FramePicture(int32_t W, int32_t H, int variant)
{
    static std::map<std::tuple<int32_t, int32_t, int>, Bitmap> made;
    auto key = std::make_tuple(W, H, variant);
    auto it = made.find(key);
    if (it == made.end())
        it = made.emplace(key, GradientPicture(W, H, variant)).first;
    return it->second;
}

}
