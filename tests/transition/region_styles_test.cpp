// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/graphics/Arith.h"
#include "platform/system/Random.h"
#include "transition/FrameComposer.h"
#include "transition/RegionChecks.h"
#include "transition/styles/RegionBuilders.h"
#include "transition/styles/StyleTable.h"

namespace kalvio {
namespace {

using test::CentreInside;
using test::IsUnionOf;
using Rects = std::vector<Rect>;

// The ClipRegion that the rule of `style` sets for the given frame quantities.
std::optional<Region> StyleRegion(int style, int32_t W, int32_t H, int32_t PX, int32_t PY, int32_t Band)
{
    Bitmap picture(1, 1), frame(1, 1);
    FrameRects invalidated;
    StyleFrame f {
        .W = W, .H = H, .PX = PX, .PY = PY, .Band = Band,
        .DstRect = { 0, 0, W, H }, .SrcRect = { 0, 0, W, H }, .ClipRegion = std::nullopt,
        .NewBitmap = picture, .FrameBitmap = frame, .Invalidated = invalidated,
    };
    StyleRule rule = RegionStyleRule(style);
    EXPECT_NE(rule, nullptr) << "style " << style;
    if (!rule)
        return std::nullopt;
    rule(f);
    EXPECT_EQ(f.DstRect, (Rect { 0, 0, W, H })) << "style " << style;
    EXPECT_EQ(invalidated.count, 0) << "style " << style;
    return std::move(f.ClipRegion);
}

std::optional<Region> StyleRegionAt(int style, int32_t W, int32_t H, int progress, int step = 4)
{
    Extents e = ProgressExtents(W, H, progress);
    return StyleRegion(style, W, H, e.PX, e.PY, BandFor(W, H, step));
}

Rects Rows(int32_t from, int32_t to, int32_t step, int32_t left, int32_t right, int32_t height = 5)
{
    Rects rows;
    for (int32_t i = from; i < to; i += step)
        rows.push_back({ left, i, right, i + height });
    return rows;
}

bool CoversFrame(const Region& region, int32_t W, int32_t H)
{
    return Region::Combine(region, Region::FromRect(0, 0, W, H), CombineMode::And).area() == uint64_t(W) * H;
}

bool EmptyInFrame(const Region& region, int32_t W, int32_t H)
{
    return Region::Combine(region, Region::FromRect(0, 0, W, H), CombineMode::And).isEmpty();
}

TEST(RegionStyles, InterlacedBarsFromTheRight)
{
    // 100 x 20 with step 1: Band 1.
    ASSERT_EQ(BandFor(100, 20, 1), 1);
    EXPECT_TRUE(IsUnionOf(*StyleRegionAt(60, 100, 20, 30, 1), Rows(0, 25, 10, 40, 100)));
    EXPECT_TRUE(IsUnionOf(*StyleRegionAt(60, 100, 20, 70, 1),
                          Rects { { 0, 0, 100, 5 }, { 60, 5, 100, 10 }, { 0, 10, 100, 15 }, { 60, 15, 100, 20 } }));
}

TEST(RegionStyles, InterlacedBarsFromTheLeftSnapWithinBand)
{
    ASSERT_EQ(BandFor(900, 600, 4), 40);
    EXPECT_TRUE(IsUnionOf(*StyleRegionAt(61, 900, 600, 47), Rows(0, 605, 10, 0, 846))); // 846 + 40 <= 900
    EXPECT_TRUE(IsUnionOf(*StyleRegionAt(61, 900, 600, 48), Rows(0, 605, 10, 0, 900))); // 864 + 40 > 900
}

TEST(RegionStyles, CombBarsNeverSnap)
{
    Rects comb;
    for (int32_t i = 0; i < 25; i += 10) {
        comb.push_back({ 1, i, 100, i + 5 });
        comb.push_back({ 0, i + 5, 99, i + 10 });
    }
    EXPECT_TRUE(IsUnionOf(*StyleRegion(64, 100, 20, 99, 20, 50), comb));
    // Style 98 alike on both axes, at PX = W - 1 with a large Band.
    std::optional<Region> lattice = StyleRegion(98, 100, 60, 99, 59, 50);
    EXPECT_FALSE(lattice->contains(0, 0)); // row 0 grows from the right, 99 long
    EXPECT_TRUE(lattice->contains(1, 0));
    EXPECT_FALSE(lattice->contains(99, 5)); // row 5 grows from the left
}

TEST(RegionStyles, CornerWipesUseTheirCornerSizes)
{
    // 400 x 300 at progress 50: PX 200, PY 150.
    std::optional<Region> s83 = StyleRegionAt(83, 400, 300, 50);
    EXPECT_EQ(*s83, Region::FromRoundRect(0, 0, 1200, 900, 600, 600));
    // A quarter circle of radius 300 about (300, 300); an 800 x 600 corner would miss (200, 30).
    EXPECT_TRUE(s83->contains(200, 30));
    EXPECT_TRUE(s83->contains(100, 100));
    EXPECT_FALSE(s83->contains(0, 0));
    EXPECT_FALSE(s83->contains(50, 50));

    std::optional<Region> s80 = StyleRegionAt(80, 400, 300, 50);
    EXPECT_EQ(*s80, Region::FromRoundRect(-800, -600, 400, 300, 800, 600));
    // A quarter ellipse with half-axes 400 x 300 about (0, 0).
    EXPECT_TRUE(s80->contains(270, 190));
    EXPECT_FALSE(s80->contains(310, 210));
}

TEST(RegionStyles, SingleShapesOn100x40AtProgress25)
{
    // PX 25, PY 10; the shapes worked out by hand.
    struct Case {
        int style;
        Region expected;
    };
    const Region full = Region::FromRect(0, 0, 100, 40);
    const Case cases[] = {
        { 58, Region::FromRoundRect(-200, -5, 50, 45, 200, 200) },
        { 59, Region::FromRoundRect(50, -5, 300, 45, 200, 200) },
        { 69, Region::FromRoundRect(-5, -80, 105, 20, 80, 80) },
        { 70, Region::FromRoundRect(-5, 20, 105, 120, 80, 80) },
        { 80, Region::FromRoundRect(-200, -80, 50, 20, 200, 80) },
        { 81, Region::FromRoundRect(50, -80, 300, 20, 200, 80) },
        { 82, Region::FromRoundRect(-200, 20, 50, 120, 200, 80) },
        { 83, Region::FromRoundRect(50, 20, 300, 120, 80, 80) },
        { 84, Region::FromRoundRect(25, 10, 75, 30, 45, 18) },
        { 85, Region::Combine(Region::FromRoundRect(-25, -10, 125, 50, 135, 54), full, CombineMode::Xor) },
        { 110, BuildTriangleRegion(0, 0, 50, 0, 0, 20) },
        { 111, BuildTriangleRegion(100, 0, 50, 0, 100, 20) },
        { 112, BuildTriangleRegion(0, 40, 50, 40, 0, 20) },
        { 113, BuildTriangleRegion(100, 40, 50, 40, 100, 20) },
        { 114, Region::Combine(BuildTriangleRegion(0, 40, 0, 0, 25, 40), BuildTriangleRegion(100, 40, 100, 0, 75, 0),
                               CombineMode::Or) },
        { 115, Region::Combine(BuildTriangleRegion(100, 0, 0, 0, 100, 10), BuildTriangleRegion(100, 40, 0, 40, 0, 30),
                               CombineMode::Or) },
    };
    ASSERT_EQ(ProgressExtents(100, 40, 25).PX, 25);
    ASSERT_EQ(ProgressExtents(100, 40, 25).PY, 10);
    for (const Case& c : cases) {
        std::optional<Region> got = StyleRegionAt(c.style, 100, 40, 25);
        ASSERT_TRUE(got.has_value()) << "style " << c.style;
        EXPECT_EQ(*got, c.expected) << "style " << c.style;
    }
}

TEST(RegionStyles, IrisesAreComplementsHalfway)
{
    // 200 x 100 at progress 50: the opening is the whole frame with 180 x 90
    // corners, and the closing hole is the same shape, so they share no pixel.
    std::optional<Region> opening = StyleRegionAt(84, 200, 100, 50);
    std::optional<Region> closing = StyleRegionAt(85, 200, 100, 50);
    EXPECT_EQ(*opening, Region::FromRoundRect(0, 0, 200, 100, 180, 90));
    EXPECT_EQ(Region::Combine(*opening, *closing, CombineMode::Or), Region::FromRect(0, 0, 200, 100));
    EXPECT_TRUE(Region::Combine(*opening, *closing, CombineMode::And).isEmpty());
}

TEST(RegionStyles, IrisesAtTheirEnds)
{
    const int32_t W = 80, H = 50;
    std::optional<Region> opening = StyleRegion(84, W, H, 0, 0, 4);
    ASSERT_TRUE(opening.has_value());
    EXPECT_TRUE(opening->isEmpty());
    std::optional<Region> closing = StyleRegion(85, W, H, 0, 0, 4);
    ASSERT_TRUE(closing.has_value());
    EXPECT_FALSE(closing->isEmpty()); // parts outside the frame remain
    EXPECT_TRUE(EmptyInFrame(*closing, W, H));
    EXPECT_TRUE(CoversFrame(*StyleRegion(85, W, H, W, H, 4), W, H));
    EXPECT_TRUE(CoversFrame(*StyleRegion(84, W, H, W, H, 4), W, H));
    // Closing: the corners show before the centre.
    std::optional<Region> midway = StyleRegionAt(85, W, H, 60);
    EXPECT_TRUE(midway->contains(0, 0));
    EXPECT_FALSE(midway->contains(W / 2, H / 2));
}

TEST(RegionStyles, RaggedStripesOnlyOnTheirColumns)
{
    const int32_t W = 60, H = 40;
    auto onStripe = [](int32_t x) { return x % 25 < 5; };
    RandomSeed(7);
    for (int progress : { 20, 50, 90 }) {
        std::optional<Region> r = StyleRegionAt(76, W, H, progress);
        for (int32_t y = 0; y < H; ++y)
            for (int32_t x = 0; x < W; ++x)
                if (r->contains(x, y)) {
                    ASSERT_TRUE(onStripe(x)) << "(" << x << ", " << y << ") at progress " << progress;
                }
    }
    // Without jitter at the full extent: exactly the three stripes.
    EXPECT_TRUE(IsUnionOf(*StyleRegion(76, W, H, W, H, 4), Rects { { 0, 0, 5, 40 }, { 25, 0, 30, 40 }, { 50, 0, 55, 40 } }));
}

TEST(RegionStyles, RaggedWipeWithoutJitterAtTheEnd)
{
    std::optional<Region> r = StyleRegion(65, 50, 23, 50, 23, 4);
    EXPECT_TRUE(IsUnionOf(*r, Rows(0, 23, 5, 0, 50, 8)));
    EXPECT_TRUE(CoversFrame(*r, 50, 23));
}

TEST(RegionStyles, MeetingLatticeIsTenSquaresAtProgress20)
{
    ASSERT_EQ(BandFor(200, 100, 4), 9);
    Rects squares;
    for (int32_t x : { 125, 150, 175 })
        for (int32_t y : { 0, 25 })
            squares.push_back({ x, y, x + 5, y + 5 });
    for (int32_t x : { 0, 25, 50, 75 })
        squares.push_back({ x, 75, x + 5, 80 });
    EXPECT_TRUE(IsUnionOf(*StyleRegionAt(99, 200, 100, 20), squares));
}

TEST(RegionStyles, LatticeOnAFrame60High)
{
    const int32_t W = 80, H = 60;
    auto onColumnLine = [](int32_t x, int32_t set) { return x % 25 < 5 * set; };
    // First half: outside the first-set rows only the first-set columns show.
    std::optional<Region> early = StyleRegionAt(86, W, H, 20);
    // Second half: rows 0-4, 25-29, 50-54 are whole; in rows 10-24 and 35-49 only columns show.
    std::optional<Region> late = StyleRegionAt(86, W, H, 60);
    for (int32_t y = 0; y < H; ++y) {
        for (int32_t x = 0; x < W; ++x) {
            if (y % 25 >= 5 && early->contains(x, y)) {
                ASSERT_TRUE(onColumnLine(x, 1)) << "early (" << x << ", " << y << ")";
            }
            if (y % 25 < 5) {
                ASSERT_TRUE(late->contains(x, y)) << "late (" << x << ", " << y << ")";
            }
            if (y % 25 >= 10 && late->contains(x, y)) {
                ASSERT_TRUE(onColumnLine(x, 2)) << "late (" << x << ", " << y << ")";
            }
        }
    }
    EXPECT_TRUE(early->contains(W - 1, 0)); // rows grow from the right
    EXPECT_TRUE(late->contains(W - 1, 5));  // the second set from the right too
}

TEST(RegionStyles, TriangleGridCellsAt1000x500)
{
    const int32_t W = 1000, H = 500;
    for (int32_t PX = 0; PX < 5; ++PX) {
        std::optional<Region> r = StyleRegion(117, W, H, PX, 123, 44);
        ASSERT_TRUE(r.has_value()) << PX;
        EXPECT_TRUE(r->isEmpty()) << PX;
    }
    // PX 500: E = 100 and PY becomes 50, the cell size; each triangle covers the
    // upper-left half of its cell. PY passed in is ignored.
    std::optional<Region> r = StyleRegion(117, W, H, 500, 7, 44);
    for (int32_t y = 0; y < H; ++y) {
        for (int32_t x = 0; x < W; ++x) {
            // Centre of the pixel in its cell, against the diagonal u/100 + v/50 = 1 (in units of 1/200).
            int32_t u2 = 2 * (x % 100) + 1, v2 = 2 * (y % 50) + 1;
            int32_t side = u2 + 2 * v2 - 200;
            if (side != 0) {
                ASSERT_EQ(r->contains(x, y), side < 0) << "(" << x << ", " << y << ")";
            }
        }
    }
}

TEST(RegionStyles, TriangleGridIsTheUnionOfItsTriangles)
{
    struct Case {
        int32_t W, H, PX;
    };
    for (auto [W, H, PX] : { Case { 64, 40, 33 }, Case { 37, 91, 20 }, Case { 250, 120, 250 }, Case { 9, 9, 7 } }) {
        const int32_t E = PX / 5, PY = MulDiv(E, H, W);
        std::optional<Region> expected;
        for (int32_t r = 0; r <= 9; ++r) {
            for (int32_t i = 0; i <= 9; ++i) {
                int32_t x = (W * i) / 10, y = (H * r) / 10;
                Region t = BuildTriangleRegion(x, y, x + E, y, x, y + PY);
                expected = expected ? Region::Combine(*expected, t, CombineMode::Or) : t;
            }
        }
        EXPECT_EQ(*StyleRegion(117, W, H, PX, 0, 4), *expected) << W << "x" << H << " PX " << PX;
    }
}

TEST(RegionStyles, TrianglesCloseTheFrameAtTheEnd)
{
    const int32_t W = 64, H = 40;
    for (int style = 110; style <= 116; ++style)
        EXPECT_TRUE(CoversFrame(*StyleRegion(style, W, H, W, H, 4), W, H)) << "style " << style;
}

TEST(RegionStyles, PinwheelHingesAtTheCentre)
{
    // 101 x 51 at progress 50: PX 51, PY 26; the blades meet at (50, 25).
    const int32_t W = 101, H = 51;
    ASSERT_EQ(ProgressExtents(W, H, 50).PX, 51);
    ASSERT_EQ(ProgressExtents(W, H, 50).PY, 26);
    const std::vector<std::vector<Point>> blades {
        { { 50, 25 }, { 0, 51 }, { 0, 25 }, { 50, 25 } },
        { { 0, 0 }, { 51, 0 }, { 50, 25 }, { 0, 0 } },
        { { 50, 51 }, { 50, 25 }, { 101, 51 }, { 50, 51 } },
        { { 50, 25 }, { 101, 0 }, { 101, 26 }, { 50, 25 } },
    };
    std::optional<Region> r = StyleRegionAt(116, W, H, 50);
    for (int32_t y = -2; y < H + 2; ++y) {
        for (int32_t x = -2; x < W + 2; ++x) {
            bool in = false, edge = false;
            for (const auto& blade : blades) {
                std::optional<bool> inside = CentreInside(blade, x, y);
                in = in || inside.value_or(false);
                edge = edge || !inside;
            }
            if (in || !edge) {
                ASSERT_EQ(r->contains(x, y), in) << "(" << x << ", " << y << ")";
            }
        }
    }
}

// ---- Every region style through the frame composer ----------------------------

struct FrameCase {
    int style;
    int32_t W, H;
};

void PrintTo(const FrameCase& c, std::ostream* os)
{
    *os << "style " << c.style << " " << c.W << "x" << c.H;
}

class RegionStyleFrames : public testing::TestWithParam<FrameCase> {
protected:
    // Old and new pictures differ at every pixel and name their coordinates.
    RegionStyleFrames()
        : W(GetParam().W)
        , H(GetParam().H)
        , oldPicture(W, H)
        , newPicture(W, H)
        , frame(W, H)
    {
        for (int32_t y = 0; y < H; ++y) {
            for (int32_t x = 0; x < W; ++x) {
                oldPicture.setPixel(x, y, RGB(uint8_t(x), uint8_t(y), 0));
                newPicture.setPixel(x, y, RGB(uint8_t(y), uint8_t(x), 255));
            }
        }
    }

    FrameResult Render(int progress)
    {
        FrameRequest request { oldPicture, newPicture, frame, GetParam().style, uint8_t(progress), 4, nullptr };
        return RenderFrame(request);
    }

    const int32_t W, H;
    Bitmap oldPicture, newPicture, frame;
};

class EveryRegionStyle : public RegionStyleFrames { };
class CurvedWipe : public RegionStyleFrames { };
class RaggedStyle : public RegionStyleFrames { };

TEST_P(EveryRegionStyle, EndsShowOneWholePicture)
{
    FrameResult start = Render(0);
    EXPECT_TRUE(start.composed);
    EXPECT_EQ(frame, oldPicture);
    FrameResult end = Render(100);
    EXPECT_EQ(frame, newPicture);
    ASSERT_EQ(end.Invalidated.count, 1);
    EXPECT_EQ(end.Invalidated.rects[0], (Rect { 0, 0, W, H }));
}

TEST_P(EveryRegionStyle, NewPictureShowsExactlyThroughTheRegion)
{
    for (int progress : { 1, 33, 50, 77, 99 }) {
        RandomSeed(uint64_t(progress));
        Render(progress);
        RandomSeed(uint64_t(progress));
        std::optional<Region> region = StyleRegionAt(GetParam().style, W, H, progress);
        ASSERT_TRUE(region.has_value()) << "progress " << progress;
        for (int32_t y = 0; y < H; ++y)
            for (int32_t x = 0; x < W; ++x)
                ASSERT_EQ(frame.pixel(x, y), (region->contains(x, y) ? newPicture : oldPicture).pixel(x, y))
                    << "(" << x << ", " << y << ") at progress " << progress;
    }
}

TEST_P(CurvedWipe, CoversTheFrameBeforeTheEnd)
{
    int covered = 0;
    for (int progress = 1; progress < 100 && !covered; ++progress) {
        Render(progress);
        if (frame == newPicture)
            covered = progress;
    }
    EXPECT_GT(covered, 0) << "the frame is never whole before progress 100";
}

// The ragged styles: the kinds of their row and column passes.
const std::map<int, std::pair<int, int>> kRaggedKinds {
    { 65, { 1, 0 } }, { 66, { 2, 0 } }, { 67, { 3, 0 } }, { 68, { 4, 0 } },
    { 76, { 0, 1 } }, { 77, { 0, 2 } }, { 78, { 0, 3 } }, { 79, { 0, 4 } },
    { 100, { 1, 1 } }, { 101, { 1, 2 } }, { 102, { 2, 1 } }, { 103, { 2, 2 } }, { 104, { 1, 3 } },
    { 105, { 2, 3 } }, { 106, { 3, 1 } }, { 107, { 3, 2 } }, { 108, { 3, 3 } }, { 109, { 4, 4 } },
};

TEST_P(RaggedStyle, BarEndsStayWithinTheJitterRange)
{
    const auto [xKind, yKind] = kRaggedKinds.at(GetParam().style);
    for (int progress : { 5, 30, 50, 80, 100 }) {
        const Extents e = ProgressExtents(W, H, progress);
        const uint64_t seed = 1000 + uint64_t(progress);
        RandomSeed(seed);
        std::optional<Region> whole = StyleRegionAt(GetParam().style, W, H, progress);
        // The same draws split by pass: rows first, then columns.
        RandomSeed(seed);
        std::optional<Region> rows = BuildRaggedBarsRegion(xKind ? e.PX : 0, 0, W, H, xKind, 0);
        std::optional<Region> columns = BuildRaggedBarsRegion(0, yKind ? e.PY : 0, W, H, 0, yKind);
        Region both;
        if (rows) {
            ASSERT_TRUE(test::RaggedPassWithinJitter(*rows, false, e.PX, W, H, xKind)) << "rows at " << progress;
            both = *rows;
        }
        if (columns) {
            ASSERT_TRUE(test::RaggedPassWithinJitter(*columns, true, e.PY, H, W, yKind)) << "columns at " << progress;
            both = Region::Combine(both, *columns, CombineMode::Or);
        }
        EXPECT_EQ(*whole, both) << "progress " << progress;
    }
}

// Each style on a frame wider than high and one higher than wide (heights
// multiples of 5, as the ragged row check needs).
std::vector<FrameCase> FramesOf(const std::vector<int>& styles)
{
    std::vector<FrameCase> cases;
    for (int style : styles) {
        cases.push_back({ style, 64, 40 });
        cases.push_back({ style, 35, 60 });
    }
    return cases;
}

std::vector<int> AllRegionStyles()
{
    std::vector<int> styles;
    for (int style = kFirstRegionStyle; style <= kLastStyle; ++style)
        styles.push_back(style);
    return styles;
}

std::vector<int> RaggedStyles()
{
    std::vector<int> styles;
    for (const auto& entry : kRaggedKinds)
        styles.push_back(entry.first);
    return styles;
}

std::string CaseName(const testing::TestParamInfo<FrameCase>& info)
{
    return "style" + std::to_string(info.param.style) + "_" + std::to_string(info.param.W) + "x"
        + std::to_string(info.param.H);
}

INSTANTIATE_TEST_SUITE_P(Styles, EveryRegionStyle, testing::ValuesIn(FramesOf(AllRegionStyles())), CaseName);
INSTANTIATE_TEST_SUITE_P(Styles, CurvedWipe, testing::ValuesIn(FramesOf({ 58, 59, 69, 70, 80, 81, 82, 83 })),
                         CaseName);
INSTANTIATE_TEST_SUITE_P(Styles, RaggedStyle, testing::ValuesIn(FramesOf(RaggedStyles())), CaseName);

}
}
