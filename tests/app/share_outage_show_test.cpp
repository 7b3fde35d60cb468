// SPDX-License-Identifier: GPL-3.0-or-later
// A looping show from a share that goes to sleep, as a NAS does, for the
// length of 50 give-up limits, then wakes: one notice, no picture dropped, the
// show goes on by itself from the picture that waited, and nothing piles up
// (threads, descriptors, memory). With music on the same share, the window's
// event loop never stalls and the notice is still one. Runs on a real X
// server (private-x); without root or /dev/fuse the cases are skipped.

#include <gtest/gtest.h>

#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "QtTestApp.h"
#include "app/ErrorReport.h"
#include "platform/media/MediaPlayer.h"
#include "slideshow/MusicSequencer.h"
#include "slideshow/ShareOutage.h"
#include "slideshow/SlideSequencer.h"
#include "slideshow/Tfrm_slide.h"
#include "support/DelayedShare.h"
#include "support/GStreamerReady.h"
#include "support/WavWriter.h"
#include "transition/TransitionView.h"

using namespace kalvio;
using Clock = std::chrono::steady_clock;

namespace {

constexpr std::chrono::milliseconds kLimit { 100 };   // the give-up limit the tests set
constexpr int kOutageLimits = 50;
constexpr int kIntervalMs = 400;

std::shared_ptr<const std::string> Content(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::make_shared<const std::string>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

int Entries(const char* folder)
{
    int n = 0;
    if (DIR* d = opendir(folder)) {
        while (readdir(d))
            ++n;
        closedir(d);
    }
    return n - 2;
}

long ResidentKb()
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0)
            return std::atol(line.c_str() + 6);
    return -1;
}

struct Use {
    int threads = Entries("/proc/self/task");
    int descriptors = Entries("/proc/self/fd");
    long residentKb = ResidentKb();
};

// The worst lateness of a 10 ms timer on the window's thread, and beside it
// that of a thread that only sleeps 10 ms at a time: what the machine does to
// any thread meanwhile, which the window's thread cannot do better than.
class LoopWatch {
public:
    LoopWatch()
    {
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.setInterval(kPeriod);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            const Clock::time_point now = Clock::now();
            worst = std::max(worst, now - last_ - kPeriod);
            last_ = now;
        });
        last_ = Clock::now();
        timer_.start();
        sleeper_ = std::thread([this] {
            Clock::time_point due = Clock::now() + kPeriod;
            while (!stop_) {
                std::this_thread::sleep_until(due);
                const Clock::time_point now = Clock::now();
                sleeperWorst_ = std::max(sleeperWorst_.load(), (now - due).count());
                due = now + kPeriod;
            }
        });
    }
    ~LoopWatch()
    {
        stop_ = true;
        sleeper_.join();
    }
    Clock::duration worst {};
    Clock::duration SleeperWorst() const { return Clock::duration(sleeperWorst_.load()); }

private:
    static constexpr std::chrono::milliseconds kPeriod { 10 };
    QTimer timer_;
    Clock::time_point last_;
    std::thread sleeper_;
    std::atomic<bool> stop_ { false };
    std::atomic<Clock::rep> sleeperWorst_ { 0 };
};

double Ms(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

class ShareOutageShow : public ::testing::Test {
protected:
    void SetUp() override
    {
        // The program's limit, shortened as only tests do.
        setenv("KALVIO_TEST_NO_ANSWER_MS", std::to_string(kLimit.count()).c_str(), 1);
        test::TestApplication<KalvioApplication>().SetReportHook(
            [this](const QString& text, const QString&) { reports.push_back(text.toStdString()); });
    }
    void TearDown() override { test::TestApplication<KalvioApplication>().SetReportHook({}); }

    // The share: four pictures and, with `music`, three short tracks.
    void MakeShare(bool music)
    {
        const std::string show = KALVIO_TEST_DATA "/show/";
        DelayedShare::Tree tree;
        for (const char* name : { "testorig.jpg", "testimggray.jpg", "testimgcrop.jpg" })
            tree.AddFile(std::string("photos/") + name, Content(show + name));
        tree.AddFile("photos/again.jpg", Content(show + "testorig.jpg"));
        if (music) {
            const std::string tone = ::testing::TempDir() + "share_outage_tone.wav";
            ASSERT_TRUE(test::WriteToneWav(tone, 400));
            for (const char* name : { "a.wav", "b.wav", "c.wav" })
                tree.AddFile(std::string("music/") + name, Content(tone));
        }
        share.emplace(std::move(tree), std::chrono::milliseconds(1));
        if (!share->Usable())
            GTEST_SKIP() << "no FUSE mount on this machine: " << share->Why();
        folder = share->Path("");
        folder.pop_back();
        for (const char* name : { "testorig.jpg", "testimggray.jpg", "testimgcrop.jpg", "again.jpg" })
            state.PictureList.push_back(share->Path(std::string("photos/") + name));
        if (music)
            for (const char* name : { "a.wav", "b.wav", "c.wav" })
                state.MusicList.push_back(share->Path(std::string("music/") + name));
        state.LoopPlayback = true;
    }

    // Plays the show, with the music when the list has some: two rounds, then
    // the share sleeps for 50 limits and wakes, then two rounds more.
    void PlayThroughAnOutage()
    {
        std::optional<MediaPlayer> player;
        std::optional<MusicSequencer> music;
        QTimer musicTimer;   // the settings window's music timer
        if (!state.MusicList.empty()) {
            test::GStreamerReady();
            player.emplace("fakesink sync=true");
            music.emplace(*player, state.MusicList, state.MusicIndex);
            musicTimer.setInterval(1000);
            QObject::connect(&musicTimer, &QTimer::timeout, [&] { music->TimerTimer(); });
            music->playmusic();
            musicTimer.start();
        }
        Tfrm_slide slide(state);
        slide.View->SetStep(20);
        slide.Timer->setInterval(kIntervalMs);
        // Every entry the show takes, in order.
        int lastIndex = state.PictureIndex;
        QTimer watchIndex;
        QObject::connect(&watchIndex, &QTimer::timeout, [&] {
            if (state.PictureIndex != lastIndex)
                taken.push_back(lastIndex = state.PictureIndex);
        });
        watchIndex.start(5);
        slide.show();
        const size_t n = state.PictureList.size();
        auto rounds = [&](size_t count) {
            const size_t until = taken.size() + count * n;
            return test::WaitUntil([&] { return taken.size() >= until; }, test::kHangMs);
        };

        ASSERT_TRUE(rounds(2));
        before = Use();
        {
            LoopWatch loop;
            share->Sleep();
            const Clock::time_point asleep = Clock::now();
            ASSERT_TRUE(test::WaitUntil([&] { return slide.Sequencer().WaitingForShare(); }, test::kHangMs));
            const size_t takenAsleep = taken.size();
            test::WaitUntil([&] { return Clock::now() - asleep >= kOutageLimits * kLimit; }, test::kHangMs);
            outage = Use();
            EXPECT_EQ(taken.size(), takenAsleep) << "no picture taken while the share sleeps";
            EXPECT_TRUE(slide.Sequencer().WaitingForShare());
            if (music) {
                EXPECT_TRUE(music->WaitingForShare()) << "the music met the outage too";
            }
            share->Wake();
            const Clock::time_point awake = Clock::now();
            ASSERT_TRUE(test::WaitUntil([&] { return taken.size() > takenAsleep; }, test::kHangMs));
            resumedAfter = Clock::now() - awake;
            loopWorst = loop.worst;
            sleeperWorst = loop.SleeperWorst();
        }
        ASSERT_TRUE(rounds(2));
        if (music) {
            EXPECT_FALSE(music->WaitingForShare()) << "the music went on by itself";
        }
        after = Use();
        slide.N4Click();
        musicTimer.stop();
        if (music)
            music->Stop();
    }

    void CheckTheOutage()
    {
        // One notice, naming the share's folder; nothing else reported.
        EXPECT_EQ(reports, (std::vector<std::string> { ShareNotAnsweringText(folder) + "." }));
        // No entry passed over: each taken entry is the one after the entry before.
        const int n = int(state.PictureList.size());
        for (size_t i = 1; i < taken.size(); ++i)
            EXPECT_EQ(taken[i], taken[i - 1] % n + 1) << "entry " << i;
        EXPECT_LE(resumedAfter, std::chrono::milliseconds(kIntervalMs));
        EXPECT_LE(std::abs(after.threads - before.threads), 2);
        EXPECT_LE(std::abs(after.descriptors - before.descriptors), 2);
        EXPECT_LE(std::abs(after.residentKb - before.residentKb), before.residentKb / 20);
        std::fprintf(stderr,
                     "threads %d / %d / %d, descriptors %d / %d / %d, resident %ld / %ld / %ld KB "
                     "(before / during / after the outage); resumed %.0f ms after the share woke; "
                     "event loop late %.1f ms at worst (a sleeping thread %.1f ms)\n",
                     before.threads, outage.threads, after.threads, before.descriptors, outage.descriptors,
                     after.descriptors, before.residentKb, outage.residentKb, after.residentKb, Ms(resumedAfter),
                     Ms(loopWorst), Ms(sleeperWorst));
    }

    using DelayedShare = test::DelayedShare;
    std::optional<DelayedShare> share;
    std::string folder;
    ShowState state;
    std::vector<std::string> reports;
    std::vector<int> taken;
    Use before, outage, after;
    Clock::duration resumedAfter {}, loopWorst {}, sleeperWorst {};
};

TEST_F(ShareOutageShow, PicturesWaitThroughAnOutageWithOneNoticeAndNothingPilesUp)
{
    MakeShare(false);
    PlayThroughAnOutage();
    CheckTheOutage();
}

TEST_F(ShareOutageShow, WithMusicOnTheSameShareTheWindowNeverStallsAndTheNoticeIsOne)
{
    MakeShare(true);
    PlayThroughAnOutage();
    CheckTheOutage();
    EXPECT_LT(loopWorst, std::chrono::milliseconds(100) + sleeperWorst);
}

}
