#include <gtest/gtest.h>

#include "platform/BitmapDraw.h"
#include "platform/Random.h"
#include "transition/FrameComposer.h"

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

TEST_F(ComposerFixture, StylePastTheLastOneStopsAfterTheOldPicture)
{
    FrameResult r = Compose(118, 50);
    EXPECT_FALSE(r.composed);
    EXPECT_EQ(r.Invalidated.count, 0);
    EXPECT_EQ(frame, oldPicture);
}

}
}
