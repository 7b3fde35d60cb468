// SPDX-License-Identifier: GPL-3.0-or-later
#include <functional>
#include <map>
#include <optional>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/graphics/BitmapDraw.h"
#include "transition/FlipStretchCopy.h"
#include "transition/FrameComposer.h"
#include "transition/StyleFrame.h"
#include "transition/styles/StyleTable.h"
#include "transition/RectStyleReference.h"

namespace kalvio {

void PrintTo(const Rect& r, std::ostream* os)
{
    *os << "(" << r.left << ", " << r.top << ", " << r.right << ", " << r.bottom << ")";
}

namespace {

// A pixel that names its own place and picture: red and green hold the low bits
// of x and y, blue the picture (old or new) and the high bits. Up to 1024 x 1024.
constexpr Pixel Tag(int32_t x, int32_t y, bool isNew)
{
    return RGB(uint8_t(x), uint8_t(y), uint8_t((isNew ? 0x80 : 0) | ((x >> 8) << 2) | (y >> 8)));
}

Bitmap Picture(int32_t W, int32_t H, bool isNew)
{
    Bitmap b(W, H);
    for (int32_t y = 0; y < H; ++y)
        for (int32_t x = 0; x < W; ++x)
            b.setPixel(x, y, Tag(x, y, isNew));
    return b;
}

std::string Describe(Pixel p)
{
    std::ostringstream s;
    s << ((BlueOf(p) & 0x80) ? "new" : "old") << " (" << (RedOf(p) | ((BlueOf(p) >> 2 & 3) << 8)) << ", "
      << (GreenOf(p) | ((BlueOf(p) & 3) << 8)) << ")";
    return s.str();
}

// Empty when the two frames are equal, else where and how they first differ.
std::string Difference(const Bitmap& got, const Bitmap& want)
{
    if (got.width() != want.width() || got.height() != want.height())
        return "frames differ in size";
    int differing = 0;
    std::string first;
    for (int32_t y = 0; y < got.height(); ++y)
        for (int32_t x = 0; x < got.width(); ++x)
            if (got.pixel(x, y) != want.pixel(x, y) && differing++ == 0)
                first = "pixel (" + std::to_string(x) + ", " + std::to_string(y) + ") shows " + Describe(got.pixel(x, y)) +
                        ", want " + Describe(want.pixel(x, y));
    return differing ? first + " (" + std::to_string(differing) + " pixels differ)" : std::string();
}

Bitmap Transposed(const Bitmap& b)
{
    Bitmap t(b.height(), b.width());
    for (int32_t y = 0; y < b.height(); ++y)
        for (int32_t x = 0; x < b.width(); ++x)
            t.setPixel(y, x, b.pixel(x, y));
    return t;
}

std::vector<Rect> Marked(const FrameRects& rects) { return { rects.begin(), rects.end() }; }

// ---- The worked examples: every copy of a frame, as rectangles ----

struct Shown {
    Rect dst;
    Rect src;
    Mirror mirror = Mirror::None;
};

struct Example {
    int style;
    int32_t W, H;
    int progress;
    std::vector<Shown> phases; // copied by the rule itself, in order
    Rect dst, src;             // left for the final copy
};

constexpr Mirror LR = Mirror::LeftRight;
constexpr Mirror TB = Mirror::TopBottom;

const std::vector<Example> kExamples = {
    { 9, 800, 600, 50, {}, { -400, 0, 1200, 600 }, { 200, 0, 600, 600 } },
    { 13, 800, 600, 50, { { { 0, 0, 201, 600 }, { 0, 0, 401, 600 } } }, { 599, 0, 800, 600 }, { 400, 0, 800, 600 } },
    { 14, 800, 600, 50, { { { 400, 0, 480, 600 }, { 480, 0, 560, 600 }, LR } }, { 0, 0, 400, 600 }, { 0, 0, 400, 600 } },
    { 15, 800, 600, 50, { { { 320, 0, 400, 600 }, { 240, 0, 320, 600 }, LR } }, { 400, 0, 800, 600 }, { 400, 0, 800, 600 } },
    { 16, 800, 600, 50, { { { 0, 0, 400, 600 }, { 0, 0, 400, 600 } } }, { 400, 0, 800, 600 }, { 400, 0, 440, 600 } },
    { 39, 800, 600, 50, {}, { 400, 300, 1200, 900 }, { 0, 0, 800, 600 } },
    { 51, 800, 600, 50, {}, { -400, -300, 1200, 900 }, { 200, 150, 600, 450 } },
    { 55, 800, 600, 50,
      { { { 0, 0, 201, 151 }, { 0, 0, 201, 151 } },
        { { 0, 449, 201, 600 }, { 0, 449, 201, 600 } },
        { { 599, 449, 800, 600 }, { 599, 449, 800, 600 } } },
      { 599, 0, 800, 151 }, { 599, 0, 800, 151 } },
    { 56, 800, 600, 50,
      { { { 0, 0, 201, 151 }, { 0, 0, 401, 301 } },
        { { 0, 450, 201, 600 }, { 0, 301, 401, 600 } },
        { { 600, 450, 800, 600 }, { 401, 301, 800, 600 } } },
      { 600, 0, 800, 151 }, { 401, 0, 800, 301 } },
    { 57, 800, 600, 50,
      { { { -200, 0, 201, 301 }, { 0, 0, 401, 301 } },
        { { 399, -150, 800, 151 }, { 399, 0, 800, 301 } },
        { { 600, 299, 1000, 600 }, { 401, 299, 800, 600 } } },
      { 0, 450, 401, 750 }, { 0, 301, 401, 600 } },
    // An odd width at the start: (PX - W) div 2 truncates toward zero.
    { 57, 801, 600, 0,
      { { { -400, 0, 1, 301 }, { 0, 0, 401, 301 } },
        { { 399, -300, 801, 1 }, { 399, 0, 801, 301 } },
        { { 801, 299, 1201, 600 }, { 401, 299, 801, 600 } } },
      { 0, 600, 401, 900 }, { 0, 301, 401, 600 } },
    // Fold widths near the ends: PX = 80 (FX = PX div 2) and PX = 720 (FX = (W - PX) div 2).
    { 14, 800, 600, 10, { { { 80, 0, 120, 600 }, { 120, 0, 160, 600 }, LR } }, { 0, 0, 80, 600 }, { 0, 0, 80, 600 } },
    { 14, 800, 600, 90, { { { 720, 0, 760, 600 }, { 760, 0, 800, 600 }, LR } }, { 0, 0, 720, 600 }, { 0, 0, 720, 600 } },
    { 15, 800, 600, 10, { { { 680, 0, 720, 600 }, { 640, 0, 680, 600 }, LR } }, { 720, 0, 800, 600 }, { 720, 0, 800, 600 } },
    { 15, 800, 600, 90, { { { 40, 0, 80, 600 }, { 0, 0, 40, 600 }, LR } }, { 80, 0, 800, 600 }, { 80, 0, 800, 600 } },
    // ... and along y: PY = 60 (FY = 30) and PY = 540 (FY = 30).
    { 31, 800, 600, 10, { { { 0, 60, 800, 90 }, { 0, 90, 800, 120 }, TB } }, { 0, 0, 800, 60 }, { 0, 0, 800, 60 } },
    { 32, 800, 600, 90, { { { 0, 30, 800, 60 }, { 0, 0, 800, 30 }, TB } }, { 0, 60, 800, 600 }, { 0, 60, 800, 600 } },
};

TEST(RectStyleExamples, CopiesTheRectanglesOfTheWorkedExamples)
{
    for (const Example& e : kExamples) {
        SCOPED_TRACE("style " + std::to_string(e.style) + ", " + std::to_string(e.W) + " x " + std::to_string(e.H) +
                     ", progress " + std::to_string(e.progress));
        const Bitmap newPicture = Picture(e.W, e.H, true);
        Bitmap frame = Picture(e.W, e.H, false);
        FrameRects marked;
        const Extents ext = ProgressExtents(e.W, e.H, e.progress);
        StyleFrame f {
            .W = e.W, .H = e.H, .PX = ext.PX, .PY = ext.PY, .Band = BandFor(e.W, e.H, 4),
            .DstRect = { 0, 0, e.W, e.H }, .SrcRect = { 0, 0, e.W, e.H }, .ClipRegion = std::nullopt,
            .NewBitmap = newPicture, .FrameBitmap = frame, .Invalidated = marked,
        };
        RectStyleRule(e.style)(f);

        EXPECT_EQ(f.DstRect, e.dst);
        EXPECT_EQ(f.SrcRect, e.src);
        EXPECT_FALSE(f.ClipRegion.has_value());
        // The phases are marked by the pixels they write, in order (a mirrored
        // copy reaches one pixel past both ends of its destination), and their
        // pixels show exactly the copies of the listed source rectangles.
        std::vector<Rect> wantMarked;
        Bitmap want = Picture(e.W, e.H, false);
        for (const Shown& p : e.phases) {
            wantMarked.push_back(p.mirror == Mirror::None ? p.dst : MirroredTarget(p.dst, p.mirror).normalized());
            if (p.mirror == Mirror::None)
                StretchCopy(want, p.dst, newPicture, p.src);
            else
                FlipStretchCopy(want, p.dst, newPicture, p.src, p.mirror);
        }
        EXPECT_EQ(Marked(marked), wantMarked);
        EXPECT_EQ(Difference(frame, want), "");
    }
}

TEST(RectStyleExamples, EveryRectangleStyleHasARule)
{
    for (int style = 1; style <= 57; ++style)
        EXPECT_NE(RectStyleRule(style), nullptr) << "style " << style;
    EXPECT_EQ(RectStyleRule(0), nullptr);
    EXPECT_EQ(RectStyleRule(58), nullptr);
}

// ---- Whole frames against the literal model ----

struct Rendered {
    Bitmap frame;
    std::vector<Rect> marked;
};

Rendered Render(int style, const Bitmap& oldPicture, const Bitmap& newPicture, int progress)
{
    Rendered r { Bitmap(oldPicture.width(), oldPicture.height()), {} };
    FrameResult result = RenderFrame({ .OldBitmap = oldPicture, .NewBitmap = newPicture, .FrameBitmap = r.frame,
                                       .Style = style, .Progress = uint8_t(progress), .Step = 4 });
    EXPECT_TRUE(result.composed);
    EXPECT_EQ(result.Progress, progress);
    r.marked = Marked(result.Invalidated);
    return r;
}

Rendered Reference(int style, const Bitmap& oldPicture, const Bitmap& newPicture, int progress)
{
    const int32_t W = newPicture.width(), H = newPicture.height();
    const Extents ext = ProgressExtents(W, H, progress);
    const std::vector<reference::Copy> copies = reference::Copies(style, W, H, ext.PX, ext.PY);
    Rendered r { oldPicture, {} };
    for (size_t i = 0; i < copies.size(); ++i) {
        const bool last = i + 1 == copies.size();
        if (!last || (progress > 0 && progress < 100))
            reference::Apply(r.frame, newPicture, copies[i]);
        const reference::Copy& c = copies[i];
        r.marked.push_back(c.mirror == Mirror::None ? c.dst : MirroredTarget(c.dst, c.mirror).normalized());
    }
    if (progress == 100)
        r.frame = newPicture;
    return r;
}

class EveryRectStyle : public testing::TestWithParam<int> { };

// Landscape, portrait, square, and pictures so small that the fold and smear
// widths are 0 and PX = 0 persists past progress 0.
const std::vector<std::pair<int32_t, int32_t>> kSizes = { { 37, 23 }, { 23, 37 }, { 20, 20 }, { 7, 3 }, { 2, 5 }, { 1, 1 } };

TEST_P(EveryRectStyle, MatchesTheLiteralRectanglesAtEveryProgress)
{
    const int style = GetParam();
    for (auto [W, H] : kSizes) {
        const Bitmap oldPicture = Picture(W, H, false), newPicture = Picture(W, H, true);
        for (int progress = 0; progress <= 100; ++progress) {
            const Rendered got = Render(style, oldPicture, newPicture, progress);
            const Rendered want = Reference(style, oldPicture, newPicture, progress);
            const std::string where = std::to_string(W) + " x " + std::to_string(H) + ", progress " + std::to_string(progress);
            ASSERT_EQ(Difference(got.frame, want.frame), "") << where;
            ASSERT_EQ(got.marked, want.marked) << where;
            if (progress == 100) {
                ASSERT_EQ(got.frame, newPicture) << where;
            }
        }
    }
}

TEST_P(EveryRectStyle, RendersTheSameFrameAgainInAnyOrder)
{
    const int style = GetParam();
    const Bitmap oldPicture = Picture(37, 23, false), newPicture = Picture(37, 23, true);
    const Rendered forward = Render(style, oldPicture, newPicture, 41);
    Render(style, oldPicture, newPicture, 90);
    const Rendered again = Render(style, oldPicture, newPicture, 41);
    EXPECT_EQ(Difference(again.frame, forward.frame), "");
    EXPECT_EQ(again.marked, forward.marked);
}

INSTANTIATE_TEST_SUITE_P(Styles, EveryRectStyle, testing::Range(1, 58),
                         [](const testing::TestParamInfo<int>& info) { return "Style" + std::to_string(info.param); });

// ---- Progress 0: no final copy, but the first phases and pieces still show ----

TEST(RectStylesAtProgressZero, OnlyTheFirstPhasesShow)
{
    const int32_t W = 10, H = 8;
    using Shows = std::function<std::optional<Point>(int32_t x, int32_t y)>;
    // Where the new picture shows, and which of its pixels; every other style shows the old picture only.
    const std::map<int, Shows> shows = {
        // one column of the new picture at the left edge
        { 12, [](int32_t x, int32_t y) { return x == 0 ? std::optional<Point>({ 0, y }) : std::nullopt; } },
        { 29, [](int32_t x, int32_t y) { return y == 0 ? std::optional<Point>({ x, 0 }) : std::nullopt; } },
        // the left half squeezed into column 0: its first column
        { 13, [](int32_t x, int32_t y) { return x == 0 ? std::optional<Point>({ 0, y }) : std::nullopt; } },
        { 30, [](int32_t x, int32_t y) { return y == 0 ? std::optional<Point>({ x, 0 }) : std::nullopt; } },
        // top-left, bottom-left and bottom-right corner pixels
        { 55, [](int32_t x, int32_t y) {
              bool corner = (x == 0 && y == 0) || (x == 0 && y == H - 1) || (x == W - 1 && y == H - 1);
              return corner ? std::optional<Point>({ x, y }) : std::nullopt;
          } },
        // the top-left quarter shrunk into pixel (0, 0)
        { 56, [](int32_t x, int32_t y) { return x == 0 && y == 0 ? std::optional<Point>({ 0, 0 }) : std::nullopt; } },
        // the top-left quarter's last column in column 0, the top-right quarter's last row in row 0
        { 57, [](int32_t x, int32_t y) -> std::optional<Point> {
              if (x == 0 && y <= H / 2)
                  return Point { W / 2, y };
              if (y == 0 && x >= W / 2 - 1)
                  return Point { x, H / 2 };
              return std::nullopt;
          } },
    };
    const Bitmap oldPicture = Picture(W, H, false), newPicture = Picture(W, H, true);
    for (int style = 1; style <= 57; ++style) {
        Bitmap want = oldPicture;
        if (auto it = shows.find(style); it != shows.end())
            for (int32_t y = 0; y < H; ++y)
                for (int32_t x = 0; x < W; ++x)
                    if (std::optional<Point> p = it->second(x, y))
                        want.setPixel(x, y, newPicture.pixel(p->x, p->y));
        EXPECT_EQ(Difference(Render(style, oldPicture, newPicture, 0).frame, want), "") << "style " << style;
    }
}

// ---- Styles 18..34 are styles 1..17 with the axes exchanged ----

TEST(RectStyleTranspose, VerticalStyleIsTheTransposedHorizontalOne)
{
    for (int32_t S : { 20, 13 }) {
        const Bitmap oldPicture = Picture(S, S, false), newPicture = Picture(S, S, true);
        const Bitmap oldT = Transposed(oldPicture), newT = Transposed(newPicture);
        for (int n = 1; n <= 17; ++n)
            for (int progress = 0; progress <= 100; ++progress) {
                const Rendered across = Render(n, oldPicture, newPicture, progress);
                const Rendered down = Render(n + 17, oldT, newT, progress);
                const std::string where = "style " + std::to_string(n) + ", size " + std::to_string(S) + ", progress " +
                                          std::to_string(progress);
                ASSERT_EQ(Difference(down.frame, Transposed(across.frame)), "") << where;
                std::vector<Rect> transposedMarks;
                for (const Rect& r : across.marked)
                    transposedMarks.push_back({ r.top, r.left, r.bottom, r.right });
                ASSERT_EQ(down.marked, transposedMarks) << where;
            }
    }
}

}
}
