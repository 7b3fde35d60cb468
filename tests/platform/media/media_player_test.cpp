// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/system/JobThread.h"
#include "platform/media/MediaPlayer.h"
#include "support/GStreamerReady.h"
#include "support/StalledMount.h"
#include "support/StallingSink.h"
#include "support/TempFolder.h"
#include "support/WavWriter.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>
#include <sys/stat.h>
#include <unistd.h>

using kalvio::JobThread;
using kalvio::MediaError;
using kalvio::MediaPlayer;
using kalvio::test::StallingSink;
namespace fs = std::filesystem;

namespace {

constexpr const char* kTestSink = "fakesink sync=true";
const fs::path kAudio = fs::path(KALVIO_TEST_DATA) / "audio";

// A limit for a player's waits where the limit is not what is tested: a busy
// machine may take seconds to bring a pipeline up.
constexpr std::chrono::seconds kPatient { 60 };

// The bound on a call that must not wait for a hung pipeline or mount: far
// above the player's own limit, below the time the hang ends by itself.
constexpr std::chrono::seconds kUnhung { StallingSink::selfReleaseS / 2 };
static_assert(kalvio::test::StalledMount::selfReleaseS == StallingSink::selfReleaseS);

// Polls `done` every 20 ms, for at most `ms` milliseconds: an outer limit only
// a hang reaches.
bool WaitFor(const std::function<bool()>& done, int ms = 60000) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

class MediaPlayerTest : public ::testing::Test {
protected:
    MediaPlayerTest() { kalvio::test::GStreamerReady(); }
    std::string Tone(const std::string& name, int ms) { return dir_.Tone(name, ms); }
    std::string File(const std::string& name, const std::string& bytes) {
        std::string path = dir_.File(name);
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }
    std::string Fifo(const std::string& name) {
        std::string path = dir_.File(name);
        EXPECT_EQ(mkfifo(path.c_str(), 0600), 0);
        return path;
    }
    kalvio::test::TempFolder dir_{"kalvio-player"};
};

void ExpectNoDevice(const std::function<void()>& call) {
    try {
        call();
        ADD_FAILURE() << "no error without an open track";
    } catch (const MediaError& e) {
        EXPECT_STREQ(e.what(), "No MCI device open");
    }
}

}

// Real files of every kind the music scan accepts; video streams are dropped.
TEST(MediaPlayerFormats, OpensReportsLengthAndPlays) {
    kalvio::test::GStreamerReady();
    struct Case {
        const char* file;
        int64_t minLength, maxLength;
    } cases[] = {
        {"pygame_secosmic_lo_msadpcm.wav", 1000, 3500},
        {"fc.mp3", 1300, 1600},
        {"fc.wma", 1300, 1600},
        {"openmsx_train_filled_with_cash.mid", 60000, 80000},
        {"fc_msmpeg4_mp3.avi", 1300, 1600},
        {"fc_mpeg1_mp2.mpg", 1200, 1600},
        {"fc_wmv2_wmav2.wmv", 1300, 1600},
        {"fc_msmpeg4_wmav2.asf", 1300, 1600},
        {"fc_vcd_riff_cdxa.dat", 1200, 1600},
    };
    // On a busy machine some formats take seconds to open (the MIDI
    // synthesiser loads its instruments every time).
    MediaPlayer player(kTestSink, kPatient);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const std::string path = (kAudio / c.file).string();
        ASSERT_NO_THROW(player.Open(path));
        EXPECT_TRUE(player.IsOpen());
        EXPECT_EQ(player.FileName(), path);
        const int64_t length = player.Length();
        EXPECT_GE(length, c.minLength);
        EXPECT_LE(length, c.maxLength);
        const int64_t start = player.Position();
        player.Play();
        EXPECT_TRUE(WaitFor([&] { return player.Position() >= start + 300; }))
            << "position stayed at " << player.Position();
    }
    player.Close();
    EXPECT_FALSE(player.IsOpen());
    EXPECT_EQ(player.FileName(), "");
}

TEST_F(MediaPlayerTest, FilesThatCannotPlayFailWithTheirNameAndLeaveNothingOpen) {
    std::string noise(4000, '\0');
    for (size_t i = 0; i < noise.size(); ++i) noise[i] = char((i * 7919 + 13) % 251);
    const std::string cases[] = {
        dir_.File("missing.mp3"),
        File("empty.mp3", ""),
        File("text.wma", "this is not music at all\n"),
        File("noise.mp3", noise),
        dir_.path().string(),
        Fifo("pipe.mp3"),  // nobody writes: opening it for reading would wait for ever
        "/dev/zero",
    };
    MediaPlayer player(kTestSink);
    const std::string good = Tone("good.wav", 500);
    for (const std::string& path : cases) {
        SCOPED_TRACE(path);
        player.Open(good);
        const auto t0 = std::chrono::steady_clock::now();
        try {
            player.Open(path);
            ADD_FAILURE() << "opened";
        } catch (const MediaError& e) {
            const std::string what = e.what();
            EXPECT_NE(what.find("\"" + path + "\""), std::string::npos) << what;
            EXPECT_GT(what.size(), path.size() + 20) << "the cause is given: " << what;
        }
        EXPECT_LT(std::chrono::steady_clock::now() - t0, kUnhung);
        EXPECT_FALSE(player.IsOpen());
        ExpectNoDevice([&] { player.Length(); });
    }
}

TEST(MediaPlayerClosed, EveryQueryAndCommandFailsWithTheSystemText) {
    MediaPlayer player(kTestSink);
    EXPECT_FALSE(player.IsOpen());
    ExpectNoDevice([&] { player.Length(); });
    ExpectNoDevice([&] { player.Position(); });
    ExpectNoDevice([&] { player.Play(); });
    ExpectNoDevice([&] { player.Stop(); });
    EXPECT_NO_THROW(player.Close());
}

TEST_F(MediaPlayerTest, PlayingFromTheEndStartsAgain) {
    MediaPlayer player(kTestSink, kPatient);
    player.Open(Tone("short.wav", 300));
    ASSERT_EQ(player.Length(), 300);
    player.Play();
    ASSERT_TRUE(WaitFor([&] { return player.Position() == player.Length(); }));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(player.Position(), 300) << "an ended track stands at its end";
    player.Stop();
    EXPECT_EQ(player.Position(), 300) << "stopping an ended track leaves it there";

    player.Play();
    EXPECT_LT(player.Position(), 300);
    ASSERT_TRUE(WaitFor([&] { return player.Position() >= 100 && player.Position() < 300; }));
    EXPECT_TRUE(WaitFor([&] { return player.Position() == 300; }));
}

TEST_F(MediaPlayerTest, StopHoldsThePositionAndPlayGoesOn) {
    MediaPlayer player(kTestSink, kPatient);
    player.Open(Tone("long.wav", 3000));
    player.Play();
    ASSERT_TRUE(WaitFor([&] { return player.Position() >= 200; }));
    player.Stop();
    const int64_t stopped = player.Position();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_LE(player.Position() - stopped, 20);
    player.Play();
    EXPECT_TRUE(WaitFor([&] { return player.Position() >= stopped + 200; }));
    EXPECT_LT(player.Position(), 3000) << "play after stop goes on, not from the start again";
}

TEST_F(MediaPlayerTest, OpeningAnotherTrackReplacesTheFirst) {
    MediaPlayer player(kTestSink, kPatient);
    player.Open(Tone("a.wav", 400));
    player.Play();
    player.Open(Tone("b.wav", 900));
    EXPECT_EQ(player.Length(), 900);
    EXPECT_EQ(player.Position(), 0);
}

TEST_F(MediaPlayerTest, EmptyTrackHasLengthZero) {
    MediaPlayer player(kTestSink, kPatient);
    player.Open(Tone("empty.wav", 0));
    EXPECT_EQ(player.Length(), 0);
    player.Play();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(player.Length() - player.Position(), 0);
}

TEST_F(MediaPlayerTest, PathBytesThatAreNotUtf8) {
    MediaPlayer player(kTestSink, kPatient);
    const std::string path = dir_.File("\xb1\xb3\xbe\xb0\xd2\xf4\xc0\xd6.wav");  // GBK
    ASSERT_TRUE(kalvio::test::WriteToneWav(path, 500));
    ASSERT_NO_THROW(player.Open(path));
    EXPECT_EQ(player.Length(), 500);
}

TEST_F(MediaPlayerTest, UnusableOutputIsReported) {
    MediaPlayer player("nosuchsinkelement");
    try {
        player.Open(Tone("a.wav", 300));
        ADD_FAILURE() << "opened";
    } catch (const MediaError& e) {
        EXPECT_NE(std::string(e.what()).find("nosuchsinkelement"), std::string::npos) << e.what();
    }
    EXPECT_FALSE(player.IsOpen());
}

// The default output: the sound device, or on a machine without one a silent
// output that still keeps time.
TEST_F(MediaPlayerTest, DefaultOutputPlaysInRealTime) {
    // Opened as the settings window's player opens tracks, on a worker with
    // the longer limit: the first open starts the audio output.
    MediaPlayer player("autoaudiosink", MediaPlayer::defaultWaitLimit, MediaPlayer::workerOpenLimit);
    const std::string path = Tone("a.wav", 1000);
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        player.Open(path);
        const auto t0 = std::chrono::steady_clock::now();
        player.Play();
        ASSERT_TRUE(WaitFor([&] { return player.Position() >= 300; }));
        const auto elapsed = std::chrono::steady_clock::now() - t0;
        EXPECT_GE(elapsed, std::chrono::milliseconds(250)) << "time runs as fast as the clock, no faster";
    }
}

// A call whose pipeline hangs in a state change gives the track up within the
// limit: an error of that track (a close just returns), and no track is open.
// The pipeline left behind stays with its own thread, which tears it down once
// it comes unstuck; the player goes on with the next track meanwhile.
TEST_F(MediaPlayerTest, ACallThatHangsGivesUpTheTrackWithinTheLimit) {
    using Call = std::function<void(MediaPlayer&)>;
    const std::string track = Tone("a.wav", 3000);
    const std::string next = Tone("b.wav", 900);
    const Call open = [&](MediaPlayer& p) { p.Open(track); };
    const Call openAndPlay = [&](MediaPlayer& p) { p.Open(track), p.Play(); };
    struct Case {
        GstStateChange hangs;
        Call before, call;
        const char* error;  // how the error starts; none for a close
    } cases[] = {
        {GST_STATE_CHANGE_READY_TO_PAUSED, {}, open, "Cannot open "},
        {GST_STATE_CHANGE_PAUSED_TO_PLAYING, open, [](MediaPlayer& p) { p.Play(); }, "Cannot play "},
        {GST_STATE_CHANGE_PLAYING_TO_PAUSED, openAndPlay, [](MediaPlayer& p) { p.Stop(); }, "Cannot stop "},
        {GST_STATE_CHANGE_PAUSED_TO_READY, openAndPlay, [](MediaPlayer& p) { p.Close(); }, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(gst_state_change_get_name(c.hangs));
        const int before = JobThread::Running();
        {
            MediaPlayer player(StallingSink::Description());
            const int withPlayer = JobThread::Running();
            StallingSink::Arm(c.hangs);
            if (c.before) c.before(player);
            const auto t0 = std::chrono::steady_clock::now();
            std::string error;
            try {
                c.call(player);
            } catch (const MediaError& e) {
                error = e.what();
            }
            // Unbounded, the call would wait for ever.
            EXPECT_LT(std::chrono::steady_clock::now() - t0, kUnhung);
            EXPECT_EQ(StallingSink::Entered(), 1) << "the pipeline hung";
            if (c.error)
                EXPECT_EQ(error.rfind(c.error + ("\"" + track + "\": "), 0), 0u) << error;
            else
                EXPECT_EQ(error, "");
            EXPECT_FALSE(player.IsOpen());
            ExpectNoDevice([&] { player.Length(); });
            EXPECT_EQ(JobThread::Running(), withPlayer + 1) << "the stuck pipeline's thread is left behind";

            player.Open(next);
            EXPECT_EQ(player.Length(), 900);
            StallingSink::Release();
        }
        EXPECT_TRUE(WaitFor([&] { return JobThread::Running() == before; }))
            << "the pipeline left behind was torn down";
    }
}

// An open made on a worker may wait longer than the other calls, which may
// come from the GUI thread: on a mount that never answers it gives up after
// its own limit and says so.
TEST_F(MediaPlayerTest, AnOpenWaitsForItsOwnLimit) {
    kalvio::test::StalledMount mount;
    if (!mount.Usable()) GTEST_SKIP() << "no FUSE mount on this machine: " << mount.Why();
    const std::string path = mount.Path("x.mp3");
    {
        MediaPlayer player(kTestSink, std::chrono::milliseconds(200), std::chrono::milliseconds(700));
        const auto t0 = std::chrono::steady_clock::now();
        try {
            player.Open(path);
            ADD_FAILURE() << "opened";
        } catch (const MediaError& e) {
            EXPECT_EQ(std::string(e.what()), "Cannot open \"" + path + "\": not ready after 0.7 s");
        }
        EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(700));
        EXPECT_FALSE(player.IsOpen());
    }
    mount.Release();
}

// A file on a mount that never answers (a network share whose server is gone):
// its open fails within the limit, naming the file; the thread left waiting on
// the mount ends when the mount gives up.
TEST_F(MediaPlayerTest, AFileOnAMountThatNeverAnswersFailsWithinTheLimit) {
    kalvio::test::StalledMount mount;
    if (!mount.Usable()) GTEST_SKIP() << "no FUSE mount on this machine: " << mount.Why();
    const int before = JobThread::Running();
    const std::string path = mount.Path("x.mp3");
    {
        MediaPlayer player(kTestSink);
        const int withPlayer = JobThread::Running();
        const auto t0 = std::chrono::steady_clock::now();
        try {
            player.Open(path);
            ADD_FAILURE() << "opened";
        } catch (const MediaError& e) {
            EXPECT_EQ(std::string(e.what()).rfind("Cannot open \"" + path + "\": not ready after ", 0), 0u)
                << e.what();
        }
        EXPECT_LT(std::chrono::steady_clock::now() - t0, kUnhung);
        EXPECT_FALSE(player.IsOpen());
        EXPECT_EQ(JobThread::Running(), withPlayer + 1) << "the open still waits on the mount";
    }
    mount.Release();
    EXPECT_TRUE(WaitFor([&] { return JobThread::Running() == before; }));
}
