// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QAction>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <chrono>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

#include "app/QtTestApp.h"
#include "platform/picture/JpegLoader.h"
#include "platform/picture/JpegRendition.h"
#include "slideshow/SlideAdapters.h"
#include "slideshow/PointerHider.h"
#include "slideshow/SlideSequencer.h"
#include "slideshow/Tfrm_slide.h"
#include "support/SlowDecoder.h"
#include "transition/TransitionView.h"

using namespace kalvio;

namespace {

const std::string Show = std::string(KALVIO_TEST_DATA) + "/show/";

bool SameBitmap(const Bitmap& a, const Bitmap& b)
{
    return a.width() == b.width() && a.height() == b.height()
        && std::memcmp(a.bits(), b.bits(), size_t(a.width()) * size_t(a.height()) * sizeof(Pixel)) == 0;
}

ShowState TwoPicturesLooping()
{
    ShowState state;
    state.PictureList = { Show + "testorig.jpg", Show + "testimggray.jpg" };
    state.LoopPlayback = true;
    return state;
}

void Key(QWidget& w, int key)
{
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QCoreApplication::sendEvent(&w, &press);
}

TEST(SlideWindowTest, WindowPartsAndViewSetUp)
{
    test::TestApplication();
    ShowState state;
    Tfrm_slide empty(state);
    EXPECT_FALSE(empty.Timer->isActive()) << "no pictures: the timer stays off";

    state.PictureList = { Show + "testorig.jpg" };
    Tfrm_slide slide(state);
    EXPECT_TRUE(slide.windowFlags() & Qt::FramelessWindowHint);
    EXPECT_TRUE(slide.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(slide.windowState() & Qt::WindowFullScreen);
    EXPECT_TRUE(slide.Timer->isActive());
    EXPECT_EQ(slide.Timer->interval(), 5000);

    EXPECT_EQ(slide.Panel2->text(), QString::fromUtf8("播放准备中，请稍等..."));
    EXPECT_EQ(slide.Panel2->palette().color(QPalette::Window), QColor(Qt::black));
    EXPECT_EQ(slide.Panel2->palette().color(QPalette::WindowText), QColor(Qt::red));
    EXPECT_EQ(slide.Panel2->font().pixelSize(), 40);

    const QList<QAction*> items = slide.PopupMenu1->actions();
    ASSERT_EQ(items.size(), 4);
    EXPECT_EQ(items[0]->text(), QString::fromUtf8("暂停"));
    EXPECT_TRUE(items[0]->isEnabled());
    EXPECT_EQ(items[1]->text(), QString::fromUtf8("继续"));
    EXPECT_FALSE(items[1]->isEnabled());
    EXPECT_TRUE(items[2]->isSeparator());
    EXPECT_EQ(items[3]->text(), QString::fromUtf8("退出"));

    TTransitionView* view = slide.View;
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->parentWidget(), slide.Panel1);
    EXPECT_FALSE(view->AutoSize());
    EXPECT_EQ(view->Align(), alClient);
    EXPECT_TRUE(view->Center());
    EXPECT_TRUE(view->Stretch());
    EXPECT_FALSE(view->StretchFine());
    EXPECT_FALSE(view->Threaded());
    EXPECT_EQ(view->Step(), 4);
    EXPECT_EQ(view->Delay(), 40);
    EXPECT_EQ(view->focusPolicy(), Qt::NoFocus);

    slide.show();
    EXPECT_TRUE(slide.Panel2->isVisible());
    EXPECT_EQ(view->geometry(), slide.Panel1->contentsRect()) << "the view fills the window";
}

// Runs `before` with each tick of a timer, before the tick is handled.
class BeforeTick : public QObject {
public:
    BeforeTick(QTimer& timer, std::function<void()> before) : before_(std::move(before))
    {
        timer.installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Timer)
            before_();
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> before_;
};

// A real show of three small JPEGs without loop: each picture comes in whole,
// the fourth tick closes the window and ends the modal showing. A tick whose
// picture is still being made waits for it with the timer off, so a picture is
// looked at when the next tick comes, not at its own: the timer runs only
// while the view is idle, however slow the machine.
TEST(SlideWindowTest, ThreePicturesWithoutLoopPlayThroughAndClose)
{
    test::TestApplication();
    ShowState state;
    state.PictureList = { Show + "testorig.jpg", Show + "testimgcrop.jpg", Show + "testimggray.jpg" };
    Tfrm_slide slide(state);
    slide.View->SetStep(50);   // two frames a transition keeps the test short
    slide.Timer->setInterval(300);

    std::vector<bool> matches;
    int ticks = 0;
    bool preparingShownFirst = false;
    BeforeTick before(*slide.Timer, [&] {
        if (ticks == 0)
            preparingShownFirst = slide.Panel2->isVisible();
        // The picture of the last tick fills the view, made at its client size.
        if (ticks >= 1 && ticks <= 3) {
            const Rect client = slide.View->ClientRect();
            matches.push_back(!slide.View->Busy() && !slide.Sequencer().Waiting()
                              && SameBitmap(slide.View->FrameBitmap(),
                                            LoadPictureRendition(state.PictureList[size_t(ticks - 1)],
                                                                 client.width(), client.height())));
        }
    });
    QObject::connect(slide.Timer, &QTimer::timeout, [&] {
        ++ticks;
        EXPECT_FALSE(slide.Panel2->isVisible());
    });
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [&] {
        ADD_FAILURE() << "the show did not end";
        slide.close();
    });
    watchdog.start(test::kHangMs);

    slide.exec();
    EXPECT_TRUE(preparingShownFirst);
    EXPECT_EQ(ticks, 4);
    EXPECT_EQ(matches, (std::vector<bool> { true, true, true }));
    EXPECT_EQ(state.PictureIndex, 0);
    EXPECT_FALSE(slide.Timer->isActive());
    EXPECT_FALSE(slide.View->Busy());
}

TEST(SlideWindowTest, SpacePausesAndContinuesEscEnds)
{
    test::TestApplication();
    ShowState state = TwoPicturesLooping();
    Tfrm_slide slide(state);
    slide.show();

    Key(slide, Qt::Key_Space);
    EXPECT_FALSE(slide.N1->isEnabled());
    EXPECT_TRUE(slide.N2->isEnabled());
    EXPECT_FALSE(slide.Timer->isActive());
    EXPECT_TRUE(slide.Panel2->isVisible()) << "paused before the first tick: still preparing";

    Key(slide, Qt::Key_A);   // other keys do nothing
    EXPECT_FALSE(slide.N1->isEnabled());

    Key(slide, Qt::Key_Space);
    EXPECT_TRUE(slide.N1->isEnabled());
    EXPECT_FALSE(slide.N2->isEnabled());
    EXPECT_TRUE(slide.Timer->isActive());

    // Pause in the middle of a transition: the transition stops where it is.
    // (The tick may first wait for its picture: the pause comes once the
    // transition runs.)
    slide.View->SetStep(1);
    bool pausedMidway = false;
    QTimer midway;
    midway.setInterval(0);
    QObject::connect(&midway, &QTimer::timeout, [&] {
        if (!slide.View->Busy())
            return;
        midway.stop();
        slide.N1->trigger();
        pausedMidway = !slide.View->Busy();
    });
    midway.start();
    slide.TimerTimer();
    EXPECT_TRUE(test::WaitUntil([&] { return pausedMidway; }, 20000));
    EXPECT_LT(slide.View->Progress(), 100);
    EXPECT_FALSE(slide.Timer->isActive());
    EXPECT_EQ(state.PictureIndex, 1);

    Key(slide, Qt::Key_Escape);
    EXPECT_FALSE(slide.isVisible());
    EXPECT_TRUE(slide.Sequencer().Closing());
    EXPECT_FALSE(slide.Timer->isActive());
}

// Notes the time of every tick of a timer before the tick is handled.
class TickTimes : public QObject {
public:
    explicit TickTimes(QTimer& timer) { timer.installEventFilter(this); }
    QElapsedTimer clock;
    std::vector<qint64> ns; // since clock started

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Timer)
            ns.push_back(clock.nsecsElapsed());
        return QObject::eventFilter(watched, event);
    }
};

// A picture never comes before its time: the n-th tick at least n intervals
// after the interval was set (the window is shown then), and the first tick
// after Continue at least one interval after it. The clock starts before the
// timer does, so a tick can only seem later than it was; a tick late under
// load passes. An interval off the 25 ms grid has a coarse timer round about
// half of its ticks a few milliseconds early.
TEST(SlideWindowTest, TicksNeverComeBeforeTheirInterval)
{
    test::TestApplication();
    ShowState state = TwoPicturesLooping();
    Tfrm_slide slide(state);
    slide.View->SetStep(100); // one frame a transition
    TickTimes ticks(*slide.Timer);
    constexpr qint64 interval = 430;
    constexpr qint64 ms = 1000000;
    slide.show();

    ticks.clock.start();
    slide.Timer->setInterval(int(interval));
    ASSERT_TRUE(test::WaitUntil([&] { return ticks.ns.size() >= 4; }, test::kHangMs));
    for (size_t n = 0; n < ticks.ns.size(); ++n)
        EXPECT_GE(ticks.ns[n], qint64(n + 1) * interval * ms) << "tick " << n + 1 << " after the interval was set";

    for (int round = 0; round < 3; ++round) {
        slide.N1Click();
        test::WaitUntil([] { return false; }, 50);
        ticks.ns.clear();
        ticks.clock.start();
        slide.N2Click();
        ASSERT_TRUE(test::WaitUntil([&] { return !ticks.ns.empty(); }, test::kHangMs));
        EXPECT_GE(ticks.ns[0], interval * ms) << "first tick after Continue, round " << round;
    }
    slide.N4Click();
}

// Ending the show while the next picture is still being made: the decode is
// cancelled through its flag and never waited for, so the window closes and
// goes at once, by Esc, by the menu or by being closed, even when the decode
// pays no heed to the flag until the test lets it go. (Waiting, each would
// take as long as the decode: twenty seconds here.)
TEST(SlideWindowTest, EndingTheShowDoesNotWaitForTheDecodeAhead)
{
    test::TestApplication();
    struct Way {
        const char* name;
        std::function<void(Tfrm_slide&)> end;
        bool heedsCancel;
    };
    const Way ways[] = {
        { "Esc", [](Tfrm_slide& s) { Key(s, Qt::Key_Escape); }, true },
        { "menu", [](Tfrm_slide& s) { s.N4->trigger(); }, true },
        { "closed", [](Tfrm_slide& s) { s.close(); }, true },
        { "Esc, decode heeding no flag", [](Tfrm_slide& s) { Key(s, Qt::Key_Escape); }, false },
    };
    for (const Way& way : ways) {
        SCOPED_TRACE(way.name);
        test::SlowDecoder slow;
        slow.heedsCancel = way.heedsCancel;
        ShowState state;
        state.PictureList = { Show + "testorig.jpg", Show + "testimggray.jpg" };
        auto slide = std::make_unique<Tfrm_slide>(state, nullptr, nullptr, slow.Decoder());
        slide->show();
        ASSERT_TRUE(test::WaitUntil([&] { return slow.seen->started == 1; }, test::kHangMs)) << "the first picture is made ahead";

        const auto t0 = std::chrono::steady_clock::now();
        way.end(*slide);
        const bool hidden = !slide->isVisible();
        slide.reset();
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        EXPECT_TRUE(hidden);
        EXPECT_LT(seconds, slow.UnwaitedSeconds());
        EXPECT_TRUE(test::WaitUntil([&] { return slow.seen->cancelled == 1; }, test::kHangMs)) << "the decode was cancelled";
        slow.seen->released = true;
    }
}

TEST(SlideWindowTest, TimerSwitchedOnWhileRunningKeepsItsInterval)
{
    test::TestApplication();
    QTimer timer;
    timer.setTimerType(Qt::PreciseTimer);
    timer.setInterval(10000);
    QtSlideTimer slideTimer(timer);
    slideTimer.SetEnabled(true);
    ASSERT_TRUE(slideTimer.Enabled());
    test::WaitUntil([] { return false; }, 300);
    slideTimer.SetEnabled(true);
    EXPECT_LE(timer.remainingTime(), 9800) << "switching on a running timer must not restart it";
    slideTimer.SetEnabled(false);
    EXPECT_FALSE(timer.isActive());
    slideTimer.SetEnabled(true);
    EXPECT_GT(timer.remainingTime(), 9800) << "a stopped timer starts a full interval";
}

// The pointer hides after two seconds at rest over the show (the test runs
// that clock faster), shows again when it moves, and shows while the context
// menu that a right click opens is up.
TEST(SlideWindowTest, PointerHidesAtRestAndShowsWhenMovedOrInTheMenu)
{
    test::TestApplication();
    ShowState state;
    state.PictureList = { Show + "testorig.jpg" };
    Tfrm_slide slide(state);
    slide.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&slide));
    QWindow* window = slide.windowHandle();
    PointerHider& pointer = slide.Pointer();
    QTimer& rest = pointer.RestTimer();
    EXPECT_EQ(rest.interval(), 2000);
    EXPECT_TRUE(rest.isActive()) << "the rest counts from the window's showing";
    EXPECT_EQ(slide.cursor().shape(), Qt::ArrowCursor);

    rest.setInterval(30);
    auto shape = [&] { return slide.View->cursor().shape(); }; // what the picture area shows
    QTest::mouseMove(window, { 10, 10 });
    EXPECT_FALSE(pointer.Hidden());
    EXPECT_TRUE(test::WaitUntil([&] { return pointer.Hidden(); }, test::kHangMs));
    EXPECT_EQ(shape(), Qt::BlankCursor);

    // A repeated position is not a move; a new one is.
    QTest::mouseMove(window, { 10, 10 });
    EXPECT_EQ(shape(), Qt::BlankCursor);
    QTest::mouseMove(window, { 40, 30 });
    EXPECT_EQ(shape(), Qt::ArrowCursor);
    EXPECT_TRUE(test::WaitUntil([&] { return pointer.Hidden(); }, test::kHangMs));

    // A right click opens the menu with the pointer shown, even after a rest
    // longer than the delay; it rests anew once the menu closes.
    bool menuOpen = false, shownInMenu = false;
    QTimer::singleShot(0, [&] {
        menuOpen = slide.PopupMenu1->isVisible();
        test::WaitUntil([] { return false; }, 100);
        shownInMenu = shape() == Qt::ArrowCursor && !pointer.Hidden();
        slide.PopupMenu1->close();
    });
    QTest::mouseClick(window, Qt::RightButton, {}, { 40, 30 }); // where it rests: no move
    EXPECT_TRUE(menuOpen);
    EXPECT_TRUE(shownInMenu);
    EXPECT_TRUE(rest.isActive());
    EXPECT_TRUE(test::WaitUntil([&] { return pointer.Hidden(); }, test::kHangMs));
    // The menu's commands still work.
    slide.N1->trigger();
    EXPECT_FALSE(slide.N1->isEnabled());
}

}
