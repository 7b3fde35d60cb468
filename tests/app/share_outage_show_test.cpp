// SPDX-License-Identifier: GPL-3.0-or-later
// A looping show from a share that goes to sleep, as a NAS does, for the
// length of 50 give-up limits, then wakes: one notice, no picture dropped, the
// show goes on by itself from the picture that waited, and nothing piles up
// (threads, descriptors, memory). With music on the same share, the window's
// event loop never stalls and the notice is still one. Runs on a real X
// server (private-x); without root or /dev/fuse the cases are skipped.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <malloc.h>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "QtTestApp.h"
#include "app/ErrorReport.h"
#include "app/Tfrm_kalvio.h"
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

#if defined(__SANITIZE_ADDRESS__) || defined(KALVIO_EMULATED)
constexpr bool kResidentIsSanitizersOrEmulators = true;
#else
constexpr bool kResidentIsSanitizersOrEmulators = false;
#endif

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

// Gives free heap memory back first, so that what the test itself freed (its
// screen grabs) does not count as the program's.
long TrimmedResidentKb()
{
    malloc_trim(0);
    return ResidentKb();
}

struct Use {
    int threads = Entries("/proc/self/task");
    int descriptors = Entries("/proc/self/fd");
    long residentKb = TrimmedResidentKb();
    // The least of each over the samples: a track change or a picture being
    // read holds a thread or a descriptor for a moment.
    void Least(const Use& u)
    {
        threads = std::min(threads, u.threads);
        descriptors = std::min(descriptors, u.descriptors);
        residentKb = std::min(residentKb, u.residentKb);
    }
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

// What the X server shows of the window.
QImage OnScreen(QWidget& window)
{
    QCoreApplication::processEvents();
    return window.screen()->grabWindow(0, window.x(), window.y(), window.width(), window.height()).toImage()
        .convertToFormat(QImage::Format_RGB32);
}

// How many colours an image holds (up to a few hundred are told apart).
int Colours(const QImage& image)
{
    std::set<QRgb> seen;
    for (int y = 0; y < image.height() && seen.size() < 1000; y += 7)
        for (int x = 0; x < image.width(); x += 7)
            seen.insert(image.pixel(x, y));
    return int(seen.size());
}

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
        FillQtsPool();
    }

    // Qt scales and converts large images on a thread pool of its own, which
    // starts and ends its threads at its pace; it is put to work here first,
    // so that its threads are in every count alike.
    static void FillQtsPool()
    {
        QImage large(4000, 3000, QImage::Format_RGB32);
        large.fill(Qt::gray);
        const QImage scaled = large.scaled(3000, 2000, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        const QImage converted = large.convertToFormat(QImage::Format_RGB888);
        ASSERT_FALSE(scaled.isNull() || converted.isNull());
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

    // Plays the show, with the music when the list has some, as the settings
    // window runs them: its music timer, its slideshow window.
    void PlayThroughAnOutage()
    {
        std::optional<MediaPlayer> player;
        std::optional<MusicSequencer> music;
        QTimer musicTimer;   // the settings window's music timer
        if (!state.MusicList.empty()) {
            test::GStreamerReady();
            player.emplace("fakesink sync=true", MediaPlayer::defaultWaitLimit, MediaPlayer::workerOpenLimit);
            music.emplace(*player, state.MusicList, state.MusicIndex);
            musicTimer.setInterval(1000);
            QObject::connect(&musicTimer, &QTimer::timeout, [&] { music->TimerTimer(); });
            music->playmusic();
            musicTimer.start();
        }
        Tfrm_slide slide(state);
        slide.show();
        Outage(slide, music ? &*music : nullptr);
        slide.N4Click();
        musicTimer.stop();
        if (music)
            music->Stop();
    }

    // The real Play of the settings window on the share's folders, with loop
    // and music on; the show's interval shortened once it runs.
    void PlayFromTheSettingsWindow()
    {
        SettingsServices s;
        s.acquireSingleCopy = [] { return true; };
        s.audioSink = "fakesink sync=true";
        s.warn = [this](QWidget*, const QString& text) { reports.push_back(text.toStdString()); };
        test::GStreamerReady();
        Tfrm_kalvio window(state, s);
        window.show();
        window.e_imagedir->setText(QString::fromStdString(share->Path("photos")));
        window.e_musicdir->setText(QString::fromStdString(share->Path("music")));
        window.cb_usemusic->setChecked(true);
        window.cb_circle->setChecked(true);
        bool shown = false;
        test::WhenModal<Tfrm_slide>([&](Tfrm_slide& slide) {
            shown = true;
            // The window's own music is not reachable from here; the case
            // above checks that the music waits.
            Outage(slide, nullptr);
            slide.N4Click();
        });
        window.RzButton3->click();
        EXPECT_TRUE(test::WaitUntil([&] { return !window.isVisible(); }, test::kHangMs));
        EXPECT_TRUE(shown);
    }

    // Three rounds of the show, then the share sleeps for 50 limits and
    // wakes, then two rounds more; measures what it used before, during and
    // after.
    void Outage(Tfrm_slide& slide, MusicSequencer* music)
    {
        slide.View->SetStep(20);
        slide.Timer->setInterval(kIntervalMs);
        // Every entry the show takes, in order.
        int lastIndex = state.PictureIndex;
        QTimer watchIndex;
        Use* sampling = nullptr;   // sampled at each picture taken
        QObject::connect(&watchIndex, &QTimer::timeout, [&] {
            if (state.PictureIndex != lastIndex) {
                taken.push_back(lastIndex = state.PictureIndex);
                if (sampling)
                    sampling->Least(Use());
            }
        });
        watchIndex.start(5);
        const size_t n = entries = state.PictureList.size();
        auto rounds = [&](size_t count) {
            const size_t until = taken.size() + count * n;
            return test::WaitUntil([&] { return taken.size() >= until; }, test::kHangMs);
        };

        // Two rounds to settle (the heap of a process's first show grows
        // over them), then one sampled.
        ASSERT_TRUE(rounds(2));
        // Grabbing the screen takes memory of its own the first time.
        EXPECT_GT(Colours(OnScreen(slide)), 1);
        before = Use();
        sampling = &before;
        ASSERT_TRUE(rounds(1));
        sampling = nullptr;
        {
            LoopWatch loop;
            share->Sleep();
            const Clock::time_point asleep = Clock::now();
            ASSERT_TRUE(test::WaitUntil([&] { return slide.Sequencer().WaitingForShare(); }, test::kHangMs));
            const QImage waiting = OnScreen(slide);
            const size_t takenAsleep = taken.size();
            test::WaitUntil([&] { return Clock::now() - asleep >= kOutageLimits * kLimit; }, test::kHangMs);
            outage = Use();
            // The picture before stays on screen, as it was, all along.
            const QImage still = OnScreen(slide);
            EXPECT_GT(Colours(still), 100) << "a picture, not a blank window";
            EXPECT_EQ(still, waiting);
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
        ASSERT_TRUE(rounds(1));
        after = Use();
        sampling = &after;
        ASSERT_TRUE(rounds(1));
        sampling = nullptr;
        if (music) {
            EXPECT_FALSE(music->WaitingForShare()) << "the music went on by itself";
        }
    }

    void CheckTheOutage()
    {
        // One notice, naming the share's folder; nothing else reported.
        EXPECT_EQ(reports, (std::vector<std::string> { ShareNotAnsweringText(folder) + "." }));
        // No entry passed over: each taken entry is the one after the entry before.
        const int n = int(entries);
        ASSERT_GT(n, 0);
        for (size_t i = 1; i < taken.size(); ++i)
            EXPECT_EQ(taken[i], taken[i - 1] % n + 1) << "entry " << i;
        EXPECT_LE(resumedAfter, std::chrono::milliseconds(kIntervalMs));
        // Nothing piled up (a track or a picture let go since may leave
        // fewer).
        EXPECT_LE(after.threads, before.threads + 2);
        EXPECT_LE(after.descriptors, before.descriptors + 2);
        // Resident memory tells what the program keeps only when it is the
        // program's own: AddressSanitizer holds freed blocks in its quarantine
        // (LeakSanitizer checks the end instead), and under an emulator it is
        // the emulator's, which grows with the code it translates.
        if (!kResidentIsSanitizersOrEmulators) {
            EXPECT_LE(after.residentKb, before.residentKb + before.residentKb / 20);
        }
        std::fprintf(stderr,
                     "threads %d / %d / %d, descriptors %d / %d / %d, resident %ld / %ld / %ld KB "
                     "(before / at the end of / after the outage, each the least of a round); resumed %.0f ms after the share woke; "
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
    size_t entries = 0;   // in the picture list of the show
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

TEST_F(ShareOutageShow, ThroughPlayOfTheSettingsWindowWithMusicOnTheShare)
{
    MakeShare(true);
    PlayFromTheSettingsWindow();
    CheckTheOutage();
    EXPECT_LT(loopWorst, std::chrono::milliseconds(100) + sleeperWorst);
}
