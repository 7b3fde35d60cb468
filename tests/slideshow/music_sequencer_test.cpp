// SPDX-License-Identifier: GPL-3.0-or-later
#include "slideshow/MusicSequencer.h"
#include "support/GStreamerReady.h"
#include "platform/system/JobThread.h"
#include "support/DelayedShare.h"
#include "support/StallingSink.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <sys/stat.h>
#include <unistd.h>

using kalvio::MediaError;
using kalvio::MediaPlayer;
using kalvio::MusicSequencer;
using kalvio::test::StallingSink;
namespace fs = std::filesystem;

namespace {

// A show's music: the list, the index and the sequencer over a silent player
// (an output that keeps time, which a test can make hang). Tick() stands in
// for the once-a-second timer and records what it sees.
class MusicSequencerTest : public ::testing::Test {
protected:
    MusicSequencerTest() { kalvio::test::GStreamerReady(); }

    std::string Tone(const std::string& name, int ms) { return dir_.Tone(name, ms); }
    std::string Broken(const std::string& name) {
        std::string path = dir_.File(name);
        std::ofstream(path) << "not music\n";
        return path;
    }
    static std::string Name(const std::string& path) { return fs::path(path).filename().string(); }

    // Records the track each (re)start opens and each error reported.
    // The music works on its own worker; each step here waits for it
    // (Settle) before it looks at the player.
    void Start() {
        try {
            music.playmusic();
            music.Settle();
            started.push_back(Name(player.FileName()));
        } catch (const MediaError& e) {
            errors.push_back(e.what());
        }
    }
    // One check of the music timer; a track counts as started when the index
    // moved, or when the same track went back to its start (a repeat).
    void Tick() {
        const int index = MusicIndex;
        const bool wasOpen = player.IsOpen();
        const int64_t before = wasOpen ? player.Position() : -1;
        try {
            music.TimerTimer();
            music.Settle();
        } catch (const MediaError& e) {
            errors.push_back(e.what());
            return;
        }
        if (player.IsOpen() && (MusicIndex != index || !wasOpen || player.Position() < before))
            started.push_back(Name(player.FileName()));
    }
    // Ticks every `everyMs` until `count` tracks have started, or until only a
    // hang would take so long.
    void TickUntilStarted(size_t count, int everyMs = 100, int ms = 120000) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (started.size() < count && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(everyMs));
            Tick();
        }
    }

    kalvio::test::TempFolder dir_{"kalvio-music"};
    MediaPlayer player{StallingSink::Description()};
    std::vector<std::string> MusicList;
    int MusicIndex = 0;
    MusicSequencer music{player, MusicList, MusicIndex};
    std::vector<std::string> started;
    std::vector<std::string> errors;

};

}

TEST_F(MusicSequencerTest, TracksPlayInListOrderAndWrapAround) {
    MusicList = {Tone("a.wav", 300), Tone("b.wav", 300), Tone("c.wav", 300)};
    Start();
    TickUntilStarted(5);
    EXPECT_EQ(started, (std::vector<std::string>{"a.wav", "b.wav", "c.wav", "a.wav", "b.wav"}));
    EXPECT_EQ(MusicIndex, 1);
    EXPECT_TRUE(errors.empty());
}

TEST_F(MusicSequencerTest, ATrackStillPlayingIsLeftAlone) {
    // Long enough that the ticks below end well before it, however late.
    MusicList = {Tone("long.wav", 30000), Tone("b.wav", 300)};
    Start();
    // Six checks at least, and on until it has played a while, however late
    // a busy machine starts it.
    const auto end = std::chrono::steady_clock::now() + std::chrono::minutes(2);
    for (int i = 0; i < 6 || (player.Position() < 400 && std::chrono::steady_clock::now() < end); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        Tick();
    }
    EXPECT_EQ(started, (std::vector<std::string>{"long.wav"}));
    EXPECT_EQ(MusicIndex, 0);
    EXPECT_GE(player.Position(), 400);
}

TEST_F(MusicSequencerTest, ASingleTrackRepeats) {
    MusicList = {Tone("only.wav", 300)};
    Start();
    TickUntilStarted(3);
    EXPECT_EQ(started, (std::vector<std::string>{"only.wav", "only.wav", "only.wav"}));
    EXPECT_EQ(MusicIndex, 0);
}

TEST_F(MusicSequencerTest, EmptyTracksMoveOnAtEveryCheck) {
    MusicList = {Tone("z1.wav", 0), Tone("z2.wav", 0), Tone("long.wav", 3000)};
    Start();
    Tick();
    Tick();
    Tick();
    EXPECT_EQ(started, (std::vector<std::string>{"z1.wav", "z2.wav", "long.wav"}));
    EXPECT_EQ(MusicIndex, 2);
}

TEST_F(MusicSequencerTest, ABrokenTrackIsReportedOnceAndSkipped) {
    const std::string bad = Broken("bad.mp3");
    MusicList = {Tone("a.wav", 300), bad, Tone("c.wav", 300)};
    Start();
    TickUntilStarted(2);
    EXPECT_EQ(started, (std::vector<std::string>{"a.wav", "c.wav"}));
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_NE(errors[0].find(bad), std::string::npos) << errors[0];
    // Many more checks while c plays and after: no further report until the
    // broken entry comes round again.
    TickUntilStarted(3);
    EXPECT_EQ(started.back(), "a.wav");
    EXPECT_EQ(errors.size(), 1u);
    TickUntilStarted(4);
    EXPECT_EQ(started.back(), "c.wav");
    EXPECT_EQ(errors.size(), 1u) << "not reported again when its turn comes round";
}

TEST_F(MusicSequencerTest, WhenEveryTrackFailsItStopsTryingAfterOneRound) {
    MusicList = {Broken("bad1.mp3"), Broken("bad2.mp3")};
    Start();
    for (int i = 0; i < 5; ++i) Tick();
    ASSERT_EQ(errors.size(), 2u);
    EXPECT_NE(errors[0].find("bad1.mp3"), std::string::npos);
    EXPECT_NE(errors[1].find("bad2.mp3"), std::string::npos);
    EXPECT_TRUE(music.GaveUp());
    EXPECT_TRUE(started.empty());

    // A new show with a playable list starts afresh.
    MusicList = {Tone("a.wav", 1000)};
    MusicIndex = 0;
    Start();
    EXPECT_FALSE(music.GaveUp());
    EXPECT_EQ(started, (std::vector<std::string>{"a.wav"}));
}

TEST_F(MusicSequencerTest, StopEndsTheMusicAndIsHarmlessWithNothingOpen) {
    MusicList = {Tone("long.wav", 3000)};
    Start();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    music.Stop();
    const int64_t stopped = player.Position();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_LE(player.Position() - stopped, 20);

    MusicList = {Broken("bad.mp3")};
    Start();
    ASSERT_FALSE(player.IsOpen());
    EXPECT_NO_THROW(music.Stop());
}

// A track that cannot be opened in time, or at all, although its file
// answers, is reported once by the call that tried it, within the player's
// limit; the next check goes on with the next entry, and later rounds pass
// over it without trying it again. (A file that does not answer is the
// share's outage: below.)
enum class Hang { PipeWithoutWriter, OutputStuck };

class MusicSequencerHangTest : public MusicSequencerTest, public ::testing::WithParamInterface<Hang> { };

TEST_P(MusicSequencerHangTest, ATrackThatHangsIsReportedOnceAndPassedOver) {
    std::string stuck;
    switch (GetParam()) {
    case Hang::PipeWithoutWriter:
        stuck = dir_.File("x.mp3");
        ASSERT_EQ(mkfifo(stuck.c_str(), 0600), 0);
        break;
    case Hang::OutputStuck:
        stuck = Tone("x.wav", 300);
        StallingSink::Arm(GST_STATE_CHANGE_READY_TO_PAUSED);
        break;
    }
    MusicList = {stuck, Tone("a.wav", 300), Tone("b.wav", 300)};
    const auto t0 = std::chrono::steady_clock::now();
    Start();
    // Waiting for the hang, the start would take until it ends by itself.
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(StallingSink::selfReleaseS / 2));
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_NE(errors[0].find("\"" + stuck + "\""), std::string::npos) << errors[0];

    TickUntilStarted(3);
    EXPECT_EQ(started, (std::vector<std::string>{"a.wav", "b.wav", "a.wav"}));
    EXPECT_EQ(errors.size(), 1u) << "not reported again when its turn comes round";
    StallingSink::Release();
}

void PrintTo(Hang hang, std::ostream* out) {
    switch (hang) {
    case Hang::PipeWithoutWriter: *out << "PipeWithoutWriter"; break;
    case Hang::OutputStuck: *out << "OutputStuck"; break;
    }
}

INSTANTIATE_TEST_SUITE_P(Hangs, MusicSequencerHangTest,
                         ::testing::Values(Hang::PipeWithoutWriter, Hang::OutputStuck),
                         ::testing::PrintToStringParamName());

// A track on a share that stops answering: the music neither walks the list
// nor starts another call on the share, whatever the outage lasts (here 50
// limits); it says so once, and plays that track by itself when the share
// wakes, with no report.
TEST_F(MusicSequencerTest, ATrackOnAShareAsleepIsWaitedForWithOneNoticeThenPlays) {
    std::ifstream wav(Tone("x.wav", 3000), std::ios::binary);
    auto content = std::make_shared<const std::string>(std::istreambuf_iterator<char>(wav), std::istreambuf_iterator<char>());
    kalvio::test::DelayedShare::Tree tree;
    tree.AddFile("music/x.wav", content);
    kalvio::test::DelayedShare share(std::move(tree), std::chrono::milliseconds(1));
    if (!share.Usable()) GTEST_SKIP() << "no FUSE mount on this machine: " << share.Why();
    std::string mountDir = share.Path("");
    mountDir.pop_back();

    constexpr std::chrono::milliseconds limit{100};
    kalvio::ShareOutages outages;
    MusicList = {share.Path("music/x.wav"), Tone("a.wav", 300)};
    // The music's worker says when a job ends; the wake below waits for that.
    // Made before the sequencer, which drops the hook as it goes.
    std::mutex jobMutex;
    std::condition_variable jobEnded;
    bool ended = false;
    MusicSequencer waiting{player, MusicList, MusicIndex, limit, outages};
    std::vector<std::string> notices;
    auto tick = [&] {
        try {
            waiting.TimerTimer();
        } catch (const kalvio::ShareNotAnswering& e) {
            notices.push_back(e.what());
        } catch (const std::exception& e) {
            errors.push_back(e.what());
        }
    };

    waiting.OnJobEnd([&] {
        std::lock_guard lock(jobMutex);
        ended = true;
        jobEnded.notify_all();
    });

    share.Sleep();
    const int threadsBefore = kalvio::JobThread::Running();
    const auto t0 = std::chrono::steady_clock::now();
    waiting.playmusic();
    EXPECT_LT(std::chrono::steady_clock::now() - t0, limit) << "the start waits for nobody";
    // The worker's question is held by the share. Held a whole limit, it is
    // an outage: the job does not end meanwhile (the share does not answer),
    // and the settings window's timer, ticking on through the outage, gives
    // its one notice.
    ASSERT_TRUE(share.AwaitWaiting(1, std::chrono::minutes(2))) << "the worker never asked the share";
    {
        std::unique_lock lock(jobMutex);
        EXPECT_FALSE(jobEnded.wait_for(lock, limit, [&] { return ended; })) << "answered while asleep";
    }
    for (int i = 0; i < 50; ++i)
        tick();
    EXPECT_EQ(notices, (std::vector<std::string>{kalvio::ShareNotAnsweringText(mountDir)}));
    EXPECT_TRUE(waiting.WaitingForShare());
    EXPECT_TRUE(outages.Out(mountDir));
    EXPECT_EQ(MusicIndex, 0) << "the list is not walked";
    EXPECT_LE(kalvio::JobThread::Running(), threadsBefore + 1) << "one worker held by the share";
    EXPECT_LE(share.Waiting(), 2u) << "one call at a time on the share";

    share.Wake();
    {
        std::unique_lock lock(jobMutex);
        ASSERT_TRUE(jobEnded.wait_for(lock, std::chrono::minutes(2), [&] { return ended; }));
    }
    ASSERT_FALSE(waiting.Busy());
    ASSERT_TRUE(player.IsOpen());
    EXPECT_EQ(Name(player.FileName()), "x.wav");
    EXPECT_GT(player.Length(), 2000);
    tick();
    EXPECT_EQ(MusicIndex, 0);
    EXPECT_FALSE(waiting.WaitingForShare());
    EXPECT_FALSE(outages.Out(mountDir));
    EXPECT_EQ(notices.size(), 1u);
    EXPECT_TRUE(errors.empty()) << errors.front();
}

// The start as Play follows it, without waiting on the worker: the hook says
// when the start's job has ended, StartProgress then says Ended and TakeStart
// gives the outcome: playing, or the open error naming the file.
TEST_F(MusicSequencerTest, TheStartIsFollowedThroughItsHook) {
    struct Case {
        const char* name;
        bool broken;
    };
    for (const Case& c : {Case{"playable", false}, Case{"not a sound", true}}) {
        SCOPED_TRACE(c.name);
        const std::string track = c.broken ? Broken("first.mp3") : Tone("first.wav", 3000);
        MusicList = {track};
        MusicIndex = 0;
        std::mutex mutex;
        std::condition_variable ended;
        int jobsEnded = 0;
        music.OnJobEnd([&] {
            std::lock_guard lock(mutex);
            ++jobsEnded;
            ended.notify_all();
        });
        player.Close();
        music.playmusic();
        std::chrono::milliseconds again{};
        if (music.StartProgress(again) == MusicSequencer::Start::Pending) {
            EXPECT_GT(again.count(), 0);
            std::unique_lock lock(mutex);
            ASSERT_TRUE(ended.wait_for(lock, std::chrono::minutes(2), [&] { return jobsEnded > 0; }));
        }
        EXPECT_EQ(music.StartProgress(again), MusicSequencer::Start::Ended);
        if (c.broken) {
            try {
                music.TakeStart();
                ADD_FAILURE() << "no error";
            } catch (const MediaError& e) {
                EXPECT_NE(std::string(e.what()).find(track), std::string::npos) << e.what();
            }
            EXPECT_FALSE(player.IsOpen());
        } else {
            EXPECT_NO_THROW(music.TakeStart());
            EXPECT_TRUE(player.IsOpen());
        }
        music.OnJobEnd({});
        EXPECT_EQ(jobsEnded, 1);
        music.Stop();
    }
}
