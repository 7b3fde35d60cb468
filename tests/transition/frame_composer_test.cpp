// SPDX-License-Identifier: GPL-3.0-or-later
#include <string>
#include <utility>

#include <gtest/gtest.h>

#include "platform/graphics/BitmapDraw.h"
#include "platform/simd/SimdTarget.h"
#include "platform/system/Random.h"
#include "transition/FrameComposer.h"
#include "transition/styles/StyleTable.h"

namespace kalvio {
namespace {

Bitmap Coded(int32_t w, int32_t h, uint32_t tag)
{
    Bitmap b(w, h);
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x)
            b.setPixel(x, y, 0xff000000u | tag << 20 | uint32_t(x) << 10 | uint32_t(y));
    return b;
}

TEST(FrameQuantities, ExtentsAndBand)
{
    struct Case {
        int32_t W, H, progress, step, PX, PY, Band;
    } cases[] = {
        { 1024, 768, 37, 4, 379, 284, 46 },
        { 600, 800, 50, 4, 300, 400, 36 },
        { 100, 100, 0, 4, 0, 0, 4 },
        { 100, 100, 100, 100, 100, 100, 111 },
        { 1, 700, 33, 3, 0, 231, 23 },
    };
    for (const Case& c : cases) {
        Extents e = ProgressExtents(c.W, c.H, c.progress);
        EXPECT_EQ(e.PX, c.PX) << c.W << "x" << c.H << " at " << c.progress;
        EXPECT_EQ(e.PY, c.PY) << c.W << "x" << c.H << " at " << c.progress;
        EXPECT_EQ(BandFor(c.W, c.H, c.step), c.Band) << c.W << "x" << c.H << " step " << c.step;
    }
}

struct ComposerFixture : ::testing::Test {
    static constexpr int32_t W = 61, H = 37;
    Bitmap oldPicture = Coded(W, H, 1);
    Bitmap newPicture = Coded(W, H, 2);
    Bitmap frame = Bitmap(W, H, RGB(200, 0, 0));

    FrameResult Compose(int style, uint8_t progress, const CustomDrawHook* hook = nullptr)
    {
        return RenderFrame({ oldPicture, newPicture, frame, style, progress, 4, hook });
    }
};

class EveryStyle : public ComposerFixture, public ::testing::WithParamInterface<int> { };

TEST_P(EveryStyle, EndpointsShowOneWholePicture)
{
    RandomSeed(11);
    const int style = GetParam();
    FrameResult end = Compose(style, 100);
    EXPECT_TRUE(end.composed);
    EXPECT_EQ(end.Progress, 100);
    EXPECT_EQ(frame, newPicture);
    ASSERT_GE(end.Invalidated.count, 1);

    FrameResult start = Compose(style, 0);
    EXPECT_TRUE(start.composed);
    if (style >= 58) {
        // Region styles add nothing at 0 and mark the whole frame.
        EXPECT_EQ(frame, oldPicture);
        EXPECT_EQ(start.Progress, 0);
        ASSERT_EQ(start.Invalidated.count, 1);
        EXPECT_EQ(start.Invalidated.rects[0], (Rect { 0, 0, W, H }));
    }
}

INSTANTIATE_TEST_SUITE_P(Styles, EveryStyle, ::testing::Range(0, 118));

TEST_F(ComposerFixture, CustomStyleWithoutHookJumpsToTheEnd)
{
    FrameResult r = Compose(0, 4);
    EXPECT_TRUE(r.composed);
    EXPECT_EQ(r.Progress, 100);
    EXPECT_EQ(frame, newPicture);
    ASSERT_EQ(r.Invalidated.count, 1);
    EXPECT_EQ(r.Invalidated.rects[0], (Rect { 0, 0, W, H }));
}

TEST_F(ComposerFixture, CustomStyleWithHookShowsWhatTheHookDrew)
{
    int calls = 0;
    CustomDrawHook hook = [&](const Bitmap& picture, Bitmap& screen) {
        ++calls;
        EXPECT_EQ(&picture, &newPicture);
        EXPECT_EQ(screen, oldPicture); // the old picture is already there
        FillRect(screen, { 0, 0, 10, 10 }, RGB(1, 2, 3));
    };
    FrameResult r = Compose(0, 40, &hook);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(r.Progress, 40);
    Bitmap expected = oldPicture;
    FillRect(expected, { 0, 0, 10, 10 }, RGB(1, 2, 3));
    EXPECT_EQ(frame, expected);
    ASSERT_EQ(r.Invalidated.count, 1);
    EXPECT_EQ(r.Invalidated.rects[0], (Rect { 0, 0, W, H }));

    Compose(0, 100, &hook); // the new picture is drawn over whatever the hook left
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(frame, newPicture);

    CustomDrawHook empty;
    EXPECT_EQ(Compose(0, 40, &empty).Progress, 100) << "an unassigned hook is no hook";
}

// The frame drawn step by step as the composition rules say: the old picture
// whole, the style's phases over it, then the final copy or region draw.
FrameResult ReferenceFrame(const Bitmap& oldPicture, const Bitmap& newPicture, Bitmap& frame, int style, uint8_t progress)
{
    FrameResult result;
    result.Progress = progress;
    Draw(frame, 0, 0, oldPicture);
    const int32_t W = newPicture.width(), H = newPicture.height();
    const Extents e = ProgressExtents(W, H, progress);
    StyleFrame f { .W = W, .H = H, .PX = e.PX, .PY = e.PY, .Band = BandFor(W, H, 4),
                   .DstRect = { 0, 0, W, H }, .SrcRect = { 0, 0, W, H }, .ClipRegion = std::nullopt,
                   .NewBitmap = newPicture, .FrameBitmap = frame, .Invalidated = result.Invalidated };
    if (StyleRule rule = StyleRuleFor(style)) {
        rule(f);
    } else {
        Draw(frame, 0, 0, newPicture);
        f.ClipRegion = Region::FromRect(0, 0, W, H);
        result.Progress = 100;
    }
    if (result.Progress == 100)
        Draw(frame, 0, 0, newPicture);
    else if (result.Progress == 0)
        ;
    else if (style == 0 || style >= kFirstRegionStyle) {
        if (f.ClipRegion)
            DrawThroughRegion(frame, newPicture, *f.ClipRegion);
    } else {
        StretchCopy(frame, f.DstRect, newPicture, f.SrcRect);
    }
    result.Invalidated.add(f.DstRect);
    result.composed = true;
    return result;
}

// The composer writes each pixel once (old and new picture in one pass) and
// skips copies that the end frame covers; the frames and the marked rectangles
// must be exactly those of the plain order, on a frame that held other pixels,
// with every vector target the machine runs and with the plain code. Widths
// are no multiple of any vector width; a frame of one column or one row has
// no vector at all.
TEST(FrameComposerOnePass, SameFrameAsTheStepByStepDrawOnEveryTarget)
{
    const std::pair<int32_t, int32_t> sizes[] = { { 61, 37 }, { 397, 211 }, { 90, 160 }, { 1, 23 }, { 23, 1 } };
    const uint8_t progresses[] = { 0, 1, 4, 37, 50, 96, 99, 100 };
    simd::ForEachTarget([&](const std::string& target) {
        for (auto [W, H] : sizes) {
            const Bitmap oldPicture = Coded(W, H, 1), newPicture = Coded(W, H, 2);
            for (int style = 0; style <= kLastStyle; ++style) {
                for (uint8_t progress : progresses) {
                    Bitmap expected(W, H, RGB(9, 9, 9)), actual(W, H, RGB(7, 7, 7));
                    RandomSeed(uint64_t(style) * 1000 + progress);
                    const FrameResult want = ReferenceFrame(oldPicture, newPicture, expected, style, progress);
                    RandomSeed(uint64_t(style) * 1000 + progress);
                    const FrameResult got = RenderFrame({ oldPicture, newPicture, actual, style, progress, 4, nullptr });
                    const std::string where = target + ": " + std::to_string(W) + "x" + std::to_string(H) + " style "
                        + std::to_string(style) + " at " + std::to_string(progress);
                    ASSERT_TRUE(actual == expected) << where;
                    EXPECT_EQ(got.Progress, want.Progress) << where;
                    ASSERT_EQ(got.Invalidated.count, want.Invalidated.count) << where;
                    for (int i = 0; i < got.Invalidated.count; ++i)
                        EXPECT_EQ(got.Invalidated.rects[size_t(i)], want.Invalidated.rects[size_t(i)]) << where;
                }
            }
        }
    });
}

TEST_F(ComposerFixture, StylePastTheLastOneStopsAfterTheOldPicture)
{
    FrameResult r = Compose(118, 50);
    EXPECT_FALSE(r.composed);
    EXPECT_EQ(r.Invalidated.count, 0);
    EXPECT_EQ(frame, oldPicture);
}

}
}
