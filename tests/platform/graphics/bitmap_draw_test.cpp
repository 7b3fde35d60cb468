// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "platform/graphics/BitmapDraw.h"
#include "platform/graphics/GatherRow.h"
#include "platform/graphics/Region.h"
#include "platform/graphics/RowSelect.h"
#include "platform/simd/SimdTarget.h"

using namespace kalvio;

namespace {

// Every pixel names itself: red = x, green = y, blue = a tag for the bitmap.
Bitmap Coded(int32_t w, int32_t h, uint8_t tag)
{
    Bitmap b(w, h);
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x)
            b.setPixel(x, y, RGB(uint8_t(x), uint8_t(y), tag));
    return b;
}

std::string Where(Pixel p)
{
    std::ostringstream o;
    o << "(" << int(RedOf(p)) << ", " << int(GreenOf(p)) << ") of bitmap " << int(BlueOf(p));
    return o.str();
}

// Finds the first pixel where two bitmaps differ and says what each holds.
::testing::AssertionResult SameBitmap(const Bitmap& actual, const Bitmap& expected)
{
    if (actual.width() != expected.width() || actual.height() != expected.height())
        return ::testing::AssertionFailure() << "size " << actual.width() << "x" << actual.height();
    for (int32_t y = 0; y < actual.height(); ++y)
        for (int32_t x = 0; x < actual.width(); ++x)
            if (actual.pixel(x, y) != expected.pixel(x, y))
                return ::testing::AssertionFailure() << "at (" << x << ", " << y << "): " << Where(actual.pixel(x, y))
                                                     << ", expected " << Where(expected.pixel(x, y));
    return ::testing::AssertionSuccess();
}

// The stretch rule, one destination pixel at a time, for sizes either sign.
// Source coordinates outside the source take the nearest edge pixel.
void ModelStretch(Bitmap& dst, int32_t dx, int32_t dy, int32_t dw, int32_t dh,
                  const Bitmap& src, int32_t sx, int32_t sy, int32_t sw, int32_t sh)
{
    if (dw == 0 || dh == 0 || sw <= 0 || sh <= 0)
        return;
    int64_t aw = std::abs(int64_t(dw)), ah = std::abs(int64_t(dh));
    for (int64_t j = 0; j < ah; ++j) {
        int64_t y = dh > 0 ? dy + j : int64_t(dy) - 1 - j;
        if (y < 0 || y >= dst.height())
            continue;
        int64_t srcY = std::clamp<int64_t>(sy + j * sh / ah, 0, src.height() - 1);
        for (int64_t i = 0; i < aw; ++i) {
            int64_t x = dw > 0 ? dx + i : int64_t(dx) - 1 - i;
            if (x < 0 || x >= dst.width())
                continue;
            int64_t srcX = std::clamp<int64_t>(sx + i * sw / aw, 0, src.width() - 1);
            dst.setPixel(int32_t(x), int32_t(y), src.pixel(int32_t(srcX), int32_t(srcY)));
        }
    }
}

const Pixel kBackground = RGB(0, 0, 255);

} // namespace

TEST(StretchCopy, MirroredCopiesCoverTheColumnsBeforeTheOrigin)
{
    // A copy to origin x 21 with width -12 (a mirrored destination (10, 0, 20, 5))
    // fills columns 9 .. 20, column 20 - i taking source column i.
    Bitmap src = Coded(12, 5, 1);
    Bitmap dst(30, 8, kBackground);
    StretchCopy(dst, 21, 0, -12, 5, src, 0, 0, 12, 5);
    for (int32_t x = 0; x < 30; ++x) {
        for (int32_t y = 0; y < 8; ++y) {
            Pixel expected = (x >= 9 && x <= 20 && y < 5) ? src.pixel(20 - x, y) : kBackground;
            ASSERT_EQ(dst.pixel(x, y), expected) << "at (" << x << ", " << y << ")";
        }
    }
    // Mirrored vertically: origin y 6 with height -7 fills rows 0 .. 5, row 5 - j taking source row j.
    Bitmap tall = Coded(4, 7, 2);
    Bitmap flipped(4, 9, kBackground);
    StretchCopy(flipped, 0, 6, 4, -7, tall, 0, 0, 4, 7);
    for (int32_t y = 0; y < 9; ++y)
        for (int32_t x = 0; x < 4; ++x)
            ASSERT_EQ(flipped.pixel(x, y), y <= 5 ? tall.pixel(x, 5 - y) : kBackground) << "at (" << x << ", " << y << ")";
}

TEST(StretchCopy, RepeatsAndDropsWholePixels)
{
    struct Case {
        int32_t dw, sw;
        std::vector<int> columns; // source column of each destination column
    };
    const Case cases[] = {
        { 6, 3, { 0, 0, 1, 1, 2, 2 } },
        { 3, 6, { 0, 2, 4 } },
        { 5, 3, { 0, 0, 1, 1, 2 } },   // floor(i * 3 / 5)
        { 4, 7, { 0, 1, 3, 5 } },      // floor(i * 7 / 4)
        { -5, 3, { 2, 1, 1, 0, 0 } },  // mirrored: listed left to right
    };
    Bitmap src = Coded(8, 1, 3);
    for (const Case& c : cases) {
        Bitmap dst(8, 1, kBackground);
        int32_t origin = c.dw > 0 ? 0 : -c.dw;
        StretchCopy(dst, origin, 0, c.dw, 1, src, 0, 0, c.sw, 1);
        for (size_t x = 0; x < c.columns.size(); ++x)
            EXPECT_EQ(RedOf(dst.pixel(int32_t(x), 0)), c.columns[x]) << "dw " << c.dw << " sw " << c.sw << " column " << x;
        EXPECT_EQ(dst.pixel(int32_t(c.columns.size()), 0), kBackground) << "dw " << c.dw;
    }
}

TEST(StretchCopy, SourcePartlyOutsideOrEmptyNeverReadsOutside)
{
    // Source (90, 0, 130, 50) of a bitmap 100 wide, as the mirrored copy passes it once
    // intersected: (90, 0, 100, 50) stretched over the whole destination.
    Bitmap src = Coded(100, 50, 4);
    Bitmap dst(40, 10, kBackground);
    StretchCopy(dst, 0, 0, 40, 10, src, 90, 0, 10, 50);
    for (int32_t x = 0; x < 40; ++x)
        EXPECT_EQ(RedOf(dst.pixel(x, 0)), 90 + x / 4);
    // Unintersected, the columns past the edge repeat the edge pixel (99).
    Bitmap clamped(40, 10, kBackground);
    StretchCopy(clamped, 0, 0, 40, 10, src, 90, -20, 40, 100);
    for (int32_t x = 0; x < 40; ++x) {
        EXPECT_EQ(RedOf(clamped.pixel(x, 0)), std::min(99, 90 + x));
        EXPECT_EQ(GreenOf(clamped.pixel(x, 0)), 0);  // rows above the source: row 0
        EXPECT_EQ(GreenOf(clamped.pixel(x, 9)), 49); // rows below: the last row
    }
    // An empty source draws nothing.
    Bitmap untouched(10, 10, kBackground);
    StretchCopy(untouched, 0, 0, 10, 10, src, 0, 0, 0, 10);
    StretchCopy(untouched, 0, 0, 10, 10, src, 0, 0, 10, 0);
    StretchCopy(untouched, 0, 0, 10, 10, Bitmap(), 0, 0, 10, 10);
    EXPECT_TRUE(SameBitmap(untouched, Bitmap(10, 10, kBackground)));
    // A source far outside the bitmap reads only its corner pixel.
    StretchCopy(untouched, 0, 0, 10, 10, src, 5000, -5000, 20, 20);
    EXPECT_TRUE(SameBitmap(untouched, Bitmap(10, 10, src.pixel(99, 0))));
}

// Random copies, scaled both ways, mirrored, clipped and partly outside the
// source, on every vector target the machine runs and on the plain code.
TEST(StretchCopy, MatchesThePerPixelRuleOnEveryTarget)
{
    simd::ForEachTarget([](const std::string& target) {
        SCOPED_TRACE("target " + target);
        std::mt19937 rng(7);
        auto pick = [&](int lo, int hi) { return int32_t(lo + int(rng() % uint32_t(hi - lo + 1))); };
        for (int round = 0; round < 2400; ++round) {
            Bitmap src = Coded(pick(1, 40), pick(1, 40), 5);
            Bitmap fast(pick(1, 50), pick(1, 50), kBackground), model = fast;
            int32_t dx = pick(-30, 60), dy = pick(-30, 60), dw = pick(-70, 70), dh = pick(-70, 70);
            int32_t sx = pick(-10, 45), sy = pick(-10, 45), sw = pick(0, 50), sh = pick(0, 50);
            switch (round % 6) {
            case 0: // the unscaled row path
                sw = std::abs(dw), sx = pick(0, 10);
                break;
            case 1: // rows wide enough for every vector width, down to about a third and up to 2.5 times
                src = Coded(pick(16, 250), pick(1, 8), 5);
                fast = model = Bitmap(pick(16, 250), pick(1, 8), kBackground);
                dw = pick(8, 250) * (round % 12 == 1 ? -1 : 1), dx = dw < 0 ? pick(0, 250) : pick(-10, 20);
                sw = std::max(1, std::abs(dw) * pick(4, 30) / 10 + pick(-3, 3)), sx = pick(-2, 40);
                break;
            case 2: // the source's last columns, so that a window ends at its right edge
                src = Coded(pick(1, 200), pick(1, 4), 5);
                fast = model = Bitmap(pick(1, 220), pick(1, 4), kBackground);
                sw = pick(1, src.width()), sx = src.width() - sw;
                dw = pick(1, 220) * (round % 12 == 2 ? -1 : 1), dx = dw < 0 ? -dw : 0;
                break;
            case 3: // one column or one row, on either side
                if (round % 12 == 3)
                    src = Coded(1, pick(1, 40), 5), sx = 0, sw = 1;
                else
                    fast = model = Bitmap(pick(1, 90), 1, kBackground), dy = 0, dh = pick(1, 3);
                break;
            default:
                break;
            }
            StretchCopy(fast, dx, dy, dw, dh, src, sx, sy, sw, sh);
            ModelStretch(model, dx, dy, dw, dh, src, sx, sy, sw, sh);
            ASSERT_TRUE(SameBitmap(fast, model)) << "StretchCopy(dst " << fast.width() << "x" << fast.height() << ", " << dx
                                                 << ", " << dy << ", " << dw << ", " << dh << ", src " << src.width() << "x"
                                                 << src.height() << ", " << sx << ", " << sy << ", " << sw << ", " << sh << ")";
        }
    });
}

// The row gather alone against the plain code, on column maps whose windows
// fall on either side of twice every vector width, with a source row exactly
// as wide as the map needs (so that a window ending at its last column is
// met, and a read past it is an overrun the sanitizer build reports).
TEST(GatherRow, EveryTargetEqualsThePlainCode)
{
    struct Map {
        int32_t count, sourceSpan; // count destination pixels over sourceSpan source columns
        bool mirrored;
    };
    const Map maps[] = {
        { 1, 1, false },     { 7, 3, false },      { 31, 31, true },      { 64, 32, false },    { 64, 127, false },
        { 64, 128, true },   { 64, 129, false },   { 100, 301, false },   { 257, 255, true },   { 33, 70, false },
        { 17, 34, true },    { 250, 499, false },  { 250, 500, true },    { 250, 501, false },  { 1000, 6000, true },
    };
    std::mt19937 rng(3);
    simd::ForEachTarget([&](const std::string& target) {
        const GatherRowKernel gather = ChosenGatherRow();
        for (const Map& map : maps) {
            for (int32_t offset : { 0, 1, 5 }) {
                std::vector<int32_t> columns(size_t(map.count));
                for (int32_t i = 0; i < map.count; ++i)
                    columns[size_t(map.mirrored ? map.count - 1 - i : i)]
                        = offset + int32_t(int64_t(i) * map.sourceSpan / map.count);
                const int32_t width = offset + map.sourceSpan;
                std::vector<Pixel> source(static_cast<size_t>(width)), next(source.size());
                for (Pixel& p : source)
                    p = Pixel(rng());
                std::vector<Pixel> got(size_t(map.count) + 1, kBackground), want = got;
                gather(got.data(), source.data(), next.data(), columns.data(), map.count, width);
                GatherRowPlain(want.data(), source.data(), next.data(), columns.data(), map.count, width);
                ASSERT_EQ(got, want) << target << ": " << map.count << " pixels over " << map.sourceSpan << " columns from "
                                     << offset << (map.mirrored ? ", mirrored" : "");
            }
        }
    });
}

// The frame mix's select against the plain code, on every count up to past
// twice the widest vector (the tails after the last whole vector).
TEST(SelectRow, EveryTargetEqualsThePlainCode)
{
    std::mt19937 rng(11);
    simd::ForEachTarget([&](const std::string& target) {
        for (int32_t count = 0; count <= 70; ++count) {
            std::vector<Pixel> o(size_t(count) + 1), n(o.size());
            std::vector<uint32_t> m(o.size());
            for (size_t k = 0; k < o.size(); ++k)
                o[k] = Pixel(rng()), n[k] = Pixel(rng()), m[k] = rng() % 2 ? ~0u : 0u;
            std::vector<Pixel> got(o.size(), kBackground), want = got;
            SelectRow(got.data(), o.data(), n.data(), m.data(), count);
            SelectRowPlain(want.data(), o.data(), n.data(), m.data(), count);
            ASSERT_EQ(got, want) << target << ", " << count << " pixels";
        }
    });
}

TEST(BitmapDraw, DrawClipsToTheDestination)
{
    struct Case {
        int32_t x, y;
    };
    const Case cases[] = { { 0, 0 }, { 3, 2 }, { -4, -3 }, { 8, 1 }, { -10, 0 }, { 20, 20 } };
    Bitmap src = Coded(6, 5, 6);
    for (const Case& c : cases) {
        Bitmap dst(10, 8, kBackground);
        Draw(dst, c.x, c.y, src);
        for (int32_t y = 0; y < 8; ++y)
            for (int32_t x = 0; x < 10; ++x) {
                bool inside = x - c.x >= 0 && x - c.x < 6 && y - c.y >= 0 && y - c.y < 5;
                ASSERT_EQ(dst.pixel(x, y), inside ? src.pixel(x - c.x, y - c.y) : kBackground)
                    << "draw at (" << c.x << ", " << c.y << "), pixel (" << x << ", " << y << ")";
            }
    }
    Bitmap same(6, 5, kBackground);
    Draw(same, 0, 0, src);
    EXPECT_TRUE(SameBitmap(same, src));
}

TEST(BitmapDraw, FillRectClipsAndIgnoresEmptyRectangles)
{
    Bitmap b(6, 4, kBackground);
    FillRect(b, { -2, 1, 3, 9 }, RGB(1, 2, 3));
    FillRect(b, { 5, 0, 4, 4 }, RGB(9, 9, 9)); // reversed: nothing
    for (int32_t y = 0; y < 4; ++y)
        for (int32_t x = 0; x < 6; ++x)
            EXPECT_EQ(b.pixel(x, y), (x < 3 && y >= 1) ? RGB(1, 2, 3) : kBackground) << x << "," << y;
}

TEST(BitmapDraw, ResizeKeepsTheTopLeftAndFillsTheRest)
{
    Bitmap b = Coded(4, 3, 7);
    b.resize(6, 2, kBackground);
    ASSERT_EQ(b.width(), 6);
    ASSERT_EQ(b.height(), 2);
    for (int32_t y = 0; y < 2; ++y)
        for (int32_t x = 0; x < 6; ++x)
            EXPECT_EQ(b.pixel(x, y), x < 4 ? RGB(uint8_t(x), uint8_t(y), 7) : kBackground) << x << "," << y;
    b.resize(0, 5, kBackground);
    EXPECT_TRUE(b.isEmpty());
    EXPECT_EQ(b.width(), 0);
    b.resize(2, 2, RGB(5, 5, 5));
    EXPECT_TRUE(SameBitmap(b, Bitmap(2, 2, RGB(5, 5, 5))));
}

TEST(BitmapDraw, DrawThroughRegionCopiesExactlyTheRegionsPixels)
{
    std::mt19937 rng(11);
    for (int round = 0; round < 300; ++round) {
        RegionBuilder builder;
        int pieces = 1 + int(rng() % 30);
        for (int i = 0; i < pieces; ++i) {
            int32_t l = int32_t(rng() % 60) - 15, t = int32_t(rng() % 60) - 15;
            if (rng() % 3 == 0) {
                std::vector<Point> triangle { { l, t }, { l + int32_t(rng() % 40), t }, { l, t + int32_t(rng() % 40) } };
                builder.addPolygon(triangle);
            } else {
                builder.addRect(l, t, l + int32_t(rng() % 12), t + int32_t(rng() % 30));
            }
        }
        Region clip = builder.build();
        // The source may be smaller than the destination: nothing is drawn outside it.
        Bitmap src = Coded(20 + int32_t(rng() % 20), 20 + int32_t(rng() % 20), 8);
        Bitmap dst(30, 30, kBackground), expected = dst;
        for (int32_t y = 0; y < 30; ++y)
            for (int32_t x = 0; x < 30; ++x)
                if (clip.contains(x, y) && x < src.width() && y < src.height())
                    expected.setPixel(x, y, src.pixel(x, y));
        DrawThroughRegion(dst, src, clip);
        ASSERT_TRUE(SameBitmap(dst, expected)) << "round " << round;
    }
}
