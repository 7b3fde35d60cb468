// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <numeric>
#include <string>

#include <QImage>
#include <QPixmap>

#include "ViewTestSupport.h"

namespace kalvio {
namespace {

using test::CodedPicture;

// An in-line view on a fake clock and pump, logging what it does.
struct DriverFixture : ::testing::Test {
    test::FakeClock clock;
    test::FakePump pump { clock };
    std::unique_ptr<TTransitionView> view;
    std::vector<int> frames;          // Progress after each composed frame
    std::vector<std::string> log;     // events in order
    std::vector<Bitmap> frameImages;  // FrameBitmap after each frame, when kept
    bool keepFrames = false;

    void SetUp() override
    {
        test::EnsureApplication();
        view = std::make_unique<TTransitionView>();
        view->SetTiming(&clock, &pump);
        view->SetThreaded(false);
        view->SetAutoSize(false);
        view->resize(40, 30);
        view->SetStyle(0);
        view->OnCustomDraw = test::WipeDrawer();
        view->OnProgress = [this](TTransitionView* sender) {
            EXPECT_EQ(sender, view.get());
            frames.push_back(sender->Progress());
            log.push_back("progress " + std::to_string(sender->Progress()));
            if (keepFrames)
                frameImages.push_back(sender->FrameBitmap());
        };
        view->OnComplete = [this](TTransitionView* sender) {
            EXPECT_FALSE(sender->Busy());
            EXPECT_EQ(sender->OldBitmap(), nullptr);
            EXPECT_EQ(sender->NewBitmap(), nullptr);
            log.push_back("complete");
        };
        view->Picture().Assign(CodedPicture(40, 30, 2));
    }
    void TearDown() override { view.reset(); }

    int Completions() const { return int(std::count(log.begin(), log.end(), "complete")); }
};

std::vector<int> Sequence(int from, int to, int step)
{
    std::vector<int> v;
    if (step > 0)
        for (int p = from; p < to; p += step)
            v.push_back(p);
    else
        for (int p = from; p > to; p += step)
            v.push_back(p);
    v.push_back(to);
    return v;
}

TEST_F(DriverFixture, FrameSequences)
{
    struct Case {
        uint16_t step;
        bool reverse;
        std::vector<int> expected;
    } cases[] = {
        { 4, false, Sequence(4, 100, 4) },                         // 25 frames
        { 3, false, Sequence(3, 100, 3) },                         // 34 frames, the last clamped
        { 100, false, { 100 } },
        { 30, true, { 100, 70, 40, 10, 0 } },
    };
    for (const Case& c : cases) {
        SetUp();
        view->SetStep(c.step);
        view->SetReverse(c.reverse);
        const uint32_t start = clock.now;
        view->Execute();
        SCOPED_TRACE("step " + std::to_string(c.step) + (c.reverse ? " reverse" : ""));
        EXPECT_EQ(frames, c.expected);
        EXPECT_FALSE(view->Busy());
        EXPECT_EQ(Completions(), 1);
        EXPECT_EQ(log.back(), "complete");
        // Between stepped frames: one dispatch that waits until Delay has passed, none after the last.
        const size_t steps = c.expected.size() - (c.reverse ? 1 : 0);
        EXPECT_EQ(pump.waits, std::vector<uint32_t>(steps - 1, 41u));
        EXPECT_EQ(clock.now - start, 41u * (steps - 1));
        frames.clear();
        log.clear();
        pump.waits.clear();
    }
}

TEST_F(DriverFixture, FramesAtTheEndShowThePicture)
{
    view->Execute();
    EXPECT_EQ(view->FrameBitmap(), *view->Picture().Graphic());
    EXPECT_EQ(view->Progress(), 100);
}

TEST_F(DriverFixture, SecondTransitionComposesAStartFrameFromTheSnapshot)
{
    view->Execute();
    ASSERT_EQ(frames.size(), 25u);
    const Bitmap shown = view->FrameBitmap();
    frames.clear();
    keepFrames = true;
    view->Picture().Assign(CodedPicture(40, 30, 3));
    view->grab(); // the window paints the frame (the view is not shown)
    view->Execute();
    EXPECT_EQ(frames, Sequence(0, 100, 4)); // 26 frames, the first at 0
    ASSERT_FALSE(frameImages.empty());
    EXPECT_EQ(frameImages.front(), shown); // the start frame is the old picture
    EXPECT_EQ(frameImages.back(), *view->Picture().Graphic());
}

TEST_F(DriverFixture, DelayZeroStillDispatchesAndWaitsForATick)
{
    view->SetDelay(0);
    view->SetStep(25);
    view->Execute();
    EXPECT_EQ(frames, (std::vector<int> { 25, 50, 75, 100 }));
    EXPECT_EQ(pump.waits, (std::vector<uint32_t> { 1, 1, 1 }));
}

TEST_F(DriverFixture, SlowFramesDispatchOnceWithoutWaiting)
{
    view->SetStep(50);
    view->OnProgress = [this](TTransitionView* v) {
        frames.push_back(v->Progress());
        clock.now += 100; // composing took longer than Delay
    };
    view->Execute();
    EXPECT_EQ(frames, (std::vector<int> { 50, 100 }));
    EXPECT_EQ(pump.waits, (std::vector<uint32_t> { 0 }));
}

TEST_F(DriverFixture, EventsBeforeTheDeadlineKeepTheFrameWaiting)
{
    view->SetStep(50);
    // Events arrive early: the pump is entered again for the rest of the period.
    pump.onDispatch = [this](size_t) { clock.now -= pump.waits.back() - 10; };
    view->Execute();
    EXPECT_EQ(frames, (std::vector<int> { 50, 100 }));
    EXPECT_EQ(pump.waits, (std::vector<uint32_t> { 41, 31, 21, 11, 1 }));
}

TEST_F(DriverFixture, IgnoredExecute)
{
    view->Picture().Clear();
    view->Execute();
    EXPECT_FALSE(view->Busy());
    EXPECT_TRUE(view->FrameBitmap().isEmpty());
    EXPECT_TRUE(frames.empty());

    view->Picture().Assign(CodedPicture(40, 30, 2));
    int nested = 0;
    view->OnProgress = [&](TTransitionView* v) {
        frames.push_back(v->Progress());
        if (v->Progress() == 8) {
            v->Execute(); // ignored while Busy
            ++nested;
        }
    };
    view->Execute();
    EXPECT_EQ(nested, 1);
    EXPECT_EQ(frames, Sequence(4, 100, 4));
}

TEST_F(DriverFixture, StopMidwayKeepsTheFrameAndProgress)
{
    keepFrames = true;
    pump.onDispatch = [this](size_t) {
        if (view->Progress() == 48)
            view->Stop();
    };
    view->Execute();
    EXPECT_FALSE(view->Busy());
    EXPECT_EQ(view->Progress(), 48);
    EXPECT_EQ(Completions(), 0);
    EXPECT_EQ(frames.back(), 48);
    EXPECT_EQ(view->OldBitmap(), nullptr);
    const Bitmap mixed = view->FrameBitmap();
    EXPECT_EQ(mixed, frameImages.back());

    view->Stop(); // idle: nothing
    EXPECT_EQ(view->Progress(), 48);

    // The next transition starts from the frame on screen.
    pump.onDispatch = nullptr;
    frames.clear();
    frameImages.clear();
    view->Picture().Assign(CodedPicture(40, 30, 3));
    view->grab(); // the window shows the stopped frame
    view->Execute();
    EXPECT_EQ(frames.front(), 0);
    EXPECT_EQ(frameImages.front(), mixed);
    EXPECT_EQ(Completions(), 1);
}

TEST_F(DriverFixture, StopFromAFrameHandlerEndsTheLoopWithoutCompletion)
{
    view->OnProgress = [&](TTransitionView* v) {
        frames.push_back(v->Progress());
        if (v->Progress() == 100)
            v->Stop(); // the last frame: the loop must not finish a second time
    };
    view->Execute();
    EXPECT_EQ(frames.size(), 25u);
    EXPECT_FALSE(view->Busy());
    EXPECT_EQ(Completions(), 0);
}

TEST_F(DriverFixture, ViewDestroyedByAHandlerEndsTheLoop)
{
    TTransitionView* raw = view.get();
    pump.onDispatch = [this](size_t dispatch) {
        if (dispatch == 3)
            view.reset();
    };
    raw->Execute(); // returns without touching the destroyed view
    EXPECT_EQ(view, nullptr);
    EXPECT_EQ(frames, (std::vector<int> { 4, 8, 12 }));
    EXPECT_EQ(Completions(), 0);
}

TEST_F(DriverFixture, ManualDriving)
{
    view->SetManual(true);
    view->Execute();
    EXPECT_TRUE(view->Busy());
    EXPECT_TRUE(frames.empty());
    ASSERT_NE(view->OldBitmap(), nullptr);
    for (int p : { 30, 10, 10, 100, 250 })
        view->SetProgress(p);
    EXPECT_EQ(frames, (std::vector<int> { 30, 10, 100 }));
    EXPECT_TRUE(view->Busy()) << "reaching 100 does not end a manual transition";
    EXPECT_EQ(Completions(), 0);

    view->SetProgress(40);
    view->SetManual(false); // animates from 40 to the end
    EXPECT_EQ(frames, (std::vector<int> { 30, 10, 100, 40, 44, 48, 52, 56, 60, 64, 68, 72, 76, 80, 84, 88, 92, 96, 100 }));
    EXPECT_FALSE(view->Busy());
    EXPECT_EQ(Completions(), 1);
}

TEST_F(DriverFixture, ManualTurnedOnMidwayPausesAndStopEndsIt)
{
    pump.onDispatch = [this](size_t) {
        if (view->Progress() == 20)
            view->SetManual(true);
    };
    view->Execute();
    EXPECT_TRUE(view->Busy());
    EXPECT_EQ(frames.back(), 20);
    pump.onDispatch = nullptr;
    view->SetProgress(60);
    view->Stop();
    EXPECT_FALSE(view->Busy());
    EXPECT_EQ(view->Progress(), 60);
    EXPECT_EQ(Completions(), 0);
}

TEST_F(DriverFixture, ManualWrittenWhileIdleResetsProgressSilently)
{
    view->Execute();
    ASSERT_EQ(view->Progress(), 100);
    frames.clear();
    view->SetManual(true);
    EXPECT_EQ(view->Progress(), 0);
    view->SetManual(false);
    view->SetReverse(true);
    view->SetManual(true);
    EXPECT_EQ(view->Progress(), 100);
    view->SetProgress(50); // idle: ignored
    EXPECT_EQ(view->Progress(), 100);
    EXPECT_TRUE(frames.empty());
}

TEST_F(DriverFixture, ExecuteFromInsideOnComplete)
{
    view->SetStep(50);
    view->OnComplete = [this](TTransitionView* v) {
        log.push_back("complete");
        if (Completions() == 1) {
            v->Picture().Assign(CodedPicture(40, 30, 3));
            v->Execute();
            log.push_back("second returned");
        }
    };
    view->Execute();
    EXPECT_EQ(log, (std::vector<std::string> { "progress 50", "progress 100", "complete", "progress 0", "progress 50",
                                               "progress 100", "complete", "second returned" }));
    EXPECT_FALSE(view->Busy());
    EXPECT_EQ(view->FrameBitmap(), *view->Picture().Graphic());
}

TEST_F(DriverFixture, StyleZeroWithoutDrawerJumpsToTheEnd)
{
    view->OnCustomDraw = nullptr;
    view->Execute();
    EXPECT_EQ(frames, (std::vector<int> { 100 }));
    EXPECT_EQ(Completions(), 1);

    frames.clear();
    view->Execute(); // from 100: the start frame at 0 already jumps to 100
    EXPECT_EQ(frames, (std::vector<int> { 100 }));
    EXPECT_EQ(Completions(), 2);
}

TEST_F(DriverFixture, StyleZeroWithoutDrawerEndsAReverseTransitionToo)
{
    view->OnCustomDraw = nullptr;
    view->SetReverse(true);
    view->Execute(); // the start frame at 100, then the first step jumps back to 100 and ends
    EXPECT_EQ(frames, (std::vector<int> { 100, 100 }));
    EXPECT_FALSE(view->Busy());
    EXPECT_EQ(Completions(), 1);
    EXPECT_EQ(view->FrameBitmap(), *view->Picture().Graphic());
}

TEST_F(DriverFixture, StepAndStyleWrites)
{
    struct Case {
        uint16_t written, read;
    } cases[] = { { 0, 1 }, { 1, 1 }, { 100, 100 }, { 101, 100 }, { 250, 100 } };
    for (const Case& c : cases) {
        view->SetStep(c.written);
        EXPECT_EQ(view->Step(), c.read) << c.written;
    }
}

TEST_F(DriverFixture, Defaults)
{
    TTransitionView fresh;
    EXPECT_EQ(fresh.Step(), 4);
    EXPECT_EQ(fresh.Delay(), 40);
    EXPECT_EQ(fresh.Style(), 51);
    EXPECT_TRUE(fresh.AutoSize());
    EXPECT_TRUE(fresh.Threaded());
    EXPECT_EQ(fresh.ThreadPriority(), tpNormal);
    EXPECT_EQ(fresh.BgMode(), bmTiled);
    EXPECT_FALSE(fresh.Center() || fresh.Stretch() || fresh.StretchFine() || fresh.Reverse() || fresh.Manual());
    EXPECT_EQ(fresh.Progress(), 0);
    EXPECT_FALSE(fresh.Busy());
    EXPECT_EQ(fresh.width(), 100);
    EXPECT_EQ(fresh.height(), 100);
    EXPECT_TRUE(fresh.FrameBitmap().isEmpty());
}

TEST_F(DriverFixture, PictureChangesResizeAndNotify)
{
    TTransitionView v;
    int changes = 0;
    v.OnChange = [&](TTransitionView* sender) {
        EXPECT_EQ(sender, &v);
        ++changes;
    };
    v.Picture().Assign(CodedPicture(70, 20, 1));
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(v.size(), QSize(70, 20)); // AutoSize, not aligned
    EXPECT_TRUE(v.FrameBitmap().isEmpty()) << "loading alone shows nothing new";

    QWidget parent;
    parent.resize(300, 200);
    parent.show();
    TTransitionView aligned(&parent);
    aligned.SetAlign(alClient);
    EXPECT_EQ(aligned.size(), QSize(300, 200));
    aligned.Picture().Assign(CodedPicture(70, 20, 1));
    EXPECT_EQ(aligned.size(), QSize(300, 200));
    parent.resize(320, 240);
    EXPECT_EQ(aligned.size(), QSize(320, 240));

    view->Execute();
    view->OnChange = [&](TTransitionView*) { ++changes; };
    view->Picture().Clear();
    EXPECT_EQ(changes, 2);
    EXPECT_EQ(view->FrameBitmap(), CodedPicture(40, 30, 2)) << "the last frame stays";

    PictureHolder other;
    other.Assign(CodedPicture(5, 5, 9));
    view->SetPicture(&other);
    EXPECT_EQ(changes, 3);
    EXPECT_EQ(view->Picture().Graphic(), other.Graphic()) << "pixels are shared, not copied";
    view->SetPicture(nullptr);
    EXPECT_FALSE(view->Picture().HasGraphic());
}

TEST_F(DriverFixture, LoadingAFailedPictureKeepsTheOldOne)
{
    int changes = 0;
    view->OnChange = [&](TTransitionView*) { ++changes; };
    const Bitmap* before = view->Picture().Graphic();
    EXPECT_ANY_THROW(view->Picture().LoadFromFile(std::string(KALVIO_TEST_DATA) + "/no-such-file.jpg"));
    EXPECT_EQ(view->Picture().Graphic(), before);
    EXPECT_EQ(changes, 0);
}

TEST_F(DriverFixture, CenterPlacesALargerFrame)
{
    view->OnCustomDraw = nullptr;
    view->resize(100, 100);
    view->show();
    view->Picture().Assign(CodedPicture(105, 81, 2));
    view->Execute();
    EXPECT_EQ(view->PictureRect(), (Rect { 0, 0, 105, 81 }));
    view->SetCenter(true);
    EXPECT_EQ(view->PictureRect(), (Rect { -2, 9, 103, 90 }));
    view->resize(111, 100);
    EXPECT_EQ(view->PictureRect(), (Rect { 3, 9, 108, 90 }));
    view->Picture().Clear();
    view->resize(100, 100); // no picture: the frame does not move
    EXPECT_EQ(view->PictureRect(), (Rect { 3, 9, 108, 90 }));
}

}
}
