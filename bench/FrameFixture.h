#pragma once

// Pictures for the frame benchmarks. Each is a photo from the shared test
// material, tiled or cropped to the size asked for; where the photos cannot be
// read, a smooth synthetic gradient stands in. The old and the new picture of a
// frame are different variants. Each picture is made once per size and variant
// and kept for the whole run.

#include <cstdint>
#include <exception>
#include <map>
#include <tuple>

#include "platform/Bitmap.h"
#include "platform/JpegLoader.h"

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
        "/work/shared/data/photos/picosdeeuropa_by_Aitzol_Berasategi.jpg",
        "/work/shared/data/photos/Dragonfly_by_Bolly.jpg",
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

}
