// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "platform/system/Random.h"
#include "slideshow/SlideSequencer.h"

using namespace kalvio;

namespace {

// A view that records what the show asks of it. Execute marks it busy and runs
// `duringTransition`, standing in for the messages dispatched between frames.
struct FakeView : SlideView {
    bool busy = false;
    int style = 0;
    std::string picture;
    std::vector<std::string> shown;     // picture of every transition started
    std::vector<int> styles;
    std::map<std::string, int> loads;   // load attempts per path
    std::set<std::string> unloadable;
    std::set<std::string> failsToExecute;
    int stops = 0;
    std::function<void()> duringTransition;
    std::vector<std::pair<int, std::string>> prepared;  // entries to decode ahead
    int drops = 0;

    bool Busy() const override { return busy; }
    void Stop() override
    {
        if (busy)
            ++stops;
        busy = false;
    }
    void Execute() override
    {
        if (busy)
            return;
        if (failsToExecute.contains(picture))
            throw std::runtime_error("damaged: " + picture);
        busy = true;
        shown.push_back(picture);
        styles.push_back(style);
        if (duringTransition) {
            auto hook = std::move(duringTransition);
            duringTransition = nullptr;
            hook();
        }
        busy = false;
    }
    void SetStyle(int s) override { style = s; }
    void LoadPicture(const std::string& path) override
    {
        ++loads[path];
        if (unloadable.contains(path))
            throw std::runtime_error("cannot load " + path);
        picture = path;
    }
    void PrepareEntry(int index, const std::string& path) override { prepared.emplace_back(index, path); }
    void DropPrepared() override { ++drops; }
};

struct FakeTimer : SlideTimer {
    bool enabled = false;
    int starts = 0;  // times a stopped timer was started (a fresh interval)
    void SetEnabled(bool e) override
    {
        if (e && !enabled)
            ++starts;
        enabled = e;
    }
    bool Enabled() const override { return enabled; }
};

class SlideSequencerTest : public ::testing::Test {
protected:
    void Start(std::vector<std::string> pictures, bool loop)
    {
        state.PictureList = std::move(pictures);
        state.LoopPlayback = loop;
        state.PictureIndex = 0;
        // What the window does when it is created.
        sequencer.UpdateSlideTimer();
    }

    // One timer tick, as the window delivers it.
    void Tick()
    {
        ASSERT_TRUE(timer.enabled) << "a tick arrived from a disabled timer";
        sequencer.ShowNextPicture();
    }

    ShowState state;
    FakeView view;
    FakeTimer timer;
    int closes = 0;
    SlideSequencer sequencer { state, view, timer, [this] { ++closes; } };
};

using Shown = std::vector<std::string>;

TEST_F(SlideSequencerTest, ThreeEntriesWithoutLoopShowEachOnceThenClose)
{
    Start({ "a.jpg", "b.jpg", "c.jpg" }, false);
    EXPECT_TRUE(timer.enabled);
    EXPECT_TRUE(view.shown.empty());

    for (int i = 0; i < 3; ++i) {
        Tick();
        EXPECT_TRUE(timer.enabled);
        EXPECT_EQ(closes, 0);
    }
    EXPECT_EQ(view.shown, (Shown { "a.jpg", "b.jpg", "c.jpg" }));
    EXPECT_EQ(timer.starts, 1) << "the timer runs on through the transitions";

    Tick();
    EXPECT_EQ(view.shown.size(), 3u) << "the closing tick starts no transition";
    EXPECT_EQ(closes, 1);
    EXPECT_FALSE(timer.enabled);
    EXPECT_EQ(state.PictureIndex, 0);
    EXPECT_TRUE(sequencer.Closing());
    sequencer.UpdateSlideTimer();
    EXPECT_FALSE(timer.enabled);
}

TEST_F(SlideSequencerTest, LoopStartsAgainAtTheFirstEntry)
{
    Start({ "a.jpg", "b.jpg", "c.jpg" }, true);
    for (int i = 0; i < 7; ++i)
        Tick();
    EXPECT_EQ(view.shown, (Shown { "a.jpg", "b.jpg", "c.jpg", "a.jpg", "b.jpg", "c.jpg", "a.jpg" }));
    EXPECT_EQ(closes, 0);
    EXPECT_TRUE(timer.enabled);
}

TEST_F(SlideSequencerTest, SinglePicture)
{
    struct Case {
        bool loop;
        Shown afterThreeTicks;
        int closes;
    };
    for (const Case& c : { Case { false, { "only.jpg" }, 1 },
                           Case { true, { "only.jpg", "only.jpg", "only.jpg" }, 0 } }) {
        ShowState s;
        FakeView v;
        FakeTimer t;
        int closed = 0;
        SlideSequencer seq(s, v, t, [&] { ++closed; });
        s.PictureList = { "only.jpg" };
        s.LoopPlayback = c.loop;
        seq.UpdateSlideTimer();
        for (int i = 0; i < 3 && t.enabled; ++i)
            seq.ShowNextPicture();
        EXPECT_EQ(v.shown, c.afterThreeTicks) << "loop " << c.loop;
        EXPECT_EQ(closed, c.closes) << "loop " << c.loop;
    }
}

TEST_F(SlideSequencerTest, EmptyListKeepsTheTimerOffAndShowsNothing)
{
    Start({}, false);
    EXPECT_FALSE(timer.enabled);
    sequencer.ShowNextPicture();
    EXPECT_TRUE(view.shown.empty());
    EXPECT_EQ(closes, 0);
}

TEST_F(SlideSequencerTest, PauseBeforeTheFirstTickAndContinue)
{
    Start({ "a.jpg", "b.jpg" }, false);
    sequencer.Pause();
    EXPECT_TRUE(sequencer.Paused());
    EXPECT_FALSE(timer.enabled);
    EXPECT_TRUE(view.shown.empty());

    sequencer.Continue();
    EXPECT_FALSE(sequencer.Paused());
    EXPECT_TRUE(timer.enabled);
    EXPECT_EQ(timer.starts, 2) << "continue starts a full interval";
    Tick();
    EXPECT_EQ(view.shown, (Shown { "a.jpg" }));
}

TEST_F(SlideSequencerTest, PauseDuringATransitionStopsItAndKeepsTheTimerOff)
{
    Start({ "a.jpg", "b.jpg", "c.jpg" }, false);
    Tick();
    view.duringTransition = [this] { sequencer.Pause(); };
    Tick();
    EXPECT_EQ(view.stops, 1);
    EXPECT_FALSE(view.busy);
    EXPECT_TRUE(sequencer.Paused());
    EXPECT_FALSE(timer.enabled) << "the interrupted tick must leave the timer off";
    EXPECT_EQ(state.PictureIndex, 2);

    sequencer.Continue();
    EXPECT_TRUE(timer.enabled);
    Tick();
    EXPECT_EQ(view.shown, (Shown { "a.jpg", "b.jpg", "c.jpg" }));
}

TEST_F(SlideSequencerTest, ExitDuringATransitionClosesOnceWithNoFurtherTransition)
{
    Start({ "a.jpg", "b.jpg", "c.jpg" }, true);
    view.duringTransition = [this] { sequencer.Exit(); };
    Tick();
    EXPECT_EQ(view.stops, 1);
    EXPECT_EQ(closes, 1);
    EXPECT_FALSE(timer.enabled);
    EXPECT_TRUE(sequencer.Closing());
    EXPECT_EQ(view.shown, (Shown { "a.jpg" }));
}

TEST_F(SlideSequencerTest, ATickDuringATransitionStopsItBeforeLoadingTheNext)
{
    Start({ "a.jpg", "b.jpg" }, true);
    view.duringTransition = [this] { sequencer.ShowNextPicture(); };
    Tick();
    EXPECT_EQ(view.stops, 1);
    EXPECT_EQ(view.shown, (Shown { "a.jpg", "b.jpg" }));
    EXPECT_TRUE(timer.enabled);
}

TEST_F(SlideSequencerTest, BrokenPictureIsReportedOnceAndSkipped)
{
    for (bool loop : { false, true }) {
        ShowState s;
        FakeView v;
        FakeTimer t;
        int closed = 0;
        SlideSequencer seq(s, v, t, [&] { ++closed; });
        s.PictureList = { "a.jpg", "bad.jpg", "c.jpg" };
        s.LoopPlayback = loop;
        v.unloadable = { "bad.jpg" };
        seq.UpdateSlideTimer();

        int errors = 0;
        for (int tick = 0; tick < 8 && t.enabled; ++tick) {
            try {
                seq.ShowNextPicture();
            } catch (const std::runtime_error& e) {
                ++errors;
                EXPECT_STREQ(e.what(), "cannot load bad.jpg");
                EXPECT_EQ(s.PictureIndex, 2) << "the failed entry is passed";
                EXPECT_TRUE(t.enabled) << "the show goes on at the next tick";
            }
        }
        EXPECT_EQ(errors, 1) << "loop " << loop;
        EXPECT_EQ(v.loads["bad.jpg"], 1) << "loop " << loop;
        if (loop) {
            EXPECT_EQ(v.shown, (Shown { "a.jpg", "c.jpg", "a.jpg", "c.jpg", "a.jpg", "c.jpg", "a.jpg" }));
            EXPECT_EQ(closed, 0);
        } else {
            EXPECT_EQ(v.shown, (Shown { "a.jpg", "c.jpg" }));
            EXPECT_EQ(closed, 1);
        }
    }
}

TEST_F(SlideSequencerTest, PictureThatFailsToStartItsTransitionIsNotRetried)
{
    Start({ "a.jpg", "damaged.jpg" }, true);
    view.failsToExecute = { "damaged.jpg" };
    Tick();
    EXPECT_THROW(Tick(), std::runtime_error);
    EXPECT_TRUE(timer.enabled);
    for (int i = 0; i < 3; ++i)
        Tick();
    EXPECT_EQ(view.shown, (Shown { "a.jpg", "a.jpg", "a.jpg", "a.jpg" }));
    EXPECT_EQ(view.loads["damaged.jpg"], 1);
}

TEST_F(SlideSequencerTest, LoopingShowOfOnlyBrokenPicturesReportsEachOnceThenEnds)
{
    Start({ "x.jpg", "y.jpg" }, true);
    view.unloadable = { "x.jpg", "y.jpg" };
    EXPECT_THROW(Tick(), std::runtime_error);
    EXPECT_THROW(Tick(), std::runtime_error);
    EXPECT_EQ(closes, 0);
    Tick();
    EXPECT_EQ(closes, 1);
    EXPECT_FALSE(timer.enabled);
    EXPECT_EQ(view.loads["x.jpg"], 1);
    EXPECT_EQ(view.loads["y.jpg"], 1);
}

TEST_F(SlideSequencerTest, EveryStyleFrom1To117IsDrawnAndNever0)
{
    RandomSeed(20261210);
    Start({ "a.jpg", "b.jpg" }, true);
    std::set<int> seen;
    for (int i = 0; i < 5000; ++i)
        Tick();
    for (int s : view.styles) {
        ASSERT_GE(s, 1);
        ASSERT_LE(s, 117);
        seen.insert(s);
    }
    EXPECT_EQ(seen.size(), 117u);
}

}

namespace {

using Prepared = std::vector<std::pair<int, std::string>>;

// After every tick, also one that failed, the entry the next tick will load is
// asked to be decoded ahead: wrapping when looping, passing over failed entries.
TEST_F(SlideSequencerTest, NextEntryIsPreparedAfterEachTick)
{
    Start({ "a.jpg", "b.jpg", "c.jpg" }, true);
    view.unloadable = { "c.jpg" };
    Tick();
    Tick();
    EXPECT_THROW(Tick(), std::runtime_error);
    Tick();
    EXPECT_EQ(view.shown, (Shown { "a.jpg", "b.jpg", "a.jpg" }));
    EXPECT_EQ(view.prepared, (Prepared { { 1, "b.jpg" }, { 2, "c.jpg" }, { 0, "a.jpg" }, { 1, "b.jpg" } }));
    EXPECT_EQ(view.drops, 0);
}

// Without loop the last picture prepares nothing and drops what was decoded
// ahead; the closing tick prepares nothing either.
TEST_F(SlideSequencerTest, EndOfListPreparesNothing)
{
    Start({ "a.jpg", "b.jpg" }, false);
    Tick();
    Tick();
    EXPECT_EQ(view.prepared, (Prepared { { 1, "b.jpg" } }));
    EXPECT_EQ(view.drops, 1);
    Tick();
    EXPECT_EQ(closes, 1);
    EXPECT_EQ(view.prepared.size(), 1u) << "a closing show prepares nothing";
}

// A tick after the list changed loads the entry now at PictureIndex, whatever
// was prepared; Exit drops what was decoded ahead.
TEST_F(SlideSequencerTest, TicksFollowTheCurrentListAndExitDrops)
{
    Start({ "a.jpg", "b.jpg", "c.jpg" }, true);
    Tick();
    ASSERT_EQ(view.prepared.back(), (std::pair<int, std::string> { 1, "b.jpg" }));
    state.PictureList = { "x.jpg", "y.jpg", "z.jpg" };
    Tick();
    EXPECT_EQ(view.shown.back(), "y.jpg");
    EXPECT_EQ(view.prepared.back(), (std::pair<int, std::string> { 2, "z.jpg" }));
    EXPECT_EQ(view.drops, 0);
    sequencer.Exit();
    EXPECT_EQ(view.drops, 1);
}

}
