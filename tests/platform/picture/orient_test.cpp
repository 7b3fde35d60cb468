// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/picture/Orient.h"
#include "platform/simd/SimdTarget.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace kalvio;

namespace {

// A pixel that names its own stored place.
constexpr Pixel At(int32_t x, int32_t y) { return RGB(uint8_t(x), uint8_t(y), uint8_t(x >> 8 | y >> 8 << 4)); }

Bitmap Named(int32_t w, int32_t h)
{
    Bitmap b(w, h);
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x)
            b.setPixel(x, y, At(x, y));
    return b;
}

// The stored 3 x 2 picture
//     a b c
//     d e f
// and what each orientation makes of it, row by row.
struct TurnCase {
    Orientation orientation;
    int32_t width, height;
    const char* rows;
};
const TurnCase kTurns[] = {
    { Orientation::Upright, 3, 2, "abc def" },
    { Orientation::MirrorHorizontal, 3, 2, "cba fed" },
    { Orientation::Rotate180, 3, 2, "fed cba" },
    { Orientation::MirrorVertical, 3, 2, "def abc" },
    { Orientation::Transpose, 2, 3, "ad be cf" },
    { Orientation::Rotate90, 2, 3, "da eb fc" },
    { Orientation::Transverse, 2, 3, "fc eb da" },
    { Orientation::Rotate270, 2, 3, "cf be ad" },
};

std::string Letters(const Bitmap& b)
{
    std::string s;
    for (int32_t y = 0; y < b.height(); ++y) {
        if (y)
            s += ' ';
        for (int32_t x = 0; x < b.width(); ++x) {
            const Pixel p = b.pixel(x, y);
            s += char('a' + GreenOf(p) * 3 + RedOf(p));
        }
    }
    return s;
}

// Where the upright picture's pixel (x, y) was stored, read off the table's
// corners: the letters a, c, d and f are the stored corners.
struct Corners {
    int32_t x0, y0;   // stored place of upright (0, 0)
    int32_t dxX, dyX; // stored step for one upright step right
    int32_t dxY, dyY; // stored step for one upright step down
};
Corners CornersOf(const TurnCase& t, int32_t W, int32_t H)
{
    auto place = [&](char letter) {
        const int i = letter - 'a';
        return std::pair { i % 3 == 0 ? 0 : W - 1, i / 3 == 0 ? 0 : H - 1 };
    };
    const std::string rows = t.rows;
    const auto [x0, y0] = place(rows[0]);
    const auto [xr, yr] = place(rows[size_t(t.width) - 1]);
    const auto [xd, yd] = place(rows[size_t(t.width + 1) * size_t(t.height - 1)]);
    auto sign = [](int32_t d) { return d > 0 ? 1 : d < 0 ? -1 : 0; };
    return { x0, y0, sign(xr - x0), sign(yr - y0), sign(xd - x0), sign(yd - y0) };
}

}

TEST(Orient, EightOrientationsOfASmallPicture)
{
    for (const TurnCase& t : kTurns) {
        SCOPED_TRACE(int(t.orientation));
        const Bitmap upright = Oriented(Named(3, 2), t.orientation);
        EXPECT_EQ(upright.width(), t.width);
        EXPECT_EQ(upright.height(), t.height);
        EXPECT_EQ(Letters(upright), t.rows);
        EXPECT_EQ(SwapsAxes(t.orientation), t.width == 2);
    }
}

// Sizes around the 4 x 4 register blocks, the vector widths and the 128 x 128
// tiles, each pixel checked against the place the small table gives it, on
// every vector target the machine runs and on the plain code.
TEST(Orient, EveryPixelLandsWhereTheCornersSayOnEveryTarget)
{
    const std::pair<int32_t, int32_t> sizes[] = { { 1, 1 },   { 1, 9 },    { 9, 1 },    { 4, 4 },  { 5, 3 },
                                                  { 33, 2 },  { 64, 64 },  { 67, 130 }, { 131, 66 }, { 300, 7 },
                                                  { 1, 300 }, { 257, 129 } };
    simd::ForEachTarget([&](const std::string& target) {
        for (const TurnCase& t : kTurns) {
            for (const auto& [W, H] : sizes) {
                SCOPED_TRACE(target + ", orientation " + std::to_string(int(t.orientation)) + ": " + std::to_string(W)
                             + " x " + std::to_string(H));
                const Bitmap upright = Oriented(Named(W, H), t.orientation);
                ASSERT_EQ(upright.width(), SwapsAxes(t.orientation) ? H : W);
                ASSERT_EQ(upright.height(), SwapsAxes(t.orientation) ? W : H);
                const Corners c = CornersOf(t, W, H);
                int wrong = 0;
                for (int32_t y = 0; y < upright.height(); ++y)
                    for (int32_t x = 0; x < upright.width(); ++x)
                        wrong += upright.pixel(x, y) != At(c.x0 + x * c.dxX + y * c.dxY, c.y0 + x * c.dyX + y * c.dyY);
                EXPECT_EQ(wrong, 0);
            }
        }
    });
}

TEST(Orient, EmptyPictureStaysEmpty)
{
    for (const TurnCase& t : kTurns)
        EXPECT_TRUE(Oriented(Bitmap(), t.orientation).isEmpty());
}
