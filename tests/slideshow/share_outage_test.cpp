// SPDX-License-Identifier: GPL-3.0-or-later
// The show meets a share that stops answering: the picture waited for is
// neither dropped nor counted as broken, the outage is told once, and the
// show goes on from that picture when its file answers.

#include <gtest/gtest.h>

#include <algorithm>
#include <exception>
#include <functional>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

#include "slideshow/ShareOutage.h"
#include "slideshow/SlideSequencer.h"

using namespace kalvio;

namespace {

// A view whose entries are made elsewhere: every entry named in `slow` is
// waited for, and the test brings its news.
struct WaitingView : SlideView {
    std::vector<std::string> slow;
    std::vector<std::string> shown;
    std::vector<int> asked;          // EntryReady calls, by entry
    EntryListener listener;
    int waitingFor = -1;
    std::string picture;

    bool Busy() const override { return false; }
    void Stop() override { }
    void Execute() override { shown.push_back(picture); }
    void SetStyle(int) override { }
    std::vector<std::string> broken;   // fail at their load
    void LoadPicture(const std::string& path) override
    {
        if (std::find(broken.begin(), broken.end(), path) != broken.end())
            throw std::runtime_error("Cannot load picture \"" + path + "\": broken");
        picture = path;
    }
    int noThreadFor = 0;   // EntryReady calls that find no thread to read with

    bool EntryReady(int index, const std::string& path, EntryListener l) override
    {
        asked.push_back(index);
        if (noThreadFor > 0) {
            --noThreadFor;
            throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again),
                                    "No thread to load " + path);
        }
        for (std::string& s : slow)
            if (s == path) {
                s.clear();   // once made, an entry comes at once
                listener = std::move(l);
                waitingFor = index;
                return false;
            }
        return true;
    }
    void StopWaiting() override { listener = nullptr; }
};

struct PlainTimer : SlideTimer {
    bool enabled = false;
    void SetEnabled(bool e) override { enabled = e; }
    bool Enabled() const override { return enabled; }
};

// What the view can tell about an entry waited for.
enum class News { NoAnswer, Made, Broken, PauseAndContinue };

struct Case {
    const char* name;
    std::vector<News> news;          // about b.jpg, in this order
    size_t notices;                  // ShareNotAnswering thrown
    size_t brokenReports;            // other errors thrown
    std::vector<std::string> shown;  // after the news and two more ticks
    bool waitingAtEnd;
};

const std::string Share = "/outage-test/nas";

class ShareOutageSequencer : public ::testing::TestWithParam<Case> {
protected:
    // Runs `call`, sorting what it throws.
    void Catch(const std::function<void()>& call)
    {
        try {
            call();
        } catch (const ShareNotAnswering& e) {
            notices.push_back(e.what());
        } catch (const std::exception& e) {
            errors.push_back(e.what());
        }
    }
    void Tick()
    {
        if (timer.enabled)
            Catch([&] { sequencer.ShowNextPicture(); });
    }
    void Tell(std::exception_ptr failure)
    {
        ASSERT_TRUE(view.listener) << "nobody waits";
        auto listener = view.listener;
        Catch([&] { listener(failure); });
    }

    ShowState state;
    WaitingView view;
    PlainTimer timer;
    ShareOutages outages;
    SlideSequencer sequencer { state, view, timer, [] { }, outages };
    std::vector<std::string> notices, errors;
};

TEST_P(ShareOutageSequencer, NewsOfAPictureWaitedFor)
{
    const Case& c = GetParam();
    const std::string b = Share + "/b.jpg";
    state.PictureList = { Share + "/a.jpg", b, Share + "/c.jpg" };
    state.LoopPlayback = true;
    view.slow = { b };
    sequencer.UpdateSlideTimer();
    Tick();
    Tick();
    ASSERT_TRUE(sequencer.Waiting());
    EXPECT_FALSE(timer.enabled) << "no tick while the show waits";

    for (News n : c.news) {
        switch (n) {
        case News::NoAnswer:
            Tell(std::make_exception_ptr(FileNotAnswering(b)));
            EXPECT_TRUE(sequencer.WaitingForShare());
            EXPECT_FALSE(timer.enabled);
            EXPECT_EQ(view.shown.back(), Share + "/a.jpg") << "the current picture stays";
            break;
        case News::Made:
            Tell(nullptr);
            break;
        case News::Broken:
            Tell(std::make_exception_ptr(std::runtime_error("Cannot load picture \"" + b + "\": broken")));
            break;
        case News::PauseAndContinue:
            sequencer.Pause();
            sequencer.Continue();
            view.slow = { b };   // still not made: the tick waits again
            Tick();
            break;
        }
    }
    Tick();
    Tick();
    EXPECT_EQ(notices.size(), c.notices);
    for (const std::string& n : notices)
        EXPECT_EQ(n, ShareNotAnsweringText(Share));
    EXPECT_EQ(errors.size(), c.brokenReports);
    EXPECT_EQ(view.shown, c.shown);
    EXPECT_EQ(sequencer.Waiting(), c.waitingAtEnd);
    EXPECT_EQ(outages.Out(Share), c.waitingAtEnd) << "the outage lasts exactly while the file does not answer";
}

const std::string A = Share + "/a.jpg", B = Share + "/b.jpg", C = Share + "/c.jpg";

INSTANTIATE_TEST_SUITE_P(
    Cases, ShareOutageSequencer,
    ::testing::Values(
        Case { "MadeInTime", { News::Made }, 0, 0, { A, B, C, A }, false },
        Case { "BrokenInTime", { News::Broken }, 0, 1, { A, C, A }, false },
        Case { "NoAnswerThenMade", { News::NoAnswer, News::Made }, 1, 0, { A, B, C, A }, false },
        Case { "NoAnswerForAlongTime", { News::NoAnswer, News::PauseAndContinue, News::NoAnswer,
                                          News::PauseAndContinue, News::NoAnswer, News::Made },
               1, 0, { A, B, C, A }, false },
        Case { "NoAnswerThenBroken", { News::NoAnswer, News::Broken }, 1, 1, { A, C, A }, false },
        Case { "StillAsleep", { News::NoAnswer }, 1, 0, { A }, true }),
    [](const ::testing::TestParamInfo<Case>& info) { return info.param.name; });

// Two outages, the share answering in between: each is told once.
TEST_F(ShareOutageSequencer, EachOutageIsToldOnce)
{
    state.PictureList = { A, B, C };
    state.LoopPlayback = true;
    view.slow = { B, C };
    sequencer.UpdateSlideTimer();
    Tick();
    Tick();
    Tell(std::make_exception_ptr(FileNotAnswering(B)));
    Tell(nullptr);
    Tick();
    ASSERT_EQ(view.waitingFor, 2);
    Tell(std::make_exception_ptr(FileNotAnswering(C)));
    Tell(nullptr);
    EXPECT_EQ(notices.size(), 2u);
    EXPECT_EQ(view.shown, (std::vector<std::string> { A, B, C }));
}

// The music met the outage first: the pictures on the same share add no
// notice, a picture read before it does not end it, and the file that did
// not answer ends it for both when it answers.
TEST_F(ShareOutageSequencer, AnOutageAlreadyToldByTheMusicIsNotToldAgain)
{
    state.PictureList = { A, B };
    view.slow = { B };
    sequencer.UpdateSlideTimer();
    // A, read before, shows after the music found the share asleep.
    ASSERT_TRUE(outages.Begin(Share));
    Tick();
    EXPECT_TRUE(outages.Out(Share));
    Tick();
    Tell(std::make_exception_ptr(FileNotAnswering(B)));
    EXPECT_TRUE(notices.empty());
    Tell(nullptr);
    EXPECT_FALSE(outages.Out(Share));
}

// A picture waited for that turns out broken when it is taken: reported
// once and passed over, and the show runs on (its timer was off while it
// waited).
TEST_F(ShareOutageSequencer, APictureWaitedForThatFailsAtItsLoadLeavesTheShowRunning)
{
    state.PictureList = { A, B, C };
    view.slow = { B };
    view.broken = { B };
    sequencer.UpdateSlideTimer();
    Tick();
    Tick();
    ASSERT_TRUE(sequencer.Waiting());
    Tell(nullptr);
    EXPECT_EQ(errors.size(), 1u);
    EXPECT_TRUE(timer.enabled);
    Tick();
    EXPECT_EQ(view.shown, (std::vector<std::string> { A, C }));
}

// No thread can be started to read a picture: said once, and the same entry
// is tried at each tick until one can, instead of costing a picture a tick.
TEST_F(ShareOutageSequencer, NoThreadToReadWithIsSaidOnceAndNoPictureIsLost)
{
    state.PictureList = { A, B, C };
    sequencer.UpdateSlideTimer();
    Tick();
    view.noThreadFor = 5;
    for (int i = 0; i < 5; ++i)
        Tick();
    EXPECT_EQ(errors.size(), 1u);
    EXPECT_EQ(state.PictureIndex, 1);
    Tick();
    Tick();
    EXPECT_EQ(view.shown, (std::vector<std::string> { A, B, C }));
    EXPECT_EQ(errors.size(), 1u);
}

TEST(ShareOf, IsTheMountPointHoldingThePathOrElseItsFolder)
{
    // /proc is a mount point on every Linux system.
    EXPECT_EQ(ShareOf("/proc/self/status"), "/proc");
    EXPECT_EQ(ShareOf("/no-such-mount-here/photos/a.jpg"), "/no-such-mount-here/photos");
    EXPECT_EQ(ShareOf("/procfs-lookalike/a.jpg"), "/procfs-lookalike") << "a mount point is a whole name";
}

}
