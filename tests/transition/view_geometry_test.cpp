// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "platform/graphics/BitmapDraw.h"
#include "transition/FlipStretchCopy.h"
#include "transition/ViewGeometry.h"
#include "transition/ViewPaint.h"

namespace kalvio {
namespace {

// A bitmap whose every pixel encodes its own coordinates, so a misplaced pixel names itself.
Bitmap Coded(int32_t w, int32_t h)
{
    Bitmap b(w, h);
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x)
            b.setPixel(x, y, 0xff000000u | uint32_t(x) << 12 | uint32_t(y));
    return b;
}

TEST(FitRect, Examples)
{
    struct Case {
        Rect inner, bounds, expected;
    } cases[] = {
        { { 0, 0, 400, 300 }, { 0, 0, 1000, 500 }, { 166, 0, 833, 500 } },
        { { 0, 0, 300, 400 }, { 0, 0, 500, 1000 }, { 0, 166, 500, 833 } },
        { { 0, 0, 400, 300 }, { 0, 0, 800, 600 }, { 0, 0, 800, 600 } },       // equal ratios
        { { -2, 9, 103, 90 }, { 0, 0, 100, 100 }, { 0, 11, 100, 88 } },      // only the inner size counts
        { { 0, 0, 400, 300 }, { 10, 20, 1010, 520 }, { 176, 20, 843, 520 } }, // offset bounds
    };
    for (const Case& c : cases)
        EXPECT_EQ(FitRect(c.inner, c.bounds), c.expected) << c.inner.right << "x" << c.inner.bottom;
}

TEST(PictureRect, PlacedAtOriginOrCentred)
{
    EXPECT_EQ(PictureRectFor(105, 81, 100, 100, true), (Rect { -2, 9, 103, 90 }));
    EXPECT_EQ(PictureRectFor(105, 81, 100, 100, false), (Rect { 0, 0, 105, 81 }));
    EXPECT_EQ(PictureRectFor(50, 20, 101, 100, true), (Rect { 25, 40, 75, 60 }));
}

TEST(MapFrameRect, Examples)
{
    struct Case {
        const char* name;
        Rect r;
        FramePlacement p;
        Rect expected;
    } cases[] = {
        { "stretch", { 100, 0, 200, 300 }, { { 0, 0, 400, 300 }, { 0, 0, 800, 600 }, true, false, false }, { 200, 0, 400, 600 } },
        { "stretch fine", { 0, 0, 400, 300 }, { { 0, 0, 400, 300 }, { 0, 0, 1000, 500 }, true, true, false }, { 166, 0, 833, 500 } },
        { "stretch ignores centre", { 100, 0, 200, 300 }, { { 200, 150, 600, 450 }, { 0, 0, 800, 600 }, true, false, true }, { 200, 0, 400, 600 } },
        { "unstretched clip", { -5, 0, 10, 10 }, { { 0, 0, 400, 300 }, { 0, 0, 800, 600 }, false, false, false }, { 0, 0, 10, 10 } },
        { "centred", { 0, 0, 10, 10 }, { { -2, 9, 103, 90 }, { 0, 0, 100, 100 }, false, false, true }, { -2, 9, 8, 19 } },
        { "centred and clipped", { 100, 70, 120, 90 }, { { -2, 9, 103, 90 }, { 0, 0, 100, 100 }, false, false, true }, { 98, 79, 103, 90 } },
    };
    for (const Case& c : cases)
        EXPECT_EQ(MapFrameRect(c.r, c.p), c.expected) << c.name;
}

TEST(DevicePixels, ExamplesAtScaleFactors)
{
    struct Case {
        double ratio;
        Rect logical, device;
    } cases[] = {
        { 1, { 3, 4, 100, 80 }, { 3, 4, 100, 80 } },
        { 2, { 0, 0, 960, 540 }, { 0, 0, 1920, 1080 } },
        { 1.5, { 0, 0, 1280, 720 }, { 0, 0, 1920, 1080 } },
        { 1.25, { 0, 0, 1093, 615 }, { 0, 0, 1366, 769 } }, // 1366.25 x 768.75: the edges round
        { 1.5, { 1, 1, 2, 2 }, { 2, 2, 3, 3 } },             // 1.5 rounds up, 3 stays
    };
    for (const Case& c : cases)
        EXPECT_EQ(DeviceRect(c.logical, c.ratio), c.device) << c.ratio;
    EXPECT_EQ(LogicalCover({ 0, 0, 1366, 768 }, 1.25), (Rect { 0, 0, 1093, 615 }));
    EXPECT_EQ(LogicalCover({ 0, 0, 1920, 1080 }, 1.5), (Rect { 0, 0, 1280, 720 })) << "whole quotients stay whole";
    EXPECT_EQ(LogicalCover({ 3, 3, 4, 4 }, 1.5), (Rect { 2, 2, 3, 3 }));
}

// Whatever is marked for repainting must reach every changed device pixel: the
// device pixels of the cover include the rectangle, and reach past it by less
// than one logical pixel on each side.
TEST(DevicePixels, CoverReachesEveryDevicePixel)
{
    std::mt19937 rng(7);
    auto below = [&](int32_t n) { return int32_t(rng() % uint32_t(n)); };
    for (double ratio : { 1.0, 1.25, 1.5, 1.75, 2.0, 2.5, 3.0 }) {
        const int32_t slack = int32_t(std::ceil(ratio));
        for (int i = 0; i < 2000; ++i) {
            const int32_t left = below(4000), top = below(3000);
            const Rect device { left, top, left + 1 + below(300), top + 1 + below(300) };
            const Rect reached = DeviceRect(LogicalCover(device, ratio), ratio);
            const Rect limit { device.left - slack, device.top - slack, device.right + slack, device.bottom + slack };
            ASSERT_TRUE(reached.intersected(device) == device && reached.intersected(limit) == reached)
                << ratio << ": (" << device.left << ", " << device.top << ", " << device.right << ", "
                << device.bottom << ") reached as (" << reached.left << ", " << reached.top << ", " << reached.right
                << ", " << reached.bottom << ")";
        }
    }
}

TEST(FrameTarget, ByStretchMode)
{
    FramePlacement p { { 50, 0, 450, 300 }, { 0, 0, 1000, 500 }, false, false, true };
    EXPECT_EQ(FrameTarget(p), p.pictureRect);
    p.stretch = true;
    EXPECT_EQ(FrameTarget(p), p.client);
    p.stretchFine = true;
    EXPECT_EQ(FrameTarget(p), (Rect { 166, 0, 833, 500 }));
}

TEST(TileDraw, RowsAndColumnsCutBySurface)
{
    const Pixel background = RGB(1, 2, 3);
    Bitmap surface(128, 100, background);
    Bitmap tile = Coded(64, 64);
    TileDraw(surface, surface.rect(), &tile);
    // 2 rows of 3 tiles: every pixel shows the tile pixel of its position modulo 64.
    for (int32_t y = 0; y < 100; ++y)
        for (int32_t x = 0; x < 128; ++x)
            ASSERT_EQ(surface.pixel(x, y), tile.pixel(x % 64, y % 64)) << x << "," << y;

    Bitmap part(100, 100, background);
    TileDraw(part, { 10, 20, 50, 30 }, &tile);
    EXPECT_EQ(part.pixel(9, 20), background);
    EXPECT_EQ(part.pixel(10, 20), tile.pixel(0, 0));
    // Tiles are not cut to the rectangle.
    EXPECT_EQ(part.pixel(73, 83), tile.pixel(63, 63));
    EXPECT_EQ(part.pixel(74, 84), background);

    TileDraw(part, part.rect(), nullptr); // nothing to draw
}

TEST(FlipStretchCopy, MirroredDestinationAndClippedSource)
{
    Bitmap src = Coded(100, 50);
    struct Case {
        const char* name;
        Rect d, s;
        Mirror mirror;
        // The StretchCopy arguments the copy must equal.
        int32_t dx, dy, dw, dh, sx, sy, sw, sh;
    } cases[] = {
        { "left-right", { 10, 0, 20, 5 }, { 0, 0, 10, 5 }, Mirror::LeftRight, 21, 0, -12, 5, 0, 0, 10, 5 },
        { "top-bottom", { 10, 0, 20, 5 }, { 0, 0, 10, 5 }, Mirror::TopBottom, 10, 6, 10, -7, 0, 0, 10, 5 },
        { "source cut", { 0, 0, 30, 20 }, { 90, 0, 130, 50 }, Mirror::None, 0, 0, 30, 20, 90, 0, 10, 50 },
    };
    for (const Case& c : cases) {
        Bitmap expected(40, 30, RGB(5, 5, 5)), actual = expected;
        StretchCopy(expected, c.dx, c.dy, c.dw, c.dh, src, c.sx, c.sy, c.sw, c.sh);
        FlipStretchCopy(actual, c.d, src, c.s, c.mirror);
        EXPECT_EQ(actual, expected) << c.name;
    }
    // Mirrored left-right, the rightmost covered column (20) takes the first source column.
    Bitmap frame(40, 30, RGB(5, 5, 5));
    FlipStretchCopy(frame, { 10, 0, 20, 5 }, src, { 0, 0, 10, 5 }, Mirror::LeftRight);
    EXPECT_EQ(frame.pixel(20, 0), src.pixel(0, 0));
    EXPECT_EQ(frame.pixel(9, 0), src.pixel(9, 0));
}

struct PaintFixture : ::testing::Test {
    const Pixel colour = RGB(10, 20, 30);
    Bitmap buffer;
    Bitmap frame = Coded(40, 30);
    Bitmap tile = Coded(16, 16);
    ClientPaint paint;

    void SetUp() override
    {
        paint.color = colour;
        paint.placement.client = { 0, 0, 100, 80 };
    }
};

TEST_F(PaintFixture, ColourOnlyWithoutFrameOrBackground)
{
    PaintClientArea(buffer, paint);
    ASSERT_EQ(buffer.width(), 100);
    ASSERT_EQ(buffer.height(), 80);
    EXPECT_EQ(buffer, Bitmap(100, 80, colour));
}

TEST_F(PaintFixture, BackgroundModes)
{
    paint.background = &tile;
    struct Case {
        TBackgroundMode mode;
        Pixel at0, at50_40;
    } cases[] = {
        { bmNone, colour, colour },
        { bmTiled, tile.pixel(0, 0), tile.pixel(50 % 16, 40 % 16) },
        { bmStretched, tile.pixel(0, 0), tile.pixel(8, 8) },
        { bmCentered, colour, tile.pixel(8, 8) }, // tile at (42, 32)
    };
    for (const Case& c : cases) {
        paint.bgMode = c.mode;
        PaintClientArea(buffer, paint);
        EXPECT_EQ(buffer.pixel(0, 0), c.at0) << int(c.mode);
        EXPECT_EQ(buffer.pixel(50, 40), c.at50_40) << int(c.mode);
    }
}

TEST_F(PaintFixture, FrameByPlacement)
{
    paint.background = &tile;
    paint.bgMode = bmCentered;
    paint.frame = &frame;
    paint.placement.pictureRect = { 30, 25, 70, 55 };

    PaintClientArea(buffer, paint);
    EXPECT_EQ(buffer.pixel(30, 25), frame.pixel(0, 0));
    EXPECT_EQ(buffer.pixel(69, 54), frame.pixel(39, 29));
    EXPECT_EQ(buffer.pixel(29, 25), colour); // neither frame nor the centred tile at (42, 32)

    paint.placement.stretch = true; // the whole client area, aspect ratio not kept
    PaintClientArea(buffer, paint);
    Bitmap expected(100, 80);
    StretchCopy(expected, expected.rect(), frame, frame.rect());
    EXPECT_EQ(buffer, expected);

    paint.placement.stretchFine = true; // fitted: 100 x 75 at (0, 2)
    PaintClientArea(buffer, paint);
    EXPECT_EQ(buffer.pixel(0, 1), colour);
    EXPECT_EQ(buffer.pixel(0, 2), frame.pixel(0, 0));
    EXPECT_EQ(buffer.pixel(99, 76), frame.pixel(39, 29));
    EXPECT_EQ(buffer.pixel(99, 77), colour);
}

}
}
