// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QThread>

#include "ViewTestSupport.h"

namespace kalvio {
namespace {

using test::CodedPicture;

// Dispatches events until `done` or the time limit (by default one only a
// hang reaches); false on timeout.
template <typename Done>
bool PumpUntil(Done done, int limitMs = 120000)
{
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > limitMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 5);
    }
    return true;
}

struct ThreadFixture : ::testing::Test {
    std::unique_ptr<TTransitionView> view;
    std::vector<int> frames;
    int completions = 0;

    void SetUp() override
    {
        test::EnsureApplication();
        view = MakeView();
    }

    std::unique_ptr<TTransitionView> MakeView()
    {
        auto v = std::make_unique<TTransitionView>();
        v->SetAutoSize(false);
        v->resize(40, 30);
        v->SetStyle(0);
        v->SetDelay(1);
        v->SetStep(5);
        v->OnCustomDraw = test::WipeDrawer();
        v->OnProgress = [this](TTransitionView* s) {
            EXPECT_TRUE(QThread::currentThread() == s->thread()) << "frames run on the main thread";
            frames.push_back(s->Progress());
        };
        v->OnComplete = [this](TTransitionView* s) {
            EXPECT_FALSE(s->Busy());
            ++completions;
        };
        v->Picture().Assign(CodedPicture(40, 30, 2));
        return v;
    }
};

TEST_F(ThreadFixture, RunsToCompletionOnTheWorker)
{
    ASSERT_TRUE(view->Threaded());
    for (TThreadPriority priority : { tpIdle, tpNormal, tpTimeCritical }) {
        frames.clear();
        view->SetThreadPriority(priority);
        view->Execute();
        EXPECT_TRUE(view->Busy()) << "Execute returns once the thread runs";
        ASSERT_TRUE(PumpUntil([&] { return !view->Busy(); }));
        std::vector<int> expected;
        for (int p = (frames.empty() || frames.front() != 0) ? 5 : 0; p <= 100; p += 5)
            expected.push_back(p);
        EXPECT_EQ(frames, expected);
        EXPECT_EQ(view->FrameBitmap(), *view->Picture().Graphic());
    }
    EXPECT_EQ(completions, 3);
}

TEST_F(ThreadFixture, PacesFramesByDelay)
{
    view->SetDelay(20);
    view->SetStep(25);
    QElapsedTimer t;
    t.start();
    view->Execute();
    ASSERT_TRUE(PumpUntil([&] { return !view->Busy(); }));
    EXPECT_EQ(frames, (std::vector<int> { 25, 50, 75, 100 }));
    EXPECT_GE(t.elapsed(), 3 * 20 - 2) << "three pauses between four frames";
}

TEST_F(ThreadFixture, StopDuringRunManyTimes)
{
    for (int i = 0; i < 200; ++i) {
        frames.clear();
        view->Execute();
        ASSERT_TRUE(view->Busy());
        // Stop at once, or after a few frames.
        if (i % 2)
            PumpUntil([&] { return frames.size() >= size_t(i % 7); }, 1000);
        view->Stop();
        ASSERT_FALSE(view->Busy()) << "round " << i;
        EXPECT_EQ(view->OldBitmap(), nullptr);
        if (!frames.empty()) {
            EXPECT_EQ(view->Progress(), frames.back());
        }
        QCoreApplication::processEvents(); // stale hand-off calls find nothing to do
    }
    EXPECT_EQ(completions, 0);
}

TEST_F(ThreadFixture, DestroyDuringRunManyTimes)
{
    for (int i = 0; i < 200; ++i) {
        auto v = MakeView();
        v->Execute();
        if (i % 2)
            PumpUntil([&] { return v->Progress() >= 5 * (i % 5); }, 1000);
        v.reset(); // waits for its thread; fires nothing
        QCoreApplication::processEvents();
    }
    EXPECT_EQ(completions, 0);
}

TEST_F(ThreadFixture, StopFromInsideAThreadedFrame)
{
    view->OnProgress = [this](TTransitionView* s) {
        frames.push_back(s->Progress());
        if (s->Progress() == 30)
            s->Stop();
    };
    view->Execute();
    ASSERT_TRUE(PumpUntil([&] { return !view->Busy(); }));
    EXPECT_EQ(frames.back(), 30);
    EXPECT_EQ(view->Progress(), 30);
    EXPECT_EQ(completions, 0);
    QCoreApplication::processEvents();
    EXPECT_EQ(frames.back(), 30);
}

TEST_F(ThreadFixture, ManualPausesTheThreadAndResumesWithANewOne)
{
    view->OnProgress = [this](TTransitionView* s) {
        frames.push_back(s->Progress());
        if (s->Progress() == 20)
            s->SetManual(true);
    };
    view->Execute();
    ASSERT_TRUE(PumpUntil([&] { return !frames.empty() && frames.back() == 20; }));
    // The thread ends; the transition stays prepared for the caller.
    PumpUntil([] { return false; }, 30);
    EXPECT_TRUE(view->Busy());
    EXPECT_EQ(frames.back(), 20);
    view->SetProgress(50);
    view->SetManual(false);
    ASSERT_TRUE(PumpUntil([&] { return !view->Busy(); }));
    EXPECT_EQ(frames.back(), 100);
    EXPECT_EQ(completions, 1);
}

TEST_F(ThreadFixture, ManualToggledBeforeTheThreadNoticedKeepsOneThread)
{
    for (int i = 0; i < 50; ++i) {
        frames.clear();
        view->Execute();
        view->SetManual(true);
        view->SetManual(false); // the first thread is ended before the second starts
        ASSERT_TRUE(PumpUntil([&] { return !view->Busy(); })) << "round " << i;
        ASSERT_FALSE(frames.empty());
        EXPECT_EQ(frames.back(), 100);
        for (size_t k = 1; k < frames.size(); ++k)
            ASSERT_LT(frames[k - 1], frames[k]) << "one stepping thread at a time, round " << i;
    }
    EXPECT_EQ(completions, 50);
}

TEST_F(ThreadFixture, ExecuteFromOnCompleteStartsTheNextThread)
{
    view->OnComplete = [this](TTransitionView* s) {
        if (++completions == 1) {
            s->Picture().Assign(CodedPicture(40, 30, 3));
            s->Execute();
            EXPECT_TRUE(s->Busy());
        }
    };
    view->Execute();
    ASSERT_TRUE(PumpUntil([&] { return completions == 2; }));
    EXPECT_FALSE(view->Busy());
    EXPECT_EQ(view->FrameBitmap(), *view->Picture().Graphic());
}

}
}
