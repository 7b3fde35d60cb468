// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <climits>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "platform/graphics/Region.h"
#include "support/RegionModel.h"

using namespace kalvio;

namespace {

using test::Shape;
using test::ModelContains;
const auto Make = test::MakeRegion;

std::string Cpp(const Shape& s)
{
    static const char* names[] = { "Shape::Rectangle", "Shape::RoundRect", "Shape::Polygon" };
    std::ostringstream o;
    o << "{ " << names[s.kind] << ", { " << s.v[0] << ", " << s.v[1] << ", " << s.v[2] << ", " << s.v[3] << ", "
      << s.v[4] << ", " << s.v[5] << " }, {";
    for (size_t i = 0; i < s.points.size(); ++i)
        o << (i ? ", " : " ") << "{ " << s.points[i].x << ", " << s.points[i].y << " }";
    o << (s.points.empty() ? "} }" : " } }");
    return o.str();
}

std::string Cpp(const std::vector<Shape>& shapes)
{
    std::string out = "std::vector<Shape> shapes = {\n";
    for (const Shape& s : shapes)
        out += "    " + Cpp(s) + ",\n";
    return out + "};";
}



// Compares a region with a predicate over a window that holds every pixel of both.
template <typename Inside>
::testing::AssertionResult SamePixels(const Region& region, const Rect& window, Inside inside)
{
    if (!region.isValid())
        return ::testing::AssertionFailure() << "region breaks its form";
    uint64_t count = 0;
    for (int32_t y = window.top; y < window.bottom; ++y) {
        for (int32_t x = window.left; x < window.right; ++x) {
            bool expected = inside(x, y);
            count += expected;
            if (region.contains(x, y) != expected)
                return ::testing::AssertionFailure() << "pixel (" << x << ", " << y << ") should be "
                                                     << (expected ? "in" : "out");
        }
    }
    if (region.area() != count)
        return ::testing::AssertionFailure() << "area " << region.area() << ", pixels " << count;
    return ::testing::AssertionSuccess();
}

Shape RandomShape(std::mt19937& rng)
{
    auto coord = [&] { return int32_t(rng() % 48) - 8; };
    Shape s {};
    switch (rng() % 4) {
    case 0:
    case 1:
        s.kind = Shape::Rectangle;
        s.v[0] = coord(), s.v[1] = coord(), s.v[2] = coord(), s.v[3] = coord();
        break;
    case 2:
        s.kind = Shape::RoundRect;
        s.v[0] = coord(), s.v[1] = coord(), s.v[2] = coord(), s.v[3] = coord();
        s.v[4] = int32_t(rng() % 60) - 10, s.v[5] = int32_t(rng() % 60) - 10;
        break;
    default: {
        s.kind = Shape::Polygon;
        size_t n = 3 + rng() % 5;
        for (size_t i = 0; i < n; ++i)
            s.points.push_back({ coord(), coord() });
        break;
    }
    }
    return s;
}

const Rect kWindow { -12, -12, 44, 44 };

} // namespace

TEST(RegionRules, RectanglesAreOrderedAndEqualEdgesGiveEmpty)
{
    EXPECT_EQ(Region::FromRect(10, 8, 2, 3), Region::FromRect(2, 3, 10, 8));
    EXPECT_EQ(Region::FromRect(2, 8, 10, 3), Region::FromRect(2, 3, 10, 8));
    EXPECT_EQ(Region::FromRect(2, 3, 10, 8).area(), 40u);
    EXPECT_EQ(Region::FromRect(2, 3, 10, 8).bounds(), (Rect { 2, 3, 10, 8 }));
    EXPECT_TRUE(Region::FromRect(5, 0, 5, 10).isEmpty());
    EXPECT_TRUE(Region::FromRect(0, 7, 10, 7).isEmpty());
    EXPECT_EQ(Region::FromRect(5, 0, 5, 10), Region());
    Region r = Region::FromRect(2, 3, 10, 8);
    EXPECT_TRUE(r.contains(2, 3));
    EXPECT_TRUE(r.contains(9, 7));
    EXPECT_FALSE(r.contains(10, 7)); // right and bottom edges excluded
    EXPECT_FALSE(r.contains(9, 8));
}

TEST(RegionRules, RoundRectCornersAreLimitedToTheRectangle)
{
    // Corner sizes larger than the rectangle act as its own width and height.
    EXPECT_EQ(Region::FromRoundRect(0, 0, 40, 20, 400, 200), Region::FromRoundRect(0, 0, 40, 20, 40, 20));
    EXPECT_EQ(Region::FromRoundRect(40, 20, 0, 0, 400, 200), Region::FromRoundRect(0, 0, 40, 20, 40, 20));
    // Without corners it is the rectangle.
    EXPECT_EQ(Region::FromRoundRect(3, 4, 30, 20, 0, 9), Region::FromRect(3, 4, 30, 20));
    // A full-size corner gives the inscribed ellipse: centre rows full, corners cut.
    Region ellipse = Region::FromRoundRect(0, 0, 40, 20, 40, 20);
    EXPECT_EQ(ellipse.bounds(), (Rect { 0, 0, 40, 20 }));
    EXPECT_TRUE(ellipse.contains(0, 9));
    EXPECT_TRUE(ellipse.contains(20, 0));
    EXPECT_FALSE(ellipse.contains(0, 0));
    EXPECT_FALSE(ellipse.contains(39, 19));
    // A circle of diameter 10: row 0 keeps the columns whose centres are within 5 of (5, 5).
    Region circle = Region::FromRoundRect(0, 0, 10, 10, 10, 10);
    ASSERT_GT(circle.bandCount(), 0u);
    EXPECT_EQ(circle.band(0).top, 0);
    ASSERT_EQ(circle.band(0).spans.size(), 1u);
    EXPECT_EQ(circle.band(0).spans[0], (Region::Span { 3, 7 }));
}

TEST(RegionRules, PolygonWithCoincidentPointsIsEmpty)
{
    std::vector<Point> same(4, Point { 7, 7 });
    EXPECT_TRUE(Region::FromPolygon(same).isEmpty());
    std::vector<Point> origin(4, Point { 0, 0 });
    EXPECT_TRUE(Region::FromPolygon(origin).isEmpty());
    std::vector<Point> line { { 0, 0 }, { 10, 10 }, { 20, 20 }, { 0, 0 } };
    EXPECT_TRUE(Region::FromPolygon(line).isEmpty());
}

TEST(RegionRules, TrianglesThatShareAnEdgeTileWithoutGapOrOverlap)
{
    std::vector<Point> lower { { 0, 0 }, { 10, 0 }, { 0, 10 }, { 0, 0 } };
    std::vector<Point> upper { { 10, 0 }, { 10, 10 }, { 0, 10 }, { 10, 0 } };
    Region a = Region::FromPolygon(lower), b = Region::FromPolygon(upper);
    EXPECT_EQ(a.area(), 45u); // centres on the shared edge belong to the triangle on its right
    EXPECT_EQ(a.area() + b.area(), 100u);
    EXPECT_TRUE(Region::Combine(a, b, CombineMode::And).isEmpty());
    EXPECT_EQ(Region::Combine(a, b, CombineMode::Or), Region::FromRect(0, 0, 10, 10));
}

TEST(RegionRules, PinwheelBladesCloseTheFrame)
{
    // The four blades at the end of the pinwheel on a 101 x 51 frame meet at (50, 25).
    const int32_t W = 101, H = 51, cx = W / 2, cy = H / 2;
    std::vector<std::vector<Point>> blades {
        { { cx, cy }, { 0, H }, { 0, 0 }, { cx, cy } },
        { { 0, 0 }, { W, 0 }, { cx, cy }, { 0, 0 } },
        { { 0, H }, { cx, cy }, { W, H }, { 0, H } },
        { { cx, cy }, { W, 0 }, { W, H }, { cx, cy } },
    };
    uint64_t total = 0;
    RegionBuilder builder;
    for (const auto& blade : blades) {
        total += Region::FromPolygon(blade).area();
        builder.addPolygon(blade);
    }
    EXPECT_EQ(total, uint64_t(W * H));
    EXPECT_EQ(builder.build(), Region::FromRect(0, 0, W, H));
}

TEST(RegionRules, CornerTriangleAtTheEndCoversTheFrame)
{
    const int32_t W = 101, H = 51;
    std::vector<Point> triangle { { 0, 0 }, { 2 * W, 0 }, { 0, 2 * H }, { 0, 0 } };
    Region frame = Region::FromRect(0, 0, W, H);
    EXPECT_EQ(Region::Combine(Region::FromPolygon(triangle), frame, CombineMode::And), frame);
}

TEST(RegionRules, TriangleGridFillsTheUpperLeftHalfOfEveryCell)
{
    // A 1000 x 500 frame with legs 100 and 50: each triangle spans its cell's top and left edges.
    const int32_t W = 1000, H = 500, E = 100, PY = 50;
    Region oneByOne;
    RegionBuilder builder;
    std::vector<Point> first;
    for (int32_t r = 0; r < 10; ++r) {
        for (int32_t i = 0; i < 10; ++i) {
            int32_t x = W * i / 10, y = H * r / 10;
            std::vector<Point> t { { x, y }, { x + E, y }, { x, y + PY }, { x, y } };
            oneByOne.combine(Region::FromPolygon(t), CombineMode::Or);
            builder.addPolygon(t);
            if (first.empty())
                first = t;
        }
    }
    Region cell = Region::FromPolygon(first);
    EXPECT_EQ(cell.bounds(), (Rect { 0, 0, E - 1, PY })); // (99, 0) has its centre right of the hypotenuse
    EXPECT_NEAR(double(cell.area()), E * PY / 2.0, E);
    EXPECT_EQ(oneByOne.area(), 100 * cell.area());
    EXPECT_EQ(builder.build(), oneByOne);
}

TEST(RegionRules, CoordinatesFarOutsideTheFrameWork)
{
    struct Case {
        std::vector<Point> points;
    };
    // A 64 x 64 window; shapes reaching -3 and +3 times its size, and far beyond.
    const std::vector<Case> cases {
        { { { -192, -192 }, { 192, -150 }, { 30, 192 } } },
        { { { 0, 0 }, { 128, 0 }, { 0, 128 }, { 0, 0 } } },
        { { { -192, 40 }, { 192, 10 }, { 192, 60 } } },
        { { { -1000000000, -5 }, { 1000000000, 70 }, { 30, 300 } } },
        { { { -2000000000, -3000 }, { 2000000000, -3000 }, { 2000000000, 3000 }, { -2000000000, 10 } } },
    };
    const Rect window { 0, 0, 64, 64 };
    Region frame = Region::FromRect(window);
    for (const Case& c : cases) {
        Shape s { Shape::Polygon, {}, c.points };
        Region clipped = Region::Combine(Region::FromPolygon(c.points), frame, CombineMode::And);
        EXPECT_TRUE(SamePixels(clipped, window, [&](int32_t x, int32_t y) { return ModelContains(s, x, y); })) << Cpp(s);
    }
    // Rows beyond the polygon row limit are left out, the rows near the frame are exact.
    std::vector<Point> tall { { 10, -2000000000 }, { 50, 2000000000 }, { 0, 2000000000 } };
    Region tallRegion = Region::FromPolygon(tall);
    EXPECT_EQ(tallRegion.bounds().top, -Region::kPolygonRowLimit);
    EXPECT_EQ(tallRegion.bounds().bottom, Region::kPolygonRowLimit);
    // Rounded rectangles of extreme size: exact near the frame, rows limited like polygons.
    const std::vector<Shape> rounded {
        { Shape::RoundRect, { INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX, INT32_MIN, INT32_MAX }, {} },
        { Shape::RoundRect, { -2000000000, 40, 60, 2000000000, 2000000000, 2000000000 }, {} },
        { Shape::RoundRect, { -192, -192, 256, 256, -384, 384 }, {} },
    };
    for (const Shape& s : rounded) {
        Region clipped = Region::Combine(Make(s), frame, CombineMode::And);
        EXPECT_TRUE(SamePixels(clipped, window, [&](int32_t x, int32_t y) { return ModelContains(s, x, y); })) << Cpp(s);
    }
    EXPECT_EQ(Make(rounded[0]).bounds().top, -Region::kPolygonRowLimit);
    // A rectangle far larger than the frame.
    Region huge = Region::FromRect(-2000000000, -2000000000, 2000000000, 2000000000);
    EXPECT_EQ(Region::Combine(huge, frame, CombineMode::And), frame);
    EXPECT_EQ(huge.area(), 16000000000000000000ull);
}

TEST(RegionRules, EmptyOperandsAndEqualOperands)
{
    Region a = Region::FromRect(0, 0, 10, 10), empty;
    EXPECT_EQ(Region::Combine(a, empty, CombineMode::Or), a);
    EXPECT_EQ(Region::Combine(empty, a, CombineMode::Xor), a);
    EXPECT_TRUE(Region::Combine(a, empty, CombineMode::And).isEmpty());
    EXPECT_TRUE(Region::Combine(a, a, CombineMode::Xor).isEmpty());
    EXPECT_EQ(Region::Combine(a, a, CombineMode::And), a);
    a.combine(a, CombineMode::Or); // the destination may be an operand
    EXPECT_EQ(a, Region::FromRect(0, 0, 10, 10));
    EXPECT_EQ(Region().bounds(), Rect {});
    RegionBuilder builder;
    EXPECT_FALSE(builder.hasShapes());
    builder.addRect(5, 5, 5, 9); // an empty piece still counts as a shape
    EXPECT_TRUE(builder.hasShapes());
    EXPECT_TRUE(builder.build().isEmpty());
    EXPECT_FALSE(builder.hasShapes());
}

TEST(RegionRules, TouchingPiecesMergeIntoTheUniqueForm)
{
    Region a = Region::FromRect(0, 0, 10, 5);
    a.combine(Region::FromRect(0, 5, 10, 9), CombineMode::Or);  // bands merge
    a.combine(Region::FromRect(10, 0, 14, 9), CombineMode::Or); // spans merge
    EXPECT_EQ(a, Region::FromRect(0, 0, 14, 9));
    EXPECT_EQ(a.bandCount(), 1u);
    Region x = Region::Combine(Region::FromRect(0, 0, 10, 10), Region::FromRect(5, 0, 15, 10), CombineMode::Xor);
    ASSERT_EQ(x.bandCount(), 1u);
    EXPECT_EQ(std::vector<Region::Span>(x.band(0).spans.begin(), x.band(0).spans.end()),
        (std::vector<Region::Span> { { 0, 5 }, { 10, 15 } }));
}

TEST(RegionRules, BuilderUnitesPiecesRowsApart)
{
    // Pieces far apart in y (a few rows each, billions of rows between) and
    // overlapping ones: the same arrays as uniting one by one.
    const std::vector<Rect> pieces { { 0, -2000000000, 10, -1999999990 }, { 5, 2000000000, -5, 1999999000 },
        { -3, 0, 4, 3 }, { 2, 1, 9, 5 }, { 0, -2000000000, 10, -1999999995 } };
    Region oneByOne;
    RegionBuilder builder;
    for (const Rect& r : pieces) {
        oneByOne.combine(Region::FromRect(r), CombineMode::Or);
        builder.addRect(r);
    }
    Region built = builder.build();
    EXPECT_TRUE(built.isValid());
    EXPECT_EQ(built, oneByOne);
    EXPECT_EQ(built.area(), 100u + 10000u + 21u + 28u - 4u);
    // The builder is empty again and can be used for the next frame.
    builder.addRegion(built);
    EXPECT_EQ(builder.build(), built);
}

// A shape repeated over a grid: the same arrays as uniting every moved copy.
TEST(RegionRules, TiledIsTheUnionOfTheMovedCells)
{
    struct Case {
        const char* what;
        std::vector<int32_t> xs, ys;
    } cases[] = {
        { "one copy", { 0 }, { 0 } },
        { "apart", { 0, 60, 120 }, { -50, 10 } },
        { "overlapping", { 0, 3, 7, 20 }, { 0, 2, 5 } },
        { "unsorted, repeated, negative", { 20, -5, 3, 3 }, { 9, -9, 9 } },
        { "no offsets", {}, { 0 } },
        { "past both ends", { INT32_MAX, INT32_MIN, 0 }, { INT32_MIN + 20, INT32_MAX - 20 } },
    };
    for (uint32_t seed = 1; seed <= 40; ++seed) {
        std::mt19937 rng(seed);
        RegionBuilder cellBuilder;
        for (uint32_t n = 1 + rng() % 3; n > 0; --n)
            cellBuilder.addRegion(Make(RandomShape(rng)));
        const Region cell = cellBuilder.build();
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.what) + ", seed " + std::to_string(seed));
            const Region tiled = Region::Tiled(cell, c.xs, c.ys);
            ASSERT_TRUE(tiled.isValid());
            ASSERT_EQ(tiled, test::TiledByCopies(cell, c.xs, c.ys));
        }
    }
}

// Offsets at the ends of the coordinate range cut the copies off there, not
// wrapped; copies wholly past an end add nothing, even when no copy is left.
TEST(RegionRules, TiledCopiesAreCutOffAtTheEndsOfTheRange)
{
    struct Case {
        const char* what;
        Rect cell;
        std::vector<int32_t> xs, ys;
        uint64_t area;
        Rect bounds;
    } cases[] = {
        { "every copy past the right end", { 0, 0, 10, 10 }, { INT32_MAX }, { 0 }, 0, {} },
        { "every copy past the bottom end", { 0, 0, 10, 10 }, { 0, 5 }, { INT32_MAX }, 0, {} },
        { "every copy past the left end", { -10, -10, 0, 0 }, { INT32_MIN }, { 0, 3 }, 0, {} },
        { "every copy past one end or the other", { 0, 0, 10, 10 }, { INT32_MAX }, { INT32_MAX, INT32_MIN, 0 }, 0, {} },
        { "one column left at the right end", { 0, 0, 10, 10 }, { INT32_MAX, INT32_MAX - 1 }, { INT32_MIN, 0 }, 20,
            { INT32_MAX - 1, INT32_MIN, INT32_MAX, 10 } },
        { "cut at the left end", { -10, -10, 10, 10 }, { INT32_MIN }, { 0 }, 200, { INT32_MIN, -10, INT32_MIN + 10, 10 } },
        { "cut at all four ends", { -10, -10, 10, 10 }, { INT32_MIN + 5, INT32_MAX - 5 }, { INT32_MIN + 5, INT32_MAX - 5 },
            4 * 15 * 15, { INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX } },
        { "whole, cut and past the end", { -10, -10, 10, 10 }, { INT32_MAX, 0 }, { INT32_MAX, 0 }, 400 + 200 + 200 + 100,
            { -10, -10, INT32_MAX, INT32_MAX } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Region cell = Region::FromRect(c.cell);
        const Region tiled = Region::Tiled(cell, c.xs, c.ys);
        EXPECT_TRUE(tiled.isValid());
        EXPECT_EQ(tiled.area(), c.area);
        EXPECT_EQ(tiled.bounds(), c.bounds);
        EXPECT_EQ(tiled, test::TiledByCopies(cell, c.xs, c.ys));
    }
}

// Every shape, operation and the builder against the per-pixel model.
TEST(RegionRandomized, MatchesThePerPixelModel)
{
    const CombineMode modes[] = { CombineMode::And, CombineMode::Or, CombineMode::Xor };
    for (uint32_t seed = 1; seed <= 300; ++seed) {
        std::mt19937 rng(seed);
        std::vector<Shape> shapes;
        size_t n = 1 + rng() % 6;
        for (size_t i = 0; i < n; ++i)
            shapes.push_back(RandomShape(rng));
        SCOPED_TRACE("seed " + std::to_string(seed) + "\n" + Cpp(shapes));

        for (const Shape& s : shapes)
            ASSERT_TRUE(SamePixels(Make(s), kWindow, [&](int32_t x, int32_t y) { return ModelContains(s, x, y); }));

        const Region a = Make(shapes[0]), b = Make(shapes[n / 2]);
        for (CombineMode mode : modes) {
            ASSERT_TRUE(SamePixels(Region::Combine(a, b, mode), kWindow, [&](int32_t x, int32_t y) {
                bool ia = ModelContains(shapes[0], x, y), ib = ModelContains(shapes[n / 2], x, y);
                return mode == CombineMode::And ? ia && ib : mode == CombineMode::Or ? ia || ib : ia != ib;
            })) << "mode " << int(mode);
        }

        // The union one by one and the bulk builder give the same pixels and so the same arrays.
        Region oneByOne;
        RegionBuilder builder;
        for (size_t i = 0; i < n; ++i) {
            oneByOne.combine(Make(shapes[i]), CombineMode::Or);
            if (shapes[i].kind == Shape::Rectangle)
                builder.addRect(shapes[i].v[0], shapes[i].v[1], shapes[i].v[2], shapes[i].v[3]);
            else if (shapes[i].kind == Shape::Polygon)
                builder.addPolygon(shapes[i].points);
            else
                builder.addRegion(Make(shapes[i]));
        }
        auto inAny = [&](int32_t x, int32_t y) {
            for (const Shape& s : shapes)
                if (ModelContains(s, x, y))
                    return true;
            return false;
        };
        ASSERT_TRUE(SamePixels(oneByOne, kWindow, inAny));
        ASSERT_EQ(builder.build(), oneByOne);

        Region bounds = Region::FromRect(oneByOne.bounds());
        ASSERT_EQ(Region::Combine(bounds, oneByOne, CombineMode::And), oneByOne);
    }
}
