// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "platform/system/Random.h"
#include "transition/RegionChecks.h"
#include "transition/styles/RegionBuilders.h"

namespace kalvio {
namespace {

using test::CentreInside;
using test::IsUnionOf;
using Rects = std::vector<Rect>;

// ---- Worked cases -----------------------------------------------------------

struct BuilderCase {
    const char* name;
    std::function<std::optional<Region>()> build;
    std::optional<Rects> expected; // nullopt: no region at all
};

Rects Repeat(int32_t from, int32_t to, int32_t step, const std::function<Rects(int32_t)>& piece)
{
    Rects all;
    for (int32_t i = from; i < to; i += step)
        for (const Rect& r : piece(i))
            all.push_back(r);
    return all;
}

TEST(RegionBuilders, WorkedCases)
{
    const BuilderCase cases[] = {
        { "overshoot: full bar then the second set from the right",
          [] { return BuildBarsRegion(30, 0, 20, 20, 0, 1, 0); },
          Rects { { 0, 0, 20, 5 }, { 10, 5, 20, 10 }, { 0, 10, 20, 15 }, { 10, 15, 20, 20 } } },
        { "bars from the left, the last one below the frame",
          [] { return BuildBarsRegion(8, 0, 20, 20, 0, 2, 0); },
          Rects { { 0, 0, 8, 5 }, { 0, 10, 8, 15 }, { 0, 20, 8, 25 } } },
        { "snap: 8 + 13 > 20 gives full bars",
          [] { return BuildBarsRegion(8, 0, 20, 20, 13, 2, 0); },
          Rects { { 0, 0, 20, 5 }, { 0, 10, 20, 15 }, { 0, 20, 20, 25 } } },
        { "no snap: 8 + 12 is not above 20",
          [] { return BuildBarsRegion(8, 0, 20, 20, 12, 2, 0); },
          Rects { { 0, 0, 8, 5 }, { 0, 10, 8, 15 }, { 0, 20, 8, 25 } } },
        { "extent equal to the width is no overshoot",
          [] { return BuildBarsRegion(20, 0, 20, 20, 0, 1, 0); },
          Rects { { 0, 0, 20, 5 }, { 0, 10, 20, 15 }, { 0, 20, 20, 25 } } },
        { "spaced lattice rows under overshoot",
          [] { return BuildSpacedBarsRegion(40, 0, 20, 60, 0, 2, 0); },
          Rects { { 0, 0, 20, 10 }, { 0, 25, 20, 35 }, { 0, 50, 20, 60 } } },
        { "kind 3 pairs bars from both sides",
          [] { return BuildBarsRegion(6, 0, 20, 20, 0, 3, 0); },
          Repeat(0, 25, 10, [](int32_t i) { return Rects { { 14, i, 20, i + 5 }, { 0, i + 5, 6, i + 10 } }; }) },
        { "column pass: overshoot from the bottom",
          [] { return BuildBarsRegion(0, 30, 20, 20, 0, 0, 1); },
          Rects { { 0, 0, 5, 20 }, { 5, 10, 10, 20 }, { 10, 0, 15, 20 }, { 15, 10, 20, 20 } } },
        { "column pass: kind 5 under overshoot grows from the top",
          [] { return BuildSpacedBarsRegion(0, 26, 30, 20, 0, 0, 5); },
          Rects { { 0, 0, 5, 20 }, { 5, 0, 10, 6 }, { 25, 0, 30, 20 }, { 30, 0, 35, 6 } } },
        { "a pass of kind 0 leaves the other alone",
          [] { return BuildBarsRegion(8, 17, 20, 20, 0, 2, 0); },
          Rects { { 0, 0, 8, 5 }, { 0, 10, 8, 15 }, { 0, 20, 8, 25 } } },
        { "bars of length 0 still make a region", [] { return BuildBarsRegion(0, 0, 20, 20, 0, 2, 1); }, Rects {} },
        { "bars: both kinds 0 make none", [] { return BuildBarsRegion(8, 8, 20, 20, 0, 0, 0); }, std::nullopt },
        { "spaced: both kinds 0 make none", [] { return BuildSpacedBarsRegion(8, 8, 20, 20, 0, 0, 0); },
          std::nullopt },
        { "ragged: both kinds 0 make none", [] { return BuildRaggedBarsRegion(8, 8, 20, 20, 0, 0); }, std::nullopt },
        { "ragged at full width: no jitter, overlapping rows",
          [] { return BuildRaggedBarsRegion(20, 0, 20, 13, 1, 0); },
          Rects { { 0, 0, 20, 8 }, { 0, 5, 20, 13 }, { 0, 10, 20, 18 } } },
        { "ragged from the left at full width",
          [] { return BuildRaggedBarsRegion(12, 0, 12, 12, 2, 0); },
          Rects { { 0, 0, 12, 7 }, { 0, 5, 12, 12 }, { 0, 10, 12, 17 } } },
        { "ragged columns every 25 at full height",
          [] { return BuildRaggedBarsRegion(0, 20, 60, 20, 0, 2); },
          Rects { { 0, 0, 5, 20 }, { 25, 0, 30, 20 }, { 50, 0, 55, 20 } } },
        { "ragged kind 3 at full width reaches both edges",
          [] { return BuildRaggedBarsRegion(21, 0, 21, 10, 3, 0); },
          Rects { { 0, 0, 21, 5 }, { 0, 5, 21, 10 } } },
        { "ragged kind 7 acts as 4", [] { return BuildRaggedBarsRegion(10, 0, 10, 5, 7, 0); },
          Rects { { 5, 0, 10, 5 }, { 0, 0, 5, 5 } } },
        { "empty triangle is an empty region", [] { return std::optional(BuildTriangleRegion(0, 0, 0, 0, 0, 0)); },
          Rects {} },
        { "triangle on a line is empty", [] { return std::optional(BuildTriangleRegion(0, 0, 10, 10, 20, 20)); },
          Rects {} },
    };
    for (const BuilderCase& c : cases)
        EXPECT_TRUE(IsUnionOf(c.build(), c.expected)) << c.name;
}

// ---- Against literal per-pixel models ----------------------------------------

struct BarsInput {
    int32_t period, XExtent, YExtent, Width, Height, SnapMargin;
    uint8_t XKind, YKind;

    std::string Describe() const
    {
        std::ostringstream s;
        s << "{" << period << ", " << XExtent << ", " << YExtent << ", " << Width << ", " << Height << ", "
          << SnapMargin << ", " << int(XKind) << ", " << int(YKind) << "}";
        return s.str();
    }
};

// The rectangles of every piece, following the rules step by step;
// nullopt when no piece is made.
std::optional<Rects> ReferenceBars(const BarsInput& in)
{
    std::optional<Rects> result;
    auto join = [&](const Rects& piece) {
        if (!result)
            result = Rects {};
        result->insert(result->end(), piece.begin(), piece.end());
    };
    const int32_t W = in.Width, H = in.Height, P = in.period;
    if (in.XKind != 0) {
        int32_t X = in.XExtent;
        const bool overshoot = X > W;
        for (int32_t i = overshoot ? 5 : 0; i < H + 5; i += P) {
            Rects piece;
            if (!overshoot) {
                if (X + in.SnapMargin > W)
                    X = W;
                switch (in.XKind) {
                case 1: piece = { { W - X, i, W, i + 5 } }; break;
                case 2: piece = { { 0, i, X, i + 5 } }; break;
                case 3: piece = { { W - X, i, W, i + 5 }, { 0, i + 5, X, i + 10 } }; break;
                case 4: piece = { { 0, i, X, i + 5 } }; break;
                case 5: piece = { { W - X, i, W, i + 5 } }; break;
                }
            } else {
                piece = { { 0, i - 5, W, i } };
                switch (in.XKind) {
                case 1: piece.push_back({ 2 * W - X, i, W, i + 5 }); break;
                case 2: piece.push_back({ 0, i, X - W, i + 5 }); break;
                case 4: piece.push_back({ 2 * W - X, i, W, i + 5 }); break;
                case 5: piece.push_back({ 0, i, X - W, i + 5 }); break;
                }
            }
            join(piece);
        }
    }
    if (in.YKind != 0) {
        int32_t Y = in.YExtent;
        const bool overshoot = Y > H;
        for (int32_t j = overshoot ? 5 : 0; j < W + 5; j += P) {
            Rects piece;
            if (!overshoot) {
                if (Y + in.SnapMargin > H)
                    Y = H;
                switch (in.YKind) {
                case 1: piece = { { j, H - Y, j + 5, H } }; break;
                case 2: piece = { { j, 0, j + 5, Y } }; break;
                case 3: piece = { { j, H - Y, j + 5, H }, { j + 5, 0, j + 10, Y } }; break;
                case 4: piece = { { j, 0, j + 5, Y } }; break;
                case 5: piece = { { j, H - Y, j + 5, H } }; break;
                }
            } else {
                piece = { { j - 5, 0, j, H } };
                switch (in.YKind) {
                case 1: piece.push_back({ j, 2 * H - Y, j + 5, H }); break;
                case 2: piece.push_back({ j, 0, j + 5, Y - H }); break;
                case 4: piece.push_back({ j, 2 * H - Y, j + 5, H }); break;
                case 5: piece.push_back({ j, 0, j + 5, Y - H }); break;
                }
            }
            join(piece);
        }
    }
    return result;
}

// Kinds 3 and 0 come only with an extent within the size; the others reach
// up to twice the size (the doubled extents).
int32_t RandomExtent(std::mt19937& rng, uint8_t kind, int32_t size)
{
    int32_t limit = (kind == 0 || kind == 3) ? size : 2 * size;
    return std::uniform_int_distribution<int32_t>(0, limit)(rng);
}

TEST(RegionBuilders, BarsMatchModelOnRandomInputs)
{
    std::mt19937 rng(20261210);
    auto pick = [&](int32_t lo, int32_t hi) { return std::uniform_int_distribution<int32_t>(lo, hi)(rng); };
    for (int trial = 0; trial < 400; ++trial) {
        BarsInput in {};
        in.period = pick(0, 1) ? 25 : 10;
        in.Width = pick(1, 70);
        in.Height = pick(1, 70);
        in.XKind = uint8_t(pick(0, 5));
        in.YKind = uint8_t(pick(0, 5));
        in.XExtent = RandomExtent(rng, in.XKind, in.Width);
        in.YExtent = RandomExtent(rng, in.YKind, in.Height);
        in.SnapMargin = pick(0, 3) == 0 ? 0 : pick(0, std::max(in.Width, in.Height) / 2);
        auto build = in.period == 10 ? BuildBarsRegion : BuildSpacedBarsRegion;
        std::optional<Region> got = build(in.XExtent, in.YExtent, in.Width, in.Height, in.SnapMargin, in.XKind,
                                          in.YKind);
        ASSERT_TRUE(IsUnionOf(got, ReferenceBars(in))) << "input " << in.Describe();
    }
}

struct RaggedInput {
    int32_t XExtent, YExtent, Width, Height, XKind, YKind;
    uint64_t seed;

    std::string Describe() const
    {
        std::ostringstream s;
        s << "{" << XExtent << ", " << YExtent << ", " << Width << ", " << Height << ", " << XKind << ", " << YKind
          << ", " << seed << "}";
        return s.str();
    }
};

// The pieces of the ragged builder with the generator seeded as given, drawing
// bar by bar: for each jitter the number added, then the number subtracted;
// the first jitter before the second.
std::optional<Rects> ReferenceRagged(const RaggedInput& in)
{
    RandomSeed(in.seed);
    auto jitter = [](int32_t range) {
        int32_t plus = Random(range);
        int32_t minus = Random(range);
        return plus - minus;
    };
    std::optional<Rects> result;
    auto join = [&](const Rects& piece) {
        if (!result)
            result = Rects {};
        result->insert(result->end(), piece.begin(), piece.end());
    };
    const int32_t W = in.Width, H = in.Height, X = in.XExtent, Y = in.YExtent;
    if (in.XKind != 0) {
        const int32_t range = X < W ? W / 7 : 0;
        for (int32_t y = 0; y < H; y += 5) {
            const int32_t bottom = y + 5 + H % 5;
            if (in.XKind == 1) {
                join({ { W - X + jitter(range), y, W, bottom } });
            } else if (in.XKind == 2) {
                join({ { 0, y, X + jitter(range), bottom } });
            } else {
                const int32_t j1 = jitter(range);
                const int32_t j2 = jitter(range);
                if (in.XKind == 3)
                    join({ { (W - X + j1) / 2, y, W / 2, bottom }, { W / 2, y, (W + X + j2) / 2, bottom } });
                else
                    join({ { W - (X + j1) / 2, y, W, bottom }, { 0, y, (X + j2) / 2, bottom } });
            }
        }
    }
    if (in.YKind != 0) {
        const int32_t range = Y < H ? H / 7 : 0;
        for (int32_t x = 0; x < W; x += 25) {
            const int32_t right = x + 5 + W % 5;
            if (in.YKind == 1) {
                join({ { x, H - Y + jitter(range), right, H } });
            } else if (in.YKind == 2) {
                join({ { x, 0, right, Y + jitter(range) } });
            } else {
                const int32_t j1 = jitter(range);
                const int32_t j2 = jitter(range);
                if (in.YKind == 3)
                    join({ { x, (H - Y + j1) / 2, right, H / 2 }, { x, H / 2, right, (H + Y + j2) / 2 } });
                else
                    join({ { x, H - (Y + j1) / 2, right, H }, { x, 0, right, (Y + j2) / 2 } });
            }
        }
    }
    return result;
}

TEST(RegionBuilders, RaggedMatchesModelWithTheSameDraws)
{
    std::mt19937 rng(5);
    auto pick = [&](int32_t lo, int32_t hi) { return std::uniform_int_distribution<int32_t>(lo, hi)(rng); };
    for (int trial = 0; trial < 400; ++trial) {
        RaggedInput in {};
        in.Width = pick(1, 90);
        in.Height = pick(1, 90);
        in.XKind = pick(0, 4);
        in.YKind = pick(0, 4);
        in.XExtent = pick(0, in.Width);
        in.YExtent = pick(0, in.Height);
        in.seed = uint64_t(trial) * 7919u + 1;
        std::optional<Rects> expected = ReferenceRagged(in);
        RandomSeed(in.seed);
        std::optional<Region> got = BuildRaggedBarsRegion(in.XExtent, in.YExtent, in.Width, in.Height, in.XKind,
                                                          in.YKind);
        ASSERT_TRUE(IsUnionOf(got, expected)) << "input " << in.Describe();
    }
}

TEST(RegionBuilders, RaggedBarEndsStayWithinTheJitterRange)
{
    std::mt19937 rng(11);
    auto pick = [&](int32_t lo, int32_t hi) { return std::uniform_int_distribution<int32_t>(lo, hi)(rng); };
    RandomSeed(99);
    for (int trial = 0; trial < 200; ++trial) {
        const int32_t W = pick(1, 80), H = 5 * pick(1, 16), kind = pick(1, 4);
        const bool columns = pick(0, 1) == 1;
        const int32_t extent = pick(0, columns ? H : W);
        std::optional<Region> got = columns ? BuildRaggedBarsRegion(0, extent, W, H, 0, kind)
                                            : BuildRaggedBarsRegion(extent, 0, W, H, kind, 0);
        ASSERT_TRUE(got.has_value());
        ASSERT_TRUE(test::RaggedPassWithinJitter(*got, columns, extent, columns ? H : W, columns ? W : H, kind))
            << (columns ? "columns" : "rows") << " extent " << extent << " frame " << W << "x" << H << " kind "
            << kind;
    }
}

TEST(RegionBuilders, TrianglesMatchModelOnRandomInputs)
{
    std::mt19937 rng(3);
    auto pick = [&](int32_t lo, int32_t hi) { return std::uniform_int_distribution<int32_t>(lo, hi)(rng); };
    for (int trial = 0; trial < 300; ++trial) {
        int32_t c[6];
        for (int32_t& v : c)
            v = pick(-15, 60);
        if (trial % 10 == 0)
            c[4] = c[0], c[5] = c[1] + pick(0, 1); // a degenerate or needle triangle
        const std::vector<Point> outline { { c[0], c[1] }, { c[2], c[3] }, { c[4], c[5] }, { c[0], c[1] } };
        Region got = BuildTriangleRegion(c[0], c[1], c[2], c[3], c[4], c[5]);
        std::ostringstream input;
        input << "{" << c[0] << ", " << c[1] << ", " << c[2] << ", " << c[3] << ", " << c[4] << ", " << c[5] << "}";
        Rect bounds = got.bounds();
        if (!got.isEmpty()) {
            ASSERT_GE(bounds.left, std::min({ c[0], c[2], c[4] })) << input.str();
            ASSERT_GE(bounds.top, std::min({ c[1], c[3], c[5] })) << input.str();
            ASSERT_LE(bounds.right, std::max({ c[0], c[2], c[4] })) << input.str();
            ASSERT_LE(bounds.bottom, std::max({ c[1], c[3], c[5] })) << input.str();
        }
        for (int32_t y = -16; y < 61; ++y) {
            for (int32_t x = -16; x < 61; ++x) {
                std::optional<bool> inside = CentreInside(outline, x, y);
                if (inside) {
                    ASSERT_EQ(got.contains(x, y), *inside) << "pixel (" << x << ", " << y << ") of " << input.str();
                }
            }
        }
    }
}

}
}
